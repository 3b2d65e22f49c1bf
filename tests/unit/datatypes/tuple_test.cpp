// tuple!: the cell makers other parts of the runtime call and reverse/skip through its slot
// (the language-level cases are in cases/tuple.kaz).
#include "scalar_harness.h"

namespace kaz::scalar_test {
namespace {

using Tuple = Scalars;

TEST_F(Tuple, CellMakers) {
  stack::saved_state saved = stack::save();
  int32_t values[] = {1, 258, -1};
  EXPECT_EQ(molded(tuple_type::push_from_ints(2, values)), "1.2.0");
  EXPECT_EQ(molded(tuple_type::push_from_ints(3, values)), "1.2.255");
  stack::unwind_to(saved);
  cell c{};
  EXPECT_EQ(molded(tuple_type::init_rgba(&c, 10, 20, 30, -1)), "10.20.30");
  EXPECT_EQ(molded(tuple_type::init_rgba(&c, 10, 20, 30, 40)), "10.20.30.40");
  EXPECT_FALSE(tuple_type::zero_q(&c));
  cell z = tuple_value({0, 0, 0, 0});
  EXPECT_TRUE(tuple_type::zero_q(&z));
}

TEST_F(Tuple, ReverseWithSkip) {
  // Records of skip bytes swapped as units, within the part.
  struct {
    int32_t part, skip;
    const char* result;
  } cases[] = {
      {-1, 2, "5.6.3.4.1.2"},  {6, 6, "1.2.3.4.5.6"},
      {4, 2, "3.4.1.2.5.6"},   {-1, 3, "4.5.6.1.2.3"},
      {-1, 1, "6.5.4.3.2.1"},  {-1, 4, "!! script invalid-refine-arg"},
      {-1, 0, "!! script out-of-range"}, {2, 3, "!! script invalid-refine-arg"},
  };
  for (auto& c : cases) {
    cell t = tuple_value({1, 2, 3, 4, 5, 6});
    cell part = integer_value(c.part), skip = integer_value(c.skip);
    std::string out;
    try {
      registry::row(type::tuple).reverse(&t, c.part >= 0 ? &part : nullptr, &skip);
      out = molded(&t);
    } catch (const language_error&) {
      out = "!! " + error::type_name(&error::in_flight) + " " + error::id_name(&error::in_flight);
    }
    EXPECT_EQ(out, c.result) << c.part << " " << c.skip;
  }
}

}  // namespace
}  // namespace kaz::scalar_test
