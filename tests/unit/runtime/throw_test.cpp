// Thrown values and guarded regions: acceptance, nesting, rethrow and the outermost region.
#include "runtime/throw.h"

#include <gtest/gtest.h>

#include <regex>

#include "runtime/fire.h"
#include "test_support.h"

namespace kaz::sysrt {
namespace {

TEST(Thrown, ZeroReturnsAtOnce) {
  bool after = false;
  uint32_t got = guarded(thrown::catch_all, [&] {
    throw_value(thrown::none);
    after = true;
  });
  EXPECT_EQ(got, thrown::none);
  EXPECT_TRUE(after);
}

// A region accepts every value not above its catch id (unsigned); others pass on up.
TEST(Thrown, RegionAcceptsValuesNotAboveItsId) {
  struct row {
    uint32_t id, value;
    bool accepted;
  };
  const row rows[] = {
      {thrown::os_memory, thrown::os_alloc_failed, true},
      {thrown::os_memory, thrown::os_release_failed, true},
      {thrown::os_memory, thrown::power_overflow, false},
      {thrown::error, thrown::break_, true},
      {thrown::error, thrown::syntax, true},
      {thrown::syntax, thrown::syntax, true},
      {thrown::syntax, thrown::throw_, false},
      {thrown::error, thrown::quit, true},
      {thrown::syntax, thrown::quit, false},
      {thrown::catch_all, 0xFFFFFFFF, true},
  };
  for (const row& r : rows) {
    uint32_t outer = guarded(thrown::catch_all, [&] {
      uint32_t inner = guarded(r.id, [&] { throw_value(r.value); });
      EXPECT_EQ(inner, r.value) << std::hex << r.id << " " << r.value;
    });
    EXPECT_EQ(outer, r.accepted ? thrown::none : r.value) << std::hex << r.id << " " << r.value;
  }
}

TEST(Thrown, InnermostRegionTakesTheValueFirst) {
  std::vector<int> order;
  uint32_t outer = guarded(thrown::error, [&] {
    uint32_t inner = guarded(thrown::error, [&] { throw_value(thrown::break_); });
    order.push_back(1);
    EXPECT_EQ(inner, thrown::break_);
  });
  order.push_back(2);
  EXPECT_EQ(outer, thrown::none);
  EXPECT_EQ(order, (std::vector<int>{1, 2}));
}

// A region that handles only errors gets a break and throws it on, unchanged.
TEST(Thrown, RegionRethrowsWhatItDoesNotHandle) {
  bool loop_saw_break = false;
  uint32_t loop = guarded(thrown::break_, [&] {
    uint32_t v = guarded(thrown::error, [&] { throw_value(thrown::break_); });
    if (v != thrown::error) throw_value(v);
  });
  loop_saw_break = loop == thrown::break_;
  EXPECT_TRUE(loop_saw_break);
}

// A language error keeps its catalogue id through a region that passes it on.
TEST(Thrown, LanguageErrorTravelsThroughRegions) {
  try {
    guarded(thrown::break_, [] { fire(err::math_zero_divide); });
    FAIL() << "an error passed a break region";
  } catch (const language_error& e) {
    EXPECT_EQ(e.value, thrown::error);
    EXPECT_EQ(e.id, err::math_zero_divide);
  }
  EXPECT_EQ(guarded(thrown::error, [] { fire(err::math_zero_divide); }), thrown::error);
}

TEST(Thrown, OutermostRegionEndsTheProgram) {
  auto quiet = test::run_in_child([] { top_catch(thrown::quit); });
  EXPECT_TRUE(quiet.exited);
  EXPECT_EQ(quiet.code, 0);
  EXPECT_EQ(quiet.output, "");

  const std::regex report("\n\\*\\*\\* Runtime Error 95: no CATCH for THROW\n"
                          "\\*\\*\\* at: [0-9A-F]{8}h\n");
  std::string first;
  for (uint32_t v : {thrown::break_, thrown::error}) {
    auto end = test::run_in_child([v] { top_catch(v); });
    EXPECT_TRUE(end.exited);
    EXPECT_EQ(end.code, 95);
    EXPECT_TRUE(std::regex_match(end.output, report)) << end.output;
    // The report shows the same address every time.
    if (first.empty()) first = end.output;
    EXPECT_EQ(end.output, first);
  }
}

}  // namespace
}  // namespace kaz::sysrt
