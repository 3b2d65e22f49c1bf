// The console's settings between runs: console-cfg.kaz in the Kaz-Console folder of the cache
// directory, read at start and written back by quit.
#pragma once

#include "runtime/cell.h"

namespace kaz::console {

// cli-console-ctx/settings/load-cfg: reads the settings file (any failure: the defaults) and
// applies it.
void load_cfg(cell* a);
// cli-console-ctx/settings/apply-cfg: system/console/history := the settings' history block.
void apply_cfg(cell* a);
// cli-console-ctx/settings/save-cfg: writes the settings file, the history cut to 100 lines.
void save_cfg(cell* a);

}  // namespace kaz::console
