// Both sorts against std::stable_sort, and their behaviour under a callback that lies or raises.
#include "memory/sort.h"

#include "runtime/fire.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <stdexcept>
#include <vector>

using namespace kaz;

namespace {

// A record: a key, the record's original place, and padding up to the record width.
struct rec {
  int32_t key;
  uint32_t id;
};

int by_key(const uint8_t* x, const uint8_t* y, int32_t op, uint32_t flags) {
  int32_t a, b;
  std::memcpy(&a, x, 4);
  std::memcpy(&b, y, 4);
  int c = a < b ? -1 : a > b;
  return flags & 1 ? -c : c;  // flag 1: reverse order
}

int by_unit16(const uint8_t* x, const uint8_t* y, int32_t, uint32_t) {
  uint16_t a, b;
  std::memcpy(&a, x, 2);
  std::memcpy(&b, y, 2);
  return a < b ? -1 : a > b;
}

std::mt19937 rng(12345);
uint32_t lie_state;
int liar(const uint8_t*, const uint8_t*, int32_t, uint32_t) {
  lie_state = lie_state * 1103515245 + 12345;
  return int((lie_state >> 16) % 3) - 1;
}
int calls_left;
int raises_later(const uint8_t* x, const uint8_t* y, int32_t op, uint32_t f) {
  if (--calls_left == 0) throw std::runtime_error("callback failed");
  return by_key(x, y, op, f);
}

std::vector<int32_t> keys(const char* shape, size_t n) {
  std::vector<int32_t> k(n);
  std::string s = shape;
  for (size_t i = 0; i < n; ++i) {
    if (s == "random") k[i] = int32_t(rng());
    else if (s == "few") k[i] = int32_t(rng() % 4);
    else if (s == "sorted") k[i] = int32_t(i);
    else if (s == "reversed") k[i] = -int32_t(i);
    else if (s == "reversed-equal") k[i] = -int32_t(i / 3);
    else if (s == "organ") k[i] = int32_t(i < n / 2 ? i : n - i);
    else if (s == "saw") k[i] = int32_t(i % 37);
    else if (s == "equal") k[i] = 7;
    else k[i] = int32_t(i);  // "almost": sorted, then a few swaps
  }
  if (s == "almost")
    for (size_t j = 0; j < n / 50 + 1 && n > 1; ++j) std::swap(k[rng() % n], k[rng() % n]);
  if (s == "sorted-tail")  // a sorted run with random records around it
    for (size_t i = 0; i < n; ++i) k[i] = i % 100 < 90 ? int32_t(i) : int32_t(rng() % (n + 1));
  return k;
}

// Builds n records of w bytes (w >= 8) from keys.
std::vector<uint8_t> records(const std::vector<int32_t>& k, size_t w) {
  std::vector<uint8_t> r(k.size() * w, 0xEE);
  for (size_t i = 0; i < k.size(); ++i) {
    rec x{k[i], uint32_t(i)};
    std::memcpy(&r[i * w], &x, sizeof x);
  }
  return r;
}

std::vector<rec> unpack(const std::vector<uint8_t>& r, size_t w) {
  std::vector<rec> out(r.size() / w);
  for (size_t i = 0; i < out.size(); ++i) std::memcpy(&out[i], &r[i * w], sizeof(rec));
  return out;
}

const char* shapes[] = {"random", "few",  "sorted", "reversed", "reversed-equal",
                        "organ",  "saw",  "equal",  "almost",   "sorted-tail"};
const size_t sizes[] = {0, 1, 2, 3, 7, 8, 23, 24, 25, 100, 513, 2000, 20000};

bool same_records(std::vector<rec> a, std::vector<rec> b) {
  auto less = [](rec x, rec y) { return x.id < y.id; };
  std::sort(a.begin(), a.end(), less);
  std::sort(b.begin(), b.end(), less);
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i].id != b[i].id || a[i].key != b[i].key) return false;
  return a.size() == b.size();
}

}  // namespace

TEST(Sort, MergeSortMatchesStableSort) {
  for (size_t w : {8, 12, 16, 48})  // one key word; records of 3, 4 and 12 words
    for (bool reverse : {false, true})
      for (auto shape : shapes)
        for (size_t n : sizes) {
          auto k = keys(shape, n);
          auto r = records(k, w);
          sort::merge_sort(r.data(), n, w, 0, reverse, by_key);
          auto want = unpack(records(k, w), w);
          std::stable_sort(want.begin(), want.end(), [&](rec a, rec b) {
            return reverse ? a.key > b.key : a.key < b.key;
          });
          auto got = unpack(r, w);
          for (size_t i = 0; i < n; ++i)
            ASSERT_TRUE(got[i].key == want[i].key && got[i].id == want[i].id)
                << shape << " n=" << n << " w=" << w << " at " << i;
          for (size_t i = 0; w > 8 && i < n; ++i)  // padding travels with its record
            ASSERT_EQ(r[i * w + w - 1], 0xEE);
        }
}

