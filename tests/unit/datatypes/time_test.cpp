// time!: text of times beyond any integer count of hours (the language-level cases are in
// tests/scripts/scalars/time.kaz).
#include <cmath>
#include <cstdio>

#include "scalar_harness.h"

namespace kaz::scalar_test {
namespace {

using Time = Scalars;

TEST_F(Time, HugeTimesAreWrittenInFull) {
  for (double s : {1e300, -1.7976931348623157e308, 3.6e21}) {
    cell t{};
    time_type::init_cell(&t, s);
    std::string text = molded(&t);
    char hours[400];
    int n = std::snprintf(hours, sizeof hours, "%s%.0f:", s < 0 ? "-" : "",
                          std::floor(std::fabs(s) / 3600));
    EXPECT_EQ(text.substr(0, static_cast<size_t>(n)), hours);
    EXPECT_EQ(text.size(), static_cast<size_t>(n) + 5) << text;
  }
}

}  // namespace
}  // namespace kaz::scalar_test
