// The last step of start-up: the console's start function, cli-console-ctx/launch.
#pragma once

namespace kaz::console {

// Calls cli-console-ctx/launch in a call frame named `launch`; returns when it does (after a
// script, when the prompt was not asked for). Does nothing when the console is not defined.
void launch();

}  // namespace kaz::console
