// The scanning core of load-json: a recursive descent over the text (RFC 8259 exactly) that
// builds the values as it goes.
#include "library/json_scan.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "core/block_storage.h"
#include "core/context.h"
#include "core/error.h"
#include "core/stack.h"
#include "core/string_storage.h"
#include "core/symbol.h"
#include "datatypes/float.h"
#include "datatypes/map.h"
#include "datatypes/simple_types.h"
#include "loader/lexer_numbers.h"
#include "loader/lexer_transcode.h"
#include "memory/unicode_units.h"
#include "runtime/fire.h"
#include "runtime/utf8_encode.h"

namespace kaz::library::json {

namespace {

/*
 * Where a failure is reported: `mark` is the last good position (after a complete value, after
 * the colon of a name, after a line feed), `last_lf` the position after the last line feed
 * between values, `line` the count of those line feeds plus one. Positions are offsets from the
 * input's head.
 */
struct position {
  size_t mark = 0;
  size_t last_lf = 0;
  int32_t line = 1;
};

// A name in this set, or one that the lexer would not read back as a word, stays a string.
bool not_word_char(uint32_t c) {
  switch (c) {
    case '/': case '\\': case '^': case ',': case '[': case ']': case '(': case ')': case '{':
    case '}': case '"': case '#': case '%': case '$': case '@': case ':': case ';': case '\n':
    case 0xA0: case ' ': case '\t': case '\r': case '<': case '>':
    // the separators the lexer skips around a word: a key holding one would not load back
    case 0x85: case 0x1680: case 0x180E: case 0x2028: case 0x2029: case 0x202F: case 0x205F:
    case 0x3000:
      return true;
    default:
      return c >= 0x2000 && c <= 0x200B;
  }
}

bool digit_char(uint32_t c) { return c >= '0' && c <= '9'; }

/*
 * Whether a name could be a word. A sign or a point before a digit starts a number, never a
 * word: such names are turned away here, before a symbol is made for them (symbols stay for
 * the run, and numeric keys are many).
 */
bool word_shape(const std::vector<uint32_t>& name) {
  if (name.empty()) return false;
  uint32_t first = name[0];
  if (not_word_char(first) || digit_char(first) || first == '\'') return false;
  if (first == '+' || first == '-' || first == '.') {
    size_t i = first != '.' && name.size() > 1 && name[1] == '.' ? 2 : 1;
    if (i < name.size() && digit_char(name[i])) return false;
  }
  for (uint32_t c : name)
    if (not_word_char(c) || c < 0x20) return false;
  return true;
}

void append_utf8(std::string& out, uint32_t c) { unicode::utf8_append(out, c); }

/*
 * Whether the lexer reads a symbol's spelling as one word!. Object keys repeat, so verdicts are
 * kept in a small table by symbol id (ids are stable for the run).
 */
bool loads_as_word(uint32_t sym, const std::string& utf8) {
  static uint32_t verdicts[512];  // symbol id << 1 | verdict, 0 when empty
  uint32_t& slot = verdicts[sym & 511];
  if (slot >> 1 == sym) return slot & 1;
  bool word = false;
  stack::saved_state saved = stack::save();
  try {
    cell t{type::none, 0, 0, 0};
    lexer::scan_options options;
    options.scan = true;
    size_t used = lexer::scan_utf8(utf8, options, &t);
    word = used == utf8.size() && type_of(&t) == type::datatype_ && datatype_type::id_of(&t) == type::word;
  } catch (const language_error&) {
    error::in_flight.header = type::unset;
  }
  stack::unwind_to(saved);
  slot = sym << 1 | (word ? 1 : 0);
  return word;
}

/*
 * Whether a number's text (as the grammar takes it: digits, an optional fraction and an
 * optional exponent) is below one in magnitude: where its first significant digit stands,
 * counted from the point and moved by the exponent.
 */
bool below_one(const std::string& t) {
  size_t i = t[0] == '-' ? 1 : 0;
  int64_t place = 0;  // the power of ten of the first significant digit, plus one
  bool seen = false, fraction = false;
  for (; i < t.size() && t[i] != 'e' && t[i] != 'E'; ++i) {
    if (t[i] == '.') {
      fraction = true;
    } else if (!seen && t[i] == '0') {
      if (fraction) --place;
    } else if (!seen) {
      seen = true;
      if (!fraction) place = 1;
    } else if (!fraction) {
      ++place;
    }
  }
  if (!seen) return true;
  int64_t exponent = 0;
  bool negative = false;
  if (i < t.size()) {
    ++i;
    if (t[i] == '+' || t[i] == '-') negative = t[i++] == '-';
    for (; i < t.size(); ++i) exponent = std::min<int64_t>(exponent * 10 + (t[i] - '0'), 1 << 30);
  }
  return place + (negative ? -exponent : exponent) <= 0;
}

// Makes the cell a string! of the characters.
void make_string(cell* out, const uint32_t* chars, size_t n, uint32_t widest) {
  if (n * 4 >= memory::max_series_bytes) fire(err::internal_no_memory);
  uint32_t unit = unicode::unit_for(widest);
  string::init_cell_with_unit(out, static_cast<uint32_t>(n), unit);
  series_buffer* b = string::buffer_of(out);
  uint8_t* p = b->data_rw() + b->tail;
  for (size_t i = 0; i < n; ++i) string::put_char(p + i * unit, unit, chars[i]);
  b->tail += static_cast<uint32_t>(n * unit);
}

template <typename T>
class decoder {
 public:
  decoder(const T* text, size_t length) : p_(text), n_(length) {}

