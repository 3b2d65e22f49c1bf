// Batched removals from a series: the gaps closed in one pass.
#include "datatypes/removal_batch.h"

#include <cstring>

#include "core/block_storage.h"
#include "datatypes/series_common.h"
#include "datatypes/series_types.h"

namespace kaz::series {

bool removal_batch::batchable(const cell* series) {
  uint32_t t = type_of(series);
  if (!is_any_block(t) && !is_any_string(t) && t != type::binary && t != type::vector) return false;
  return !(buffer_of(series)->flags & series_flag::owned);
}

void removal_batch::add(uint32_t at, uint32_t count) {
  if (count == 0) return;
  if (!ranges_.empty() && ranges_.back().at + ranges_.back().count == at)
    ranges_.back().count += count;  // adjoining removals make one gap
  else
    ranges_.push_back({at, count});
}

uint32_t removal_batch::flush(const cell* series, uint32_t position) {
  if (ranges_.empty()) return 0;
  series_buffer* s = buffer_of(series);
  uint32_t unit = s->unit();
  uint32_t len = s->used_bytes() / unit;
  uint8_t* base = s->head_rw();
  // Each kept stretch between two gaps moves down to the write position.
  uint32_t write = len, removed = 0, before = 0;
  for (size_t i = 0; i < ranges_.size(); ++i) {
    uint32_t at = ranges_[i].at;
    if (at >= len) break;
    uint32_t count = ranges_[i].count < len - at ? ranges_[i].count : len - at;
    if (write == len) write = at;
    uint32_t keep_from = at + count;
    uint32_t keep_to = i + 1 < ranges_.size() && ranges_[i + 1].at < len ? ranges_[i + 1].at : len;
    if (keep_to < keep_from) keep_to = keep_from;  // a later range that overlaps this one
    std::memmove(base + size_t(write) * unit, base + size_t(keep_from) * unit,
                 size_t(keep_to - keep_from) * unit);
    write += keep_to - keep_from;
    removed += count;
    if (at < position) before += (position < at + count ? position : at + count) - at;
  }
  s->tail -= removed * unit;
  if (ranges_.size() == 1 && removed)
    block::hash_spliced(series, ranges_[0].at, removed, 0);
  else if (removed)
    block::hash_changed(series);
  ranges_.clear();
  return before;
}

}  // namespace kaz::series
