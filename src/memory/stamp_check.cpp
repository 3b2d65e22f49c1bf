#include "memory/stamp_check.h"

#include <cstdio>
#include <cstdlib>
#include <unordered_map>

#include "memory/murmur3.h"

namespace kaz::memory::stamp_check {

namespace {

bool from_environment() {
  const char* v = std::getenv("KAZ_STAMP_VERIFY");
  return v && v[0] == '1';
}

struct seen {
  uint32_t stamp;
  uint32_t epoch;
  uint32_t hash;
};

std::unordered_map<node_t, seen>& remembered() {
  static std::unordered_map<node_t, seen> table;
  return table;
}

uint32_t contents_hash(const series_buffer* s) {
  uint32_t h = hashtable::murmur3(s->head(), s->used_bytes(), 0x5EED);
  return hashtable::mix32(h ^ hashtable::mix32(s->offset) ^ (uint32_t(s->tail) << 1));
}

// Compares and renews one record; false when the buffer changed under its old stamp.
bool renew(node_t node, seen& r) {
  const series_buffer* s = buffer_of(node);
  uint32_t h = contents_hash(s);
  bool same_stamp = r.stamp == s->stamp && r.epoch == stamp_epoch();
  bool sound = !same_stamp || r.hash == h;
  r = seen{s->stamp, stamp_epoch(), h};
  return sound;
}

[[noreturn]] void fail(node_t node) {
  std::fprintf(stderr, "*** stamp check: node %u changed without a new stamp (%u)\n", node,
               buffer_of(node)->stamp);
  std::abort();
}

}  // namespace

bool on = from_environment();

void check(node_t node) {
  auto [it, added] = remembered().try_emplace(node, seen{0, 0, 0});
  if (added) {
    const series_buffer* s = buffer_of(node);
    it->second = seen{s->stamp, stamp_epoch(), contents_hash(s)};
    return;
  }
  if (!renew(node, it->second)) fail(node);
}

void after_collection(bool renumbered) {
  auto& table = remembered();
  if (renumbered) {
    table.clear();
    return;
  }
  for (auto it = table.begin(); it != table.end();) {
    if (!valid_node(it->first)) {
      it = table.erase(it);
      continue;
    }
    if (!renew(it->first, it->second)) fail(it->first);
    ++it;
  }
}

}  // namespace kaz::memory::stamp_check
