// Scanners of the structural tokens: blocks, parens, points, maps, paths, brace strings,
// construction literals, comments and commas.
#include "datatypes/integer.h"
#include "loader/lexer_cells.h"
#include "loader/lexer_classes.h"
#include "loader/lexer_state.h"

namespace kaz::lexer {

namespace {

// Nothing opens inside a point.
void check_not_in_point(lexer_state& s) {
  if (s.open_type == type::point2d) throw_error(s, type::point2d);
}

void open(lexer_state& s, uint32_t type_id) {
  check_not_in_point(s);
  open_series(s, type_id, s.token_start, s.new_line);
  fire_event(s, event::open, type_id, nullptr);
}

// The bytes that may stand between "(" and the "," of a point literal.
bool point_byte(uint8_t b) {
  switch (b) {
    case '\t': case ' ': case '#': case '+': case '-': case '.':
    case 'A': case 'E': case 'F': case 'I': case 'N':
    case 'a': case 'e': case 'f': case 'i': case 'n':
      return true;
    default:
      return b >= '0' && b <= '9';
  }
}

// "(" starts a point when at least 4 bytes follow and the point bytes after it reach a ",".
// Point bytes that run to the end of the input are an unclosed paren ("(1 + 2", "(abcd"):
// taken as a point they were reported as "invalid point2D" without their "(".
bool starts_point(const lexer_state& s) {
  if (s.input_end - s.pos < 4) return false;
  const uint8_t* q = s.pos;
  while (q < s.input_end && point_byte(*q)) ++q;
  return q < s.input_end && *q == ',';
}

// A point from the values of a paren that a comma turned into a point: one number between
// each two commas.
void close_comma_point(lexer_state& s) {
  uint32_t commas = open_commas(s);
  if (s.load) {
    uint32_t from = s.open_head + 1;
    uint32_t n = buffer_length(s) - from;
    uint32_t err_type = commas >= 2 ? type::point3d : type::point2d;
    if (n != commas + 1 || n < 2 || n > 3) throw_error(s, int32_t(err_type));
    float v[3];
    for (uint32_t i = 0; i < n; ++i) {
      const cell* c = buffer_cell(s, from + i);
      if (type_of(c) == type::integer) v[i] = float(integer_type::value_of(c));
      else if (type_of(c) == type::float_) v[i] = float(get_double(c));
      else throw_error(s, int32_t(err_type));
    }
    cell point = n == 2 ? point2d_cell(v[0], v[1]) : point3d_cell(v[0], v[1], v[2]);
    bool new_line = pop_marker(s);
    bool saved = s.new_line;
    s.new_line = new_line;
    append_value(s, point);
    s.new_line = saved;
    value_done(s, type_of(&point));
  } else {
    pop_marker(s);
    value_done(s, commas >= 2 ? type::point3d : type::point2d);
  }
}

void close(lexer_state& s, uint8_t met) {
  uint32_t t = s.open_type;
  bool fits = met == ']' ? (t == type::block || t == type::map)
                         : (t == type::paren || t == type::point2d);
  if (!fits) throw_error(s, kind::missing, met);
  fire_event(s, event::close, t, nullptr);
  if (t == type::point2d) close_comma_point(s);
  else close_series(s);
}

uint8_t lower(uint8_t b) { return b >= 'A' && b <= 'Z' ? uint8_t(b + 32) : b; }

bool equal_ignoring_case(const uint8_t* p, size_t n, const char* word, size_t len) {
  if (n != len) return false;
  for (size_t i = 0; i < n; ++i)
    if (lower(p[i]) != lower(uint8_t(word[i]))) return false;
  return true;
}

// Datatype names by id, from the datatype list.
struct type_name {
  uint32_t id;
  const char* name;
};
constexpr type_name type_names[] = {
#define DATATYPE(n, cname, name, parent) {n, name},
#include "runtime/types.def"
#undef DATATYPE
};

// The construction literal's value, or false.
bool construct_value(const uint8_t* p, size_t n, cell& out) {
  if (equal_ignoring_case(p, n, "true", 4)) out = cell{type::logic, 1, 0, 0};
  else if (equal_ignoring_case(p, n, "false", 5)) out = cell{type::logic, 0, 0, 0};
  else if (equal_ignoring_case(p, n, "none", 4)) out = cell{type::none, 0, 0, 0};
  else if (equal_ignoring_case(p, n, "unset", 5)) out = cell{type::unset, 0, 0, 0};
  else {
    // Datatype names in id order: the name with or without its "!".
    for (uint32_t id = 1; id <= type::max_id; ++id) {
      for (const type_name& t : type_names) {
        if (t.id != id) continue;
        size_t len = 0;
        while (t.name[len]) ++len;
        size_t bare = len - 1;
        if ((n == bare || n == len) && equal_ignoring_case(p, n, t.name, n)) {
          out = cell{type::datatype_, id, 0, 0};
          return true;
        }
      }
    }
    return false;
  }
  return true;
}

}  // namespace

void scan_block_open(lexer_state& s, bool) { open(s, type::block); }

void scan_block_close(lexer_state& s, bool) { close(s, ']'); }

void scan_paren_open(lexer_state& s, bool) {
  if (starts_point(s)) {
    open(s, type::point2d);
    s.entry_state = state::point;
  } else {
    open(s, type::paren);
  }
}

void scan_paren_close(lexer_state& s, bool) { close(s, ')'); }

void scan_map_open(lexer_state& s, bool) {
  if (*s.token_start != '#') throw_error(s, type::map);
  open(s, type::map);
}

// "," turns the paren it stands in into a point, or separates a point's numbers.
void scan_comma(lexer_state& s, bool) {
  uint32_t commas;
  if (s.open_type == type::paren) commas = 1;
  else if (s.open_type == type::point2d && open_commas(s) < 2) commas = open_commas(s) + 1;
  else throw_error(s, s.open_type == type::point2d ? type::point3d : type::point2d);
  if (s.load && buffer_length(s) - (s.open_head + 1) != commas)
    throw_error(s, commas == 2 ? type::point3d : type::point2d);
  retype_open_series(s, type::point2d, commas);
}

void scan_brace_open(lexer_state& s, bool) {
  if (s.brace_depth == 0) {
    s.brace_start = s.token_start;
    s.brace_flags = 0;
    s.brace_new_line = s.new_line;
    fire_event(s, event::open, type::string, nullptr);
  }
  ++s.brace_depth;
  s.brace_flags |= s.token_flags;
  s.entry_state = state::brace_string;
}

void scan_brace_close(lexer_state& s, bool load) {
  s.brace_flags |= s.token_flags;
  if (--s.brace_depth > 0) {
    s.entry_state = state::brace_string;
    return;
  }
  s.entry_state = state::start;
  s.token_start = s.brace_start;
  s.new_line = s.brace_new_line;
  load_text(s, s.brace_start + 1, s.token_end - 1, s.brace_flags, type::string, load);
  fire_event(s, event::close, type::string, nullptr);
  value_done(s, type::string);
}

/*
 * A word directly followed by "/": opens a path (a lit-path after "'", a get-path after ":"),
 * loads the word and reads the segments from the path segment state.
 */
void scan_path_open(lexer_state& s, bool load) {
  const uint8_t* p = s.token_start;
  const uint8_t* end = s.token_end - 1;
  uint32_t type_id = type::path;
  if (*p == '\'') type_id = type::lit_path, ++p;
  else if (*p == ':') type_id = type::get_path, ++p;
  check_utf8(s, p, end, type::word);
  open(s, type_id);
  if (load) {
    bool saved = s.new_line;
    s.new_line = false;
    append_word(s, p, end, type::word);
    s.new_line = saved;
  }
  s.entry_state = state::path_segment;
}

/*
 * After a segment: "/" reads the next one, ":" makes the path a set-path and ends it, a
 * delimiter ends it; anything else is an error. The input may not end right after a "/".
 */
void path_continuation(lexer_state& s) {
  const uint8_t* p = s.pos;
  uint8_t c = p < s.input_end ? class_of(*p) : uint8_t(cls::nul);
  if (c == cls::slash) {
    s.pos = p + 1;
    if (s.pos >= s.input_end) throw_error(s, type::path);
    s.entry_state = state::path_segment;
    return;
  }
  s.entry_state = state::start;
  if (c == cls::colon) {
    const uint8_t* after = p + 1;
    uint8_t next = after < s.input_end ? class_of(*after) : uint8_t(cls::nul);
    if (s.open_type != type::path || !is_delimiter_class(next)) {
      s.token_end = after;
      throw_error(s, type::path);
    }
    retype_open_series(s, type::set_path, 0);
    s.pos = after;
  } else if (!is_delimiter_class(c)) {
    throw_error(s, type::path);
  }
  fire_event(s, event::close, s.open_type, nullptr);
  close_series(s);
}

// #( ... ): true, false, none, unset or a datatype name.
void scan_construct(lexer_state& s, bool load) {
  // Digits may lead to "#" (for binary bases), but not before a construction.
  if (*s.token_start != '#') throw_error(s, kind::malconstruct);
  const uint8_t* p = s.token_start + 2;
  size_t n = size_t(s.token_end - 1 - p);
  cell v;
  if (!construct_value(p, n, v)) throw_error(s, kind::malconstruct);
  s.token_type = type_of(&v);
  if (load) append_value(s, v);
  value_done(s, s.token_type);
}

void scan_comment(lexer_state& s, bool) { fire_event(s, event::scan, 0, nullptr); }

}  // namespace kaz::lexer
