// The View layer's own routines, declared from its Kaz source by their index (240 on).
#pragma once

#include <cstdint>

namespace kaz::view {

namespace routine_index {
enum : uint32_t {
  stand_in_handle = 240,
  on_terminal_q,
};
}  // namespace routine_index

// Adds the View layer's entries to the routines table (start-up, before the library's top level).
void init_routines();

}  // namespace kaz::view
