// url!: percent coding, mold, building from a block, path joining, and its I/O actions handed
// to the URL services.
#include "datatypes/url.h"

#include "core/actions.h"
#include "core/block_storage.h"
#include "core/registry.h"
#include "core/series_cell.h"
#include "core/stack.h"
#include "core/string_storage.h"
#include "core/symbol.h"
#include "core/word.h"
#include "datatypes/base_codecs.h"
#include "datatypes/port.h"
#include "datatypes/string_actions.h"
#include "memory/unicode_utf8.h"
#include "runtime/fire.h"

namespace kaz::url {

io_services services;

namespace {

/*
 * The quoting table: characters that make a molded file! quoted and that a molded url! escapes:
 * the controls, space, the double quote, "%", "(", ")", ";", "<", ">", "[", "]", "\", "^", "`",
 * "{", "}", "|" and DEL. Every delimiter of the lexer is among them, so that molds read back.
 */
struct byte_table {
  bool quote[128] = {};
  bool keep[128] = {};  // the unreserved bytes of the strict selector
  constexpr byte_table() {
    for (int c = 0; c < 32; ++c) quote[c] = true;
    for (char c : std::string_view(" \"%();<>[]\\^`{}|")) quote[uint8_t(c)] = true;
    quote[127] = true;
    for (int c = 0; c < 128; ++c)
      keep[c] = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                c == '-' || c == '.' || c == '_' || c == '~';
  }
};
constexpr byte_table tables;

// Calls f with each byte of the UTF-8 of the value's text from its head until f answers false
// (f may allocate: the text is looked up again for every character).
template <class F>
void each_utf8_byte(const cell* v, F f) {
  for (uint32_t i = 0; i < string::text_of(v).length; ++i) {
    uint8_t bytes[4];
    uint32_t n = unicode::utf8_append_encoded(string::text_of(v).at(i), bytes);
    for (uint32_t k = 0; k < n; ++k)
      if (!f(bytes[k])) return;
  }
}

// Appends one byte as url text; answers the characters written (1 or 3).
uint32_t put_byte(node_t out, uint8_t byte, uint32_t selector) {
  if (!escaped_q(byte, selector)) {
    char c = static_cast<char>(byte);
    string::append_ascii(out, std::string_view(&c, 1));
    return 1;
  }
  static const char digits[] = "0123456789ABCDEF";
  char text[3] = {'%', digits[byte >> 4], digits[byte & 15]};
  string::append_ascii(out, std::string_view(text, 3));
  return 3;
}

}  // namespace

bool escaped_q(uint8_t byte, uint32_t selector) {
  if (byte >= 128) return true;
  return selector == strict ? !tables.keep[byte] : tables.quote[byte];
}

bool quoted_q(uint32_t c) { return c < 127 && tables.quote[c]; }

void encode_percent(const cell* value, node_t out, uint32_t selector) {
  each_utf8_byte(value, [&](uint8_t b) {
    put_byte(out, b, selector);
    return true;
  });
}

void decode_percent(const cell* value, node_t out) {
  cell v = *value;
  // The escaped byte at position i of the text, when there is a valid escape there.
  auto escape_at = [&v](uint32_t i, uint8_t& byte) {
    string::text t = string::text_of(&v);
    if (i + 3 > t.length || t.at(i) != '%') return false;
    uint32_t hi = t.at(i + 1), lo = t.at(i + 2);
    uint8_t h = hi < 128 ? binary::hex_digit_value(hi) : 255;
    uint8_t l = lo < 128 ? binary::hex_digit_value(lo) : 255;
    if (h > 15 || l > 15) return false;
    byte = uint8_t(h << 4 | l);
    return true;
  };
  uint32_t i = 0;
  while (i < string::text_of(&v).length) {
    uint8_t lead;
    if (escape_at(i, lead)) {
      uint32_t n = unicode::utf8_sequence_length(lead);
      if (n == 0) {
        string::append_code_point(out, lead);
        i += 3;
        continue;
      }
      uint8_t bytes[4] = {lead, 0, 0, 0};
      uint32_t k = 1;
      while (k < n && escape_at(i + 3 * k, bytes[k])) ++k;
      size_t used = 0;
      int32_t cp = k == n ? unicode::utf8_decode_char(bytes, n, used) : -1;
      if (cp >= 0 && used == n) {
        string::append_code_point(out, static_cast<uint32_t>(cp));
        i += 3 * n;
        continue;
      }
    }
    string::append_code_point(out, string::text_of(&v).at(i));
    ++i;
  }
}

namespace {

// ---------------------------------------------------------------------------------------------
// make and to.

bool block_like(uint32_t t) { return t == type::block || t == type::paren || t == type::hash; }

void form_into(const cell* value, cell* out) {
  cell v = *value;
  actions::form(&v, out, nullptr, 0x7FFFFFFF);
}

/*
 * A url from a block: scheme "://" host, then ":" port when the third value is an integer!,
 * then "/" and each further value, joined by "#" before an issue! and "/" otherwise.
 */
cell* from_block(cell* proto, const cell* spec_arg) {
  cell spec = *spec_arg;
  int32_t n = block::rs_length(&spec);
  if (n <= 0) {
    cell dt{type::datatype_, type::url, 0, 0};
    fire(err::script_bad_to_arg, &dt, &spec);
  }
  cell* out = stack::reserve_cell();
  string::make_at(out, 16, type::url);
  auto at = [&spec](int32_t i) { return block::rs_head(&spec) + i; };
  form_into(at(0), out);
  string::append_ascii(out->data2, "://");
  int32_t i = 1;
  if (i < n) form_into(at(i++), out);
  if (i < n && type_of(at(i)) == type::integer) {
    string::append_ascii(out->data2, ":");
    form_into(at(i++), out);
  }
  if (i < n) {
    string::append_ascii(out->data2, "/");
    form_into(at(i++), out);
    for (; i < n; ++i) {
      string::append_ascii(out->data2, type_of(at(i)) == type::issue ? "#" : "/");
      form_into(at(i), out);
    }
  }
  *proto = *out;
  stack::top = out;
  return proto;
}

cell* to(cell* proto, cell* spec, uint32_t t) {
  if (t == type::url && block_like(type_of(spec))) return from_block(proto, spec);
  return string_type::to(proto, spec, t);
}

cell* make(cell* proto, cell* spec, uint32_t t) {
  if (t == type::url && block_like(type_of(spec))) return from_block(proto, spec);
  return string_type::make(proto, spec, t);
}

// ---------------------------------------------------------------------------------------------
// mold and paths.

// The text with every byte that needs it escaped; no scheme check, no delimiters.
int32_t mold(cell* v, cell* buffer, bool, bool, bool, cell* part, int32_t limit, int32_t) {
  int32_t written = 0;
  each_utf8_byte(v, [&](uint8_t b) {
    written += static_cast<int32_t>(put_byte(series::node_of(buffer), b, 0));
    return !(part && written >= limit);
  });
  return limit - written;
}

// A get joins the series and the element with one "/"; a set raises bad-path-set.
const cell* eval_path(cell* parent, cell* element, cell* value, cell* path, cell*, cell*, int32_t,
                bool, bool, bool) {
  if (value) fire(err::script_bad_path_set, path, element);
  cell series = *parent;
  cell* piece = stack::reserve_cell();
  string::make_at(piece, 16);
  form_into(element, piece);
  cell* out = stack::reserve_cell();
  uint32_t length = string::length_from_head(&series);
  string::make_at(out, length + 16, type_of(&series));
  string::append_string(out->data2, &series);
  bool ends = length > 0 && string::text_of(&series).at(length - 1) == '/';
  string::text t = string::text_of(piece);
  bool begins = t.length > 0 && t.at(0) == '/';
  if (!ends && !begins) string::append_ascii(out->data2, "/");
  cell rest = *piece;
  if (ends && begins) rest.data1 = 1;
  string::append_string(out->data2, &rest);
  *parent = *out;
  stack::top = piece;
  return parent;
}

// ---------------------------------------------------------------------------------------------
// I/O.

[[noreturn]] void not_done() { fire(err::internal_not_done); }

// Whether the text begins with "http" (lower case), as http and https urls do.
bool http_q(const cell* v) {
  string::text t = string::text_of(v);
  return t.length >= 4 && t.at(0) == 'h' && t.at(1) == 't' && t.at(2) == 't' && t.at(3) == 'p';
}

cell* port_for(cell* u, bool open, bool new_, bool read, bool write, bool seek, cell* allow) {
  if (!services.to_port) not_done();
  cell* out = stack::reserve_cell();
  services.to_port(u, open, new_, read, write, seek, allow, out);
  return out;
}

[[noreturn]] void no_connect(const cell* u) {
  cell v = *u;
  fire(err::access_no_connect, &v);
}

cell* open(cell* u, bool new_, bool read, bool write, bool seek, cell* allow) {
  *u = *port_for(u, true, new_, read, write, seek, allow);
  return u;
}

cell* read(cell* u, cell* part, cell* seek, bool binary, bool lines, bool info, cell* as) {
  if (!http_q(u)) {
    cell* port = port_for(u, false, false, false, false, false, nullptr);
    port_type::read_port(port, part, seek, binary, lines, info, as, u);
    return u;
  }
  if (part || seek || as) not_done();
  if (!services.url_request) not_done();
  cell* out = stack::reserve_cell();
  if (!services.url_request(symbol::make("get"), u, nullptr, nullptr, binary, lines, info, out))
    no_connect(u);
  *u = *out;
  return u;
}

cell* write(cell* u, cell* data, bool binary, bool lines, bool info, bool append, cell* part,
            cell* seek, cell* allow, cell* as) {
  if (!http_q(u)) {
    cell* held = stack::push(data);
    cell* port = port_for(u, false, false, false, false, false, nullptr);
    port_type::write_port(port, held, binary, lines, info, append, part, seek, allow, as, u);
    return u;
  }
  if (part || seek || allow || as) not_done();
  cell d = *data;
  uint32_t method = symbol::make("post");
  const cell* headers = nullptr;
  const cell* body = &d;
  cell h, b;
  if (type_of(&d) == type::block) {
    int32_t n = block::rs_length(&d);
    body = nullptr;
    if (n <= 0) {
      method = symbol::make("get");
    } else {
      cell m = *block::rs_head(&d);
      if (type_of(&m) != type::word) fire(err::script_invalid_arg, &m);
      method = symbol::resolve(word::symbol_of(&m));
      if (n > 1) {
        h = block::rs_head(&d)[1];
        if (type_of(&h) != type::block) fire(err::script_invalid_arg, &h);
        headers = &h;
      }
      if (n > 2) {
        b = block::rs_head(&d)[2];
        body = &b;
      }
    }
  }
  if (body) {
    uint32_t bt = type_of(body);
    if (bt != type::block && bt != type::string && bt != type::binary) {
      cell v = *body;
      fire(err::script_invalid_arg, &v);
    }
  }
  if (!services.url_request) not_done();
  cell* out = stack::reserve_cell();
  if (!services.url_request(method, u, headers, body, binary, lines, info, out)) no_connect(u);
  *u = *out;
  return u;
}

}  // namespace

void init() {
  registry::add(type::url,
                {.make = make,
                 .to = to,
                 .mold = mold,
                 .eval_path = eval_path,
                 .open = open,
                 .read = read,
                 .write = write},
                inherited(slot::form, slot::compare, slot::append, slot::at, slot::back,
                          slot::change, slot::clear, slot::copy, slot::find, slot::head,
                          slot::head_q, slot::index_q, slot::insert, slot::length_q, slot::move,
                          slot::next, slot::pick, slot::poke, slot::remove, slot::reverse,
                          slot::select, slot::skip, slot::swap, slot::tail, slot::tail_q,
                          slot::take, slot::modify));
}

}  // namespace kaz::url
