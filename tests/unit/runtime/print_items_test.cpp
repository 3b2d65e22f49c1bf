// Typed item lists.
#include "runtime/print_items.h"

#include <gtest/gtest.h>

#include <cmath>

#include "test_support.h"

namespace kaz::sysrt {
namespace {

TEST(PrintItems, EachTagPrintsItsWay) {
  struct row {
    print_item item;
    const char* text;
  };
  const row rows[] = {
      {item::logic(false), "false"},
      {item::logic(true), "true"},
      {item::integer(-42), "-42"},
      {item::byte('Z'), "Z"},
      {item::float32(2.5f), "2.5"},
      {item::float64(1.0 / 3.0), "0.3333333333333333"},
      {item::float64(INFINITY), "inf"},
      {item::text("caf\xC3\xA9"), "caf\xC3\xA9"},
      {item::hex(255), "000000FF"},
      {item::size(uint64_t(1) << 40), "1099511627776"},
  };
  for (const row& r : rows)
    EXPECT_EQ(test::capture_stdout([&] { prin_list({r.item}); }), r.text) << r.text;
}

TEST(PrintItems, ListsPrintInOrderWithoutSeparators) {
  EXPECT_EQ(test::capture_stdout([] { print_line({item::logic(false)}); }), "false\n");
  EXPECT_EQ(test::capture_stdout([] {
              print_items({item::text("a"), item::integer(1), item::byte(';')});
              print_line({});
              print_char('x');
            }),
            "a1;\nx");
}

}  // namespace
}  // namespace kaz::sysrt
