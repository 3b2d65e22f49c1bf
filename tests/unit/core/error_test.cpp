// The error catalogue, which the system object's routine hangs on system/catalog/errors (errors
// themselves are tested in tests/scripts/core/error-values.kaz).
#include <gtest/gtest.h>

#include "core/context.h"
#include "core/error.h"
#include "../support/session.h"

namespace kaz::testing {
namespace {

class Errors : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { boot(); }
};

TEST_F(Errors, TheCatalogueHoldsEveryCategory) {
  cell c = *error::catalog();
  stack::push(&c);
  EXPECT_EQ(molded(&c).substr(0, 40), "make object! [\n    throw: make object! [");
  std::string words;
  for (uint32_t i = 0; i < context::size(c.data1); ++i) {
    cell w;
    context::word_at(c.data1, i, &w);
    words += (i ? " " : "") + molded(&w);
  }
  EXPECT_EQ(words, "throw note syntax script math access reserved1 reserved2 user internal");
  cell script = context::values(c.data1)[3];
  EXPECT_EQ(context::size(script.data1), 2u + 94u);
  EXPECT_EQ(molded(context::values(script.data1) + 1), "\"Script Error\"");
  EXPECT_EQ(molded(context::values(script.data1) + 2), "[:arg1 \"has no value\"]");
  stack::drop_values(1);
}

TEST_F(Errors, ACatalogueChangedByCodeStillGivesErrors) {
  // Once start-up hangs the catalogue on the system object, code can change it.
  cell c = *error::catalog();
  cell math = context::values(c.data1)[4];
  context::values_rw(c.data1)[4] = cell{type::none, 0, 0, 0};
  EXPECT_EQ(run("1 / 0"), "!! math zero-divide");
  EXPECT_EQ(run("form try [1 / 0]"),
            "{*** Internal Error: invalid error object field value: math^/*** Where: /^/"
            "*** Near : 1 / 0}");
  EXPECT_EQ(run("make error! 400"), "!! script out-of-range");
  context::values_rw(c.data1)[4] = math;
  EXPECT_EQ(run("form try [1 / 0]"),
            "{*** Math Error: attempt to divide by zero^/*** Where: /^/*** Near : 1 / 0}");
}

}  // namespace
}  // namespace kaz::testing
