// The stamp checker: with KAZ_STAMP_VERIFY=1, every block the interpreter runs is remembered
// with its stamp and a hash of its contents; when a block is run again, and at every
// collection, a block whose stamp is unchanged must hash the same. A write that skipped the
// stamp (a pointer kept across a renewal, a raw write) stops the process with a report.
#pragma once

#include "memory/series.h"

namespace kaz::memory::stamp_check {

extern bool on;  // read from the environment at start

// Checks one buffer against what was remembered of it, then remembers it as it is.
void check(node_t node);
// After a collection: checks every remembered buffer that is still alive, or forgets them all
// when node ids were renumbered.
void after_collection(bool renumbered);

}  // namespace kaz::memory::stamp_check
