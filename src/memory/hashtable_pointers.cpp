// Pointer tables (kinds 3 and 4): a node id to a group of value cells.
#include <cstring>

#include "memory/hashtable_internal.h"
#include "memory/murmur3.h"

namespace kaz::hashtable {

using namespace detail;

/*
 * An entry is (extra + 1) cells at a byte offset of the data block: cell 0 has header unset!
 * while live (0 once removed) and the key in data1; the value cells follow. A removed entry's
 * cells stay where they are, to be reused when its bucket is taken again, until the table is
 * rehashed into a new data block.
 */
namespace {

inline const cell* entry_at(node_t t, uint32_t offset) {
  return reinterpret_cast<const cell*>(memory::buffer_of(record(t)[f_data])->head() + offset);
}
inline cell* entry_rw(node_t t, uint32_t offset) {
  return reinterpret_cast<cell*>(memory::buffer_of(record(t)[f_data])->head_rw() + offset);
}

// The bucket holding `key`, or the bucket where it would go; *found tells which.
uint32_t seek_key(node_t t, node_t key, bool* found) {
  return seek(t, mix32(key), found, [&](int32_t offset) {
    return entry_at(t, static_cast<uint32_t>(offset))->data1 == key;
  });
}

// Moves every live entry into a new data block and new buckets.
void rehash(node_t t, uint32_t request) {
  uint32_t buckets = round_up_pow2(request);
  if (buckets < 4) buckets = 4;
  uint32_t* r = record_rw(t);
  uint32_t width = r[f_width];
  node_t old_data = r[f_data];
  uint32_t live = r[f_live];
  node_t data = memory::alloc_cells((live + 1) * (width / 16));
  record_rw(t)[f_data] = data;
  new_buckets(t, buckets);
  record_rw(t)[f_limit] = static_cast<uint32_t>(buckets * 0.77 + 0.5);
  series_buffer* from = memory::buffer_of(old_data);
  for (uint32_t off = 0; off + width <= from->used_bytes(); off += width) {
    const cell* e = reinterpret_cast<const cell*>(from->head() + off);
    if (e->header != type::unset) continue;
    bool found;
    uint32_t b = seek_key(t, e->data1, &found);
    series_buffer* to = memory::buffer_of(data);  // room was made for every live entry
    uint32_t at = to->used_bytes();
    std::memcpy(to->tail_rw(), e, width);
    to->tail += width;
    set_state(flags_rw(t), b, st_occupied);
    keys_rw(t)[b] = static_cast<int32_t>(at);
    ++record_rw(t)[f_live];
    ++record_rw(t)[f_occupied];
  }
  record_rw(t)[f_stamp] = epoch();
}

void refresh(node_t t) {
  if (record(t)[f_stamp] != epoch()) rehash_pointers_in_place(t);
}

}  // namespace

namespace detail {

void rehash_pointers_in_place(node_t t) {
  std::memset(flags_rw(t), 0xAA, flag_bytes(record(t)[f_buckets]));
  uint32_t* r = record_rw(t);
  r[f_live] = 0;
  r[f_occupied] = 0;
  uint32_t width = r[f_width];
  series_buffer* d = memory::buffer_of(r[f_data]);
  for (uint32_t off = 0; off + width <= d->used_bytes(); off += width) {
    const cell* e = reinterpret_cast<const cell*>(d->head() + off);
    if (e->header != type::unset) continue;
    bool found;
    uint32_t b = seek_key(t, e->data1, &found);
    if (found) {  // two entries of one key (ids merged by a move): keep the first
      reinterpret_cast<cell*>(d->head_rw() + off)->header = 0;
      continue;
    }
    set_state(flags_rw(t), b, st_occupied);
    keys_rw(t)[b] = static_cast<int32_t>(off);
    ++r[f_live];
    ++r[f_occupied];
  }
  r[f_stamp] = epoch();
}

}  // namespace detail

cell* put_pointer(node_t t, node_t key) {
  refresh(t);
  uint32_t* r = record_rw(t);
  if (r[f_occupied] >= r[f_limit]) {
    uint32_t b = r[f_buckets];
    rehash(t, 2 * r[f_live] < b ? b - 1 : b + 1);
  }
  bool found;
  uint32_t b = seek_key(t, key, &found);
  uint32_t width = record(t)[f_width];
  if (found) return entry_rw(t, static_cast<uint32_t>(keys_of(t)[b])) + 1;
  uint32_t offset;
  if (state(flags_of(t), b) == st_deleted) {
    offset = static_cast<uint32_t>(keys_of(t)[b]);  // the removed entry's cells are reused
  } else {
    series_buffer* d = memory::reserve_tail(memory::buffer_of(record(t)[f_data]), width);
    offset = d->used_bytes() - width;
  }
  uint32_t* flags = flags_rw(t);
  r = record_rw(t);
  if (state(flags, b) == st_empty) ++r[f_occupied];
  ++r[f_live];
  set_state(flags, b, st_occupied);
  keys_rw(t)[b] = static_cast<int32_t>(offset);
  cell* e = entry_rw(t, offset);
  for (uint32_t i = 0; i < width / 16; ++i) e[i] = cell{type::unset, 0, 0, 0};
  e->data1 = key;
  return e + 1;
}

cell* get_pointer(node_t t, node_t key) {
  refresh(t);
  bool found;
  uint32_t b = seek_key(t, key, &found);
  return found ? entry_rw(t, static_cast<uint32_t>(keys_of(t)[b])) + 1 : nullptr;
}

bool remove_pointer(node_t t, node_t key) {
  refresh(t);
  bool found;
  uint32_t b = seek_key(t, key, &found);
  if (!found) return false;
  set_state(flags_rw(t), b, st_deleted);
  --record_rw(t)[f_live];
  entry_rw(t, static_cast<uint32_t>(keys_of(t)[b]))->header = 0;
  return true;
}

void each_pointer(node_t t, void (*f)(node_t key, cell* values, void* ctx), void* ctx) {
  uint32_t width = record(t)[f_width];
  series_buffer* d = memory::buffer_of(record(t)[f_data]);
  for (uint32_t off = 0; off + width <= d->used_bytes(); off += width) {
    cell* e = reinterpret_cast<cell*>(d->head_rw() + off);
    if (e->header == type::unset) f(e->data1, e + 1, ctx);
  }
}

}  // namespace kaz::hashtable
