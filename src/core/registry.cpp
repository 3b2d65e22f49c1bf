#include "core/registry.h"

#include <cstring>

namespace kaz::registry {

namespace {

struct type_record {
  const char* name = nullptr;
  uint32_t name_length = 0;
  uint32_t parent = 0;
  bool registered = false;
};

type_record records[type::max_id + 1];
action_row rows[type::max_id + 1];
uint32_t highest = 0;

// Slot s (1-based) of a row, viewed as one of 62 equally sized pointers.
void copy_slot(const action_row& from, action_row& to, uint32_t s) {
  constexpr size_t width = sizeof(void*);
  std::memcpy(reinterpret_cast<char*>(&to) + (s - 1) * width,
              reinterpret_cast<const char*>(&from) + (s - 1) * width, width);
}

const char* static_name(uint32_t id) {
  switch (id) {
#define DATATYPE(n, cname, name, parent) \
  case n:                                \
    return name;
#include "runtime/types.def"
#undef DATATYPE
    default:
      return nullptr;
  }
}

uint32_t static_parent(uint32_t id) {
  switch (id) {
#define DATATYPE(n, cname, name, parent) \
  case n:                                \
    return type::parent;
#include "runtime/types.def"
#undef DATATYPE
    default:
      return 0;
  }
}

}  // namespace

void add(uint32_t id, const action_row& own, inherited from_parent) {
  if (id > highest) highest = id;
  type_record& r = records[id];
  r.name = static_name(id);
  r.name_length = static_cast<uint32_t>(std::strlen(r.name)) - 1;
  r.parent = static_parent(id);
  r.registered = true;
  action_row& row = rows[id];
  row = own;
  for (uint32_t s = 1; s <= slot::count; ++s) {
    if (!from_parent.has(s)) continue;
    if (r.parent == 0) {
      action_row none{};
      copy_slot(none, row, s);
    } else {
      copy_slot(rows[r.parent], row, s);
    }
  }
}

const action_row& row(uint32_t id) { return rows[id <= type::max_id ? id : 0]; }
const char* name(uint32_t id) { return id <= type::max_id ? records[id].name : nullptr; }
uint32_t name_length(uint32_t id) { return id <= type::max_id ? records[id].name_length : 0; }
uint32_t parent(uint32_t id) { return id <= type::max_id ? records[id].parent : 0; }
uint32_t highest_id() { return highest; }
bool registered(uint32_t id) { return id <= type::max_id && records[id].registered; }

}  // namespace kaz::registry
