// Hashtable records, buckets and growth; the hash! and map! kinds.
#include "memory/hashtable.h"

#include <cstring>

#include "memory/hashtable_internal.h"
#include "memory/murmur3.h"

namespace kaz::hashtable {

using namespace detail;

// ---------------------------------------------------------------------------------------------
// Records and buckets.

namespace detail {

uint32_t buckets_for(uint32_t n) {
  uint32_t b = round_up_pow2(static_cast<uint32_t>((n < 4 ? 4 : n) / 0.77));
  return b < 4 ? 4 : b;
}

node_t alloc_filled(uint32_t bytes, uint8_t fill) {
  node_t n = memory::alloc_bytes(bytes);
  series_buffer* s = memory::buffer_of(n);
  std::memset(s->head_rw(), fill, bytes);
  s->tail = s->offset + bytes;
  return n;
}

void new_buckets(node_t t, uint32_t buckets) {
  node_t flags = alloc_filled(flag_bytes(buckets), 0xAA);  // every bucket empty
  record_rw(t)[f_flags] = flags;
  node_t keys = alloc_filled(buckets * 4, 0);
  uint32_t* r = record_rw(t);
  r[f_keys] = keys;
  r[f_buckets] = buckets;
  r[f_limit] = limit_for(buckets);
  r[f_live] = 0;
  r[f_occupied] = 0;
}

}  // namespace detail

namespace {

// Marks every bucket empty and zeroes the counts, keeping the bucket count.
void empty_buckets(node_t t) {
  uint32_t* r = record_rw(t);
  std::memset(flags_rw(t), 0xAA, flag_bytes(r[f_buckets]));
  std::memset(keys_rw(t), 0, r[f_buckets] * 4);
  r[f_live] = 0;
  r[f_occupied] = 0;
}

// A cell of the data block by position (`at_rw` to write it).
inline const cell* at(node_t t, uint32_t position) { return data_of(t) + position; }
inline cell* at_rw(node_t t, uint32_t position) { return data_rw(t) + position; }

// Whether a value's hash depends on node ids (which change when the collector moves nodes).
bool node_keyed(uint32_t t) {
  return is_any_block(t) || t == type::native || t == type::action || t == type::op ||
         t == type::function || t == type::routine || t == type::object || t == type::error ||
         t == type::map || t == type::port || t == type::image || t == type::event;
}

// ---- duplicate chains (kind 0): series of positions, numbered from 1 in the chain list.

uint32_t* chain_slots(node_t t, uint32_t* count) {
  series_buffer* s = memory::buffer_of(record(t)[f_chains]);
  *count = s->used_bytes() / 4;
  return reinterpret_cast<uint32_t*>(s->head_rw());
}

node_t chain_node(node_t t, int32_t key) {
  return reinterpret_cast<const uint32_t*>(memory::buffer_of(record(t)[f_chains])->head())[-key - 1];
}

// Positions a bucket stands for: one, or a chain.
struct positions {
  const uint32_t* p;
  uint32_t n;
  uint32_t single;
};
positions positions_of(node_t t, int32_t key) {
  if (key >= 0) return {nullptr, 1, static_cast<uint32_t>(key)};
  series_buffer* s = memory::buffer_of(chain_node(t, key));
  return {reinterpret_cast<const uint32_t*>(s->head()), s->used_bytes() / 4, 0};
}
inline uint32_t position_at(const positions& ps, uint32_t i) { return ps.p ? ps.p[i] : ps.single; }

void chain_append(node_t chain, uint32_t position) {
  series_buffer* s = memory::reserve_tail(memory::buffer_of(chain), 4);
  std::memcpy(s->tail_rw() - 4, &position, 4);
}

// Turns the single-position bucket b into chain -k holding its position and `position`.
void start_chain(node_t t, uint32_t b, uint32_t position) {
  int32_t first = keys_of(t)[b];
  node_t chain = memory::alloc_bytes(16);
  chain_append(chain, static_cast<uint32_t>(first));
  chain_insert(chain, position);
  // Reuse a free slot of the chain list, else append one.
  uint32_t n;
  uint32_t* slots = chain_slots(t, &n);
  uint32_t k = 0;
  while (k < n && slots[k] != 0) ++k;
  if (k == n) {
    memory::reserve_tail(memory::buffer_of(record(t)[f_chains]), 4);
    slots = chain_slots(t, &n);
  }
  slots[k] = chain;
  keys_rw(t)[b] = -static_cast<int32_t>(k + 1);
}

// ---- kind 0: hash! values.

// The bucket that holds values equal? (op 0) and of the same type as `v`, or else the bucket
// where such a value would go. *found tells which.
uint32_t seek_value_bucket(node_t t, const cell* v, uint32_t hash, bool* found) {
  return seek(t, hash, found, [&](int32_t key) {
    uint32_t first = key >= 0 ? static_cast<uint32_t>(key) : positions_of(t, key).p[0];
    const cell* there = at(t, first);
    return type_of(there) == type_of(v) && equal(there, v, 0);
  });
}

void put_hash_value(node_t t, uint32_t position) {
  reserve_index(t, position + 1);
  cell v = *at(t, position);
  uint32_t hash = hash_value(&v, false);
  bool found;
  uint32_t b = seek_value_bucket(t, &v, hash, &found);
  if (!found) {
    take(t, b, static_cast<int32_t>(position));
    index_of(t)[position] = b;
  } else if (keys_of(t)[b] >= 0) {
    uint32_t first = static_cast<uint32_t>(keys_of(t)[b]);
    start_chain(t, b, position);
    index_of(t)[first] = b | in_chain;
    index_of(t)[position] = b | in_chain;
  } else {
    chain_insert(chain_node(t, keys_of(t)[b]), position);
    index_of(t)[position] = b | in_chain;
  }
  if (node_keyed(type_of(&v)) && record(t)[f_stamp] == 0) record_rw(t)[f_stamp] = epoch();
}

// Indexes every value of a hash! block again, into `buckets` fresh buckets.
void reindex(node_t t, uint32_t buckets) {
  uint32_t* r = record_rw(t);
  if (buckets != r[f_buckets]) {
    new_buckets(t, buckets);
  } else {
    empty_buckets(t);
  }
  r = record_rw(t);
  r[f_stamp] = 0;
  memory::buffer_of(r[f_chains])->tail = memory::buffer_of(r[f_chains])->offset;
  uint32_t n = data_length(t);
  reserve_index(t, n);
  std::memset(index_of(t), 0xFF, size_t(index_capacity(t)) * 4);
  for (uint32_t i = 0; i < n; ++i) {
    if (record(t)[f_occupied] >= record(t)[f_limit]) {  // a block grown under us: start over
      reindex(t, record(t)[f_buckets] * 2);
      return;
    }
    put_hash_value(t, i);
  }
}

// ---- kind 1: map! keys.

// The bucket of a key strict-equal to `key`, or the bucket where it would go.
uint32_t seek_key_bucket(node_t t, const cell* key, bool* found) {
  if (type_of(key) == type::integer) {
    // As in find_integer_key: integers are equal exactly when their values are.
    uint32_t value = key->data2;
    return seek(t, hash_value(key, false), found, [&](int32_t k) {
      const cell* there = at(t, static_cast<uint32_t>(k));
      return type_of(there) == type::integer && there->data2 == value;
    });
  }
  if (type_of(key) == type::set_word) {
    // Strict equality of words: the same spelling.
    uint32_t symbol = key->data2;
    return seek(t, hash_value(key, false), found, [&](int32_t k) {
      const cell* there = at(t, static_cast<uint32_t>(k));
      return type_of(there) == type::set_word && there->data2 == symbol;
    });
  }
  return seek(t, hash_value(key, false), found, [&](int32_t k) {
    const cell* there = at(t, static_cast<uint32_t>(k));
    return type_of(there) == type_of(key) && equal(there, key, 2);
  });
}

// Moves every occupied bucket of a map! or context table into a larger bucket array.
void resize_keys(node_t t, uint32_t request) {
  uint32_t buckets = round_up_pow2(request);
  if (buckets < 4) buckets = 4;
  uint32_t* r = record_rw(t);
  uint32_t old_buckets = r[f_buckets];
  if (buckets < old_buckets) buckets = old_buckets;  // a refresh: same size, keys rehashed
  node_t old_flags = r[f_flags], old_keys = r[f_keys];
  uint32_t live = r[f_live], occupied = r[f_occupied];
  bool is_map = r[f_kind] == map_block;
  new_buckets(t, buckets);
  record_rw(t)[f_limit] = static_cast<uint32_t>(buckets * 0.77 + 0.5);
  // Rehash each key by what it holds: the map key's value, or the word's canonical symbol.
  const uint32_t* of = words_of(old_flags);
  const int32_t* ok = reinterpret_cast<const int32_t*>(words_of(old_keys));
  uint32_t* nf = flags_rw(t);
  int32_t* nk = keys_rw(t);
  for (uint32_t b = 0; b < old_buckets; ++b) {
    if (state(of, b) != st_occupied) continue;
    const cell* c = at(t, static_cast<uint32_t>(ok[b]));
    uint32_t h = is_map ? hash_value(c, false)
                 : type_of(c) == type::symbol
                     ? hash_value(c, false)
                     : mix32(resolve(c->data2));
    probe pr(h, buckets);
    while (state(nf, pr.bucket) != st_empty) pr.next();
    set_state(nf, pr.bucket, st_occupied);
    nk[pr.bucket] = ok[b];
  }
  r = record_rw(t);
  r[f_live] = live;
  r[f_occupied] = is_map ? occupied : live;
}

}  // namespace

namespace detail {
void rebuild_values(node_t t) { reindex(t, buckets_for(data_length(t))); }
bool stale(node_t t) {
  uint32_t stamp = record(t)[f_stamp];
  return stamp != 0 && stamp != epoch();
}
void grow_keys(node_t t, uint32_t request) { resize_keys(t, request); }
}  // namespace detail

// ---------------------------------------------------------------------------------------------
// Tables.

node_t create(uint32_t size, node_t block, uint32_t kind, uint32_t extra) {
  register_with_collector();
  if (kind == symbols && size >= 4000 && block == 0) size *= 2;
  node_t t = alloc_filled(record_bytes, 0);
  memory::set_series_flags(t, series_flag::record);
  record_rw(t)[f_kind] = kind;
  new_buckets(t, buckets_for(size));
  if (kind == hash_block) {
    record_rw(t)[f_chains] = alloc_filled(0, 0);
    record_rw(t)[f_index] = alloc_filled((size < 4 ? 4 : size) * 4, 0xFF);
  }
  if (kind >= pointers) {
    record_rw(t)[f_width] = (extra + 1) * 16;
    record_rw(t)[f_stamp] = epoch();
  }
  if (block == 0) block = memory::alloc_cells(kind >= pointers ? size * (extra + 1) : size);
  record_rw(t)[f_data] = block;
  if (kind == hash_block) index_values(t, 0, 1);
  if (kind == map_block) index_values(t, 0, 2);
  if (kind == symbols) index_symbols(t);
  return t;
}

uint32_t kind_of(node_t t) { return record(t)[f_kind]; }
uint32_t live_count(node_t t) { return record(t)[f_live]; }
uint32_t bucket_count(node_t t) { return record(t)[f_buckets]; }

void clear(node_t t) {
  empty_buckets(t);
  uint32_t* r = record_rw(t);
  series_buffer* d = memory::buffer_of(r[f_data]);
  d->tail = d->offset;
  if (r[f_kind] == hash_block) {
    series_buffer* c = memory::buffer_of(r[f_chains]);
    c->tail = c->offset;
    std::memset(index_of(t), 0xFF, size_t(index_capacity(t)) * 4);
  }
  r[f_stamp] = r[f_kind] >= pointers ? epoch() : 0;
}

// ---------------------------------------------------------------------------------------------
// hash! and map!.

namespace {

// A table whose hashes came from node ids that have since moved is indexed again.
[[gnu::noinline]] void refresh_stamped(node_t t) {
  const uint32_t* r = record(t);
  if (r[f_stamp] == epoch()) return;
  if (r[f_kind] == hash_block) {
    rebuild_values(t);
  } else {
    resize_keys(t, r[f_buckets]);
    record_rw(t)[f_stamp] = epoch();
  }
}

inline void refresh(node_t t) {
  if (record(t)[f_stamp] != 0) refresh_stamped(t);
}

/*
 * find for a map! key whose equality is read from the cells themselves (integers, words): the
 * probe runs no code, so it finds the buffers once. `same(c)` is asked of keys of the key's
 * type only. Where it is the strict equality that put keeps keys unique under (`unique`), the
 * first match is the only one; otherwise the earliest position wins.
 */
template <class Same>
int32_t find_plain_key(node_t t, uint32_t key_type, uint32_t hash, bool unique, Same same) {
  probe pr(hash, record(t)[f_buckets]);
  const uint32_t* flags = flags_of(t);
  const int32_t* keys = keys_of(t);
  const cell* data = data_of(t);
  uint32_t length = data_length(t);
  int32_t best = -1;
  do {
    uint32_t st = state(flags, pr.bucket);
    if (st == st_empty) break;
    if (st == st_deleted) continue;
    auto p = static_cast<uint32_t>(keys[pr.bucket]);
    const cell* c = data + p;
    if (type_of(c) != key_type || !same(c)) continue;
    if (p + 1 < length && data[p + 1].header == 0) continue;  // a removed pair
    if (unique) return static_cast<int32_t>(p);
    if (best < 0 || p < static_cast<uint32_t>(best)) best = static_cast<int32_t>(p);
  } while (pr.next());
  return best;
}

// Integers are equal under every comparison exactly when their values are.
int32_t find_integer_key(node_t t, const cell* key) {
  uint32_t value = key->data2;
  return find_plain_key(t, type::integer, hash_value(key, false), true,
                        [value](const cell* c) { return c->data2 == value; });
}

// Words (map! keys are kept as set-words) compare by symbol: the spelling itself under the
// strict comparisons (2, 10), any spelling of the word under the others that compare words by
// name alone (0, 11, 12).
int32_t find_word_key(node_t t, const cell* key, int32_t op) {
  uint32_t symbol = key->data2;
  uint32_t want = resolve(symbol);
  uint32_t hash = mix32(want);  // as hash_value hashes a word
  if (op == 2 || op == 10)
    return find_plain_key(t, type::set_word, hash, true,
                          [symbol](const cell* c) { return c->data2 == symbol; });
  return find_plain_key(t, type::set_word, hash, false, [symbol, want](const cell* c) {
    return c->data2 == symbol || resolve(c->data2) == want;
  });
}

}  // namespace

uint32_t put_value(node_t t, uint32_t position, bool* rebuilt) {
  if (rebuilt) *rebuilt = false;
  const uint32_t* r = record(t);
  if (r[f_kind] == hash_block) {
    refresh(t);
    r = record(t);
    if (r[f_occupied] >= r[f_limit]) {
      uint32_t request = 2 * r[f_live] < r[f_buckets] ? r[f_buckets] - 1 : r[f_buckets] + 1;
      reindex(t, round_up_pow2(static_cast<uint32_t>(request * 1.5)));
      if (rebuilt) *rebuilt = true;
      return position;
    }
    put_hash_value(t, position);
    return position;
  }
  refresh(t);
  r = record(t);
  if (r[f_occupied] >= r[f_limit]) resize_keys(t, r[f_buckets] + 1);
  cell key = *at(t, position);
  bool found;
  uint32_t b = seek_key_bucket(t, &key, &found);
  if (!found) {
    take(t, b, static_cast<int32_t>(position));
    if (node_keyed(type_of(&key)) && record(t)[f_stamp] == 0) record_rw(t)[f_stamp] = epoch();
    return position;
  }
  auto earlier = static_cast<uint32_t>(keys_of(t)[b]);
  if (earlier + 1 < data_length(t) && at(t, earlier + 1)->header == 0) ++record_rw(t)[f_live];
  return earlier;  // a removed pair comes back to life when the caller writes its value
}

void index_values(node_t t, uint32_t start, uint32_t step) {
  if (step == 1) {
    for (uint32_t i = start; i < data_length(t); ++i) {
      bool rebuilt;
      put_value(t, i, &rebuilt);
      if (rebuilt) return;
    }
    return;
  }
  uint32_t i = start;
  while (i + 1 < data_length(t)) {
    normalize_map_key(at_rw(t, i));
    uint32_t kept = put_value(t, i);
    if (kept == i) {
      i += 2;
      continue;
    }
    // A later pair with the same key: its value wins, and the pair leaves the block.
    *at_rw(t, kept + 1) = *at(t, i + 1);
    series_buffer* s = memory::buffer_of(record(t)[f_data]);
    cell* c = s->cells_rw();
    uint32_t n = s->length();
    std::memmove(c + i, c + i + 2, (n - i - 2) * sizeof(cell));
    s->tail -= 2 * sizeof(cell);
  }
}

namespace {

// The hash of a float!, percent! or time! is its bits and a money!'s its cells, while equal?
// (op 0) calls near floats and numbers of other types equal: such pairs would meet only when
// the seed puts them in one probe chain. Under op 0 a table matches them as the hash tells
// them apart: numbers of the double types by the same value, money! strictly.
bool hashed_exactly(uint32_t t) {
  return t == type::float_ || t == type::percent || t == type::time || t == type::money;
}

bool table_equal(const cell* a, const cell* b, int32_t op) {
  uint32_t ta = type_of(a), tb = type_of(b);
  if (op != 0 || !(hashed_exactly(ta) || hashed_exactly(tb))) return equal(a, b, op);
  if (ta == type::money || tb == type::money) return ta == tb && equal(a, b, 2);
  if (!hashed_exactly(ta) || !hashed_exactly(tb)) return false;  // an integer! or a char!
  return get_double(a) == get_double(b);  // -0.0 and 0.0 hash alike
}

}  // namespace

int32_t find(node_t t, const cell* key_in, int32_t start, int32_t skip, int32_t op, bool last,
             bool reverse) {
  const uint32_t* r = record(t);
  uint32_t kind = r[f_kind];
  cell key = *key_in;
  refresh(t);
  if (kind == map_block) {
    uint32_t kt = type_of(&key);
    if (kt == type::word || kt == type::lit_word || kt == type::get_word) set_type(&key, type::set_word);
    if (kt == type::integer) return find_integer_key(t, &key);
    if (type_of(&key) == type::set_word && (op == 0 || op == 2 || (op >= 10 && op <= 12)))
      return find_word_key(t, &key, op);
  }
  uint32_t k = static_cast<uint32_t>(skip < 0 ? -skip : skip == 0 ? 1 : skip);
  int64_t s = start;
  int64_t best = -1;
  // Whether p is selectable, and whether it beats the best so far.
  auto consider = [&](uint32_t p) {
    int64_t q = p;
    if (kind == map_block) {
      if (best < 0 || q < best) best = q;
      return;
    }
    if (!reverse && !last) {
      if (q >= s && (q - s) % k == 0 && (best < 0 || q < best)) best = q;
    } else if (last) {
      int64_t m = ((s - q - 1) % k + k) % k;
      if (q >= s && m == 0 && q > best) best = q;
    } else {
      if (q < s && (s - q - 1) % k == 0 && q > best) best = q;
    }
  };
  uint32_t length = data_length(t);
  probe pr(hash_value(&key, false), record(t)[f_buckets]);
  do {
    uint32_t st = state(flags_of(t), pr.bucket);
    if (st == st_empty) break;
    if (st == st_deleted) continue;
    int32_t kw = keys_of(t)[pr.bucket];
    if (kind == map_block) {
      auto p = static_cast<uint32_t>(kw);
      const cell* c = at(t, p);
      if (p + 1 < length && at(t, p + 1)->header == 0) continue;  // a removed pair
      if (type_of(c) == type_of(&key) && table_equal(c, &key, op)) consider(p);
      continue;
    }
    positions ps = positions_of(t, kw);
    if (!equal(at(t, position_at(ps, 0)), &key, 0)) continue;
    for (uint32_t i = 0; i < ps.n; ++i) {
      uint32_t p = position_at(positions_of(t, kw), i);  // re-read: equal may run code
      if (p < length && table_equal(at(t, p), &key, op)) consider(p);
    }
  } while (pr.next());
  return static_cast<int32_t>(best);
}

void remove_value(node_t t, uint32_t position) {
  refresh(t);
  const uint32_t* r = record(t);
  if (r[f_kind] == map_block) {
    cell key = *at(t, position);
    bool found;
    uint32_t b = seek_key_bucket(t, &key, &found);
    if (!found || static_cast<uint32_t>(keys_of(t)[b]) != position) return;
    const cell* value = at(t, position + 1);
    if (position + 1 < data_length(t) && value->header != 0) {
      at_rw(t, position + 1)->header = 0;
      --record_rw(t)[f_live];
    }
    return;
  }
  drop_position(t, position);  // hash!: positions behind it are renumbered by the caller
}

void rebuild(node_t t) {
  if (record(t)[f_kind] == hash_block) rebuild_values(t);
}

node_t copy(node_t t, node_t block) {
  return create(memory::buffer_of(block)->length(), block, record(t)[f_kind]);
}

}  // namespace kaz::hashtable
