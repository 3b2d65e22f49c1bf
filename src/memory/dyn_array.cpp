#include "memory/dyn_array.h"

#include <cstring>

namespace kaz::dyn_array {

using memory::buffer_of;

namespace {

void append(node_t array, const void* source, uint32_t n) {
  series_buffer* s = memory::reserve_tail(buffer_of(array), n);
  std::memcpy(s->tail_rw() - n, source, n);
}

// Address of the element at a 1-based position, nullptr outside the array.
const uint8_t* element(node_t array, uint32_t index, uint32_t width) {
  series_buffer* s = buffer_of(array);
  if (index < 1 || uint64_t(index) * width > s->used_bytes()) return nullptr;
  return s->head() + uint64_t(index - 1) * width;
}
// The same, to write.
uint8_t* element_rw(node_t array, uint32_t index, uint32_t width) {
  series_buffer* s = buffer_of(array);
  if (index < 1 || uint64_t(index) * width > s->used_bytes()) return nullptr;
  return s->head_rw() + uint64_t(index - 1) * width;
}

template <class T>
int64_t find(node_t array, T value) {
  series_buffer* s = buffer_of(array);
  for (uint32_t at = 0; at + sizeof(T) <= s->used_bytes(); at += sizeof(T)) {
    T v;
    std::memcpy(&v, s->head() + at, sizeof v);
    if (v == value) return at;
  }
  return -1;
}

}  // namespace

node_t make(uint32_t count, uint32_t width) {
  uint64_t bytes = uint64_t(count) * width;
  if (bytes == 0) return memory::new_series(16 / width, width, 0);
  if (bytes > memory::max_series_bytes) bytes = memory::max_series_bytes + 1;  // fires
  return memory::new_series(uint32_t((bytes + width - 1) / width), width, 0);
}

uint32_t length(node_t array) { return buffer_of(array)->length(); }

void clear(node_t array) {
  series_buffer* s = buffer_of(array);
  s->tail = s->offset;
}

void truncate(node_t array, uint32_t n) {
  series_buffer* s = buffer_of(array);
  uint64_t keep = n > 0 ? uint64_t(n - 1) * s->unit() : 0;
  if (keep < s->used_bytes()) s->tail = s->offset + uint32_t(keep);
}

node_t copy(node_t array) { return memory::copy_series(buffer_of(array)); }

uint32_t flags(node_t array) { return buffer_of(array)->flags; }

void append_byte(node_t array, uint8_t byte) { append(array, &byte, 1); }
void append_bytes(node_t array, const void* source, uint32_t n) {
  if (n) append(array, source, n);
}
void append_int(node_t array, int32_t value) { append(array, &value, sizeof value); }
void append_pointer(node_t array, uintptr_t value) { append(array, &value, sizeof value); }

int32_t pick_int(node_t array, uint32_t index) {
  int32_t v = 0;
  if (const uint8_t* p = element(array, index, sizeof v)) std::memcpy(&v, p, sizeof v);
  return v;
}

uintptr_t pick_pointer(node_t array, uint32_t index) {
  uintptr_t v = 0;
  if (const uint8_t* p = element(array, index, sizeof v)) std::memcpy(&v, p, sizeof v);
  return v;
}

void poke_int(node_t array, uint32_t index, int32_t value) {
  if (uint8_t* p = element_rw(array, index, sizeof value)) std::memcpy(p, &value, sizeof value);
}

int64_t find_int(node_t array, int32_t value) { return find(array, value); }
int64_t find_pointer(node_t array, uintptr_t value) { return find(array, value); }

void remove_bytes(node_t array, uint32_t offset, uint32_t n) {
  series_buffer* s = buffer_of(array);
  uint32_t used = s->used_bytes();
  if (offset >= used) return;
  if (n > used - offset) n = used - offset;
  std::memmove(s->head_rw() + offset, s->head() + offset + n, used - offset - n);
  s->tail -= n;
}

int64_t remove_pointer(node_t array, uintptr_t value) {
  int64_t at = find(array, value);
  if (at >= 0) remove_bytes(array, uint32_t(at), sizeof value);
  return at;
}

}  // namespace kaz::dyn_array
