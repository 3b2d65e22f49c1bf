// Hashing values, and the hooks through which the value model decides equality.
#include <cstring>

#include "memory/case_map.h"
#include "memory/hashtable_internal.h"
#include "memory/murmur3.h"
#include "memory/unicode_strings.h"
#include "memory/unicode_units.h"
#include "runtime/fire.h"

namespace kaz::hashtable {

namespace {

equal_fn equality_hook = basic_equal;
resolve_fn resolve_hook = nullptr;
normalize_fn normalize_hook = nullptr;

using unicode::bytes_from_head;
using unicode::text_from_head;

uint32_t murmur_words(const cell* v, uint32_t first, uint32_t count) {
  uint32_t w[3] = {v->data1, v->data2, v->data3};
  return murmur3(w + (first - 1), count * 4, seed());
}

}  // namespace

void set_equality(equal_fn f) { equality_hook = f ? f : basic_equal; }
void set_symbol_resolver(resolve_fn f) { resolve_hook = f; }
void set_map_key_normalizer(normalize_fn f) { normalize_hook = f; }

namespace detail {
bool equal(const cell* a, const cell* b, int32_t op) { return equality_hook(a, b, op); }
uint32_t resolve(uint32_t symbol) { return resolve_hook ? resolve_hook(symbol) : symbol; }
void normalize_map_key(cell* key) {
  if (normalize_hook) normalize_hook(key);
}
}  // namespace detail

bool basic_equal(const cell* a, const cell* b, int32_t op) {
  uint32_t t = type_of(a);
  if (t != type_of(b)) return false;
  if (op == 9) return a->data1 == b->data1 && a->data2 == b->data2 && a->data3 == b->data3;
  if (is_any_string(t)) {
    unicode::text_range x = text_from_head(a), y = text_from_head(b);
    if (x.count != y.count) return false;
    bool fold = op != 2 && op != 8;
    for (uint32_t i = 0; i < x.count; ++i) {
      uint32_t c = unicode::get_char(x.p + i * x.unit, x.unit);
      uint32_t d = unicode::get_char(y.p + i * y.unit, y.unit);
      if (c != d && (!fold || unicode::fold_case(c) != unicode::fold_case(d))) return false;
    }
    return true;
  }
  if (t == type::binary) {
    unicode::text_range x = bytes_from_head(a), y = bytes_from_head(b);
    return x.count == y.count && std::memcmp(x.p, y.p, x.count) == 0;
  }
  if (is_any_word(t)) {
    return op == 2 ? a->data2 == b->data2 : detail::resolve(a->data2) == detail::resolve(b->data2);
  }
  switch (t) {
    case type::unset:
    case type::none:
      return true;
    case type::float_:
    case type::percent:
    case type::time:
      return get_double(a) == get_double(b);
    default:
      return a->data1 == b->data1 && a->data2 == b->data2 && a->data3 == b->data3;
  }
}

uint32_t round_up_pow2(uint32_t n) {
  if (n == 0) return 0;
  --n;
  n |= n >> 1;
  n |= n >> 2;
  n |= n >> 4;
  n |= n >> 8;
  n |= n >> 16;
  return n + 1;
}

uint32_t hash_string(const cell* v, bool case_sensitive) {
  unicode::text_range x = text_from_head(v);
  murmur3_stream h(seed());
  for (uint32_t i = 0; i < x.count; ++i) {
    uint32_t c = unicode::get_char(x.p + i * x.unit, x.unit);
    h.block(case_sensitive ? c : unicode::fold_case(c));
  }
  return h.finish();
}

uint32_t hash_name(const uint8_t* name, uint32_t len) {
  // ASCII letters fold to lower case, four bytes at a time in one word, so no folded copy of
  // the name is kept. A byte's low seven bits plus 0x3F reach 0x80 from 'A' on, plus 0x25
  // from past 'Z' on; bytes with the high bit set are no letters.
  murmur3_stream h(seed());
  uint32_t i = 0;
  for (; i + 4 <= len; i += 4) {
    uint32_t k;
    std::memcpy(&k, name + i, 4);
    uint32_t low = k & 0x7F7F7F7F;
    uint32_t upper = (low + 0x3F3F3F3F) & ~(low + 0x25252525) & ~k & 0x80808080;
    h.block(k | upper >> 2);
  }
  uint8_t rest[4] = {0, 0, 0, 0};
  for (uint32_t j = 0; i + j < len; ++j) {
    uint8_t c = name[i + j];
    rest[j] = c >= 'A' && c <= 'Z' ? c | 0x20 : c;
  }
  // The tail bytes enter as MurmurHash3's tail does, so this equals murmur3 of the folded name.
  uint32_t k = rest[0] | rest[1] << 8 | rest[2] << 16 | uint32_t(rest[3]) << 24;
  if (len & 3) {
    k *= 0xCC9E2D51;
    k = (k << 15) | (k >> 17);
    k *= 0x1B873593;
    h.h ^= k;
  }
  return mix32(h.h ^ len);
}

uint32_t hash_value(const cell* v, bool case_sensitive) {
  uint32_t t = type_of(v);
  if (is_any_string(t)) return hash_string(v, case_sensitive);
  if (is_any_word(t)) return mix32(detail::resolve(v->data2));
  if (is_any_block(t) && t != type::hash) return murmur_words(v, 1, 2);
  switch (t) {
    case type::unset:
      return 0xFFFFFFFE;
    case type::none:
      return 0xFFFFFFFF;
    case type::datatype_:
    case type::logic:
    case type::object:
    case type::error:
    case type::port:
      return mix32(v->data1);
    case type::char_:
    case type::integer:
    case type::map:
    case type::handle:
    case type::event:
      return mix32(v->data2);
    case type::native:
    case type::action:
      return mix32(v->data3);
    case type::symbol: {
      series_buffer* s = memory::buffer_of(v->data3);
      return hash_name(s->head(), s->used_bytes());
    }
    case type::hash:
    case type::image:
    case type::point2d:
      return murmur_words(v, 1, 2);
    case type::float_:
    case type::percent:
    case type::time: {
      cell c = *v;
      if (get_double(&c) == 0.0) put_double(&c, 0.0);  // -0.0 equals 0.0, so hashes like it
      return murmur_words(&c, 2, 2);
    }
    case type::pair:
      return murmur_words(v, 2, 2);
    case type::op:
    case type::function:
    case type::triple:
    case type::typeset:
    case type::date:
    case type::point3d:
    case type::money:
      return murmur_words(v, 1, 3);
    case type::tuple: {
      uint32_t len = (v->header >> 19) & 0xF;
      if (len > 12) len = 12;
      uint8_t b[12];
      uint32_t w[3] = {v->data1, v->data2, v->data3};
      std::memcpy(b, w, 12);
      return murmur3(b, len, seed());
    }
    case type::binary: {
      unicode::text_range x = bytes_from_head(v);
      return murmur3(x.p, x.count, seed());
    }
    default:
      return 0;
  }
}

}  // namespace kaz::hashtable
