// max, min and zero? on tuples and times, which the language cannot write yet; the other cases
// are in tests/scripts/numbers/compare.kaz.
#include "../datatypes/number_calls.h"

namespace kaz::testing {
namespace {

cell tuple_of(std::initializer_list<uint8_t> bytes) {
  cell t{type::tuple | uint32_t(bytes.size()) << 19, 0, 0, 0};
  uint8_t* p = reinterpret_cast<uint8_t*>(&t) + 4;
  for (uint8_t b : bytes) *p++ = b;
  return t;
}

std::vector<int> tuple_bytes(const cell& t) {
  const uint8_t* p = reinterpret_cast<const uint8_t*>(&t) + 4;
  return std::vector<int>(p, p + ((t.header >> 19) & 0xF));
}

TEST_F(Numbers, MaxAndMinOfTuples) {
  cell out;
  native("min", {tuple_of({1, 200, 3}), I(100)}, {}, &out);
  EXPECT_EQ(tuple_bytes(out), (std::vector<int>{1, 100, 3}));
  native("max", {F(300.0), tuple_of({1, 200, 3})}, {}, &out);
  EXPECT_EQ(tuple_bytes(out), (std::vector<int>{255, 255, 255}));
  native("max", {tuple_of({1, 2, 3}), tuple_of({3, 2, 1, 4})}, {}, &out);
  EXPECT_EQ(tuple_bytes(out), (std::vector<int>{3, 2, 3, 4}));
  native("min", {tuple_of({1, 2, 3}), I(-5)}, {}, &out);
  EXPECT_EQ(tuple_bytes(out), (std::vector<int>{0, 0, 0}));
}

TEST_F(Numbers, SignTestsOfTimesAndTuples) {
  EXPECT_EQ(native("negative?", {Tm(-1)}), "true");
  EXPECT_EQ(native("sign?", {Tm(-1)}), "-1");
  EXPECT_EQ(native("zero?", {Tm(0)}), "true");
  EXPECT_EQ(native("zero?", {tuple_of({0, 0, 0})}), "true");
  EXPECT_EQ(native("zero?", {tuple_of({0, 0, 1})}), "false");
}

}  // namespace
}  // namespace kaz::testing