  // The whole text as one value, surrounded by whitespace only.
  bool run(cell* out) { return value(out) && pos_ == n_; }
  const position& where() const { return at_; }

 private:
  static constexpr uint32_t end_mark = 0xFFFFFFFFu;

  uint32_t peek() const { return pos_ < n_ ? uint32_t(p_[pos_]) : end_mark; }

  void whitespace() {
    while (pos_ < n_) {
      uint32_t c = p_[pos_];
      if (c == ' ' || c == '\t' || c == '\r') {
        ++pos_;
      } else if (c == '\n') {
        ++pos_;
        at_.last_lf = at_.mark = pos_;
        ++at_.line;
      } else {
        break;
      }
    }
  }

  bool literal(const char* word) {
    size_t len = std::strlen(word);
    if (n_ - pos_ < len) return false;
    for (size_t i = 0; i < len; ++i)
      if (uint32_t(p_[pos_ + i]) != uint8_t(word[i])) return false;
    pos_ += len;
    return true;
  }

  bool value(cell* out) {
    whitespace();
    bool ok;
    switch (peek()) {
      case 't':
        ok = literal("true");
        if (ok) *out = cell{type::logic, 1, 0, 0};
        break;
      case 'f':
        ok = literal("false");
        if (ok) *out = cell{type::logic, 0, 0, 0};
        break;
      case 'n':
        ok = literal("null");
        if (ok) *out = cell{type::none, 0, 0, 0};
        break;
      case '{':
        ok = object(out);
        break;
      case '[':
        ok = array(out);
        break;
      case '"':
        ok = string_literal(out);
        break;
      default:
        ok = number(out);
        break;
    }
    if (!ok) return false;
    at_.mark = pos_;
    whitespace();
    return true;
  }

  bool enter() {
    if (++depth_ <= max_depth) return true;
    at_.mark = pos_;
    return false;
  }

  bool array(cell* out) {
    if (!enter()) return false;
    ++pos_;
    cell* block = stack::reserve_cell();
    block::init_cell(block, 4);
    whitespace();
    if (peek() == ']') {
      ++pos_;
    } else {
      for (;;) {
        cell* item = stack::reserve_cell();
        if (!value(item)) return false;
        block::append_copy(block, item);
        stack::top = item;
        uint32_t c = peek();
        ++pos_;
        if (c == ']') break;
        if (c != ',') return false;
      }
    }
    *out = *block;
    stack::top = block;
    --depth_;
    return true;
  }

  bool object(cell* out) {
    if (!enter()) return false;
    ++pos_;
    cell* pairs = stack::reserve_cell();
    block::init_cell(pairs, 8);
    whitespace();
    if (peek() == '}') {
      ++pos_;
    } else {
      for (;;) {
        whitespace();
        cell* item = stack::reserve_cell();
        if (peek() != '"' || !name(item)) return false;
        whitespace();
        if (peek() != ':') return false;
        at_.mark = ++pos_;
        block::append_copy(pairs, item);
        if (!value(item)) return false;
        block::append_copy(pairs, item);
        stack::top = item;
        uint32_t c = peek();
        ++pos_;
        if (c == '}') break;
        if (c != ',') return false;
      }
    }
    *out = cell{type::none, 0, 0, 0};
    map::init_cell(out, pairs, 0);
    stack::top = pairs;
    --depth_;
    return true;
  }

