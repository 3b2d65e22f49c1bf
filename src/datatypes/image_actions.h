// The image! slots written in image_pixels.cpp, registered by image.cpp.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace kaz::image {

cell* copy(cell* value, cell* result, cell* part, bool deep, cell* types);
cell* change(cell* series, cell* value, int32_t part, bool only, int32_t dup);
const cell* eval_path(cell* parent, cell* element, cell* value, cell* path, cell* gparent,
                cell* p_item, int32_t index, bool case_, bool get, bool tail);
const cell* pick(cell* series, int32_t index, cell* boxed);
cell* poke(cell* series, int32_t index, cell* value, cell* boxed);
void at();    // head = the pixel an index or pair names, counting from 1
void skip();  // head moved by an offset or a pair, counting from 0

}  // namespace kaz::image
