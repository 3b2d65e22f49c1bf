// paren! and the path family: make, to, form, mold, copy, compare and the slots they leave out.
#include "../support/session.h"
#include "datatypes/registry.h"
#include "datatypes/series_types.h"

namespace kaz {
namespace {

using testing::check_all;

class Paths : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { testing::boot(); }
};

TEST_F(Paths, MakeAndTo) {
  check_all({
      {"make path! 0", ""},
      {"length? make path! 3", "0"},
      {"make path! [a b]", "a/b"},
      {"make lit-path! to paren! [a b]", "'a/b"},
      {"make path! \"x\"", "!! script bad-make-arg"},
      {"make path! 'x", "!! script bad-make-arg"},
      {"to set-path! [a b]", "a/b:"},
      {"to get-path! [a b]", ":a/b"},
      {"to path! 'x", "x"},
      {"type? to path! [a]", "path!"},
      {"o: make object! [a: 1] p: to path! o length? p", "1"},
      {"same? o pick p 1", "true"},
      {"length? to path! make typeset! [integer! block!]", "1"},
      {"length? to block! make typeset! [integer! block!]", "2"},
  });
}

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

TEST_F(Paths, FormAndMold) {
  testing::run("p: to path! [a b 1]");
  check_all({
      {"form p", "\"a/b/1\""},
      {"mold p", "\"a/b/1\""},
      {"mold to lit-path! p", "\"'a/b/1\""},
      {"mold to get-path! p", "\":a/b/1\""},
      {"mold to set-path! p", "\"a/b/1:\""},
      {"form to set-path! p", "\"a/b/1\""},
      {"mold/only to set-path! p", "\"a/b/1:\""},
      {"mold to path! reduce [\"s\" [x]]", "{\"s\"/[x]}"},
      {"mold/only to paren! [1 2]", "\"1 2\""},
      {"mold to paren! [1 [2]]", "\"(1 [2])\""},
      // A path that holds itself.
      {"q: to path! [a] append/only q q mold q", "\"a/...\""},
      {"form q", "\"a/...\""},
  });
}

TEST_F(Paths, CopyCompareAndEmptySlots) {
  check_all({
      {"type? copy to get-path! [a b]", "get-path!"},
      {"p: to path! [a [b]] c: copy/deep p append pick c 2 'x p", "a/[b]"},
      {"equal? to path! [a b] to path! [a b]", "true"},
      {"equal? to path! [a b] to lit-path! [a b]", "false"},
      {"equal? to path! [a b] [a b]", "false"},
      {"index? find to path! [a b c] 'b", "2"},
      {"select to path! [a b c] 'b", "c"},
      {"sort to path! [b a]", "!! script expect-arg"},
      {"trim to path! [a]", "!! script expect-arg"},
      {"trim to paren! [1]", "!! script expect-arg"},
      {"sort to paren! [2 1]", "(1 2)"},
      {"length? append to set-path! [a] 'b", "2"},
  });
}

}  // namespace
}  // namespace kaz
