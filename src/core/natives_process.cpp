// The native that runs other programs; the work is the platform layer's.
#include "core/natives.h"
#include "platform/call.h"

namespace kaz::natives {

flow call(const int32_t* refs) {
  auto has = [refs](uint32_t k) { return refs[k] >= 0; };
  auto ref_arg = [refs](uint32_t k) { return stack::arguments + refs[k]; };
  os::call_request r;
  cell command = *stack::arguments;
  r.command = &command;
  r.wait = has(0);
  r.show = has(1);
  r.console = has(2);
  r.shell = has(3);
  // The targets are copies of the argument cells: inserting into them reaches the same series.
  cell input, output, error;
  if (has(4)) r.input = &(input = *ref_arg(4));
  if (has(5)) r.output = &(output = *ref_arg(5));
  if (has(6)) r.error = &(error = *ref_arg(6));
  cell result{type::integer, 0, static_cast<uint32_t>(os::call(r)), 0};
  stack::set_result_only(&result);
  return flow::normal;
}

}  // namespace kaz::natives
