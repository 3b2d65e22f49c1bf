// hash! tables kept in step with edits of their block: the position index, duplicate chains in
// ascending order, and the renumbering that insertions, removals and moves need.
#include <algorithm>
#include <cstring>
#include <vector>

#include "memory/hashtable_internal.h"

namespace kaz::hashtable {

using namespace detail;

/*
 * A hash! table knows, for each position of its block, the bucket that holds it (the position
 * index), and keeps each duplicate chain in ascending order. An edit of the block is then
 * followed without comparing a single old value: the positions it removed are taken out of
 * their buckets through the index, the positions behind it are renumbered in place, and only
 * the values it wrote are hashed and put. Renumbering walks the moved positions in the order
 * that keeps every chain ascending at each step (upward moves from the back, downward ones
 * from the front), so a position is found in its chain by binary search.
 */

namespace {

node_t chain_of(node_t t, int32_t key) { return words_of(record(t)[f_chains])[-key - 1]; }

struct chain_view {
  series_buffer* s;
  uint32_t* begin() const { return reinterpret_cast<uint32_t*>(s->head_rw()); }
  uint32_t* end() const { return begin() + s->used_bytes() / 4; }
};
chain_view view_chain(node_t t, int32_t key) { return {memory::buffer_of(chain_of(t, key))}; }

// Moves the positions [from, end) of the index by delta and renumbers their buckets; the
// positions the move leaves free hold no bucket afterwards.
void renumber(node_t t, uint32_t from, uint32_t end, int64_t delta) {
  if (delta == 0 || from >= end) return;
  reserve_index(t, static_cast<uint32_t>(end + (delta > 0 ? delta : 0)));
  uint32_t* ix = index_of(t);
  int32_t* keys = keys_rw(t);
  uint32_t buckets = record(t)[f_buckets];
  if (uint64_t(end - from) * 16 >= buckets) {
    // Many positions: one pass over the buckets and one over the chains, both in memory
    // order, beat a visit to each moved position's bucket. The bucket pass renumbers the key
    // words of empty and deleted buckets too (they are never read), so that it runs without
    // a branch: unsigned, as such a key may wander.
    std::memmove(ix + from + delta, ix + from, size_t(end - from) * 4);
    if (delta < 0)
      std::fill(ix + end + delta, ix + end, no_bucket);
    else
      std::fill(ix + from, ix + from + delta, no_bucket);
    auto* words = reinterpret_cast<uint32_t*>(keys);
    auto low = static_cast<int32_t>(from);
    auto d = static_cast<uint32_t>(delta);
    uint32_t b = 0;
    using lanes = int32_t __attribute__((vector_size(16)));  // four keys at a time
    using ulanes = uint32_t __attribute__((vector_size(16)));
    for (; b + 4 <= buckets; b += 4) {
      lanes k;
      std::memcpy(&k, words + b, sizeof k);
      ulanes u = reinterpret_cast<ulanes>(k) + (reinterpret_cast<ulanes>(k >= low) & d);
      std::memcpy(words + b, &u, sizeof u);  // a true lane of the comparison is all ones
    }
    for (; b < buckets; ++b) {
      uint32_t k = words[b];
      words[b] = static_cast<int32_t>(k) >= low ? k + d : k;
    }
    series_buffer* list = memory::buffer_of(record(t)[f_chains]);
    uint32_t chains = list->used_bytes() / 4;
    for (uint32_t k = 0; k < chains; ++k) {
      node_t chain = reinterpret_cast<const uint32_t*>(list->head())[k];
      if (!chain) continue;
      chain_view c{memory::buffer_of(chain)};
      for (uint32_t* p = std::lower_bound(c.begin(), c.end(), from); p < c.end(); ++p)
        *p = static_cast<uint32_t>(*p + delta);
    }
    return;
  }
  auto move_one = [&](uint32_t q) {
    uint32_t e = ix[q];
    auto nq = static_cast<uint32_t>(q + delta);
    ix[nq] = e;
    if (!(e & in_chain)) {
      keys[e] = static_cast<int32_t>(nq);
    } else if (e != no_bucket) {
      chain_view c = view_chain(t, keys[e & ~in_chain]);
      uint32_t* at = std::lower_bound(c.begin(), c.end(), q);
      if (at != c.end() && *at == q) *at = nq;
    }
  };
  if (delta < 0) {
    for (uint32_t q = from; q < end; ++q) move_one(q);
    auto freed = static_cast<uint32_t>(end + delta);
    std::fill(ix + freed, ix + end, no_bucket);
  } else {
    for (uint32_t q = end; q-- > from;) move_one(q);
    std::fill(ix + from, ix + from + delta, no_bucket);
  }
}

}  // namespace

namespace detail {

void reserve_index(node_t t, uint32_t length) {
  uint32_t have = index_capacity(t);
  if (have >= length) return;
  uint32_t want = length < 8 ? 16 : length * 2;
  node_t grown = alloc_filled(want * 4, 0xFF);
  std::memcpy(words_rw(grown), index_of(t), size_t(have) * 4);
  record_rw(t)[f_index] = grown;
}

void chain_insert(node_t chain, uint32_t position) {
  series_buffer* s = memory::reserve_tail(memory::buffer_of(chain), 4);
  auto* p = reinterpret_cast<uint32_t*>(s->head_rw());
  uint32_t n = s->used_bytes() / 4 - 1;
  uint32_t* at = std::upper_bound(p, p + n, position);
  std::memmove(at + 1, at, size_t(p + n - at) * 4);
  *at = position;
}

void drop_position(node_t t, uint32_t position) {
  if (position >= index_capacity(t)) return;
  uint32_t e = index_of(t)[position];
  if (e == no_bucket) return;
  index_of(t)[position] = no_bucket;
  uint32_t b = e & ~in_chain;
  int32_t key = keys_of(t)[b];
  if (state(flags_of(t), b) != st_occupied) return;
  if (key >= 0) {
    if (static_cast<uint32_t>(key) != position) return;
    set_state(flags_rw(t), b, st_deleted);
    --record_rw(t)[f_live];
    return;
  }
  chain_view c = view_chain(t, key);
  uint32_t* at = std::lower_bound(c.begin(), c.end(), position);
  if (at == c.end() || *at != position) return;
  std::memmove(at, at + 1, size_t(c.end() - at - 1) * 4);
  c.s->tail -= 4;
  if (c.begin() == c.end()) {
    words_rw(record(t)[f_chains])[-key - 1] = 0;
    set_state(flags_rw(t), b, st_deleted);
    --record_rw(t)[f_live];
  }
}

}  // namespace detail

void splice_values(node_t t, uint32_t position, uint32_t removed, uint32_t inserted) {
  if (removed == 0 && inserted == 0) return;
  uint32_t length = data_length(t);
  uint64_t old_length = uint64_t(length) - inserted + removed;
  if (stale(t) || removed > bulk_limit || inserted > bulk_limit || length == 0 ||
      uint64_t(position) + inserted > length || uint64_t(position) + removed > old_length) {
    rebuild_values(t);
    return;
  }
  for (uint32_t p = position; p < position + removed; ++p) drop_position(t, p);
  renumber(t, position + removed, static_cast<uint32_t>(old_length),
           int64_t(inserted) - int64_t(removed));
  for (uint32_t p = position; p < position + inserted; ++p) {
    bool rebuilt;
    put_value(t, p, &rebuilt);
    if (rebuilt) return;  // the whole block is indexed now
  }
}

void rotate_values(node_t t, uint32_t first, uint32_t middle, uint32_t last) {
  if (first >= middle || middle >= last) return;
  if (stale(t) || last > data_length(t)) {
    rebuild_values(t);
    return;
  }
  reserve_index(t, last);
  uint32_t* ix = index_of(t);
  int32_t* keys = keys_rw(t);
  std::rotate(ix + first, ix + middle, ix + last);
  std::vector<int32_t> chains;
  for (uint32_t q = first; q < last; ++q) {
    uint32_t e = ix[q];
    if (!(e & in_chain))
      keys[e] = static_cast<int32_t>(q);
    else if (e != no_bucket)
      chains.push_back(keys[e & ~in_chain]);
  }
  std::sort(chains.begin(), chains.end());
  chains.erase(std::unique(chains.begin(), chains.end()), chains.end());
  // A chain's positions inside the range follow their values, then the chain is put in order
  // again (they stay inside the range, so only that part of it needs sorting).
  for (int32_t key : chains) {
    chain_view c = view_chain(t, key);
    uint32_t* lo = std::lower_bound(c.begin(), c.end(), first);
    uint32_t* hi = std::lower_bound(lo, c.end(), last);
    for (uint32_t* p = lo; p < hi; ++p)
      *p = *p >= middle ? *p - (middle - first) : *p + (last - middle);
    std::sort(lo, hi);
  }
}

void swap_values(node_t t, uint32_t a, uint32_t b) {
  if (a == b) return;
  if (stale(t) || a >= data_length(t) || b >= data_length(t)) {
    rebuild_values(t);
    return;
  }
  uint32_t* ix = index_of(t);
  uint32_t ea = ix[a], eb = ix[b];
  ix[a] = eb;
  ix[b] = ea;
  // The value that stood at `from` now stands at `to`: its bucket follows it. In a chain the
  // position is replaced and moved to its place in the order (one chain may hold both).
  auto follow = [&](uint32_t e, uint32_t from, uint32_t to) {
    if (e == no_bucket) return;
    int32_t* keys = keys_rw(t);
    if (!(e & in_chain)) {
      keys[e] = static_cast<int32_t>(to);
      return;
    }
    chain_view c = view_chain(t, keys[e & ~in_chain]);
    uint32_t* at = std::lower_bound(c.begin(), c.end(), from);
    if (at == c.end() || *at != from) return;
    std::memmove(at, at + 1, size_t(c.end() - at - 1) * 4);
    uint32_t* last = c.end() - 1;
    uint32_t* place = std::upper_bound(c.begin(), last, to);
    std::memmove(place + 1, place, size_t(last - place) * 4);
    *place = to;
  };
  follow(ea, a, b);
  follow(eb, b, a);
}

}  // namespace kaz::hashtable
