// point2D! and point3D!: 32-bit coordinates computed in doubles, near-equal comparisons, paths,
// conversions and text.
#include "number_calls.h"

namespace kaz::testing {
namespace {

TEST_F(Numbers, PointArithmetic) {
  struct {
    S slot;
    cell a, b;
    const char* result;
  } cases[] = {
      {S::add, P2(1, 2), P2(0.5f, 0.5f), "(1.5, 2.5)"},
      {S::multiply, P2(1, 2), I(2), "(2, 4)"},
      {S::divide, P2(1, 2), I(0), "(1.#INF, 1.#INF)"},
      {S::divide, P2(0, -2), I(0), "(1.#NaN, -1.#INF)"},
      {S::add, P2(1, 2), P(1, 1), "(2, 3)"},
      {S::multiply, P2(1, 2), F(0.1), "(0.1, 0.2)"},
      {S::remainder, P2(5.5f, -5.5f), I(2), "(1.5, -1.5)"},
      {S::add, P3(1, 2, 3), P3(1, 1, 1), "(2, 3, 4)"},
      {S::subtract, P3(1, 2, 3), F(0.5), "(0.5, 1.5, 2.5)"},
      {S::add, P3(1, 2, 3), P(1, 1), "!! script invalid-type"},
      {S::add, P3(1, 2, 3), P2(1, 1), "!! script invalid-type"},
      {S::subtract, I(10), P2(1, 2), "(9, 8)"},
      {S::multiply, F(0.5), P3(2, 4, 6), "(1, 2, 3)"},
      {S::subtract, F(0.5), P3(2, 4, 6), "!! script not-related"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(action(c.slot, {c.a, c.b}), c.result) << molded(c.a) << " " << c.slot << " "
                                                      << molded(c.b);
}

TEST_F(Numbers, PointUnaryActionsPickAndRound) {
  EXPECT_EQ(action(S::reverse, {P2(1, 2)}), "(2, 1)");
  EXPECT_EQ(action(S::reverse, {P3(1, 2, 3)}), "(3, 2, 1)");
  EXPECT_EQ(action(S::negate, {P2(1, -2)}), "(-1, 2)");
  EXPECT_EQ(action(S::absolute, {P3(-1, 2, -3)}), "(1, 2, 3)");
  EXPECT_EQ(action(S::pick, {P3(1, 2, 3), I(3)}), "3.0");
  EXPECT_EQ(action(S::pick, {P2(1, 2), I(3)}), "!! script out-of-range");
  EXPECT_EQ(action(S::pick, {P3(1, 2, 3), W("z")}), "3.0");
  EXPECT_EQ(action(S::pick, {P2(1, 2), W("z")}), "!! script cannot-use");
  EXPECT_EQ(action(S::round, {P2(1.4f, 2.5f)}, round_refs(false, {})), "(1, 3)");
  EXPECT_EQ(action(S::round, {P2(1.26f, 7), F(0.1)}, round_refs(true, {})), "(1.3, 7)");
  EXPECT_EQ(action(S::round, {P2(1.26f, 7), I(2)}, round_refs(true, {})), "(2, 8)");

  const auto& row = registry::row(type::point3d);
  cell p = P3(1, 2, 3);
  cell z = W("z"), half = F(0.5);
  row.eval_path(&p, &z, &half, nullptr, nullptr, nullptr, 1, false, false, true);
  EXPECT_EQ(molded(p), "(1, 2, 0.5)");
  EXPECT_EQ(molded(*row.eval_path(&p, &z, nullptr, nullptr, nullptr, nullptr, 1, false, true,
                                  true)),
            "0.5");
}

TEST_F(Numbers, PointConversionsAndText) {
  auto block_of = [](std::initializer_list<cell> items) {
    cell b;
    block::init_cell(&b, 4);
    for (const cell& i : items) block::append_copy(&b, &i);
    return b;
  };
  const cell p2 = Dt(type::point2d), p3 = Dt(type::point3d);
  struct {
    cell type, spec;
    const char* result;
  } cases[] = {
      {p2, I(3), "(3, 3)"},
      {p3, F(0.5), "(0.5, 0.5, 0.5)"},
      {p2, P(1, 2), "(1, 2)"},
      {p3, P(1, 2), "(1, 2, 0)"},
      {p3, P2(1, 2), "(1, 2, 0)"},
      {p2, block_of({I(1), F(2.5), C('a')}), "(1, 2.5)"},
      {p3, block_of({I(1), F(2.5)}), "!! syntax malconstruct"},
      {p2, block_of({I(1), C('a')}), "!! syntax malconstruct"},
      {p2, P3(1, 2, 3), "!! script bad-to-arg"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(action(S::to, {c.type, c.spec}), c.result) << molded(c.spec);
  EXPECT_EQ(molded(P2(0.1f, 2)), "(0.1, 2)");
  EXPECT_EQ(molded(P2(0.5f, -3.25f)), "(0.5, -3.25)");
  EXPECT_EQ(molded(P2(1e-20f, 1e20f)), "(0, 1e20)");
  EXPECT_EQ(formed(P3(1, 2, 3)), "(1, 2, 3)");
}

TEST_F(Numbers, PointComparisons) {
  struct {
    const char* native;
    cell a, b;
    const char* result;
  } cases[] = {
      {"equal?", P2(0.1f, 0.2f), P2(0.1f, 0.2f), "true"},
      {"lesser?", P2(1, 2), P2(1, 3), "true"},
      {"equal?", P2(1, 2), P(1, 2), "true"},
      {"strict-equal?", P2(1, 2), P(1, 2), "false"},
      {"equal?", P2(1, std::nextafter(2.0f, 3.0f)), P2(1, 2), "true"},
      {"strict-equal?", P2(1, std::nextafter(2.0f, 3.0f)), P2(1, 2), "false"},
      {"same?", P2(0, 1), P2(-0.0f, 1), "false"},
      {"greater?", P3(1, 2, 4), P3(1, 2, 3), "true"},
      {"equal?", P3(1, 2, 3), P2(1, 2), "false"},
      {"lesser?", P3(1, 2, 3), P2(1, 2), "!! script invalid-compare"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(native(c.native, {c.a, c.b}), c.result)
        << c.native << " " << molded(c.a) << " " << molded(c.b);
}

}  // namespace
}  // namespace kaz::testing
