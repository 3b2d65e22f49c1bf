// The url! datatype's request service: Kaz values into an HTTP request, the answer into a body
// value (binary!, string! or block of lines) or an info block of status, header map and body.
#include <string_view>

#include "core/actions.h"
#include "core/block_storage.h"
#include "core/stack.h"
#include "core/string_storage.h"
#include "core/symbol.h"
#include "core/word.h"
#include "core/words.h"
#include "datatypes/binary.h"
#include "datatypes/integer.h"
#include "datatypes/map.h"
#include "datatypes/url.h"
#include "memory/unicode_strings.h"
#include "memory/unicode_utf8.h"
#include "platform/files.h"
#include "platform/http.h"
#include "platform/utf8_repair.h"
#include "runtime/fire.h"

namespace kaz::http {

namespace {

// ---------------------------------------------------------------------------------------------
// The request.

// The value's formed text as UTF-8.
std::string formed(const cell* value) {
  cell* buffer = stack::reserve_cell();
  string::make_at(buffer, 64);
  cell v = *value;
  actions::form(&v, buffer, nullptr, 0x7FFFFFFF);
  std::string text = string::to_utf8(buffer);
  stack::top = buffer;
  return text;
}

// A string! as its text, any other value as its formed text.
std::string text_of_value(const cell* value) {
  return type_of(value) == type::string ? string::to_utf8(value) : formed(value);
}

// Characters a URL cannot carry as they are: controls, space, non-ASCII bytes, the double
// quote, "%", "<", ">", "\", "^", "`", "{", "}", "|" and DEL. A url! holds its text decoded,
// so a "%" in it is a percent sign.
bool escaped_in_url(uint8_t b) {
  if (b <= 32 || b >= 127) return true;
  return std::string_view("\"%<>\\^`{|}").find(char(b)) != std::string_view::npos;
}

std::string request_url(const cell* url) {
  std::string text = string::to_utf8(url);
  std::string out;
  out.reserve(text.size());
  static const char digits[] = "0123456789ABCDEF";
  for (unsigned char b : text) {
    if (!escaped_in_url(b)) {
      out += char(b);
      continue;
    }
    out += '%';
    out += digits[b >> 4];
    out += digits[b & 15];
  }
  return out;
}

// A token (method or header name): visible ASCII without separators.
bool token_q(std::string_view s) {
  if (s.empty()) return false;
  for (unsigned char c : s) {
    if (c <= 32 || c >= 127) return false;
    if (std::string_view("\"(),/:;<=>?@[\\]{}").find(char(c)) != std::string_view::npos)
      return false;
  }
  return true;
}

// A header value cannot hold a line end or NUL (they would end the header and start another).
bool header_value_q(std::string_view s) {
  return s.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

[[noreturn]] void invalid(const cell* value) {
  cell v = *value;
  fire(err::script_invalid_arg, &v);
}

/*
 * The header block, two values at a time: a name (a word's spelling, or any other value's
 * formed text) and its value (a string's text, or any other value's formed text). A name that
 * is not a token, a value holding a line end, and a name without a value raise invalid-arg.
 */
void read_headers(const cell* block, request& rq) {
  int32_t n = block::rs_length(block);
  for (int32_t i = 0; i < n; i += 2) {
    cell name = block::rs_head(const_cast<cell*>(block))[i];
    if (i + 1 >= n) invalid(&name);
    cell value = block::rs_head(const_cast<cell*>(block))[i + 1];
    uint32_t t = type_of(&name);
    std::string name_text =
        (t == type::word || t == type::set_word || t == type::lit_word || t == type::get_word)
            ? std::string(symbol::spelling(word::symbol_of(&name)))
            : formed(&name);
    if (!token_q(name_text)) invalid(&name);
    std::string value_text = text_of_value(&value);
    if (!header_value_q(value_text)) invalid(&value);
    rq.headers.emplace_back(std::move(name_text), std::move(value_text));
  }
}

// The method's name upper-cased: get, head and post, or any other method word.
std::string method_name(uint32_t method) {
  std::string name(symbol::spelling(method));
  for (char& c : name)
    if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
  if (!token_q(name)) {
    cell w;
    words::global_word(method, &w);
    invalid(&w);
  }
  return name;
}

// ---------------------------------------------------------------------------------------------
// The answer.

bool same_name(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = char(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = char(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

// A header value: bytes that are no valid UTF-8 (a server's Latin-1) get U+FFFD, so that one
// such header does not lose the whole answer.
cell new_string(std::string_view text) {
  std::string valid = utf8_repair::repaired(text);
  node_t node = unicode::utf8_decode_into_string(reinterpret_cast<const uint8_t*>(valid.data()),
                                                 valid.size(), 0, nullptr, false);
  return cell{type::string, 0, node, 0};
}

/*
 * The header map into `out`: keys are words of the names as the first occurrence spelled them;
 * a name that comes more than once (in any letter case) has a block of its values in order. A
 * line whose name is not a token is left out.
 */
void header_map(const response& rs, cell* out) {
  // Group the values by name first, in order of first appearance.
  std::vector<std::pair<std::string_view, std::vector<std::string_view>>> groups;
  for (auto& [name, value] : rs.headers) {
    if (!token_q(name)) continue;  // no header name, and no word
    bool found = false;
    for (auto& g : groups)
      if (same_name(g.first, name)) {
        g.second.push_back(value);
        found = true;
        break;
      }
    if (!found) groups.push_back({name, {value}});
  }
  cell* pairs = stack::reserve_cell();
  block::init_cell(pairs, uint32_t(groups.size() * 2 + 1));
  for (auto& [name, values] : groups) {
    cell key;
    words::global_word(symbol::make(name), &key);
    block::append_copy(pairs, &key);
    if (values.size() == 1) {
      cell v = new_string(values[0]);
      block::append_copy(pairs, &v);
      continue;
    }
    cell* list = stack::reserve_cell();
    block::init_cell(list, uint32_t(values.size()));
    for (std::string_view value : values) {
      cell v = new_string(value);
      block::append_copy(list, &v);
    }
    block::append_copy(pairs, list);
    stack::top = list;
  }
  map::init_cell(out, pairs, 20);
  stack::top = pairs;
}

// The body as a binary!, a block of lines or a string! (always decoded as UTF-8).
void body_value(const response& rs, bool binary, bool lines, cell* out) {
  if (binary) {
    binary::init_cell(out, uint32_t(rs.body.size()));
    binary::append_bytes(out, rs.body.data(), uint32_t(rs.body.size()));
  } else if (lines) {
    files::split_lines(rs.body, out);
  } else {
    *out = files::decoded_string(rs.body.data(), rs.body.size(), false);
  }
}

bool url_request(uint32_t method, const cell* url, const cell* headers, const cell* body,
                 bool binary, bool lines, bool info, cell* out) {
  request rq;
  rq.method = method_name(method);
  rq.url = request_url(url);
  if (headers) {
    read_headers(headers, rq);
  } else {
    rq.defaults = true;
  }
  // GET and HEAD send no body, whatever was given.
  if (body && rq.method != "GET" && rq.method != "HEAD") {
    rq.has_body = true;
    if (type_of(body) == type::binary) {
      const uint8_t* p = binary::rs_head(body);
      rq.body.assign(p, p + binary::rs_length(body));
    } else {
      std::string text = text_of_value(body);
      rq.body.assign(text.begin(), text.end());
    }
  }
  response rs;
  switch (perform(rq, rs)) {
    case outcome::no_connect:
      return false;
    case outcome::too_large:
      fire(err::internal_no_memory);
    case outcome::interrupted:  // the evaluator halts at its next step
      *out = cell{type::none, 0, 0, 0};
      return true;
    case outcome::answered:
      break;
  }
  if (!info) {
    body_value(rs, binary, lines, out);
    return true;
  }
  cell* block = stack::reserve_cell();
  block::init_cell(block, 3);
  cell status{};
  integer_type::init_cell(&status, int32_t(rs.status));
  block::append_copy(block, &status);
  cell* map = stack::reserve_cell();
  header_map(rs, map);
  block::append_copy(block, map);
  body_value(rs, binary, lines, map);
  block::append_copy(block, map);
  *out = *block;
  stack::top = block;
  return true;
}

}  // namespace

void init() { url::services.url_request = url_request; }

}  // namespace kaz::http
