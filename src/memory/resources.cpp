#include "memory/resources.h"

#include "runtime/fire.h"
#include "runtime/tracked_alloc.h"

namespace kaz::memory::resources {

namespace {

struct kind {
  const char* name;
  release_fn release;
};

struct slot {
  uint32_t kind_word;
  uint32_t handle;
  int32_t next;
};

kind kinds[max_kinds];
uint32_t kind_count = 0;

slot* slots = nullptr;
uint32_t slot_count = 0;
int32_t used = list_end;
int32_t free_head = list_end;

// Links `count` slots from `first` into one free chain ending the list.
void link_free(uint32_t first, uint32_t count) {
  for (uint32_t i = first; i < first + count; ++i)
    slots[i] = slot{free_word, 0, i + 1 < first + count ? int32_t(i + 1) : list_end};
}

void grow() {
  uint32_t grown = slot_count ? slot_count * 2 : first_slots;
  if (grown > max_slots) fire(err::internal_limit_hit);
  slots = static_cast<slot*>(sysrt::realloc(slots, uint64_t(grown) * sizeof(slot)));
  link_free(slot_count, grown - slot_count);
  slot_count = grown;
}

bool in_use(uint32_t s) { return s < slot_count && !(slots[s].kind_word & free_word); }

}  // namespace

void init() {
  if (slots) return;
  grow();
  free_head = 0;
}

uint32_t register_kind(const char* name, release_fn release) {
  if (kind_count == max_kinds) return 0;
  kinds[kind_count] = kind{name, release};
  return ++kind_count;
}

const char* kind_name(uint32_t k) {
  return k >= 1 && k <= kind_count ? kinds[k - 1].name : nullptr;
}

uint32_t add(uint32_t handle, uint32_t kind_word) {
  init();
  uint32_t s = uint32_t(free_head);
  if (slots[s].next == list_end) {  // the last free slot: double first, new half after it
    uint32_t old = slot_count;
    grow();
    slots[s].next = int32_t(old);
  }
  free_head = slots[s].next;
  slots[s] = slot{kind_word & ~(free_word | mark_bit), handle, used};
  used = int32_t(s);
  return s;
}

void release(uint32_t kind_word, uint32_t handle) {
  uint32_t k = kind_word & kind_mask;
  if (k >= 1 && k <= kind_count && kinds[k - 1].release) kinds[k - 1].release(handle);
}

void release_slot(uint32_t s) {
  if (in_use(s)) release(slots[s].kind_word, slots[s].handle);
}

void replace(uint32_t s, uint32_t handle) {
  if (!in_use(s)) return;
  uint32_t old = slots[s].handle;
  slots[s].handle = handle;
  if (old != handle) release(slots[s].kind_word, old);
}

int32_t remove(uint32_t s, bool release_handle) {
  if (!in_use(s)) return list_end;
  if (release_handle) release_slot(s);
  if (used == int32_t(s)) {
    used = slots[s].next;
  } else {
    for (int32_t p = used; p != list_end; p = slots[p].next)
      if (slots[p].next == int32_t(s)) {
        slots[p].next = slots[s].next;
        break;
      }
  }
  slots[s] = slot{free_word, 0, free_head};
  free_head = int32_t(s);
  return list_end;
}

bool mark(uint32_t s, uint32_t handle) {
  if (!in_use(s)) return false;
  if (handle) slots[s].handle = handle;
  bool fresh = !(slots[s].kind_word & mark_bit);
  slots[s].kind_word |= mark_bit;
  return fresh;
}

void sweep() {
  int32_t kept = list_end;
  for (int32_t s = used; s != list_end;) {
    slot& sl = slots[s];
    int32_t next = sl.next;
    if (sl.kind_word & mark_bit) {
      sl.kind_word &= ~mark_bit;
      kept = s;
    } else {
      release(sl.kind_word, sl.handle);
      if (kept == list_end)
        used = next;
      else
        slots[kept].next = next;
      sl = slot{free_word, 0, free_head};
      free_head = s;
    }
    s = next;
  }
}

void for_each(uint32_t k, void (*fn)(uint32_t handle)) {
  for (int32_t s = used; s != list_end; s = slots[s].next)
    if ((slots[s].kind_word & kind_mask) == k) fn(slots[s].handle);
}

uint32_t capacity() { return slot_count; }
uint32_t handle_of(uint32_t s) { return s < slot_count ? slots[s].handle : 0; }
uint32_t kind_word_of(uint32_t s) { return s < slot_count ? slots[s].kind_word : 0; }
int32_t used_head() { return used; }

}  // namespace kaz::memory::resources
