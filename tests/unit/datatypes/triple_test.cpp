// triple!: its text is its only action.
#include "number_calls.h"

namespace kaz::testing {
namespace {

TEST_F(Numbers, TripleText) {
  EXPECT_EQ(molded(cell{type::triple, 1, static_cast<uint32_t>(-2), 3}), "make triple! [1 -2 3]");
  EXPECT_EQ(formed(cell{type::triple, 0, 0, 0}), "make triple! [0 0 0]");
  EXPECT_EQ(molded(cell{type::triple, 0x80000000u, 0x7FFFFFFFu, 0}),
            "make triple! [-2147483648 2147483647 0]");
  EXPECT_EQ(action(S::add, {cell{type::triple, 0, 0, 0}, I(1)}), "!! script expect-arg");
}

}  // namespace
}  // namespace kaz::testing
