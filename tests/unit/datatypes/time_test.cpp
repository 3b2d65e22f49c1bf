// time!: text, make and to, field paths and setters, arithmetic and rounding.
#include "scalar_harness.h"

namespace kaz::scalar_test {
namespace {

using Time = Scalars;

TEST_F(Time, Text) {
  struct {
    double seconds;
    const char* text;
  } cases[] = {
      {3723, "1:02:03"},     {3723.5, "1:02:03.5"}, {0, "0:00:00"},       {0.5, "0:00:00.5"},
      {-90, "-0:01:30"},     {360000, "100:00:00"}, {0.0000001, "0:00:00"}, {5, "0:00:05"},
      {90000, "25:00:00"},   {-5400, "-1:30:00"},   {59.25, "0:00:59.25"},  {1e-5, "0:00:00.00001"},
  };
  for (auto& c : cases) {
    cell t = time_value(c.seconds);
    EXPECT_EQ(molded(&t), c.text) << c.seconds;
    EXPECT_EQ(formed(&t), c.text) << c.seconds;
  }
  cell inf = time_value(1.0 / 0.0);
  EXPECT_EQ(molded(&inf), "1.#INF");
}

TEST_F(Time, MakeAndTo) {
  expect_all({
      {"make time! [1 2 3]", "1:02:03"},
      {"make time! []", "0:00:00"},
      {"make time! [-1 30 0]", "-1:30:00"},
      {"make time! [0 90 0]", "1:30:00"},
      {"to time! 90", "0:01:30"},
      {"make time! [1 2 3 4]", "!! script bad-to-arg"},
      {"make time! [1 -2 3]", "!! script bad-to-arg"},
      {"make time! [1 2 -3]", "!! script bad-to-arg"},
      {"make time! [a 2 3]", "!! script bad-to-arg"},
      {"to time! none", "!! script bad-to-arg"},
  });
  set("f", float_value(3.5));
  set("x", float_value(1.5));
  EXPECT_EQ(run("make time! reduce [1 2 f]"), "1:02:03.5");
  EXPECT_EQ(run("make time! reduce [x 0 0]"), "!! script bad-to-arg");
  EXPECT_EQ(run("to time! f"), "0:00:03.5");
}

TEST_F(Time, FieldsReadTheSignedWhole) {
  set("t", time_value(-5400));
  set("u", time_value(5445.5));
  expect_all({
      {"t/hour", "-1"},
      {"t/minute", "30"},
      {"t/1", "-1"},
      {"t/2", "30"},
      {"u/hour", "1"},
      {"pick u 1", "1"},
      {"pick u 'minute", "30"},
      {"t/4", "!! script invalid-path"},
      {"t/day", "!! script invalid-path"},
      {"pick u 4", "!! script out-of-range"},
      {"pick u 'day", "!! script cannot-use"},
  });
  cell r;
  ASSERT_EQ(evaluate("u/second", &r), "");
  EXPECT_EQ(type_of(&r), type::float_);
  EXPECT_EQ(get_double(&r), 45.5);
  ASSERT_EQ(evaluate("t/3", &r), "");
  EXPECT_EQ(get_double(&r), 0.0);
}

TEST_F(Time, SettersAgreeWithTheGetters) {
  set("f", float_value(7.25));
  expect_all({
      {"t: make time! [1 30 0] t/hour: 5 t", "5:30:00"},
      {"t/second: f t", "5:30:07.25"},
      {"t/minute: 0 t", "5:00:07.25"},
      {"t/hour: -2 t", "-2:00:07.25"},
      // A negative time keeps its fields: setting what the getters show changes nothing.
      {"t: make time! [-1 30 0] t/hour: t/hour t", "-1:30:00"},
      {"t/minute: t/minute t", "-1:30:00"},
      {"t/minute: 15 t", "-1:15:00"},
      {"t/hour: 3 t", "3:15:00"},
      {"t/hour: 0 t/hour", "0"},
      {"t/minute", "15"},
      {"t: make time! [0 30 0] t/hour: -1 t/hour", "-1"},
      {"t/minute", "30"},
      {"t/minute: 90 t", "-2:30:00"},
      {"t/hour: f", "!! script invalid-arg"},
      {"t/minute: \"x\"", "!! script invalid-arg"},
      {"t", "-2:30:00"},
  });
}

TEST_F(Time, Arithmetic) {
  set("f", float_value(1.5));
  expect_all({
      {"(make time! [1 0 0]) + 30", "1:00:30"},
      {"(make time! [1 0 0]) - (make time! [0 30 0])", "0:30:00"},
      {"(make time! [10 0 0]) / 2", "5:00:00"},
      {"(make time! [1 0 0]) * f", "1:30:00"},
      {"(make time! [2 0 0]) * (make time! [2 0 0])", "!! script not-related"},
      {"(make time! [2 0 0]) + none", "!! script expect-arg"},
  });
  set("c", cell{type::char_, 0, 65, 0});
  EXPECT_EQ(run("(make time! [2 0 0]) + c"), "!! script invalid-type");
  cell r;
  ASSERT_EQ(evaluate("(make time! [10 0 0]) / (make time! [2 0 0])", &r), "");
  EXPECT_EQ(type_of(&r), type::float_);
  EXPECT_EQ(get_double(&r), 5.0);
  set("d", date_value(2020, 1, 15));
  EXPECT_EQ(run("(make time! [1 0 0]) + d"), "15-Jan-2020/1:00:00");
  EXPECT_EQ(run("(make time! [1 0 0]) - d"), "!! script not-related");
}

TEST_F(Time, RoundingAndParity) {
  set("t", time_value(5445.5));  // 1:30:45.5
  set("q", time_value(900));     // 0:15:00
  set("m", money_value("$1"));
  expect_all({
      {"round t", "1:30:46"},
      {"round/down t", "1:30:45"},
      {"round/even t", "1:30:46"},
      {"round/to t 60", "1:31:00"},
      {"round/to t q", "1:30:00"},
      {"round/floor/to t 3600", "1:00:00"},
      {"round/to t m", "!! script not-related"},
      {"even? make time! [0 0 4]", "true"},
      {"odd? make time! [0 1 3]", "true"},
      {"odd? make time! [0 0 4]", "false"},
  });
  set("n", time_value(-2.5));
  EXPECT_EQ(run("round n"), "-0:00:03");
  EXPECT_EQ(run("round/half-ceiling n"), "-0:00:02");
}

}  // namespace
}  // namespace kaz::scalar_test
