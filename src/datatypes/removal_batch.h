// Removals from a series decided one at a time and made together: remove-each's one pass.
#pragma once

#include <cstdint>
#include <vector>

#include "runtime/cell.h"

namespace kaz::series {

/*
 * The units stay where they are until flush, which closes every gap in one pass over the
 * series (a hash! is indexed once afterwards). Only for a series whose removals nobody hears
 * about: see batchable.
 */
class removal_batch {
 public:
  // Whether the series' removals can be batched: a block, string, binary! or vector! that no
  // object owns (an owner hears of each removal as it happens).
  static bool batchable(const cell* series);

  // `count` units at absolute index `at`, after those already added.
  void add(uint32_t at, uint32_t count);
  // Makes the removals (those past the tail are cut to it) and forgets them; answers how many
  // of the removed units stood before absolute index `position`.
  uint32_t flush(const cell* series, uint32_t position = 0);

 private:
  struct range {
    uint32_t at, count;
  };
  std::vector<range> ranges_;
};

}  // namespace kaz::series
