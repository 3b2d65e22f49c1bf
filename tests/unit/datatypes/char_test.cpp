// char! from an empty binary (its error cannot be shown before binary! molds); the
// language-level cases are in tests/scripts/numbers/char.kaz.
#include "number_calls.h"

namespace kaz::testing {
namespace {

TEST_F(Numbers, CharFromEmptyBinary) {
  EXPECT_EQ(action(S::to, {Dt(type::char_), Bytes("")}), "!! script bad-to-arg");
}

}  // namespace
}  // namespace kaz::testing
