#include "memory/case_map.h"

#include <array>

#include "memory/case_pairs.h"
#include "memory/unicode_units.h"

namespace kaz::unicode {

namespace {

/*
 * The pair lists, spread at compile time into one table per direction over the Basic
 * Multilingual Plane: entry cp holds the mapping of cp, 0 when cp maps to itself. Every BMP
 * mapping stays in the BMP, so 16 bits an entry suffice. Code points above FFFFh search the
 * short supplementary lists.
 */
template <size_t N>
constexpr std::array<uint16_t, 0x10000> spread(const uint32_t (&pairs)[N][2]) {
  std::array<uint16_t, 0x10000> table{};
  for (size_t i = 0; i < N; ++i) {
    if (pairs[i][0] > 0xFFFF || pairs[i][1] > 0xFFFF) throw "case pair outside the BMP";
    table[pairs[i][0]] = static_cast<uint16_t>(pairs[i][1]);
  }
  return table;
}

constexpr std::array<uint16_t, 0x10000> upper_table = spread(upper_pairs_bmp);
constexpr std::array<uint16_t, 0x10000> lower_table = spread(lower_pairs_bmp);

template <size_t N>
uint32_t search_pairs(const uint32_t (&pairs)[N][2], uint32_t cp) {
  size_t lo = 0, hi = N;
  while (lo < hi) {
    size_t mid = (lo + hi) / 2;
    if (pairs[mid][0] < cp) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  return lo < N && pairs[lo][0] == cp ? pairs[lo][1] : cp;
}

}  // namespace

uint32_t change_case_char(uint32_t cp, bool upper) {
  if (cp <= 0xFFFF) {
    uint32_t m = upper ? upper_table[cp] : lower_table[cp];
    return m ? m : cp;
  }
  return upper ? search_pairs(upper_pairs_supplementary, cp)
               : search_pairs(lower_pairs_supplementary, cp);
}

size_t change_case_units(uint8_t* data, size_t count, uint32_t unit, bool upper) {
  uint32_t limit = unit == 1 ? 0xFF : unit == 2 ? 0xFFFF : 0xFFFFFFFF;
  for (size_t i = 0; i < count; ++i) {
    uint8_t* p = data + i * unit;
    uint32_t c = get_char(p, unit);
    uint32_t m = change_case_char(c, upper);
    if (m == c) continue;
    if (m > limit) return i;
    put_char(p, unit, m);
  }
  return count;
}

}  // namespace kaz::unicode
