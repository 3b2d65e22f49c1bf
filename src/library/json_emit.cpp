// The writing core of to-json: a recursive writer over the datatypes, into UTF-8 text kept
// outside collector memory until the end.
#include "library/json_emit.h"

#include <charconv>
#include <utility>
#include <cmath>
#include <string>

#include "core/actions.h"
#include "core/block_storage.h"
#include "core/context.h"
#include "core/object.h"
#include "core/series_cell.h"
#include "core/stack.h"
#include "core/string_storage.h"
#include "core/symbol.h"
#include "core/word.h"
#include "datatypes/float.h"
#include "datatypes/integer.h"
#include "datatypes/map.h"
#include "datatypes/simple_types.h"
#include "runtime/fire.h"
#include "runtime/utf8_encode.h"

namespace kaz::library::json {

namespace {

/*
 * Values are read through their cells at every step: forming and molding allocate, and may
 * move any buffer. Nothing that the writer reads is changed while it runs (no Kaz code runs).
 */
class encoder {
 public:
  encoder(cell* scratch, std::string indent, bool pretty, bool ascii)
      : scratch_(scratch), indent_(std::move(indent)), pretty_(pretty), ascii_(ascii) {}

  std::string& text() { return out_; }

  void value(const cell* v) {
    uint32_t t = type_of(v);
    switch (t) {
      case type::none: out_ += "null"; return;
      case type::logic: out_ += logic_type::value_of(v) ? "true" : "false"; return;
      case type::integer: {
        char buf[16];
        auto r = std::to_chars(buf, buf + sizeof buf, integer_type::value_of(v));
        out_.append(buf, r.ptr);
        return;
      }
      case type::float_: number(get_double(v)); return;
      case type::percent: number(get_double(v)); return;
      case type::string: string_value(v); return;
      case type::map: map_value(v); return;
      case type::object: object_value(v); return;
      default: break;
    }
    if (is_any_block(t)) {
      block_value(v);
    } else if (is_any_string(t)) {
      formed(v, false);
      string_value(scratch_);
    } else {
      formed(v, true);
      string_value(scratch_);
    }
  }

 private:
  // Infinite and NaN numbers have no JSON form: null. Others as molded, every digit kept.
  void number(double d) {
    if (!std::isfinite(d)) {
      out_ += "null";
      return;
    }
    cell f;
    float_type::init_cell(&f, d);
    formed(&f, true);
    string::text t = string::text_of(scratch_);
    for (uint32_t i = 0; i < t.length; ++i) out_ += char(t.at(i));
  }

  // The scratch string becomes the form (or mold) of the value.
  void formed(const cell* v, bool mold) {
    cell value = *v;
    string::reset(scratch_);
    if (mold)
      actions::mold(&value, scratch_, false, false, false, nullptr, 0x7FFFFFFF, 0);
    else
      actions::form(&value, scratch_, nullptr, 0x7FFFFFFF);
  }

  void utf8(uint32_t c) { unicode::utf8_append(out_, c); }

  void hex4(uint32_t code) {
    static const char digits[] = "0123456789ABCDEF";
    out_ += "\\u";
    for (int shift = 12; shift >= 0; shift -= 4) out_ += digits[(code >> shift) & 15];
  }

  // The text of a string-family value from its head, as a JSON string.
  void string_value(const cell* s) {
    string::text t = string::text_of(s);
    out_ += '"';
    for (uint32_t i = 0; i < t.length; ++i) {
      uint32_t c = t.at(i);
      // FFFEh and the surrogates are written as escapes: the UTF-8 the result is made from
      // would refuse them, and the text would end there.
      bool raw_safe = c != 0xFFFE && (c < 0xD800 || c > 0xDFFF);
      if (c >= 0x20 && c != '"' && c != '\\' && (!ascii_ || c < 0x80) && raw_safe) {
        utf8(c);
        continue;
      }
      switch (c) {
        case '"': out_ += "\\\""; break;
        case '\\': out_ += "\\\\"; break;
        case 8: out_ += "\\b"; break;
        case 12: out_ += "\\f"; break;
        case '\n': out_ += "\\n"; break;
        case '\r': out_ += "\\r"; break;
        case '\t': out_ += "\\t"; break;
        default:
          if (c <= 0xFFFF) {
            hex4(c);
          } else {
            hex4(0xD800 + ((c - 0x10000) >> 10));
            hex4(0xDC00 + ((c - 0x10000) & 0x3FF));
          }
      }
    }
    out_ += '"';
  }

