#include "runtime/throw.h"

#include "runtime/runtime_error.h"

namespace kaz::sysrt {

void throw_value(uint32_t value) {
  if (value == thrown::none) return;
  throw thrown_value{value};
}

void top_catch(uint32_t value) {
  if (value == thrown::quit) quit_with_code(0, 0);
  // The address of this handler: the same in every report of an uncaught throw.
  quit_with_code(rterr::no_catch_for_throw, code_address(&top_catch));
}

}  // namespace kaz::sysrt
