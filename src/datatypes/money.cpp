// money!: making amounts, currencies, text, comparison, rounding and the arithmetic entry.
#include "datatypes/money.h"
#include "datatypes/text_loader.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/actions.h"
#include "core/block_storage.h"
#include "core/registry.h"
#include "core/series_cell.h"
#include "core/string_storage.h"
#include "core/symbol.h"
#include "core/word.h"
#include "datatypes/float.h"
#include "datatypes/integer.h"
#include "datatypes/money_amount.h"
#include "datatypes/random.h"
#include "datatypes/scalar_support.h"
#include "datatypes/scalar_types.h"
#include "datatypes/system_settings.h"
#include "runtime/float_text.h"

namespace kaz::money_type {

namespace {

using namespace scalar;

// The currency list of the boot data, used while the system object has none.
constexpr uint32_t boot_currency_count = 170;
const char* const boot_currencies[boot_currency_count] = {
    "AED", "AFN", "ALL", "AMD", "ANG", "AOA", "ARS", "AUD", "AWG", "AZN", "BAM", "BBD", "BDT",
    "BTC", "BGN", "BHD", "BIF", "BMD", "BND", "BOB", "BRL", "BSD", "BTN", "BWP", "BYN", "BZD",
    "CAD", "CDF", "CHF", "CKD", "CLP", "CNY", "COP", "CRC", "CUC", "CUP", "CVE", "CZK", "DJF",
    "DKK", "DOP", "DZD", "EGP", "ERN", "ETB", "ETH", "EUR", "FJD", "FKP", "FOK", "GBP", "GEL",
    "GGP", "GHS", "GIP", "GMD", "GNF", "GTQ", "GYD", "HKD", "HNL", "HRK", "HTG", "HUF", "IDR",
    "ILS", "IMP", "INR", "IQD", "IRR", "ISK", "JEP", "JMD", "JOD", "JPY", "KES", "KGS", "KHR",
    "KID", "KMF", "KPW", "KRW", "KWD", "KYD", "KZT", "LAK", "LBP", "LKR", "LRD", "LSL", "LYD",
    "MAD", "MDL", "MGA", "MKD", "MMK", "MNT", "MOP", "MRU", "MUR", "MVR", "MWK", "MXN", "MYR",
    "MZN", "NAD", "NGN", "NIO", "NOK", "NPR", "NZD", "OMR", "PAB", "PEN", "PGK", "PHP", "PKR",
    "PLN", "PND", "PRB", "PYG", "QAR", "KAZ", "RON", "RSD", "RUB", "RWF", "SAR", "SBD", "SCR",
    "SDG", "SEK", "SGD", "SHP", "SLL", "SLS", "SOS", "SRD", "SSP", "STN", "SYP", "SZL", "THB",
    "TJS", "TMT", "TND", "TOP", "TRY", "TTD", "TVD", "TWD", "TZS", "UAH", "UGX", "USD", "UYU",
    "UZS", "VES", "VND", "VUV", "WST", "CFA", "XAF", "XCD", "XOF", "CFP", "XPF", "YER", "ZAR",
    "ZMW",
};

// A currency index must fit the cell's byte.
constexpr uint32_t max_currency = 255;

cell path_result;  // a field read by a path (copied by the caller at once)

bool same_code(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
    if (x != y) return false;
  }
  return true;
}

// The spelling of currency `index` (1-based): the word of the live list, else the boot list.
std::string_view currency_text(uint32_t index) {
  if (index == 0) return {};
  if (const cell* list = system_settings::currency_list()) {
    if (!is_any_block(type_of(list)) || block::rs_length(list) < static_cast<int32_t>(index))
      return {};
    const cell* w = block::rs_head(const_cast<cell*>(list)) + index - 1;
    return is_word(w) ? symbol::spelling(word::symbol_of(w)) : std::string_view{};
  }
  return index <= boot_currency_count ? std::string_view(boot_currencies[index - 1], 3)
                                      : std::string_view{};
}

// The currency word of a value, or none.
void currency_word(uint32_t index, cell* out) {
  std::string_view text = currency_text(index);
  if (text.empty()) {
    *out = cell{type::none, 0, 0, 0};
    return;
  }
  context::intern_global(symbol::make(text), out);
}

// The currency a word names: its index (1-255), or -1.
int32_t currency_of_word(const cell* w) {
  return is_word(w) ? currency_index(symbol::spelling(word::symbol_of(w))) : -1;
}

bool same_currency(const amount& a, const amount& b, bool strict) {
  if (a.currency == b.currency) return true;
  return !strict && (a.currency == 0 || b.currency == 0);
}

[[noreturn]] void wrong_denom(const cell* a, const cell* b) {
  cell x = *a, y = *b;
  fire(err::script_wrong_denom, &x, &y);
}

// A double as an amount, raising bad-make-arg for what money cannot hold (and, when checking,
// for more than 5 fraction digits).
amount float_amount(double x, bool check) {
  amount a;
  bool inexact;
  if (!from_double(x, a, inexact) || (check && inexact)) {
    cell f{type::float_, 0, 0, 0};
    put_double(&f, x);
    fire_bad_make(type::money, &f);
  }
  return a;
}

// An operand of the arithmetic as an amount.
amount operand(const cell* v) {
  switch (type_of(v)) {
    case type::money: return unpack(v);
    case type::integer: return from_integer(integer_type::value_of(v));
    case type::float_:
    case type::percent: return float_amount(get_double(v), false);
    default: fire_invalid_type(v);
  }
}

// ---------------------------------------------------------------------------------------------
// Text

// system/options/money-digits when it is an integer!, else 2.
int32_t fraction_setting() {
  const cell* d = system_settings::money_digits();
  return d && type_of(d) == type::integer ? integer_type::value_of(d) : 2;
}

/*
 * "-", the currency code, "$", the integer digits from the first significant one (form puts
 * "'" between groups of three), then "." and the fraction digits the setting asks for (all 5
 * with mold/all), cut without rounding: -EUR$12.00, $1'234.50.
 */
int32_t write_text(const cell* m, node_t out, bool separators, bool all, int32_t limit) {
  amount a = unpack(m);
  char text[64];
  size_t n = 0;
  if (a.negative) text[n++] = '-';
  std::string_view code = currency_text(a.currency);
  if (code.size() > 8) code = code.substr(0, 8);
  for (char ch : code) text[n++] = ch;
  text[n++] = '$';
  uint32_t first = integer_digits;
  for (uint32_t p = 1; p <= integer_digits; ++p) {
    if (digit(m, p) != 0) {
      first = p;
      break;
    }
  }
  for (uint32_t p = first; p <= integer_digits; ++p) {
    text[n++] = static_cast<char>('0' + digit(m, p));
    if (separators && p < integer_digits && (p + 1) % 3 == 0) text[n++] = '\'';
  }
  int32_t d = fraction_setting();
  if (all || d > 5) d = 5;
  if (d >= 1) {
    text[n++] = '.';
    for (int32_t k = 1; k <= d; ++k)
      text[n++] = static_cast<char>('0' + digit(m, integer_digits + static_cast<uint32_t>(k)));
  }
  string::append_ascii(out, std::string_view(text, n));
  return limit - static_cast<int32_t>(n);
}

int32_t form(cell* v, cell* buffer, cell*, int32_t limit) {
  return write_text(v, series::node_of(buffer), true, false, limit);
}

int32_t mold(cell* v, cell* buffer, bool, bool all, bool, cell*, int32_t limit, int32_t) {
  return write_text(v, series::node_of(buffer), false, all, limit);
}

// ---------------------------------------------------------------------------------------------
// make and to

cell* to(cell* proto, cell* spec, uint32_t) {
  switch (type_of(spec)) {
    case type::money:
      return spec;
    case type::integer:
      return pack(proto, from_integer(integer_type::value_of(spec)));
    case type::float_:
      return pack(proto, float_amount(get_double(spec), true));
    default:
      if (is_any_string(type_of(spec))) {
        cell text = *spec;
        cell out;
        uint32_t n = string::length_from_head(&text);
        if (text_loader::text_to_money(string::rs_head(&text), n, string::buffer_of(&text)->unit(), &out)) {
          *proto = out;
          return proto;
        }
      }
      fire_bad_to(type::money, spec);
  }
}

// [currency amount fraction]: an optional currency word, an integer! or float! amount, and
// after an integer amount an optional count of 0.00001 units (0-99999).
cell* from_block(cell* proto, cell* spec) {
  int32_t n = block::rs_length(spec);
  const cell* head = block::rs_head(spec);
  int32_t i = 0;
  uint32_t currency = 0;
  if (n > 0 && is_word(head)) {
    int32_t c = currency_of_word(head);
    if (c < 0) fire_bad_make(type::money, head);
    currency = static_cast<uint32_t>(c);
    i = 1;
  }
  if (i >= n) fire_bad_make(type::money, i > 0 ? head : spec);
  const cell* v = head + i;
  amount a;
  if (type_of(v) == type::integer) {
    a = from_integer(integer_type::value_of(v));
    if (i + 1 < n) {
      const cell* f = v + 1;
      if (type_of(f) != type::integer || integer_type::value_of(f) < 0 ||
          integer_type::value_of(f) > 99999)
        fire_bad_make(type::money, f);
      a.units += static_cast<uint32_t>(integer_type::value_of(f));
      a.negative = integer_type::value_of(v) < 0;
      ++i;
    }
  } else if (type_of(v) == type::float_) {
    a = float_amount(get_double(v), true);
  } else {
    fire_bad_make(type::money, v);
  }
  if (i + 1 < n) fire_bad_make(type::money, head + i + 1);
  a.currency = currency;
  return pack(proto, a);
}

cell* make(cell* proto, cell* spec, uint32_t t) {
  if (is_word(spec)) {
    int32_t c = currency_of_word(spec);
    if (c < 0) fire_bad_make(type::money, spec);
    amount a;
    a.currency = static_cast<uint32_t>(c);
    return pack(proto, a);
  }
  if (type_of(spec) == type::block) return from_block(proto, spec);
  return to(proto, spec, t);
}

// ---------------------------------------------------------------------------------------------
// Comparison

// Money against a double, exactly: digits beyond the money precision still order the two.
int32_t compare_with_float(const amount& x, double f) {
  if (f != 0.0 && std::fabs(f) < 1e-5) {
    int32_t s = sign_of(x);
    return s != 0 ? s : (f > 0 ? -1 : 1);
  }
  if (std::fabs(f) >= 1e17) return f > 0 ? -1 : 1;
  amount y;
  bool inexact;
  from_double(f, y, inexact);
  int32_t r = compare_amounts(x, y);
  if (r != 0 || !inexact) return r;
  return f > 0 ? -1 : 1;
}

int32_t currency_order(const amount& a, const amount& b) {
  if (a.currency == b.currency) return 0;
  if (a.currency == 0) return -1;
  if (b.currency == 0) return 1;
  std::string_view x = currency_text(a.currency), y = currency_text(b.currency);
  for (size_t i = 0; i < x.size() && i < y.size(); ++i) {
    char p = x[i], q = y[i];
    if (p >= 'a' && p <= 'z') p = static_cast<char>(p - 32);
    if (q >= 'a' && q <= 'z') q = static_cast<char>(q - 32);
    if (p != q) return p < q ? -1 : 1;
  }
  if (x.size() != y.size()) return x.size() < y.size() ? -1 : 1;
  return a.currency < b.currency ? -1 : 1;
}

int32_t compare(cell* a, cell* b, int32_t op) {
  uint32_t bt = type_of(b);
  if (bt != type::money && (op == actions::op::strict_equal || op == actions::op::same ||
                            op == actions::op::find))
    return 1;
  amount x = unpack(a);
  switch (bt) {
    case type::money: {
      amount y = unpack(b);
      if (op >= actions::op::lesser && op <= actions::op::greater_or_equal) {
        if (!same_currency(x, y, false)) wrong_denom(a, b);
      } else if (op == actions::op::sort || op == actions::op::case_sort) {
        if (int32_t c = currency_order(x, y)) return c;
      } else {
        bool strict = op == actions::op::find && y.currency != 0;
        if (!same_currency(x, y, strict)) return 1;
      }
      return compare_amounts(x, y);
    }
    case type::integer:
      return compare_amounts(x, from_integer(integer_type::value_of(b)));
    case type::float_: {
      double f = get_double(b);
      if (std::isnan(f)) return -2;
      return compare_with_float(x, f);
    }
    default:
      return -2;
  }
}

// ---------------------------------------------------------------------------------------------
// Arithmetic and the other actions

void add_() { math(kaz::math::add); }
void subtract_() { math(kaz::math::subtract); }
void multiply_() { math(kaz::math::multiply); }
void divide_() { math(kaz::math::divide); }
void remainder_() { math(kaz::math::remainder); }

void absolute() { stack::arguments->header &= ~sign_flag; }

cell* negate(cell* v) {
  v->header ^= sign_flag;
  return v;
}

/*
 * Rounding to a multiple of the scale (1 by default). With r the remainder of the magnitude by
 * the scale, down drops r and up adds the rest of the scale; nearest is up from half on. A tie
 * is a remainder of exactly half the scale; /even then takes down when the multiple below is
 * even, /half-down down, /half-ceiling toward positive infinity.
 */
cell* round(cell* v, cell* scale, bool even, bool down, bool half_down, bool floor_, bool ceiling,
            bool half_ceiling) {
  amount x = unpack(v);
  if (x.units == 0) return v;
  units_t s = unit_scale;
  if (scale) {
    switch (type_of(scale)) {
      case type::money: s = unpack(scale).units; break;
      case type::integer: s = from_integer(integer_type::value_of(scale)).units; break;
      case type::float_: s = float_amount(get_double(scale), true).units; break;
      default: fire_not_related_here(type_of(scale));
    }
  }
  if (s == 0) return v;
  units_t m = x.units, r = m % s;
  units_t lower = m - r;
  bool positive = !x.negative;
  bool tie = 2 * r == s;
  bool nearest_up = r >= s - r;
  bool up;
  if (down) up = false;
  else if (floor_) up = !positive;
  else if (ceiling) up = positive;
  else if (tie && even) up = (m / s) % 2 != 0;
  else if (tie && half_down) up = false;
  else if (tie && half_ceiling) up = positive;
  else up = nearest_up;
  if (r == 0) up = false;
  amount result = x;
  if (up) {
    units_t upper = lower + s;
    if (upper < lower || upper >= units_limit) fire_with_type(err::script_type_limit, type::money);
    result.units = upper;
  } else {
    result.units = lower;
  }
  result.negative = x.negative && result.units != 0;
  return pack(v, result);
}

// A uniform digit from 0 to `bound`.
uint8_t random_digit(uint32_t bound, bool secure) {
  return static_cast<uint8_t>(random::next_in_range(static_cast<int32_t>(bound) + 1, secure) - 1);
}

/*
 * Each significant digit, from the first, is drawn from 0 to its own value until one comes
 * out below it; the digits after that range over 0-9. A draw equal to its bound is kept only
 * when two further draws agree modulo 1000, so the amounts close to the value are rare.
 */
const cell* random_(cell* v, bool seed, bool secure, bool) {
  if (seed) {
    random::seed(v->data1 ^ v->data2 ^ v->data3 ^ (v->header & sign_flag));
    return unset_result(v);
  }
  uint8_t digits[digit_count];
  uint32_t n = 0;
  while (n < digit_count && digit(v, n + 1) == 0) digits[n++] = 0;
  bool bounded = true;
  for (; n < digit_count; ++n) {
    uint32_t bound = bounded ? digit(v, n + 1) : 9;
    uint8_t d;
    for (;;) {
      d = random_digit(bound, secure);
      if (!bounded || d < bound) break;
      if (random::next_in_range(1000, secure) == random::next_in_range(1000, secure)) break;
    }
    if (d < bound) bounded = false;
    digits[n] = d;
  }
  return init_cell(v, negative_bit(v), currency_of(v), digits);
}

bool odd_q(cell* v) { return digit(v, integer_digits) % 2 != 0; }
bool even_q(cell* v) { return !odd_q(v); }

// Path and pick fields: 1 code (the currency word or none), 2 amount (without currency).
int32_t field_of(const cell* e) {
  if (type_of(e) == type::integer) {
    int32_t i = integer_type::value_of(e);
    return i == 1 || i == 2 ? i : 0;
  }
  static field_words<2> names({"code", "amount"});
  int32_t i = names.index_of(e);
  return i > 0 ? i : 0;
}

void get_field(const cell* m, int32_t index, cell* out) {
  if (index == 1) {
    currency_word(currency_of(m), out);
  } else {
    *out = *m;
    out->data1 &= ~0xFFu;
  }
}

const cell* eval_path(cell* parent, cell* element, cell* value, cell* path, cell*, cell*, int32_t, bool,
                bool, bool) {
  int32_t index = field_of(element);
  cell e = *element;
  if (index == 0) fire(err::script_invalid_path, path, &e);
  if (value) fire(err::script_bad_path_set, path, &e);
  get_field(parent, index, &path_result);
  return &path_result;
}

const cell* pick(cell* m, int32_t number, cell* picked) {
  cell n;
  const cell* boxed = scalar::pick_index(picked, number, &n);
  int32_t index = field_of(boxed);
  if (index == 0) fire(err::script_out_of_range, boxed);
  cell out;
  get_field(m, index, &out);
  *m = out;
  return m;
}

}  // namespace

