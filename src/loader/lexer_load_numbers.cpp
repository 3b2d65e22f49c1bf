// Loaders of the number-like tokens: integers, floats, percents, tuples, pairs, points, times,
// dates and money.
#include "loader/lexer_cells.h"
#include "loader/lexer_numbers.h"
#include "loader/lexer_state.h"

namespace kaz::lexer {

namespace {

// Appends the value when loading (checking is all the parse did otherwise).
void put(lexer_state& s, bool load, const cell& v) {
  if (load) append_value(s, v);
}

void load_double(lexer_state& s, bool load, uint32_t type_id, int32_t adjustment,
                 const uint8_t* end) {
  double v;
  if (!parse_float(s.token_start, end, adjustment, v)) throw_error(s, type::float_);
  put(s, load, double_cell(type_id, v));
}

}  // namespace

void load_integer(lexer_state& s, bool load) {
  const uint8_t* p = s.token_start;
  // One digit: the common case.
  if (s.token_end - p == 1) {
    put(s, load, integer_cell(*p - '0'));
    return;
  }
  int32_t v = 0;
  switch (parse_integer(p, s.token_end, v)) {
    case int_result::ok:
      put(s, load, integer_cell(v));
      return;
    case int_result::too_big: {
      double d;
      if (!parse_float(p, s.token_end, 0, d)) throw_error(s, type::integer);
      s.token_type = type::float_;
      put(s, load, double_cell(type::float_, d));
      return;
    }
    default:
      throw_error(s, type::integer);
  }
}

// FFh: two to eight digits and capital letters before the h.
void load_hex_integer(lexer_state& s, bool load) {
  const uint8_t* p = s.token_start;
  const uint8_t* body_end = s.token_end - 1;
  if (body_end - p == 1 && !(*p >= '0' && *p <= '9')) throw_error(s, type::word);
  int32_t v;
  if (!parse_hex_integer(p, body_end, v)) throw_error(s, type::integer);
  put(s, load, integer_cell(v));
}

void load_float(lexer_state& s, bool load) { load_double(s, load, type::float_, 0, s.token_end); }

// 50% is 0.5.
void load_percent(lexer_state& s, bool load) {
  load_double(s, load, type::percent, -2, s.token_end - 1);
}

void load_special_float(lexer_state& s, bool load) {
  double v;
  if (!parse_special_float(s.token_start, s.token_end, v)) throw_error(s, type::float_);
  put(s, load, double_cell(type::float_, v));
}

void load_tuple(lexer_state& s, bool load) {
  cell v;
  if (!parse_tuple(s.token_start, s.token_end, v)) throw_error(s, type::tuple);
  put(s, load, v);
}

void load_pair(lexer_state& s, bool load) {
  cell v;
  if (!parse_pair(s.token_start, s.token_end, v)) throw_error(s, type::pair);
  put(s, load, v);
}

void load_time(lexer_state& s, bool load) {
  double seconds;
  if (!parse_time(s.token_start, s.token_end, seconds)) throw_error(s, type::time);
  put(s, load, double_cell(type::time, seconds));
}

void load_date(lexer_state& s, bool load) {
  cell v;
  if (!parse_date(s.token_start, s.token_end, v)) throw_error(s, type::date);
  put(s, load, v);
}

void load_money(lexer_state& s, bool load) {
  cell v;
  if (!parse_money(s.token_start, s.token_end, v)) throw_error(s, type::money);
  put(s, load, v);
}

/*
 * (x, y) or (x, y, z), the token running from after "(" to the ")". Numbers may have blanks
 * around them; one holding "#" is a special float. The open point is closed by the scanner.
 */
void load_point(lexer_state& s, bool load) {
  const uint8_t* p = s.token_start;
  const uint8_t* end = s.token_end;  // at the ")" + 1
  double v[3];
  uint32_t n = 0;
  while (true) {
    while (p < end && (*p == ' ' || *p == '\t')) ++p;
    const uint8_t* start = p;
    bool special = false;
    while (p < end && *p != ',' && *p != ')' && *p != ' ' && *p != '\t') special |= *p++ == '#';
    const uint8_t* stop = p;
    while (p < end && (*p == ' ' || *p == '\t')) ++p;
    if (start == stop) throw_error(s, n == 2 ? type::point3d : type::point2d);
    if (n == 3) throw_error(s, type::point3d);
    bool ok = special ? parse_special_float(start, stop, v[n]) : parse_float(start, stop, 0, v[n]);
    if (!ok) throw_error(s, type::float_);
    ++n;
    if (p >= end) throw_error(s, n == 3 ? type::point3d : type::point2d);
    if (*p == ')') break;
    if (*p != ',') throw_error(s, n == 3 ? type::point3d : type::point2d);
    ++p;
  }
  if (n < 2) throw_error(s, type::point2d);
  if (n == 3) s.token_type = type::point3d;
  put(s, load,
      n == 2 ? point2d_cell(float(v[0]), float(v[1]))
             : point3d_cell(float(v[0]), float(v[1]), float(v[2])));
}

}  // namespace kaz::lexer