  void new_line() {
    out_ += '\n';
    for (uint32_t i = 0; i < level_; ++i) out_ += indent_;
  }

  void open(char c) {
    if (++depth_ > max_emit_depth) fire(err::internal_too_deep);
    out_ += c;
    if (pretty_) {
      ++level_;
      new_line();
    }
  }

  void close(char c) {
    if (pretty_) {
      --level_;
      new_line();
    }
    out_ += c;
    --depth_;
  }

  void separator() {
    out_ += ',';
    if (pretty_) new_line();
  }

  void block_value(const cell* v) {
    cell b = *v;
    if (block::rs_length(&b) <= 0) {
      out_ += "[]";
      return;
    }
    open('[');
    for (int32_t i = 0; i < block::rs_length(&b); ++i) {
      if (i > 0) separator();
      cell item = block::rs_head(&b)[i];
      value(&item);
    }
    close(']');
  }

  void key(const cell* k) {
    uint32_t t = type_of(k);
    if (is_any_word(t)) {
      cell name{type::string, 0, symbol::name_string(word::symbol_of(k)), 0};
      string_value(&name);
    } else if (t == type::string) {
      string_value(k);
    } else {
      formed(k, true);
      string_value(scratch_);
    }
    out_ += pretty_ ? ": " : ":";
  }

  // A removed pair keeps its place with a value cell of header 0.
  void map_value(const cell* v) {
    cell m = *v;
    if (map::entry_count(&m) == 0) {
      out_ += "{}";
      return;
    }
    open('{');
    bool first = true;
    for (uint32_t i = 0; i + 1 < memory::buffer_of(map::entries_of(&m))->length(); i += 2) {
      const cell* pair = memory::buffer_of(map::entries_of(&m))->cells() + i;
      if (pair[1].header == 0) continue;
      cell k = pair[0];
      cell item = pair[1];
      if (!first) separator();
      first = false;
      key(&k);
      value(&item);
    }
    close('}');
  }

  void object_value(const cell* v) {
    node_t ctx = object::context_of(v);
    uint32_t n = context::size(ctx);
    if (n == 0) {
      out_ += "{}";
      return;
    }
    open('{');
    for (uint32_t i = 0; i < n && i < context::size(ctx); ++i) {
      if (i > 0) separator();
      cell w;
      context::word_at(ctx, i, &w);
      key(&w);
      cell item = context::values(ctx)[i];
      value(&item);
    }
    close('}');
  }

  cell* scratch_;
  std::string indent_;
  bool pretty_;
  bool ascii_;
  uint32_t level_ = 0;
  uint32_t depth_ = 0;
  std::string out_;
};

}  // namespace

void emit(cell* a) {
  uint32_t base = stack::index_of(stack::top);
  cell* data = stack::push(&a[0]);
  cell* scratch = stack::reserve_cell();
  string::make_at(scratch, 64);
  bool pretty = type_of(&a[1]) == type::string;
  std::string indent = pretty ? string::to_utf8(&a[1]) : std::string();
  encoder e(scratch, indent, pretty, type_of(&a[2]) == type::logic && logic_type::value_of(&a[2]) != 0);
  e.value(data);
  std::string& text = e.text();
  if (text.size() >= memory::max_series_bytes / 4) fire(err::internal_no_memory);
  cell* result = stack::reserve_cell();
  string::make_at(result, static_cast<uint32_t>(text.size() + 1));
  if (string::append_utf8(series::node_of(result), text) < text.size())
    fire(err::access_invalid_utf8);  // never a text cut short
  *a = *result;
  stack::top = stack::at_index(base);
}

}  // namespace kaz::library::json
