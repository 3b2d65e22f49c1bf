// The series! slots below the language: elements of binary! and vector!, and what the owner of
// a series hears.
#include <cstring>

#include "../support/session.h"
#include "core/ownership.h"
#include "core/registry.h"
#include "datatypes/series_common.h"

namespace kaz {
namespace {

using testing::run;

class SeriesActions : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { testing::boot(); }
};

// binary! and vector! elements through the series! slots: bytes as integers, vector elements
// as values of the element type, each range-checked before anything changes.
TEST_F(SeriesActions, ElementsOfBinaryAndVector) {
  cell* bin = stack::reserve_cell();
  *bin = cell{type::binary, 0, memory::alloc_bytes(4), 0};
  {
    series_buffer* s = memory::buffer_of(bin->data2);
    const uint8_t bytes[] = {1, 0xFF, 3};
    std::memcpy(s->head_rw(), bytes, 3);
    s->tail = s->offset + 3;
  }
  EXPECT_EQ(testing::molded(series::pick(bin, 2, nullptr)), "255");
  cell v{type::integer, 0, static_cast<uint32_t>(-1), 0};
  series::poke(bin, 1, &v, nullptr);
  EXPECT_EQ(testing::molded(series::pick(bin, 1, nullptr)), "255");
  for (int32_t bad : {256, -129}) {
    cell b{type::integer, 0, static_cast<uint32_t>(bad), 0};
    EXPECT_THROW(series::poke(bin, 1, &b, nullptr), language_error) << bad;
  }
  EXPECT_EQ(testing::molded(series::pick(bin, 4, nullptr)), "none");

  // A vector of 16-bit integers: elements read sign-extended.
  cell* vec = stack::reserve_cell();
  *vec = cell{type::vector, 0, memory::alloc_units(2, 2), type::integer};
  {
    series_buffer* s = memory::buffer_of(vec->data2);
    const int16_t elements[] = {-2, 300};
    std::memcpy(s->head_rw(), elements, 4);
    s->tail = s->offset + 4;
  }
  EXPECT_EQ(testing::molded(series::pick(vec, 1, nullptr)), "-2");
  cell n{type::integer, 0, 7, 0};
  series::poke(vec, 2, &n, nullptr);
  EXPECT_EQ(testing::molded(series::pick(vec, 2, nullptr)), "7");
  cell word{type::word, 0, symbol::make("x"), 0};
  EXPECT_THROW(series::poke(vec, 1, &word, nullptr), language_error);
  EXPECT_EQ(testing::molded(series::pick(vec, 1, nullptr)), "-2");
  // Moving between a vector and a block, or vectors of other element types, is refused.
  cell* blk = testing::eval("[1 2]");
  EXPECT_THROW(registry::row(type::block).move(blk, vec, nullptr), language_error);
  stack::top = bin;
}

// An owned series tells its owner about every change, before and after.
std::string* heard = nullptr;
void record(cell*, cell*, cell*, cell* action, cell*, int32_t index, int32_t part) {
  *heard += std::string(symbol::spelling(action->data2)) + " " + std::to_string(index) + " " +
            std::to_string(part) + "; ";
}

TEST_F(SeriesActions, OwnersHearOfChanges) {
  std::string log;
  heard = &log;
  ownership::set_deep_change_handler(record);
  run("o: make object! [a: 1] b: [1 2 3] modify b 'owned reduce [o 'a]");
  // An owner with handlers has an on-set record (word 3).
  ownership::find_owner(testing::eval("b")->data2)->data3 = testing::eval("b")->data2;
  struct {
    const char* code;
    const char* heard;
  } cases[] = {
      {"append b 4", "append 3 1; appended 3 1; "},
      {"insert next b 0", "insert 1 1; inserted 1 1; "},
      {"remove b", "remove 0 1; removed 0 1; "},
      {"poke b 1 9", "poke 0 1; poked 0 1; "},
      {"reverse/part b 2", "reverse 0 2; reversed 0 2; "},
      {"take/last b", "take 3 1; taken 3 1; "},
      {"change b 7", "change 0 1; changed 0 1; "},
      {"sort b", "sort 0 3; sorted 0 3; "},
      {"swap b next b", "swap 0 1; swap 1 1; swaped 0 1; swaped 1 1; "},
      {"put b 'k 'v", "put 3 2; put-ed 3 2; "},
      {"trim b", "trim 0 5; trimmed 0 5; "},
      {"move b tail b", "move 0 1; moved 4 1; "},
      {"clear next b", "clear 1 4; cleared 1 4; "},
  };
  for (auto& c : cases) {
    log.clear();
    EXPECT_EQ(run(c.code).rfind("!!", 0), std::string::npos) << c.code;
    EXPECT_EQ(log, c.heard) << c.code;
  }
  ownership::set_deep_change_handler(nullptr);
  heard = nullptr;
}

}  // namespace
}  // namespace kaz
