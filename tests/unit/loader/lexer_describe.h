// A compact text of loaded values for the lexer tests: one token per value, nested series in
// their brackets, a "|" before a value that carries the new-line marker.
#pragma once

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/block_storage.h"
#include "core/string_storage.h"
#include "core/symbol.h"
#include "datatypes/money.h"
#include "datatypes/tuple.h"
#include "loader/lexer_cells.h"

namespace kaz::testing {

inline const char* datatype_name(uint32_t id) {
  switch (id) {
#define DATATYPE(n, cname, name, parent) \
  case n:                                \
    return name;
#include "runtime/types.def"
#undef DATATYPE
    default:
      return "?";
  }
}

inline std::string number_text(double d) {
  if (std::isnan(d)) return "nan";
  if (std::isinf(d)) return d < 0 ? "-inf" : "inf";
  char b[40];
  std::snprintf(b, sizeof b, "%.17g", d);
  return b;
}

inline std::string float32_text(uint32_t bits) {
  float f;
  std::memcpy(&f, &bits, sizeof f);
  char b[40];
  std::snprintf(b, sizeof b, "%g", double(f));
  return b;
}

inline std::string describe(const cell* v);

inline std::string describe_cells(const cell* first, uint32_t n) {
  std::string out;
  for (uint32_t i = 0; i < n; ++i) {
    if (i) out += ' ';
    out += describe(first + i);
  }
  return out;
}

inline std::string describe_series(const cell* v) {
  series_buffer* b = block::buffer_of(v);
  uint32_t len = b->length();
  uint32_t head = v->data1 < len ? v->data1 : len;
  return describe_cells(b->cells() + head, len - head);
}

inline std::string describe(const cell* v) {
  std::string nl = (v->header & new_line_flag) ? "|" : "";
  uint32_t t = type_of(v);
  auto spelling = [v] { return std::string(symbol::spelling(v->data2)); };
  switch (t) {
    case type::integer:
      return nl + std::to_string(int32_t(v->data2));
    case type::float_:
      return nl + "f:" + number_text(get_double(v));
    case type::percent:
      return nl + "p:" + number_text(get_double(v));
    case type::time:
      return nl + "t:" + number_text(get_double(v));
    case type::none:
      return nl + "none";
    case type::unset:
      return nl + "unset";
    case type::logic:
      return nl + (v->data1 ? "true" : "false");
    case type::datatype_:
      return nl + "dt:" + datatype_name(v->data1);
    case type::char_: {
      uint32_t c = v->data2;
      if (c >= 0x20 && c < 0x7F) return nl + "#\"" + char(c) + "\"";
      char b[24];
      std::snprintf(b, sizeof b, "#\"U+%04X\"", c);
      return nl + b;
    }
    case type::word:
      return nl + spelling();
    case type::set_word:
      return nl + spelling() + ":";
    case type::get_word:
      return nl + ":" + spelling();
    case type::lit_word:
      return nl + "'" + spelling();
    case type::refinement:
      return nl + "/" + spelling();
    case type::issue:
      return nl + "#" + spelling();
    case type::string:
      return nl + "\"" + string::to_utf8(v) + "\"";
    case type::file:
      return nl + "%\"" + string::to_utf8(v) + "\"";
    case type::url:
      return nl + "url:" + string::to_utf8(v);
    case type::email:
      return nl + "email:" + string::to_utf8(v);
    case type::tag:
      return nl + "<" + string::to_utf8(v) + ">";
    case type::ref:
      return nl + "@" + string::to_utf8(v);
    case type::binary: {
      series_buffer* b = memory::buffer_of(v->data2);
      std::string out = "#{";
      char h[3];
      for (uint32_t i = v->data1; i < b->tail; ++i) {
        std::snprintf(h, sizeof h, "%02X", b->data()[i]);
        out += h;
      }
      return nl + out + "}";
    }
    case type::block:
      return nl + "[" + describe_series(v) + "]";
    case type::paren:
      return nl + "(" + describe_series(v) + ")";
    case type::path:
    case type::lit_path:
    case type::set_path:
    case type::get_path: {
      std::string inner = describe_series(v);
      for (char& c : inner)
        if (c == ' ') c = '/';
      if (t == type::lit_path) return nl + "'" + inner;
      if (t == type::get_path) return nl + ":" + inner;
      if (t == type::set_path) return nl + inner + ":";
      return nl + inner;
    }
    case type::pair:
      return nl + std::to_string(int32_t(v->data2)) + "x" + std::to_string(int32_t(v->data3));
    case type::point2d:
      return nl + "(" + float32_text(v->data1) + ", " + float32_text(v->data2) + ")";
    case type::point3d:
      return nl + "(" + float32_text(v->data1) + ", " + float32_text(v->data2) + ", " +
             float32_text(v->data3) + ")";
    case type::tuple: {
      std::string out;
      for (uint32_t i = 0; i < tuple_type::length_of(v); ++i) {
        if (i) out += '.';
        out += std::to_string(tuple_type::byte_at(v, i));
      }
      return nl + out;
    }
    case type::money: {
      std::string out = (v->header & money_type::sign_flag) ? "-" : "";
      uint32_t currency = v->data1 & 0xFF;
      if (currency) out += "c" + std::to_string(currency);
      out += "$";
      std::string digits;
      for (uint32_t n = 1; n <= 22; ++n) digits += char('0' + money_type::digit(v, n));
      size_t first = digits.find_first_not_of('0');
      std::string integer = first < 17 ? digits.substr(first, 17 - first) : "0";
      return nl + out + integer + "." + digits.substr(17);
    }
    case type::date: {
      int32_t year = int32_t(v->data1) >> 17;
      uint32_t month = (v->data1 >> 12) & 0xF, day = (v->data1 >> 7) & 0x1F;
      char b[64];
      std::snprintf(b, sizeof b, "d:%d-%u-%u", year, month, day);
      std::string out = b;
      if (v->data1 & 0x10000) {
        out += "/" + number_text(get_double(v));
        uint32_t zone = v->data1 & 0x7F;
        if (zone) {
          std::snprintf(b, sizeof b, "%c%u:%u", (zone & 0x40) ? '-' : '+', (zone >> 2) & 0xF,
                        (zone & 3) * 15);
          out += b;
        }
      }
      return nl + out;
    }
    default:
      return nl + "?" + datatype_name(t);
  }
}

}  // namespace kaz::testing
