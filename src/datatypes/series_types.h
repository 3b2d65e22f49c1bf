// Registration of the series datatypes and the block routines other block types share.
#pragma once

#include <cstdint>

#include "datatypes/cell.h"

namespace kaz {
namespace block_type {
void init();
// The body of block mold (each cell molded, new-line markers and indentation), shared by the
// block-like types with their own delimiters.
int32_t mold_cells(cell* b, cell* buffer, bool only, bool all, bool flat, cell* part,
                   int32_t limit, int32_t indent);
int32_t mold_delimited(cell* b, cell* buffer, const char* open, const char* close, bool only,
                       bool all, bool flat, cell* part, int32_t limit, int32_t indent);
// The body of block compare.
int32_t compare_cells(cell* a, cell* b, int32_t op);
}  // namespace block_type
namespace string_type {
void init();
}  // namespace string_type
}  // namespace kaz

namespace kaz::path_types {
void init_paren();
void init_paths();  // path!, lit-path!, set-path!, get-path!
}  // namespace kaz::path_types
