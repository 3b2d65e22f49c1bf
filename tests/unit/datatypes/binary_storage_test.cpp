// binary! entry points the language reaches only through other subsystems: the storage
// primitives of the loader and codecs, and the byte matching of parse.
#include <gtest/gtest.h>

#include <string>

#include "core/block_storage.h"
#include "core/context.h"
#include "core/stack.h"
#include "core/string_storage.h"
#include "datatypes/binary.h"
#include "start/boot.h"

namespace kaz {
namespace {

class BinaryStorage : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!context::global) boot::init_runtime();
  }
  void SetUp() override { saved_ = stack::save(); }
  void TearDown() override { stack::unwind_to(saved_); }

  static cell* bytes(const std::string& b) {
    return binary::push_from_buffer(reinterpret_cast<const uint8_t*>(b.data()),
                                    static_cast<uint32_t>(b.size()));
  }
  static std::string contents(const cell* v) {
    return std::string(reinterpret_cast<const char*>(binary::rs_head(v)), binary::rs_length(v));
  }
  static cell* text(const char* utf8) {
    cell* c = stack::reserve_cell();
    string::make_at(c, 16);
    string::append_utf8(c->data2, utf8);
    return c;
  }
  stack::saved_state saved_{};
};

TEST_F(BinaryStorage, AppendAndInsertBytes) {
  cell* b = bytes("ad");
  binary::append_bytes(b, reinterpret_cast<const uint8_t*>("ef"), 2);
  b->data1 = 1;
  binary::insert_bytes(b, 0, reinterpret_cast<const uint8_t*>("bc"), 2);
  binary::append_int32_be(0x31323334, b);
  b->data1 = 0;
  EXPECT_EQ(contents(b), "abcdef1234");
  // Growth past the first buffer keeps every byte.
  std::string big(5000, 'x');
  binary::insert_bytes(b, 1, reinterpret_cast<const uint8_t*>(big.data()), 5000);
  EXPECT_EQ(contents(b), "a" + big + "bcdef1234");

  cell* block = block::push_only(1);
  binary::from_buffer_into(reinterpret_cast<const uint8_t*>("zz"), 2, block);
  EXPECT_EQ(contents(block::rs_head(block)), "zz");
}

TEST_F(BinaryStorage, ByteComparisonAndParseMatching) {
  cell* b = bytes("\xC3\xA9tude");
  struct row {
    cell* other;
    int32_t op;
    bool prefix;
    int32_t answer;
  } rows[] = {
      {text("étude"), 0, false, 0},  // a string compares by its UTF-8
      {text("é"), 0, true, 0},
      {text("ét"), 3, true, 0},
      {text("e"), 0, true, 1},
      {text(""), 0, true, 0},
      {text(""), 3, true, 1},
      {text("études"), 0, true, 1},  // longer than the value
      {bytes("\xC3"), 0, true, 0},
      {bytes("\xC3\xA9tud"), 3, false, 1},
      {bytes("\xC4"), 3, false, -1},
  };
  for (const row& r : rows)
    EXPECT_EQ(binary::compare_bytes(b, r.other, r.op, r.prefix), r.answer)
        << string::to_utf8(r.other) << " op " << r.op;
  cell n{type::integer, 0, 1, 0};
  EXPECT_EQ(binary::compare_bytes(b, &n, 0, false), -2);

  EXPECT_TRUE(binary::match_at_head_q(b, text("é"), 0));
  EXPECT_FALSE(binary::match_at_head_q(b, text("e"), 0));
  cell c{type::char_, 0, 0xC3, 0};
  EXPECT_TRUE(binary::match_at_head_q(b, &c, 0));
  EXPECT_FALSE(binary::match_at_head_q(b, &n, 0));
}

TEST_F(BinaryStorage, TrimNulls) {
  struct row {
    bool head, tail;
  } rows[] = {{false, false}, {true, false}, {false, true}};
  for (const row& r : rows) {
    cell* b = bytes(std::string("\0a\0b\0\0", 6));
    binary::trim_nulls(b, r.head, r.tail);
    std::string want = r.head ? std::string("a\0b\0\0", 5)
                       : r.tail ? std::string("\0a\0b", 4)
                                : std::string("a\0b", 3);
    EXPECT_EQ(contents(b), want);
  }
  // A head past the tail trims nothing and leaves the tail where it was.
  cell* b = bytes(std::string("\0a", 2));
  b->data1 = 5;
  binary::trim_nulls(b, false, false);
  b->data1 = 0;
  EXPECT_EQ(contents(b), std::string("\0a", 2));
}

}  // namespace
}  // namespace kaz
