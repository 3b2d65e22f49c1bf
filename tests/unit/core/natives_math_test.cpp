// The math natives at their special points: shifts, hexadecimal issues, trigonometry at the
// quarter turns, logarithms, and the pair and point builders.
#include "../datatypes/number_calls.h"

namespace kaz::testing {
namespace {

TEST_F(Numbers, ShiftAndToHex) {
  const std::vector<int32_t> left{0, -1}, logical{-1, 0}, both{0, 0};
  EXPECT_EQ(native("shift", {I(-8), I(1)}), "-4");
  EXPECT_EQ(native("shift", {I(-8), I(1)}, logical), "2147483644");
  EXPECT_EQ(native("shift", {I(1), I(40)}, left), "0");
  EXPECT_EQ(native("shift", {I(1), I(31)}, left), "-2147483648");
  EXPECT_EQ(native("shift", {I(3), I(1)}, both), "6");
  EXPECT_EQ(native("shift", {I(1), I(-3)}), "1");
  EXPECT_EQ(native("shift", {I(-8), I(32)}), "-1");
  EXPECT_EQ(native("shift", {I(8), I(32)}), "0");
  EXPECT_EQ(native("shift", {I(-8), I(32)}, logical), "0");

  const std::vector<int32_t> size{1};
  EXPECT_EQ(native("to-hex", {I(255)}), "#000000FF");
  EXPECT_EQ(native("to-hex", {I(-1)}), "#FFFFFFFF");
  EXPECT_EQ(native("to-hex", {I(255), I(2)}, size), "#FF");
  EXPECT_EQ(native("to-hex", {I(255), I(12)}, size), "#000000FF");
  EXPECT_EQ(native("to-hex", {I(255), I(0)}, size), "!! script invalid-arg");
}

TEST_F(Numbers, TrigonometryAtSpecialAngles) {
  const std::vector<int32_t> radians{0};
  struct {
    const char* native;
    cell angle;
    const char* result;
  } degrees[] = {
      {"sine", I(30), "0.49999999999999994"},  // 0.5 to the last bit
      {"sine", I(90), "1.0"},
      {"sine", I(180), "0.0"},
      {"sine", I(-180), "0.0"},
      {"sine", I(360), "0.0"},
      {"sine", I(270), "-1.0"},
      {"sine", I(150), "0.49999999999999994"},
      {"cosine", I(90), "0.0"},
      {"cosine", I(-90), "0.0"},
      {"cosine", I(180), "-1.0"},
      {"cosine", I(60), "0.5000000000000001"},
      {"cosine", I(0), "1.0"},
      {"tangent", I(90), "1.#INF"},
      {"tangent", I(-90), "-1.#INF"},
      {"tangent", I(270), "-1.#INF"},
      {"tangent", I(45), "0.9999999999999999"},
      {"tangent", I(180), "0.0"},
      {"arcsine", I(2), "1.#NaN"},
      {"arcsine", I(1), "90.0"},
      {"arccosine", I(-1), "180.0"},
      {"arctangent", I(1), "45.0"},
  };
  for (const auto& c : degrees)
    EXPECT_EQ(native(c.native, {c.angle}), c.result) << c.native << " " << molded(c.angle);
  EXPECT_EQ(native("tangent", {F(3.141592653589793 / 2)}, radians), "1.#INF");
  EXPECT_EQ(native("tangent", {F(-3.141592653589793 / 2)}, radians), "-1.#INF");
  EXPECT_EQ(native("sine", {F(3.141592653589793)}, radians), "0.0");
  EXPECT_EQ(native("arcsine", {I(1)}, radians), "1.5707963267948966");
  EXPECT_EQ(native("arctangent2", {I(1), I(-1)}), "135.0");
  EXPECT_EQ(native("arctangent2", {I(0), I(-1)}), "180.0");
  EXPECT_EQ(native("arctangent2", {I(1), I(0)}, radians), "1.5707963267948966");
}

TEST_F(Numbers, LogarithmsExponentialAndRoot) {
  EXPECT_EQ(native("log-2", {I(8)}), "3.0");
  EXPECT_EQ(native("log-10", {F(1000.0)}), "3.0");
  EXPECT_EQ(native("log-e", {I(0)}), "-1.#INF");
  EXPECT_EQ(native("log-e", {I(-1)}), "1.#NaN");
  EXPECT_EQ(native("exp", {I(0)}), "1.0");
  EXPECT_EQ(native("exp", {I(1)}), "2.718281828459045");
  EXPECT_EQ(native("square-root", {Pc(0.5)}), "0.7071067811865476");
  EXPECT_EQ(native("square-root", {I(-4)}), "1.#NaN");
  EXPECT_EQ(native("square-root", {I(16)}), "4.0");
}

TEST_F(Numbers, PairAndPointBuilders) {
  EXPECT_EQ(native("as-pair", {F(1.9), F(-1.9)}), "1x-1");
  EXPECT_EQ(native("as-pair", {I(3), I(4)}), "3x4");
  EXPECT_EQ(native("as-pair", {F(HUGE_VAL), I(4)}), "!! script invalid-arg");
  EXPECT_EQ(native("as-pair", {F(std::nan("")), I(4)}), "!! script invalid-arg");
  EXPECT_EQ(native("as-pair", {F(3e9), I(4)}), "!! script type-limit");
  EXPECT_EQ(native("as-point2D", {I(1), F(2.5)}), "(1, 2.5)");
  EXPECT_EQ(native("as-point3D", {I(1), F(2.5), I(-3)}), "(1, 2.5, -3)");
}

}  // namespace
}  // namespace kaz::testing
