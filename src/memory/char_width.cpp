#include "memory/char_width.h"

#include "memory/width_tables.h"

namespace kaz::unicode {

bool find_interval(uint32_t cp, const uint32_t (*intervals)[2], size_t count) {
  if (count == 0 || cp < intervals[0][0] || cp > intervals[count - 1][1]) return false;
  size_t lo = 0, hi = count;
  while (lo < hi) {  // first interval whose last is >= cp
    size_t mid = (lo + hi) / 2;
    if (intervals[mid][1] < cp) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  return lo < count && intervals[lo][0] <= cp;
}

int char_width(int32_t cp) {
  if (cp == 0) return 0;
  if (cp < 0x20 || (cp >= 0x7F && cp <= 0x9F)) return 1;  // negative values too
  if (cp < 0x300) return 1;                                // nothing narrower or wider below
  auto c = static_cast<uint32_t>(cp);
  constexpr size_t zero_count = sizeof zero_width_intervals / sizeof zero_width_intervals[0];
  constexpr size_t wide_count = sizeof wide_intervals / sizeof wide_intervals[0];
  if (find_interval(c, zero_width_intervals, zero_count)) return 0;
  if (find_interval(c, wide_intervals, wide_count)) return 2;
  return 1;
}

}  // namespace kaz::unicode
