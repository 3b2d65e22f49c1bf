// The point family: point2D! (x, y) and point3D! (x, y, z), coordinates in 32-bit floats held in
// words 1 to 3. The two types share every routine; the datatype tells the coordinate count.
#pragma once

#include <cstdint>
#include <cstring>

#include "core/registry.h"
#include "datatypes/integer.h"
#include "runtime/cell.h"

namespace kaz::point {

inline uint32_t dims(const cell* c) { return type_of(c) == type::point3d ? 3 : 2; }

inline float coord(const cell* c, uint32_t i) {
  uint32_t w = i == 0 ? c->data1 : i == 1 ? c->data2 : c->data3;
  float f;
  std::memcpy(&f, &w, sizeof f);
  return f;
}

inline void set_coord(cell* c, uint32_t i, float f) {
  uint32_t w;
  std::memcpy(&w, &f, sizeof w);
  (i == 0 ? c->data1 : i == 1 ? c->data2 : c->data3) = w;
}

// Makes the cell a point of the type (header exactly that type); z is ignored for point2D!.
inline cell* init_cell(cell* c, uint32_t type_id, float x, float y, float z = 0.0f) {
  c->header = type_id;
  c->data3 = 0;
  set_coord(c, 0, x);
  set_coord(c, 1, y);
  if (type_id == type::point3d) set_coord(c, 2, z);
  return c;
}

// A pair! cell made a point2D! in place.
void from_pair(cell* c);

// The action row both types register.
action_row row();

// The slots the two types share.
cell* make(cell* proto, cell* spec, uint32_t type_id);
const cell* random(cell* v, bool seed, bool secure, bool only);
int32_t form(cell* v, cell* buffer, cell* part, int32_t limit);
int32_t mold(cell* v, cell* buffer, bool only, bool all, bool flat, cell* part, int32_t limit,
             int32_t indent);
const cell* eval_path(cell* parent, cell* element, cell* value, cell* path, cell* gparent,
                cell* p_item, int32_t index, bool case_, bool get, bool tail);
int32_t compare(cell* a, cell* b, int32_t op);
void absolute();
cell* negate(cell* v);
cell* round(cell* v, cell* scale, bool even, bool down, bool half_down, bool floor,
            bool ceiling, bool half_ceiling);
const cell* pick(cell* v, int32_t index, cell* boxed);
cell* reverse(cell* v, cell* part, cell* skip);

// The field of a path or pick word: 1 for x, 2 for y, 3 for z (point3D! and, in `limit`, the
// count of fields); 0 for any other word.
uint32_t field_index(const cell* word, uint32_t limit);

}  // namespace kaz::point