TEST(Sort, InPlaceSortOrdersEveryShape) {
  for (size_t w : {8, 12, 16, 48})
    for (bool reverse : {false, true})
      for (auto shape : shapes)
        for (size_t n : sizes) {
          auto k = keys(shape, n);
          auto r = records(k, w);
          sort::in_place(r.data(), n, w, 0, reverse, by_key);
          auto got = unpack(r, w);
          for (size_t i = 1; i < n; ++i)
            ASSERT_TRUE(reverse ? got[i - 1].key >= got[i].key : got[i - 1].key <= got[i].key)
                << shape << " n=" << n << " at " << i;
          ASSERT_TRUE(same_records(got, unpack(records(k, w), w))) << shape << " n=" << n;
        }
}

TEST(Sort, OddWidthRecordsSwapByteWise) {
  for (size_t n : {0, 1, 2, 9, 1000}) {
    std::vector<uint16_t> units(n), want;
    for (auto& u : units) u = uint16_t(rng());
    want = units;
    std::sort(want.begin(), want.end());
    auto a = units, b = units;
    sort::merge_sort(reinterpret_cast<uint8_t*>(a.data()), n, 2, 0, 0, by_unit16);
    sort::in_place(reinterpret_cast<uint8_t*>(b.data()), n, 2, 0, 0, by_unit16);
    EXPECT_EQ(a, want);
    EXPECT_EQ(b, want);
    // 3-byte records: nothing divides by 4.
    std::vector<uint8_t> three(n * 3);
    for (auto& x : three) x = uint8_t(rng());
    sort::in_place(three.data(), n, 3, 0, 0, by_unit16);
    for (size_t i = 1; i < n; ++i) ASSERT_LE(by_unit16(&three[3 * i - 3], &three[3 * i], 0, 0), 0);
  }
}

// A callback that answers at random, or raises midway, costs order but never a record.
TEST(Sort, LyingOrRaisingCallbacksKeepEveryRecord) {
  for (size_t n : {2, 7, 30, 600, 5000}) {
    for (uint32_t seed = 1; seed <= 5; ++seed) {
      auto k = keys("random", n);
      auto r = records(k, 8);
      lie_state = seed;
      sort::merge_sort(r.data(), n, 8, 0, 0, liar);
      ASSERT_TRUE(same_records(unpack(r, 8), unpack(records(k, 8), 8)));
      r = records(k, 8);
      sort::in_place(r.data(), n, 8, 0, 0, liar);
      ASSERT_TRUE(same_records(unpack(r, 8), unpack(records(k, 8), 8)));
    }
    for (int after : {1, 5, 50, 500, 3000}) {
      auto k = keys("random", n);
      auto r = records(k, 8);
      calls_left = after;
      try {
        sort::merge_sort(r.data(), n, 8, 0, 0, raises_later);
      } catch (const std::runtime_error&) {
      }
      ASSERT_TRUE(same_records(unpack(r, 8), unpack(records(k, 8), 8))) << n << " " << after;
    }
  }
}

int counted_calls;
int counting(const uint8_t* x, const uint8_t* y, int32_t op, uint32_t f) {
  ++counted_calls;
  return by_key(x, y, op, f);
}

// Sorted and reversed input (no equal neighbours) take one pass.
TEST(Sort, PresortedInputIsLinear) {
  const size_t n = 10000;
  for (auto shape : {"sorted", "reversed"}) {
    auto k = keys(shape, n);
    for (auto fn : {+[](uint8_t* b) { sort::merge_sort(b, n, 8, 0, 0, counting); },
                    +[](uint8_t* b) { sort::in_place(b, n, 8, 0, 0, counting); }}) {
      auto r = records(k, 8);
      counted_calls = 0;
      fn(r.data());
      EXPECT_LT(counted_calls, int(n)) << shape;
      EXPECT_EQ(unpack(r, 8)[0].key, shape[0] == 's' ? 0 : -int32_t(n - 1));
    }
  }
}

TEST(Sort, WorkAreaSizeIsChecked) {
  EXPECT_EQ(sort::merge_sort_work_bytes(10, 16), 80u);
  EXPECT_EQ(sort::merge_sort_work_bytes(1, 16), 0u);
  EXPECT_THROW(sort::merge_sort_work_bytes(size_t(1) << 33, 16), kaz::language_error);
}
