#include "core/stranded_exit.h"

#include "runtime/fire.h"

namespace kaz {

void raise_stranded_exit(flow f) {
  switch (f) {
    case flow::break_:
      fire(err::throw_break);
    case flow::continue_:
      fire(err::throw_continue);
    case flow::throw_: {
      cell v = stack::flow_value;
      fire(err::throw_throw, &v);
    }
    default:
      fire(err::throw_return);
  }
}

}  // namespace kaz
