// Paths below the language: making from a float, the path builders.
#include "../support/session.h"
#include "core/registry.h"
#include "datatypes/series_types.h"

namespace kaz {
namespace {

class Paths : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { testing::boot(); }
};

// A float! makes an empty path with room for its integer part.
TEST_F(Paths, MakeFromAFloat) {
  cell f{type::float_, 0, 0, 0};
  put_double(&f, 3.7);
  cell* p = stack::reserve_cell();
  registry::row(type::set_path).make(p, &f, type::set_path);
  EXPECT_EQ(type_of(p), type::set_path);
  EXPECT_EQ(block::rs_length(p), 0);
  EXPECT_EQ(block::buffer_of(p)->size, 3u * 16);
  path_types::init_cell(p, 2);
  EXPECT_EQ(type_of(p), type::path);
  p->header = type::block;
  cell* pushed = path_types::push_retyped(p);
  EXPECT_EQ(type_of(pushed), type::path);
  EXPECT_EQ(type_of(p), type::path);
  stack::top = p;
}

}  // namespace
}  // namespace kaz
