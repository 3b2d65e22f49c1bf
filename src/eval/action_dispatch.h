// The action dispatcher table: the stack entry of every action, in slot order.
#pragma once

namespace kaz::actions {

// Fills the table that `make action!` indexes (the set-path slot stays empty).
void init_table();

}  // namespace kaz::actions
