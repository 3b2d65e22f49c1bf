#include "console/console_start.h"

#include "core/context.h"
#include "core/object.h"
#include "core/stack.h"
#include "core/symbol.h"
#include "eval/interpreter.h"

namespace kaz::console {

void launch() {
  cell w;
  context::intern_global(symbol::make("cli-console-ctx"), &w);
  const cell* ctx = context::get_value(&w);
  if (type_of(ctx) != type::object) return;
  int32_t i = context::find_symbol(object::context_of(ctx), symbol::make("launch"), true);
  if (i < 0) return;
  cell fn = context::values(object::context_of(ctx))[i];
  if (type_of(&fn) != type::function) return;
  stack::saved_state saved = stack::save();
  cell name;
  context::intern_global(symbol::make("launch"), &name);
  stack::open_interpreted_function_frame(&name);
  flow f = interp::call_with_arguments(&fn, &name);
  (void)f;  // every exit of the console's own code ends here
  stack::unwind_to(saved);
}

}  // namespace kaz::console
