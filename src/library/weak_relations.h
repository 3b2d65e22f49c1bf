// The relations block of reactivity holds its source reactors weakly.
#pragma once

#include "runtime/cell.h"

namespace kaz::library::relations {

// The routine that makes a block the relations block (one at a time): its records of four
// values whose source object nothing else reaches are set to none by the next collection.
void hold_sources_weakly(cell* a);

}  // namespace kaz::library::relations
