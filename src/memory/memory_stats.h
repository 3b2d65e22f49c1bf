// Memory figures behind the `stats` native.
#pragma once

#include <cstdint>

#include "memory/series.h"

namespace kaz::memory {

/*
 * Mode 1: answers the bytes in use: the node slots in use, the used part of every series
 * frame, and every big series. Mode 2: appends to the block (a cell series) a block of
 * [free used capacity] per node frame, a block of [free used capacity] bytes per series frame,
 * a block of the size of each big series (each inner block and number on a new line), then
 * the bytes taken from the system (frames, big series and tracked blocks) and the bytes of the
 * tracked blocks alone; answers the mode-1 figure. The collector is held off meanwhile.
 */
double stats(node_t block, int mode);

// Appends a figure to the block: an integer! when it fits in 32 bits, else a float!.
void stats_append_number(node_t block, double figure);

}  // namespace kaz::memory
