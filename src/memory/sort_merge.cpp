// The stable merge sort and the record swap both sorts share.
#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "memory/sort.h"
#include "memory/sort_width.h"
#include "runtime/fire.h"

namespace kaz::sort {

void swap_records(uint8_t* x, uint8_t* y, size_t w) {
  if (x == y) return;
  uint8_t tmp[64];
  while (w > 0) {
    size_t k = w < sizeof tmp ? w : sizeof tmp;
    std::memcpy(tmp, x, k);
    std::memcpy(x, y, k);
    std::memcpy(y, tmp, k);
    x += k;
    y += k;
    w -= k;
  }
}

size_t merge_sort_work_bytes(size_t n, size_t w) {
  size_t half = n / 2;
  if (w != 0 && half > (size_t{0x7FFFFFFF} / w)) fire(err::script_too_long);
  return half * w;
}

namespace {

constexpr size_t min_run = 24;

/*
 * Every index below stays inside [0, n): runs are found and merged by counting records, never
 * by scanning for a sentinel, so an inconsistent callback can only produce a wrong order.
 */
template <size_t W>
struct merger {
  uint8_t* base;
  size_t n;
  record_width<W> width;
  int32_t op;
  uint32_t flags;
  compare_fn cb;
  uint8_t* work;

  uint8_t* at(size_t i) const { return base + i * width.bytes(); }
  int cmp(const uint8_t* x, const uint8_t* y) const { return cb(x, y, op, flags); }

  void reverse(size_t lo, size_t hi) {
    while (hi - lo > 1) width.swap(at(lo++), at(--hi));
  }

  // End of the natural run from start; a strictly descending run is reversed first, so equal
  // records never change their order.
  size_t count_run(size_t start) {
    size_t i = start + 1;
    if (i >= n) return n;
    if (cmp(at(start), at(i)) <= 0) {
      while (++i < n && cmp(at(i - 1), at(i)) <= 0) {
      }
    } else {
      while (++i < n && cmp(at(i - 1), at(i)) > 0) {
      }
      reverse(start, i);
    }
    return i;
  }

  // A run from start, extended to min_run records (or the end) by insertion.
  size_t next_run(size_t start) {
    size_t end = count_run(start);
    size_t target = std::min(n, start + min_run);
    for (; end < target; ++end)
      for (size_t j = end; j > start && cmp(at(j - 1), at(j)) > 0; --j)
        width.swap(at(j - 1), at(j));
    return end;
  }

  // Merges [lo, mid) and [mid, hi) through the work area, which takes the shorter run. When
  // the callback raises, the records still in the work area go back into the gap they left,
  // so the range holds every record once.
  void merge(size_t lo, size_t mid, size_t hi) {
    if (cmp(at(mid - 1), at(mid)) <= 0) return;  // already in order
    size_t left = mid - lo, right = hi - mid, w = width.bytes();
    if (right < left) {
      std::memcpy(work, at(mid), right * w);
      size_t i = mid, j = right, k = hi;
      try {
        while (i > lo && j > 0) {
          if (cmp(at(i - 1), work + (j - 1) * w) <= 0) {
            width.copy(at(--k), work + (--j) * w);
          } else {
            width.copy(at(--k), at(--i));
          }
        }
      } catch (...) {
        std::memcpy(at(i), work, j * w);  // the gap [i, k) is j records long
        throw;
      }
      std::memcpy(at(lo), work, j * w);
    } else {
      std::memcpy(work, at(lo), left * w);
      size_t i = 0, j = mid, k = lo;
      try {
        while (i < left && j < hi) {
          if (cmp(work + i * w, at(j)) <= 0) {
            width.copy(at(k++), work + (i++) * w);
          } else {
            width.copy(at(k++), at(j++));
          }
        }
      } catch (...) {
        std::memcpy(at(k), work + i * w, (left - i) * w);  // the gap [k, j)
        throw;
      }
      std::memcpy(at(k), work + i * w, (left - i) * w);
    }
  }

  // Powersort's node power of the boundary between [s1, s2) and [s2, e2).
  unsigned power(size_t s1, size_t s2, size_t e2) const {
    uint64_t x = uint64_t(s1) + s2, y = uint64_t(s2) + e2;
    unsigned p = 0;
    while ((x < n) == (y < n)) {
      ++p;
      if (x >= n) {
        x -= n;
        y -= n;
      }
      x *= 2;
      y *= 2;
    }
    return p + 1;
  }

  void run() {
    struct pending {
      size_t start;
      unsigned power;
    };
    pending stack[8 * sizeof(size_t) + 2];  // powers on it rise strictly, each at most log2 n + 1
    size_t top = 0;
    size_t s1 = 0, e1 = next_run(0);
    while (e1 < n) {
      size_t s2 = e1, e2 = next_run(s2);
      unsigned p = power(s1, s2, e2);
      while (top > 0 && stack[top - 1].power > p) {
        merge(stack[top - 1].start, s1, e1);
        s1 = stack[--top].start;
      }
      stack[top++] = {s1, p};
      s1 = s2;
      e1 = e2;
    }
    while (top > 0) {
      merge(stack[top - 1].start, s1, n);
      s1 = stack[--top].start;
    }
  }
};

}  // namespace

void merge_sort(uint8_t* base, size_t n, size_t w, int32_t op, uint32_t flags, compare_fn cb,
                uint8_t* work) {
  if (n < 2 || w == 0) return;
  with_record_width(w, [&](auto width) {
    merger<decltype(width)::fixed>{base, n, width, op, flags, cb, work}.run();
  });
}

void merge_sort(uint8_t* base, size_t n, size_t w, int32_t op, uint32_t flags, compare_fn cb) {
  if (n < 2 || w == 0) return;
  size_t bytes = merge_sort_work_bytes(n, w);
  std::unique_ptr<uint8_t[]> work(new (std::nothrow) uint8_t[bytes]);
  if (!work) fire(err::internal_no_memory);
  merge_sort(base, n, w, op, flags, cb, work.get());
}

}  // namespace kaz::sort
