// Numbers from text: make and to of the number types over string values, through the lexer's
// readers.
#include "number_calls.h"

namespace kaz::testing {
namespace {

cell text(const char* s) { return Bytes(s, type::string); }

TEST_F(Numbers, NumbersFromText) {
  struct {
    uint32_t type;
    const char* text;
    const char* result;
  } cases[] = {
      {type::integer, "1'000", "1000"},
      {type::integer, "-2147483648", "-2147483648"},
      {type::integer, "+42", "42"},
      {type::integer, "12a", "!! script bad-to-arg"},
      {type::integer, "99999999999", "!! script bad-to-arg"},
      {type::integer, " 1", "!! script bad-to-arg"},
      {type::integer, "", "!! script bad-to-arg"},
      {type::float_, "1,5", "1.5"},
      {type::float_, "-2.5e3", "-2500.0"},
      {type::float_, "", "!! script bad-to-arg"},
      {type::float_, "1.5x", "!! script bad-to-arg"},
      {type::percent, "50%", "50%"},
      {type::percent, "0.5", "50%"},
      {type::percent, "5", "500%"},
      {type::percent, "a", "!! script bad-to-arg"},
      {type::percent, "1 2", "!! script bad-to-arg"},
      {type::pair, "3x4", "3x4"},
      {type::pair, "3", "!! script bad-to-arg"},
      {type::pair, "3x", "!! script bad-to-arg"},
      {type::point2d, "(1, 2.5)", "(1, 2.5)"},
      {type::point3d, "(1, 2, 3)", "(1, 2, 3)"},
      {type::point3d, "(1, 2)", "!! script bad-to-arg"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(action(S::to, {Dt(c.type), text(c.text)}), c.result)
        << registry::name(c.type) << " " << c.text;
  EXPECT_EQ(action(S::to, {Dt(type::pair), Bytes("3x4", type::file)}), "!! script bad-to-arg");
  EXPECT_EQ(action(S::to, {Dt(type::integer), Bytes("77", type::file)}), "77");
}

}  // namespace
}  // namespace kaz::testing
