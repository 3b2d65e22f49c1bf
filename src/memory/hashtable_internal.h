// What the hashtable's files share: the record layout, bucket flags, buffers and probing.
#pragma once

#include <cstdint>
#include <cstring>

#include "memory/hashtable.h"

namespace kaz::hashtable::detail {

// The record: eleven 32-bit fields.
enum field : uint32_t {
  f_live,      // entries present
  f_width,     // kinds 3 and 4: bytes of one entry, (extra + 1) x 16
  f_chains,    // kind 0: node of the chain list (one chain node per 32-bit word, 0 when free)
  f_flags,     // node of the bucket flags
  f_keys,      // node of the keys: a position, -chain number (kind 0), or a byte offset
  f_data,      // node of the data block
  f_occupied,  // buckets taken since the last rebuild (growth is decided on it)
  f_buckets,   // a power of two, at least 4
  f_limit,     // the occupied count at which the table grows
  f_kind,
  f_stamp,     // 0, or the collector's node-move count + 1 when the hashes were last valid
  f_fields
};
constexpr uint32_t record_bytes = f_fields * 4;
// Kind 0 keeps the node of its position index where kinds 3 and 4 keep their entry width: one
// word a position of the data block, the bucket that holds that position (no_bucket: none),
// with in_chain set when the bucket stands for a duplicate chain.
constexpr field f_index = f_width;
constexpr uint32_t no_bucket = 0xFFFFFFFF;
constexpr uint32_t in_chain = 0x80000000;
static_assert(f_data == data_field, "hashtable.h reads the data block's node inline");

// A table's record and its word buffers, to read; the `_rw` forms answer them to write (see
// series_buffer).
inline const uint32_t* record(node_t t) {
  return reinterpret_cast<const uint32_t*>(memory::buffer_of(t)->head());
}
inline uint32_t* record_rw(node_t t) {
  return reinterpret_cast<uint32_t*>(memory::buffer_of(t)->head_rw());
}
inline const uint32_t* words_of(node_t n) {
  return reinterpret_cast<const uint32_t*>(memory::buffer_of(n)->head());
}
inline uint32_t* words_rw(node_t n) {
  return reinterpret_cast<uint32_t*>(memory::buffer_of(n)->head_rw());
}
inline const uint32_t* flags_of(node_t t) { return words_of(record(t)[f_flags]); }
inline uint32_t* flags_rw(node_t t) { return words_rw(record(t)[f_flags]); }
inline const int32_t* keys_of(node_t t) {
  return reinterpret_cast<const int32_t*>(words_of(record(t)[f_keys]));
}
inline int32_t* keys_rw(node_t t) { return reinterpret_cast<int32_t*>(words_rw(record(t)[f_keys])); }
inline const cell* data_of(node_t t) { return memory::buffer_of(record(t)[f_data])->cells(); }
inline cell* data_rw(node_t t) { return memory::buffer_of(record(t)[f_data])->cells_rw(); }
inline uint32_t data_length(node_t t) { return memory::buffer_of(record(t)[f_data])->cell_count(); }

// Bucket flags, 2 bits a bucket (16 to a word): 2 empty, 1 deleted, 0 occupied.
constexpr uint32_t st_occupied = 0, st_deleted = 1, st_empty = 2;
inline uint32_t state(const uint32_t* flags, uint32_t b) { return (flags[b >> 4] >> ((b & 15) * 2)) & 3; }
inline void set_state(uint32_t* flags, uint32_t b, uint32_t s) {
  uint32_t shift = (b & 15) * 2;
  flags[b >> 4] = (flags[b >> 4] & ~(3u << shift)) | (s << shift);
}
inline uint32_t flag_bytes(uint32_t buckets) { return buckets < 16 ? 4 : buckets / 4; }

// The load limit of a bucket count (0.77 full).
inline uint32_t limit_for(uint32_t buckets) { return static_cast<uint32_t>(buckets * 0.77); }
// Buckets for n expected entries.
uint32_t buckets_for(uint32_t n);

// A byte series of `bytes` bytes filled with `fill`, its tail at the end.
node_t alloc_filled(uint32_t bytes, uint8_t fill);

// Gives the table fresh flag and key buffers of `buckets` buckets, all empty; counts to 0.
void new_buckets(node_t t, uint32_t buckets);

// The collector's count of collections that moved nodes, plus 1: a table whose hashes depend
// on node ids is stamped with it and refreshed when it changes.
uint32_t epoch();

// Triangular probing from a hash: home, +1, +2, ...; `bucket_count` steps visit every bucket.
struct probe {
  uint32_t mask, bucket, step = 0;
  probe(uint32_t hash, uint32_t buckets) : mask(buckets - 1), bucket(hash & (buckets - 1)) {}
  bool next() {  // false once every bucket was visited
    if (++step > mask) return false;
    bucket = (bucket + step) & mask;
    return true;
  }
};

/*
 * Probes from `hash` for an occupied bucket whose key word `matches`: answers it with *found
 * set. Otherwise answers the bucket where a new entry goes: the first deleted bucket passed,
 * else the empty bucket that ended the probe. `matches` may run code: the flags are re-read
 * at every step.
 */
template <class Match>
uint32_t seek(node_t t, uint32_t hash, bool* found, Match matches) {
  probe pr(hash, record(t)[f_buckets]);
  uint32_t free_bucket = 0xFFFFFFFF;
  *found = false;
  do {
    uint32_t st = state(flags_of(t), pr.bucket);
    if (st == st_empty) return free_bucket != 0xFFFFFFFF ? free_bucket : pr.bucket;
    if (st == st_deleted) {
      if (free_bucket == 0xFFFFFFFF) free_bucket = pr.bucket;
      continue;
    }
    if (matches(keys_of(t)[pr.bucket])) {
      *found = true;
      return pr.bucket;
    }
  } while (pr.next());
  return free_bucket;
}

// Takes bucket b for key word k: live and (when it was empty) occupied counts go up.
inline void take(node_t t, uint32_t b, int32_t k) {
  uint32_t* flags = flags_rw(t);
  uint32_t* r = record_rw(t);
  if (state(flags, b) == st_empty) ++r[f_occupied];
  ++r[f_live];
  set_state(flags, b, st_occupied);
  keys_rw(t)[b] = k;
}

// Equality of two values under an operation, through the installed hook.
bool equal(const cell* a, const cell* b, int32_t op);
uint32_t resolve(uint32_t symbol);
void normalize_map_key(cell* key);

// The position index of a hash! table (kind 0): its words (to write), and how many positions
// it covers.
inline uint32_t* index_of(node_t t) { return words_rw(record(t)[f_index]); }
inline uint32_t index_capacity(node_t t) {
  return memory::buffer_of(record(t)[f_index])->used_bytes() / 4;
}
// Gives the index room for `length` positions (new room: no bucket). May allocate.
void reserve_index(node_t t, uint32_t length);
// Adds a position to a duplicate chain, keeping the chain in ascending order.
void chain_insert(node_t chain, uint32_t position);
// Takes a position out of its bucket (hash!): out of its duplicate chain, or the bucket marked
// deleted when nothing is left in it. Compares no values.
void drop_position(node_t t, uint32_t position);
// Whether a table's hashes came from node ids that have since moved.
bool stale(node_t t);

// Upkeep shared between the files: indexing a hash! block again, growing a map! or context
// table, indexing the words of a context block, rehashing a pointer table in place.
void rebuild_values(node_t t);
void grow_keys(node_t t, uint32_t request);
void index_symbols(node_t t);
void rehash_pointers_in_place(node_t t);

}  // namespace kaz::hashtable::detail
