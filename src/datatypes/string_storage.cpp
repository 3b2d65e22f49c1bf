#include "datatypes/string_storage.h"

#include <cstring>

#include "core/fire.h"

namespace kaz::string {

namespace {

uint32_t head_index(const cell* v) { return v->data1; }

// Grows the buffer so that `extra` more bytes fit after the tail.
series_buffer* ensure_room(node_t node, uint32_t extra) {
  series_buffer* s = memory::buffer_of(node);
  uint64_t need = uint64_t(s->tail) + extra;
  if (need <= s->size) return s;
  uint64_t want = need * 2;
  if (want > memory::max_series_bytes) want = need;
  if (want > memory::max_series_bytes) fire(err::internal_no_memory);
  return memory::expand_series_copy(s, static_cast<uint32_t>(want));
}

}  // namespace

uint32_t length_from_head(const cell* v) {
  series_buffer* s = buffer_of(v);
  uint32_t unit = s->unit();
  uint64_t head = uint64_t(head_index(v)) * unit;
  if (head >= s->tail) return 0;
  return static_cast<uint32_t>((s->tail - head) / unit);
}

uint8_t* rs_head(cell* v) {
  series_buffer* s = buffer_of(v);
  uint32_t unit = s->unit();
  if (uint64_t(v->data1) * unit > s->tail) v->data1 = s->tail / unit;
  return s->data() + v->data1 * unit;
}

uint32_t char_at_absolute(const cell* v, uint32_t index) {
  series_buffer* s = buffer_of(v);
  return get_char(s->data() + index * s->unit(), s->unit());
}

void make_at(cell* c, uint32_t capacity, uint32_t type_id) {
  node_t node = memory::alloc_bytes(capacity ? capacity : 1);
  c->header = type_id;
  c->data1 = 0;
  c->data2 = node;
  c->data3 = 0;
}

void init_cell_with_unit(cell* c, uint32_t count, uint32_t unit, uint32_t type_id) {
  node_t node = memory::alloc_units(count, unit);
  c->header = type_id;
  c->data1 = 0;
  c->data2 = node;
  c->data3 = 0;
}

void widen(node_t node, uint32_t to_unit) {
  series_buffer* old = memory::buffer_of(node);
  uint32_t from = old->unit();
  if (to_unit <= from) return;
  uint64_t size = uint64_t(old->size / from) * to_unit;
  if (size > memory::max_series_bytes) fire(err::internal_no_memory);
  if (size < 16) size = 16;
  // The old buffer stays readable until the next collection: nothing allocates below.
  series_buffer* fresh = memory::expand_series(old, static_cast<uint32_t>(size));
  uint32_t units = old->tail / from;  // heads count from the data start
  for (uint32_t i = 0; i < units; ++i)
    put_char(fresh->data() + i * to_unit, to_unit, get_char(old->data() + i * from, from));
  fresh->flags = (fresh->flags & ~series_flag::unit_mask) | to_unit;
  fresh->offset = (old->offset / from) * to_unit;
  fresh->tail = units * to_unit;
}

void append_code_point(node_t node, uint32_t c) {
  uint32_t need = append_unit_for(c);
  if (need > memory::buffer_of(node)->unit()) widen(node, need);
  uint32_t unit = memory::buffer_of(node)->unit();
  series_buffer* s = ensure_room(node, unit);
  put_char(s->data() + s->tail, unit, c);
  s->tail += unit;
}

void append_ascii(node_t node, std::string_view text) {
  append_latin1(node, reinterpret_cast<const uint8_t*>(text.data()),
                static_cast<uint32_t>(text.size()));
}

void append_latin1(node_t node, const uint8_t* bytes, uint32_t n) {
  // A byte of 80h or more widens the text like an appended code point does.
  uint32_t need = 1;
  for (uint32_t i = 0; i < n; ++i)
    if (bytes[i] >= 0x80) need = 2;
  if (need > memory::buffer_of(node)->unit()) widen(node, need);
  uint32_t unit = memory::buffer_of(node)->unit();
  series_buffer* s = ensure_room(node, n * unit);
  uint8_t* p = s->data() + s->tail;
  if (unit == 1) {
    std::memcpy(p, bytes, n);
  } else {
    for (uint32_t i = 0; i < n; ++i) put_char(p + i * unit, unit, bytes[i]);
  }
  s->tail += n * unit;
}

namespace {

// One UTF-8 sequence: the code point, or -1 when malformed (overlong, surrogate, above
// 10FFFFh, truncated). `len` receives the bytes it took.
int32_t decode_utf8(const uint8_t* p, size_t avail, uint32_t& len) {
  uint8_t b = p[0];
  if (b < 0x80) {
    len = 1;
    return b;
  }
  uint32_t n;
  uint32_t c;
  uint32_t min;
  if ((b & 0xE0) == 0xC0) {
    n = 2, c = b & 0x1F, min = 0x80;
  } else if ((b & 0xF0) == 0xE0) {
    n = 3, c = b & 0x0F, min = 0x800;
  } else if ((b & 0xF8) == 0xF0) {
    n = 4, c = b & 0x07, min = 0x10000;
  } else {
    len = 1;
    return -1;
  }
  if (avail < n) {
    len = 1;
    return -1;
  }
  for (uint32_t i = 1; i < n; ++i) {
    if ((p[i] & 0xC0) != 0x80) {
      len = 1;
      return -1;
    }
    c = (c << 6) | (p[i] & 0x3F);
  }
  len = n;
  if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return -1;
  return static_cast<int32_t>(c);
}

}  // namespace

uint32_t append_utf8(node_t node, std::string_view text) {
  const uint8_t* p = reinterpret_cast<const uint8_t*>(text.data());
  size_t n = text.size();
  size_t i = 0;
  while (i < n) {
    uint32_t len;
    int32_t c = decode_utf8(p + i, n - i, len);
    if (c < 0) break;
    append_code_point(node, static_cast<uint32_t>(c));
    i += len;
  }
  return static_cast<uint32_t>(i);
}

void append_string(node_t node, const cell* source, int32_t part) {
  uint32_t n = length_from_head(source);
  if (part >= 0 && static_cast<uint32_t>(part) < n) n = static_cast<uint32_t>(part);
  if (n == 0) return;
  // Widen the target first when the source holds wider characters.
  uint32_t src_unit = buffer_of(source)->unit();
  uint32_t widest = 1;
  {
    series_buffer* s = buffer_of(source);
    const uint8_t* p = s->data() + source->data1 * src_unit;
    for (uint32_t i = 0; i < n && widest < 4; ++i) {
      uint32_t c = get_char(p + i * src_unit, src_unit);
      uint32_t u = append_unit_for(c);
      if (u > widest) widest = u;
    }
  }
  if (widest > memory::buffer_of(node)->unit()) widen(node, widest);
  uint32_t unit = memory::buffer_of(node)->unit();
  series_buffer* t = ensure_room(node, n * unit);
  series_buffer* s = buffer_of(source);  // re-read: growth may have run a collection
  const uint8_t* from = s->data() + source->data1 * src_unit;
  uint8_t* to = t->data() + t->tail;
  if (unit == src_unit) {
    std::memmove(to, from, size_t(n) * unit);
  } else {
    for (uint32_t i = 0; i < n; ++i) put_char(to + i * unit, unit, get_char(from + i * src_unit, src_unit));
  }
  t->tail += n * unit;
}

void overwrite_char(node_t node, uint32_t index, uint32_t c) {
  uint32_t need = write_unit_for(c);
  if (need > memory::buffer_of(node)->unit()) widen(node, need);
  series_buffer* s = memory::buffer_of(node);
  uint32_t unit = s->unit();
  uint64_t end = (uint64_t(index) + 1) * unit;
  if (end > memory::max_series_bytes) fire(err::internal_no_memory);
  if (end > s->size) s = memory::expand_series_copy(s, static_cast<uint32_t>(end * 2));
  put_char(s->data() + index * unit, unit, c);
  if (end > s->tail) s->tail = static_cast<uint32_t>(end);
}

void insert_char(node_t node, uint32_t index, uint32_t c) {
  uint32_t need = write_unit_for(c);
  if (need > memory::buffer_of(node)->unit()) widen(node, need);
  uint32_t unit = memory::buffer_of(node)->unit();
  series_buffer* s = ensure_room(node, unit);
  uint32_t at = index * unit;
  if (at > s->tail) at = s->tail;
  std::memmove(s->data() + at + unit, s->data() + at, s->tail - at);
  put_char(s->data() + at, unit, c);
  s->tail += unit;
}

void remove_part(node_t node, uint32_t index, uint32_t n) {
  series_buffer* s = memory::buffer_of(node);
  uint32_t unit = s->unit();
  uint64_t at = uint64_t(index) * unit;
  if (at >= s->tail) return;
  uint64_t end = at + uint64_t(n) * unit;
  if (end > s->tail) end = s->tail;
  std::memmove(s->data() + at, s->data() + end, s->tail - end);
  s->tail -= static_cast<uint32_t>(end - at);
}

std::string to_utf8(const cell* v, int32_t part) {
  std::string out;
  uint32_t n = length_from_head(v);
  if (part >= 0 && static_cast<uint32_t>(part) < n) n = static_cast<uint32_t>(part);
  series_buffer* s = buffer_of(v);
  uint32_t unit = s->unit();
  const uint8_t* p = s->data() + v->data1 * unit;
  out.reserve(n);
  for (uint32_t i = 0; i < n; ++i) {
    uint32_t c = get_char(p + i * unit, unit);
    if (c >= 0xD800 && c <= 0xDFFF) c = 0xFFFD;  // a lone surrogate cannot be encoded
    if (c < 0x80) {
      out += char(c);
    } else if (c < 0x800) {
      out += char(0xC0 | (c >> 6));
      out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += char(0xE0 | (c >> 12));
      out += char(0x80 | ((c >> 6) & 0x3F));
      out += char(0x80 | (c & 0x3F));
    } else {
      out += char(0xF0 | (c >> 18));
      out += char(0x80 | ((c >> 12) & 0x3F));
      out += char(0x80 | ((c >> 6) & 0x3F));
      out += char(0x80 | (c & 0x3F));
    }
  }
  return out;
}

namespace {

// Upper case for case-insensitive comparison. Latin-1 only until the Unicode case tables land.
uint32_t fold_upper(uint32_t c) {
  if (c >= 'a' && c <= 'z') return c - 32;
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 32;
  return c;
}

// A string-family value or a symbol's name, as (data, unit, length).
struct text_view {
  const uint8_t* data;
  uint32_t unit;
  uint32_t length;
};

text_view view_of(const cell* v) {
  series_buffer* s = buffer_of(v);
  uint32_t unit = s->unit();
  return {s->data() + uint64_t(v->data1) * unit, unit, length_from_head(v)};
}

}  // namespace

int32_t compare_strings(const cell* a, const cell* b, int32_t op, bool prefix) {
  bool same = a->data2 == b->data2 && a->data1 == b->data1;
  if (op == 9) return same ? 0 : -1;
  if (same && (op == 0 || op == 1 || op == 2 || op == 12)) return 0;
  text_view x = view_of(a);
  text_view y = view_of(b);
  uint32_t n;
  if (prefix) {
    if (y.length == 0) return op == 12 ? 1 : 0;
    if (y.length > x.length) return 1;
    n = y.length;
  } else if (x.length != y.length) {
    if (op == 0 || op == 1 || op == 2 || op == 12) return 1;
    if (y.length == 0) return 1;
    n = x.length < y.length ? x.length : y.length;
  } else {
    n = x.length;
    if (n == 0) return 0;
  }
  bool fold = !(op == 2 || op == 8);
  for (uint32_t i = 0; i < n; ++i) {
    uint32_t c1 = get_char(x.data + i * x.unit, x.unit);
    uint32_t c2 = get_char(y.data + i * y.unit, y.unit);
    if (fold) {
      c1 = fold_upper(c1);
      c2 = fold_upper(c2);
    }
    if (c1 != c2) return c1 > c2 ? 1 : -1;
  }
  if (prefix) return 0;
  return x.length > y.length ? 1 : x.length == y.length ? 0 : -1;
}

void append_escaped_char(node_t out, uint32_t c, int mode, bool all) {
  static const char escapes[] = "@ABCDEFGH-/KLMNOPQRSTUVWXYZ[\\]^_";
  if (c == 0x1E || (c >= 0x80 && c <= 0x9F) || (all && c > 0x7F)) {
    append_ascii(out, "^(");
    append_ascii(out, hex_int32(static_cast<int32_t>(c), true));
    append_ascii(out, ")");
    return;
  }
  if (mode == 253) {
    if (c < 32) {
      char e[3] = {'^', escapes[c], 0};
      append_ascii(out, e);
      return;
    }
    if (c == '"' || c == '^') {
      char e[3] = {'^', char(c), 0};
      append_ascii(out, e);
      return;
    }
    if (c == 0x7F) {
      append_ascii(out, "^~");
      return;
    }
  }
  append_code_point(out, c);
}

namespace {

// True when the brace at `from` is closed before `end` (depth counted from it).
bool brace_closes(const uint8_t* p, uint32_t unit, uint32_t from, uint32_t end) {
  int depth = 0;
  for (uint32_t i = from; i < end; ++i) {
    uint32_t c = get_char(p + i * unit, unit);
    if (c == '{') {
      ++depth;
    } else if (c == '}') {
      if (depth == 1) return true;
      --depth;
    }
  }
  return false;
}

}  // namespace

int32_t mold_text(const cell* v, node_t out, bool all, cell* part, int32_t limit) {
  uint32_t whole = length_from_head(v);
  uint32_t n = whole;
  if (part && limit >= 0 && static_cast<uint32_t>(limit) < n) n = static_cast<uint32_t>(limit);
  uint32_t quotes = 0, lines = 0;
  {
    text_view t = view_of(v);
    for (uint32_t i = 0; i < n; ++i) {
      uint32_t c = get_char(t.data + i * t.unit, t.unit);
      if (c == '"') ++quotes;
      if (c == '\n') ++lines;
    }
  }
  bool braces = lines >= 3 || quotes > 0 || whole >= 50;
  append_code_point(out, braces ? '{' : '"');
  bool balancing = true;
  int depth = 0;
  for (uint32_t i = 0; i < n; ++i) {
    text_view t = view_of(v);  // re-read: appending may move buffers
    uint32_t c = get_char(t.data + i * t.unit, t.unit);
    if (!braces) {
      append_escaped_char(out, c, 253, all);
      continue;
    }
    if (c == '{') {
      if (balancing && !brace_closes(t.data, t.unit, i, n)) balancing = false;
      if (balancing) {
        ++depth;
        append_code_point(out, c);
      } else {
        append_ascii(out, "^{");
      }
    } else if (c == '}') {
      if (depth > 0) {
        --depth;
        append_code_point(out, c);
      } else {
        append_ascii(out, "^}");
      }
    } else if (c == '"') {
      append_code_point(out, c);
    } else if (c == '^') {
      append_ascii(out, "^^");
    } else {
      append_escaped_char(out, c, 253, all);
    }
  }
  append_code_point(out, braces ? '}' : '"');
  return limit - static_cast<int32_t>(n) - 2;
}

std::string hex_int32(int32_t value, bool trim) {
  static const char digits[] = "0123456789ABCDEF";
  char buf[9] = "00000000";
  uint32_t v = static_cast<uint32_t>(value);
  for (int i = 7; i >= 0; --i) {
    buf[i] = digits[v & 0xF];
    v >>= 4;
  }
  if (!trim) return std::string(buf, 8);
  int start = 0;
  char pad = value < 0 ? 'F' : '0';
  while (start < 7 && buf[start] == pad) ++start;
  std::string r(buf + start);
  if (value == 0) return "00";
  return r;
}

}  // namespace kaz::string
