// Registration of the series datatypes and the block routines other block types share.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace kaz {
namespace series {
void init();  // series!: the actions every series datatype inherits
}  // namespace series
namespace block_type {
void init();
}  // namespace block_type
namespace string_type {
void init();
}  // namespace string_type
namespace tag_type { void init(); }
namespace email_type { void init(); }
namespace ref_type { void init(); }
}  // namespace kaz

namespace kaz::path_types {
void init_paren();
void init_paths();  // path!, lit-path!, set-path!, get-path!
// Makes the cell an empty path! with room for `capacity` cells.
void init_cell(cell* c, uint32_t capacity);
// Retypes the cell to path! and pushes a copy of it on the evaluation stack.
cell* push_retyped(cell* c);
}  // namespace kaz::path_types

namespace kaz::hash_type {
void init();
}  // namespace kaz::hash_type
