// Symbol and context tables (kind 2).
#include <cstring>

#include "memory/hashtable_internal.h"
#include "memory/murmur3.h"

namespace kaz::hashtable {

using namespace detail;

namespace {

inline const cell* at(node_t t, uint32_t position) { return data_of(t) + position; }

// Growth of kind 2 tables: sixteen times, so that a symbol table filled at start-up settles.
void grow_if_full(node_t t) {
  const uint32_t* r = record(t);
  if (r[f_occupied] < r[f_limit]) return;
  uint32_t b = r[f_buckets];
  grow_keys(t, (2 * r[f_live] < b ? b - 1 : b + 1) * 16);
}

// The name of a symbol! cell: its bytes and length.
const uint8_t* name_of(const cell* sym, uint32_t* len) {
  series_buffer* s = memory::buffer_of(sym->data3);
  *len = s->used_bytes();
  return s->head();
}

bool same_ignoring_ascii_case(const uint8_t* a, const uint8_t* b, uint32_t len) {
  for (uint32_t i = 0; i < len; ++i) {
    uint8_t x = a[i], y = b[i];
    if (x == y) continue;
    if ((x | 0x20) != (y | 0x20) || (x | 0x20) < 'a' || (x | 0x20) > 'z') return false;
  }
  return true;
}

// Looks a symbol up among the words of a context block, as find_in_context does; *free_bucket
// receives the bucket where it would be added.
int32_t seek_word(node_t t, uint32_t symbol, bool alias, uint32_t* free_bucket) {
  uint32_t canonical = resolve(symbol);
  probe pr(mix32(canonical), record(t)[f_buckets]);
  *free_bucket = 0xFFFFFFFF;
  int32_t best = -1;
  do {
    uint32_t st = state(flags_of(t), pr.bucket);
    if (st == st_empty) {
      if (*free_bucket == 0xFFFFFFFF) *free_bucket = pr.bucket;
      break;
    }
    if (st == st_deleted) {
      if (*free_bucket == 0xFFFFFFFF) *free_bucket = pr.bucket;
      continue;
    }
    int32_t p = keys_of(t)[pr.bucket];
    uint32_t s = at(t, static_cast<uint32_t>(p))->data2;
    if (s == symbol) return p;  // an exact spelling is unique
    if (alias && resolve(s) == canonical && (best < 0 || p < best)) best = p;
  } while (pr.next());
  return best;
}

}  // namespace

namespace detail {

void index_symbols(node_t t) {
  uint32_t n = data_length(t);
  for (uint32_t i = 0; i < n; ++i) {
    grow_if_full(t);
    const cell* c = at(t, i);
    uint32_t b;
    if (type_of(c) == type::symbol) {
      uint32_t len;
      const uint8_t* name = name_of(c, &len);
      probe pr(hash_name(name, len), record(t)[f_buckets]);
      while (state(flags_of(t), pr.bucket) == st_occupied) pr.next();
      b = pr.bucket;
    } else {
      if (seek_word(t, c->data2, false, &b) >= 0) continue;  // a second word of one spelling
    }
    take(t, b, static_cast<int32_t>(i));
  }
}

}  // namespace detail

uint32_t find_symbol(node_t t, const uint8_t* name, uint32_t len, bool any_case) {
  grow_if_full(t);
  probe pr(hash_name(name, len), record(t)[f_buckets]);
  uint32_t free_bucket = 0xFFFFFFFF;
  int32_t variant = -1;  // the first-made case variant: the canonical spelling
  do {
    uint32_t st = state(flags_of(t), pr.bucket);
    if (st == st_empty) {
      if (free_bucket == 0xFFFFFFFF) free_bucket = pr.bucket;
      break;
    }
    if (st == st_deleted) {
      if (free_bucket == 0xFFFFFFFF) free_bucket = pr.bucket;
      continue;
    }
    int32_t p = keys_of(t)[pr.bucket];
    uint32_t there_len;
    const uint8_t* there = name_of(at(t, static_cast<uint32_t>(p)), &there_len);
    if (there_len != len) continue;
    if (std::memcmp(there, name, len) == 0) return static_cast<uint32_t>(p) + 1;
    if (same_ignoring_ascii_case(there, name, len) && (variant < 0 || p < variant)) variant = p;
  } while (pr.next());

  if (variant >= 0) {
    const cell* v = at(t, static_cast<uint32_t>(variant));
    int32_t canonical = static_cast<int32_t>(v->data1) >= 0 ? static_cast<int32_t>(v->data1)
                                                           : variant + 1;
    if (any_case) return static_cast<uint32_t>(canonical);
    variant = canonical;
  }
  // A new symbol: its name in a byte series ending in NUL, its cell at the end of the block.
  node_t text = memory::alloc_bytes(len + 1);
  {
    series_buffer* s = memory::buffer_of(text);
    if (len) std::memcpy(s->head_rw(), name, len);
    s->head_rw()[len] = 0;
    s->tail = s->offset + len;
  }
  uint32_t id = data_length(t) + 1;
  cell* c = memory::append_cell(record(t)[f_data]);
  *c = cell{type::symbol, static_cast<uint32_t>(variant), 0, text};
  take(t, free_bucket, static_cast<int32_t>(id - 1));
  return id;
}

int32_t find_in_context(node_t t, uint32_t symbol, bool alias, node_t add_to,
                        int32_t* added_index) {
  if (add_to) grow_if_full(t);
  uint32_t free_bucket;
  int32_t found = seek_word(t, symbol, alias, &free_bucket);
  if (found >= 0 || !add_to) {
    if (added_index) *added_index = found;
    return found;
  }
  uint32_t index = data_length(t);
  cell* w = memory::append_cell(record(t)[f_data]);
  *w = cell{type::word, add_to, symbol, index};
  take(t, free_bucket, static_cast<int32_t>(index));
  if (added_index) *added_index = static_cast<int32_t>(index);
  return -1;
}

}  // namespace kaz::hashtable
