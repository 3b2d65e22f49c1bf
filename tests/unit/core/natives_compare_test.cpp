// max and min with their component-wise combinations, the sign tests, zero?, NaN? and same?.
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

TEST_F(Numbers, MaxAndMin) {
  struct {
    cell a, b;
    const char* max;
    const char* min;
  } cases[] = {
      {I(1), I(2), "2", "1"},
      {I(1), F(1.0), "1", "1.0"},
      {F(1.0), I(1), "1.0", "1"},
      {F(2.5), Pc(0.5), "2.5", "50%"},
      {F(std::nan("")), I(1), "1.#NaN", "1.#NaN"},
      {I(1), F(std::nan("")), "1.#NaN", "1.#NaN"},
      {P(1, 5), I(3), "3x5", "1x3"},
      {I(3), P(1, 5), "3x5", "1x3"},
      {P(1, 5), P(4, 2), "4x5", "1x2"},
      {P(1, 5), F(2.9), "2x5", "1x2"},
      {P(1, 5), F(HUGE_VAL), "!! script type-limit", "!! script type-limit"},
      {P(1, 5), F(1e10), "!! script type-limit", "!! script type-limit"},
      {P2(1, 5), I(3), "(3, 5)", "(1, 3)"},
      {P2(1, std::nanf("")), P2(2, 3), "(2, 3)", "(1, 3)"},
      {P3(1, 5, 0), F(2.5), "(2.5, 5, 2.5)", "(1, 2.5, 0)"},
      {C('a'), C('b'), "#\"b\"", "#\"a\""},
      {P(1, 2), C('a'), "!! script invalid-compare", "!! script invalid-compare"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(native("max", {c.a, c.b}), c.max) << molded(c.a) << " " << molded(c.b);
    EXPECT_EQ(native("min", {c.a, c.b}), c.min) << molded(c.a) << " " << molded(c.b);
  }
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

TEST_F(Numbers, SignTests) {
  struct {
    cell value;
    const char* negative;
    const char* positive;
    const char* sign;
    const char* zero;
  } cases[] = {
      {I(-3), "true", "false", "-1", "false"},
      {I(0), "false", "false", "0", "true"},
      {I(7), "false", "true", "1", "false"},
      {F(-0.0), "false", "false", "0", "true"},
      {F(std::nan("")), "false", "false", "0", "false"},
      {Pc(0.5), "false", "true", "1", "false"},
      {Tm(-1), "true", "false", "-1", "false"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(native("negative?", {c.value}), c.negative) << molded(c.value);
    EXPECT_EQ(native("positive?", {c.value}), c.positive) << molded(c.value);
    EXPECT_EQ(native("sign?", {c.value}), c.sign) << molded(c.value);
    EXPECT_EQ(native("zero?", {c.value}), c.zero) << molded(c.value);
  }
  EXPECT_EQ(native("sign?", {P(1, 1)}), "!! script expect-arg");
  EXPECT_EQ(native("zero?", {C(0)}), "true");
  EXPECT_EQ(native("zero?", {P(0, 0)}), "true");
  EXPECT_EQ(native("zero?", {P(0, 1)}), "false");
  EXPECT_EQ(native("zero?", {P2(0, -0.0f)}), "true");
  EXPECT_EQ(native("zero?", {P3(0, 0, 1)}), "false");
  EXPECT_EQ(native("zero?", {tuple_of({0, 0, 0})}), "true");
  EXPECT_EQ(native("zero?", {tuple_of({0, 0, 1})}), "false");
  EXPECT_EQ(native("zero?", {L(false)}), "false");
  EXPECT_EQ(native("NaN?", {F(std::nan(""))}), "true");
  EXPECT_EQ(native("NaN?", {Pc(std::nan(""))}), "true");
  EXPECT_EQ(native("NaN?", {F(1.0)}), "false");
  EXPECT_EQ(native("NaN?", {I(0)}), "false");
}

TEST_F(Numbers, IdentityAndTypes) {
  EXPECT_EQ(native("same?", {F(1.0), F(1.0)}), "true");
  EXPECT_EQ(native("same?", {F(0.0), F(-0.0)}), "false");
  EXPECT_EQ(native("same?", {I(1), F(1.0)}), "false");
  EXPECT_EQ(native("same?", {P(1, 2), P(1, 2)}), "true");
  EXPECT_EQ(native("same?", {P3(1, 2, 3), P3(1, 2, 4)}), "false");
  EXPECT_EQ(native("same?", {C('a'), C('a')}), "true");
  EXPECT_EQ(native("not", {cell{type::unset, 0, 0, 0}}), "false");
  EXPECT_EQ(native("not", {L(false)}), "true");
  EXPECT_EQ(native("type?", {Pc(0.5)}), "percent!");
  EXPECT_EQ(native("type?", {P2(1, 2)}, {0}), "point2D!");
}

}  // namespace
}  // namespace kaz::testing