  // A key: a word when its text is one, else the string.
  bool name(cell* out) {
    if (!scan_string()) return false;
    // Keys repeat: the verdict on a spelling is kept by its characters.
    uint32_t h = 2166136261u;
    for (uint32_t c : chars_) h = (h ^ c) * 16777619u;
    known_key& known = known_[h % known_.size()];
    if (!known.used || known.chars != chars_) {
      known.used = true;
      known.chars = chars_;
      known.symbol = 0;
      if (word_shape(chars_)) {
        utf8_.clear();
        for (uint32_t c : chars_) append_utf8(utf8_, c);
        uint32_t sym = symbol::make(utf8_);
        if (loads_as_word(sym, utf8_)) known.symbol = sym;
      }
    }
    if (known.symbol) {
      context::intern_global(known.symbol, out);
      set_type(out, type::word);
      return true;
    }
    make_string(out, chars_.data(), chars_.size(), widest_);
    return true;
  }

  bool string_literal(cell* out) {
    size_t start = pos_ + 1;
    // The common case, no escapes: the characters are copied as they stand.
    size_t i = start;
    for (; i < n_; ++i) {
      uint32_t c = p_[i];
      if (c == '"' || c == '\\' || c < 0x20) break;
    }
    if (i < n_ && p_[i] == '"') {
      size_t n = i - start;
      uint32_t unit = sizeof(T) == 1 ? 1 : unicode::unit_for(widest_char(start, i));
      string::init_cell_with_unit(out, static_cast<uint32_t>(n), unit);
      series_buffer* b = string::buffer_of(out);
      string::copy_units(reinterpret_cast<const uint8_t*>(p_ + start), sizeof(T),
                         b->data_rw() + b->tail, unit, n);
      b->tail += static_cast<uint32_t>(n * unit);
      pos_ = i + 1;
      return true;
    }
    if (!scan_string()) return false;
    make_string(out, chars_.data(), chars_.size(), widest_);
    return true;
  }

  uint32_t widest_char(size_t from, size_t to) const {
    uint32_t w = 0;
    for (size_t i = from; i < to; ++i) w = std::max<uint32_t>(w, p_[i]);
    return w;
  }

  int hex(uint32_t c) const {
    if (c >= '0' && c <= '9') return int(c - '0');
    if (c >= 'a' && c <= 'f') return int(c - 'a' + 10);
    if (c >= 'A' && c <= 'F') return int(c - 'A' + 10);
    return -1;
  }

  // Four hexadecimal digits at pos_, or -1.
  int32_t hex4() {
    if (n_ - pos_ < 4) return -1;
    int32_t code = 0;
    for (int k = 0; k < 4; ++k) {
      int d = hex(p_[pos_ + k]);
      if (d < 0) return -1;
      code = code * 16 + d;
    }
    pos_ += 4;
    return code;
  }

  /*
   * A string literal at pos_ into chars_ (its characters) and widest_. The whole literal is
   * checked first: a lone surrogate, of either kind, is raised only once the literal is known
   * to be well formed.
   */
  bool scan_string() {
    chars_.clear();
    widest_ = 0;
    size_t start = ++pos_;
    bool lone_surrogate = false;
    for (;;) {
      if (pos_ >= n_) return false;
      uint32_t c = p_[pos_++];
      if (c == '"') break;
      if (c < 0x20) return false;
      if (c == '\\') {
        if (pos_ >= n_) return false;
        uint32_t e = p_[pos_++];
        switch (e) {
          case '"': case '\\': case '/': c = e; break;
          case 'b': c = 8; break;
          case 'f': c = 12; break;
          case 'n': c = 10; break;
          case 'r': c = 13; break;
          case 't': c = 9; break;
          case 'u': {
            int32_t code = hex4();
            if (code < 0) return false;
            c = uint32_t(code);
            if (c >= 0xD800 && c <= 0xDBFF && n_ - pos_ >= 6 && p_[pos_] == '\\' &&
                p_[pos_ + 1] == 'u') {
              size_t back = pos_;
              pos_ += 2;
              int32_t low = hex4();
              if (low < 0) return false;
              if (low >= 0xDC00 && low <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (uint32_t(low) - 0xDC00);
              } else {
                pos_ = back;  // the second escape is read on its own
              }
            }
            if (c >= 0xD800 && c <= 0xDFFF) lone_surrogate = true;
            break;
          }
          default:
            return false;
        }
      }
      chars_.push_back(c);
      widest_ = std::max(widest_, c);
    }
    if (lone_surrogate) {
      cell* text = stack::reserve_cell();
      size_t n = pos_ - 1 - start;
      string::init_cell_with_unit(text, static_cast<uint32_t>(n), sizeof(T));
      series_buffer* b = string::buffer_of(text);
      std::memcpy(b->data_rw() + b->tail, p_ + start, n * sizeof(T));
      b->tail += static_cast<uint32_t>(n * sizeof(T));
      fire(err::script_invalid_data, text);
    }
    return true;
  }