int32_t sign(const cell* m) { return sign_of(unpack(m)); }

cell* init_cell(cell* c, bool negative, uint32_t currency, const uint8_t digits[digit_count]) {
  uint8_t b[12] = {};
  b[0] = static_cast<uint8_t>(currency);
  for (uint32_t n = 0; n < digit_count; ++n) {
    uint8_t d = static_cast<uint8_t>(digits[n] & 0xF);
    b[1 + n / 2] |= n % 2 == 0 ? static_cast<uint8_t>(d << 4) : d;
  }
  c->header = type::money | (negative ? sign_flag : 0u);
  uint32_t* words[3] = {&c->data1, &c->data2, &c->data3};
  for (uint32_t w = 0; w < 3; ++w)
    *words[w] = uint32_t(b[4 * w]) | uint32_t(b[4 * w + 1]) << 8 | uint32_t(b[4 * w + 2]) << 16 |
                uint32_t(b[4 * w + 3]) << 24;
  return c;
}

bool init_cell_from_digits(cell* c, bool negative, std::string_view currency_code,
                           std::string_view integer_text, std::string_view fraction_text) {
  uint32_t currency = 0;
  if (!currency_code.empty()) {
    int32_t i = currency_index(currency_code);
    if (i < 0) return false;
    currency = static_cast<uint32_t>(i);
  }
  uint8_t digits[digit_count] = {};
  uint32_t count = 0;
  for (char ch : integer_text) {
    if (ch == '\'') continue;
    if (ch < '0' || ch > '9') return false;
    if (count == 0 && ch == '0') continue;  // leading zeros take no place
    if (++count > integer_digits) return false;
  }
  uint32_t p = integer_digits - count;
  bool leading = true;
  for (char ch : integer_text) {
    if (ch == '\'' || (leading && ch == '0')) continue;
    leading = false;
    digits[p++] = static_cast<uint8_t>(ch - '0');
  }
  for (size_t k = 0; k < fraction_text.size(); ++k) {
    char ch = fraction_text[k];
    if (ch < '0' || ch > '9') return false;
    if (k < fraction_digits) digits[integer_digits + k] = static_cast<uint8_t>(ch - '0');
  }
  init_cell(c, negative, currency, digits);
  return true;
}

