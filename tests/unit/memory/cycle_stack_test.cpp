// The cycle stack and its guard.
#include "memory/cycle_stack.h"

#include <gtest/gtest.h>

#include <cstring>

#include "memory/cycle_guard.h"
#include "runtime/fire.h"

using namespace kaz;

TEST(CycleStack, PushPopContainsAndTheDepthLimit) {
  cycle_stack::reset();
  cycle_stack::push(0x10001);
  cycle_stack::push(0x10002);
  EXPECT_TRUE(cycle_stack::contains(0x10001));
  EXPECT_FALSE(cycle_stack::contains(0x10003));
  cycle_stack::pop();
  EXPECT_FALSE(cycle_stack::contains(0x10002));
  cycle_stack::drop(5);  // never below empty
  EXPECT_EQ(cycle_stack::depth(), 0u);
  cycle_stack::pop();
  EXPECT_EQ(cycle_stack::depth(), 0u);

  // 999 entries fit; the 1000th raises too-deep and leaves the stack empty.
  for (uint32_t i = 0; i < 999; ++i) cycle_stack::push(0x10000 + i);
  EXPECT_EQ(cycle_stack::depth(), 999u);
  try {
    cycle_stack::push(0x20000);
    FAIL() << "no error";
  } catch (const language_error& e) {
    EXPECT_EQ(e.id, err::internal_too_deep);
  }
  EXPECT_EQ(cycle_stack::depth(), 0u);

  cycle_stack::push(0x10005);
  cycle_stack::relocate([](node_t n) { return n + 1; });
  EXPECT_TRUE(cycle_stack::contains(0x10006));
  cycle_stack::reset();
}

TEST(CycleStack, GuardEntersEachSeriesOnce) {
  cycle_stack::reset();
  {
    cycle_guard outer(0x10010);
    EXPECT_TRUE(outer.entered());
    {
      cycle_guard again(0x10010);
      EXPECT_FALSE(again.entered());
      cycle_guard inner(0x10011);
      EXPECT_TRUE(inner.entered());
      EXPECT_EQ(cycle_stack::depth(), 2u);
    }
    EXPECT_EQ(cycle_stack::depth(), 1u);
  }
  EXPECT_EQ(cycle_stack::depth(), 0u);
}

TEST(CycleStack, MarkersByType) {
  struct Case {
    uint32_t type;
    const char* mold;
  } cases[] = {{type::block, "[...]"}, {type::hash, "[...]"},    {type::paren, "(...)"},
               {type::map, "#[...]"},  {type::object, "make object! [...]"},
               {type::path, "..."},    {type::set_path, "..."},  {type::error, "..."}};
  for (auto c : cases) {
    EXPECT_STREQ(cycle_stack::marker(c.type, true), c.mold);
    EXPECT_STREQ(cycle_stack::marker(c.type, false), "...");
  }
  EXPECT_EQ(std::strlen(cycle_stack::marker(type::object, true)), 18u);
  cell obj{type::object, 0x10020, 7, 0};
  cell blk{type::block, 0x10020, 0x10021, 0};
  EXPECT_EQ(cycle_stack::key_of(&obj), 0x10020u);
  EXPECT_EQ(cycle_stack::key_of(&blk), 0x10021u);
}