  bool digit(size_t i) const { return i < n_ && p_[i] >= '0' && p_[i] <= '9'; }

  // -? (0 | [1-9][0-9]*) (. [0-9]+)? ([eE] [+-]? [0-9]+)?, loaded as `load` loads its text.
  bool number(cell* out) {
    size_t i = pos_;
    if (i < n_ && p_[i] == '-') ++i;
    if (!digit(i)) return false;
    if (p_[i] == '0') {
      ++i;
    } else {
      while (digit(i)) ++i;
    }
    bool integral = true;
    if (i < n_ && p_[i] == '.') {
      if (!digit(i + 1)) return false;
      i += 1;
      while (digit(i)) ++i;
      integral = false;
    }
    if (i < n_ && (p_[i] == 'e' || p_[i] == 'E')) {
      size_t j = i + 1;
      if (j < n_ && (p_[j] == '+' || p_[j] == '-')) ++j;
      if (!digit(j)) return false;
      while (digit(j)) ++j;
      i = j;
      integral = false;
    }
    size_t start = pos_;
    pos_ = i;
    // Integers of up to nine digits, the commonest numbers, fit integer! as they stand.
    if (integral) {
      bool negative = p_[start] == '-';
      size_t first = start + negative;
      if (i - first <= 9) {
        int32_t v = 0;
        for (size_t k = first; k < i; ++k) v = v * 10 + static_cast<int32_t>(p_[k] - '0');
        *out = cell{type::integer, 0, static_cast<uint32_t>(negative ? -v : v), 0};
        return true;
      }
    }
    text_.resize(i - start);
    for (size_t k = start; k < i; ++k) text_[k - start] = char(p_[k]);
    auto* b = reinterpret_cast<const uint8_t*>(text_.data());
    const uint8_t* e = b + text_.size();
    if (integral) {
      int32_t v;
      if (lexer::parse_integer(b, e, v) == lexer::int_result::ok) {
        *out = cell{type::integer, 0, static_cast<uint32_t>(v), 0};
        return true;
      }
    }
    double d = 0;
    if (text_.size() > lexer::max_float_text || !lexer::parse_float(b, e, 0, d)) {
      auto r = std::from_chars(text_.data(), text_.data() + text_.size(), d);
      if (r.ec == std::errc::result_out_of_range) {
        d = below_one(text_) ? 0.0 : HUGE_VAL;  // too small or too large for a double
        if (text_[0] == '-') d = -d;
      }
    }
    float_type::init_cell(out, d);
    return true;
  }

  const T* p_;
  size_t n_;
  size_t pos_ = 0;
  uint32_t depth_ = 0;
  position at_;
  std::vector<uint32_t> chars_;
  uint32_t widest_ = 0;
  std::string utf8_;
  // A key's spelling and the symbol of the word it loads as (0: it stays a string).
  struct known_key {
    bool used = false;
    std::vector<uint32_t> chars;
    uint32_t symbol = 0;
  };
  std::array<known_key, 64> known_;
  std::string text_;
};

template <typename T>
void decode(cell* a, const string::text& t) {
  // The text is copied out of collector memory: building values may move its buffer.
  std::vector<T> copy(t.length);
  if (t.length) std::memcpy(copy.data(), t.p, size_t(t.length) * sizeof(T));
  decoder<T> d(copy.data(), copy.size());
  cell* result = stack::reserve_cell();
  cell* out = stack::reserve_cell();
  block::init_cell(result, 3);
  if (d.run(out)) {
    block::append_copy(result, out);
  } else {
    const position& at = d.where();
    cell line{type::integer, 0, static_cast<uint32_t>(at.line), 0};
    cell offset{type::integer, 0, static_cast<uint32_t>(at.mark), 0};
    cell column{type::integer, 0, static_cast<uint32_t>(at.mark - at.last_lf), 0};
    block::append_copy(result, &line);
    block::append_copy(result, &offset);
    block::append_copy(result, &column);
  }
  *a = *result;
}

}  // namespace

void scan(cell* a) {
  if (type_of(a) != type::string) fire(err::script_invalid_arg, a);
  uint32_t base = stack::index_of(stack::top);
  string::text t = string::text_of(a);
  switch (t.unit) {
    case 1: decode<uint8_t>(a, t); break;
    case 2: decode<uint16_t>(a, t); break;
    default: decode<uint32_t>(a, t); break;
  }
  stack::top = stack::at_index(base);
}

}  // namespace kaz::library::json
