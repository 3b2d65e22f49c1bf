// The native that runs other programs; the work is the platform layer's.
#include "eval/interpreter.h"
#include "eval/natives.h"
#include "platform/call.h"
#include "runtime/fault_signals.h"

namespace kaz::natives {

namespace {

// Ctrl-C: the halt the console takes, at once rather than at the next block.
flow halt_if_interrupted() {
  return sysrt::interrupt_pending ? interp::halt_on_interrupt() : flow::normal;
}

}  // namespace

flow call(const int32_t* refs) {
  // An interrupt that came before anything ran: nothing is started.
  if (halt_if_interrupted() != flow::normal) return flow::throw_;
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
  return halt_if_interrupted();
}

}  // namespace kaz::natives