int32_t currency_index(std::string_view code) {
  if (const cell* list = system_settings::currency_list()) {
    if (!is_any_block(type_of(list))) return -1;
    int32_t n = block::rs_length(list);
    if (n > static_cast<int32_t>(max_currency)) n = static_cast<int32_t>(max_currency);
    for (int32_t i = 0; i < n; ++i) {
      const cell* w = block::rs_head(const_cast<cell*>(list)) + i;
      if (is_word(w) && same_code(symbol::spelling(word::symbol_of(w)), code)) return i + 1;
    }
    return -1;
  }
  for (uint32_t i = 0; i < boot_currency_count; ++i)
    if (same_code(boot_currencies[i], code)) return static_cast<int32_t>(i + 1);
  return -1;
}

double to_float(const cell* m) {
  amount a = unpack(m);
  units_t whole = a.units / unit_scale, part = a.units % unit_scale;
  char text[48];
  char* p = text + sizeof text;
  *--p = '\0';
  for (uint32_t k = 0; k < fraction_digits; ++k) {
    *--p = static_cast<char>('0' + static_cast<int>(part % 10));
    part /= 10;
  }
  *--p = '.';
  do {
    *--p = static_cast<char>('0' + static_cast<int>(whole % 10));
    whole /= 10;
  } while (whole != 0);
  double x = sysrt::text_to_float(p, 0).value;
  return a.negative ? -x : x;
}

