// The in-place, unstable sort.
#include "memory/sort.h"
#include "memory/sort_width.h"

namespace kaz::sort {

namespace {

/*
 * Every loop below is bounded by indices, never by the callback: an inconsistent callback can
 * only produce a wrong order. Recursion always takes the smaller side, and a depth limit hands
 * a bad partition sequence over to heapsort, so neither time nor native stack can run away.
 */
template <size_t W>
struct sorter {
  uint8_t* base;
  record_width<W> w;
  int32_t op;
  uint32_t flags;
  compare_fn cb;

  uint8_t* at(size_t i) const { return base + i * w.bytes(); }
  int cmp(size_t i, size_t j) const { return cb(at(i), at(j), op, flags); }
  void swap(size_t i, size_t j) { w.swap(at(i), at(j)); }

  void reverse(size_t lo, size_t hi) {
    while (hi - lo > 1) swap(lo++, --hi);
  }

  void insertion(size_t lo, size_t hi) {
    for (size_t i = lo + 1; i < hi; ++i)
      for (size_t j = i; j > lo && cmp(j - 1, j) > 0; --j) swap(j - 1, j);
  }

  void sift_down(size_t lo, size_t root, size_t count) {
    for (;;) {
      size_t child = 2 * root + 1;
      if (child >= count) return;
      if (child + 1 < count && cmp(lo + child, lo + child + 1) < 0) ++child;
      if (cmp(lo + root, lo + child) >= 0) return;
      swap(lo + root, lo + child);
      root = child;
    }
  }

  void heapsort(size_t lo, size_t hi) {
    size_t count = hi - lo;
    for (size_t i = count / 2; i-- > 0;) sift_down(lo, i, count);
    for (size_t end = count; end-- > 1;) {
      swap(lo, lo + end);
      sift_down(lo, 0, end);
    }
  }

  // Index of the median of three records.
  size_t median3(size_t a, size_t b, size_t c) {
    if (cmp(a, b) < 0) {
      if (cmp(b, c) < 0) return b;
      return cmp(a, c) < 0 ? c : a;
    }
    if (cmp(a, c) < 0) return a;
    return cmp(b, c) < 0 ? c : b;
  }

  // A pivot for [lo, hi): the median of a sorted sample at the front when it is big enough, else
  // the median of three, or of three medians of three spread over a large range.
  size_t pivot(size_t lo, size_t hi, size_t sample) {
    size_t n = hi - lo;
    if (sample >= 3 && (n <= 511 || sample >= 63)) return lo + (sample - 1) / 2;
    size_t mid = lo + n / 2;
    if (n > 511) {
      size_t step = n / 8;
      return median3(median3(lo, lo + step, lo + 2 * step), median3(mid - step, mid, mid + step),
                     median3(hi - 1 - 2 * step, hi - 1 - step, hi - 1));
    }
    return median3(lo, mid, hi - 1);
  }

  // Three-way quicksort of [lo, hi); `sample` records at the front are known to be sorted.
  void quick(size_t lo, size_t hi, size_t sample, unsigned depth) {
    while (hi - lo > 7) {
      if (depth-- == 0) {
        heapsort(lo, hi);
        return;
      }
      swap(lo, pivot(lo, hi, sample));
      sample = 0;
      // [lo, lt) before the pivot, [lt, i) equal to it, [gt, hi) after it; at(lt) is always
      // a record equal to the pivot.
      size_t lt = lo, i = lo + 1, gt = hi;
      while (i < gt) {
        int c = cmp(i, lt);
        if (c < 0) {
          swap(lt++, i++);
        } else if (c > 0) {
          swap(i, --gt);
        } else {
          ++i;
        }
      }
      if (lt - lo < hi - gt) {
        quick(lo, lt, 0, depth);
        lo = gt;
      } else {
        quick(gt, hi, 0, depth);
        hi = lt;
      }
    }
    insertion(lo, hi);
  }

  /*
   * Presorted input: the prefix that is in order in one direction d (1 ascending, -1
   * descending) is measured, then one pair in 97 of the rest is sampled. When the sample
   * leans one way, in-order runs of 4 records or more found at jumps of 10 are joined to
   * the prefix, the few records of each side that overlap the join being left behind with
   * the unsorted rest. Answers the length of the sorted (ascending) prefix.
   */
  size_t presorted_prefix(size_t n) {
    int d = 0;
    size_t p = n;
    for (size_t i = 1; i < n; ++i) {
      int c = cmp(i - 1, i);
      if (d == 0) {
        if (c != 0) d = c < 0 ? 1 : -1;
      } else if (d * c >= 1) {
        p = i;
        break;
      }
    }
    if (d == 0) return n;  // all equal
    auto in_order = [&](size_t i, size_t j) { return d * cmp(i, j) < 1; };

    long long score = static_cast<long long>(p) * d;
    for (size_t i = p + 1; i < n; i += 97) {
      int c = cmp(i - 1, i);
      score += c < 0 ? 1 : c > 0 ? -1 : 0;
    }
    if (p < n && (score < 0 ? -score : score) > static_cast<long long>(n / 512)) {
      if ((score > 0 ? 1 : -1) != d) {
        d = -d;
        p = 1;
      }
      size_t cursor = p;
      while (cursor + 10 < n) {
        size_t a = cursor + 10, b = a;
        while (a > cursor && in_order(a - 1, a)) --a;
        while (b + 1 < n && in_order(b, b + 1)) ++b;
        size_t len = b - a + 1;
        cursor = b + 1;
        if (len < 4) continue;
        size_t limit = len / 2 < p / 4 ? len / 2 : p / 4;
        size_t k = 0;
        while (k < limit && !in_order(p - 1 - k, a + k)) ++k;
        if (k == limit && !in_order(p - 1 - k, a + k)) continue;  // too much overlap
        size_t q = p - k, r = a + k, m = b + 1 - r;
        for (size_t i = 0; i < m && q != r; ++i) swap(q + i, r + i);
        p = q + m;
      }
    }
    if (d < 0) reverse(0, p);
    return p;
  }
};

}  // namespace

void in_place(uint8_t* base, size_t n, size_t w, int32_t op, uint32_t flags, compare_fn cb) {
  if (n < 2 || w == 0) return;
  with_record_width(w, [&](auto width) {
    sorter<decltype(width)::fixed> s{base, width, op, flags, cb};
    size_t p = s.presorted_prefix(n);
    if (p >= n) return;
    unsigned depth = 0;
    for (size_t m = n; m > 1; m >>= 1) depth += 2;
    s.quick(0, n, p, depth);
  });
}

}  // namespace kaz::sort
