#include "core/exit_in_flight.h"

namespace kaz {

uint32_t thrown_code_of(flow f) {
  switch (f) {
    case flow::break_: return sysrt::thrown::break_;
    case flow::continue_: return sysrt::thrown::continue_;
    case flow::return_: return sysrt::thrown::return_;
    case flow::exit: return sysrt::thrown::exit;
    case flow::throw_: return sysrt::thrown::throw_;
    default: return sysrt::thrown::none;
  }
}

exit_in_flight::exit_in_flight(flow f) : thrown_value{thrown_code_of(f)}, status(f) {}

void raise_exit(flow f) {
  if (f != flow::normal) throw exit_in_flight(f);
}

}  // namespace kaz