int32_t to_integer(const cell* m) {
  amount a = unpack(m);
  units_t whole = a.units / unit_scale;
  if (whole > (a.negative ? units_t(2147483648u) : units_t(2147483647u)))
    fire_with_type(err::script_type_limit, type::integer);
  int64_t v = static_cast<int64_t>(whole);
  return static_cast<int32_t>(a.negative ? -v : v);
}

/*
 * money! arithmetic with money!, integer!, float! and percent! operands on either side. Two
 * currencies must agree unless one operand has none; the result takes the second operand's
 * currency, else the first's. money / money is a float!; money * money is refused.
 */
void math(kaz::math op) {
  cell* a = stack::arguments;
  cell* b = a + 1;
  bool am = type_of(a) == type::money, bm = type_of(b) == type::money;
  if (op == kaz::math::multiply && am && bm) fire_invalid_type(a);
  if ((op == kaz::math::divide || op == kaz::math::remainder) && !am) fire_invalid_type(a);
  amount x = operand(a), y = operand(b);
  if (!same_currency(x, y, false)) wrong_denom(a, b);
  uint32_t currency = y.currency ? y.currency : x.currency;
  amount r;
  switch (op) {
    case kaz::math::add: r = add(x, y); break;
    case kaz::math::subtract:
      y.negative = !y.negative && y.units != 0;
      r = add(x, y);
      break;
    case kaz::math::multiply: r = multiply(x, y); break;
    case kaz::math::divide:
      r = divide(x, y);
      if (bm) {
        r.currency = 0;
        cell q;
        pack(&q, r);
        *a = cell{type::float_, 0, 0, 0};
        put_double(a, to_float(&q));
        return;
      }
      break;
    case kaz::math::remainder: r = remainder(x, y); break;
    default: fire_invalid_type(a);
  }
  r.currency = currency;
  pack(a, r);
}

void init() {
  integer_type::hooks.from_money = to_integer;
  float_type::hooks.from_money = to_float;
  registry::add(type::money, {.make = make,
                              .random = random_,
                              .to = to,
                              .form = form,
                              .mold = mold,
                              .eval_path = eval_path,
                              .compare = compare,
                              .absolute = absolute,
                              .add = add_,
                              .divide = divide_,
                              .multiply = multiply_,
                              .negate = negate,
                              .remainder = remainder_,
                              .round = round,
                              .subtract = subtract_,
                              .even_q = even_q,
                              .odd_q = odd_q,
                              .pick = pick});
}

}  // namespace kaz::money_type
