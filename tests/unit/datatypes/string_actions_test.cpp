// The string! actions other than searching: make and to, form and mold, comparison,
// append/insert/change, sort, trim, swap, the set operations; tag!, email! and ref!.
#include <string>

#include "core/block_storage.h"
#include "core/symbol.h"
#include "datatypes/string_actions.h"
#include "string_test_support.h"

namespace kaz {
namespace {

class StringActions : public testing::string_test {
 protected:
  static cell* word(const char* name) {
    return value(cell{type::word, 0, symbol::make(name), 0xFFFFFFFF});
  }
  static cell* block_of(std::initializer_list<cell*> values) {
    cell* b = block::push_only(4);
    for (cell* v : values) block::append_copy(b, v);
    return b;
  }
  static cell* binary_of(std::string_view bytes) {
    cell* b = text("");
    b->header = type::binary;
    series_buffer* s = string::buffer_of(b);
    s = memory::reserve_tail(s, static_cast<uint32_t>(bytes.size()));
    std::copy(bytes.begin(), bytes.end(), s->head_rw());
    return b;
  }
  static std::string from_head(const cell* v) {
    cell c = *v;
    c.data1 = 0;
    return str(&c);
  }
};

TEST_F(StringActions, MakeAndTo) {
  cell* r = string_type::make(stack::reserve_cell(), integer(10), type::string);
  EXPECT_EQ(type_of(r), type::string);
  EXPECT_EQ(string::length_from_head(r), 0u);
  EXPECT_EQ(error_of([&] { string_type::make(stack::reserve_cell(), integer(-1), type::string); }),
            "out-of-range");
  cell* big = value(cell{type::float_, 0, 0, 0});
  put_double(big, 1e12);
  EXPECT_EQ(error_of([&] { string_type::make(stack::reserve_cell(), big, type::string); }),
            "out-of-range");

  cell* b = block_of({word("a"), text("b"), integer(1)});
  EXPECT_EQ(str(string_type::to(stack::reserve_cell(), b, type::string)), "ab1");
  cell* copy = string_type::to(stack::reserve_cell(), text("x y"), type::tag);
  EXPECT_EQ(type_of(copy), type::tag);
  EXPECT_EQ(str(copy), "x y");
  EXPECT_EQ(str(string_type::to(stack::reserve_cell(), integer(42), type::string)), "42");
  cell* refinement = value(cell{type::refinement, 0, symbol::make("ref"), 0xFFFFFFFF});
  EXPECT_EQ(str(string_type::to(stack::reserve_cell(), refinement, type::string)), "ref");
  EXPECT_EQ(str(string_type::to(stack::reserve_cell(), refinement, type::file)), "/ref");
  EXPECT_EQ(str(string_type::make(stack::reserve_cell(), binary_of("h\xC3\xA9"), type::string)),
            "h\xC3\xA9");
  EXPECT_EQ(error_of([&] { string_type::to(stack::reserve_cell(), binary_of("a\xFF"), type::string); }),
            "invalid-utf8");
  cell* none = value(cell{type::none, 0, 0, 0});
  EXPECT_EQ(error_of([&] { string_type::to(stack::reserve_cell(), none, type::file); }),
            "bad-to-arg");
}

TEST_F(StringActions, FormMoldAndCompare) {
  cell* s = text("a\"b");
  s->data1 = 1;
  EXPECT_EQ(formed(s), "\"b");
  EXPECT_EQ(molded(s), "{\"b}");
  cell* out = text("");
  cell part{type::integer, 0, 1, 0};
  EXPECT_EQ(string_type::form(s, out, &part, 1), -1);
  EXPECT_EQ(str(out), "\"");

  using namespace actions::op;
  cell* f = text("Abc", type::file);
  EXPECT_EQ(string_type::compare(text("abc"), f, equal), 0);
  EXPECT_EQ(string_type::compare(text("abc"), f, strict_equal), -2);
  EXPECT_EQ(string_type::compare(text("abc"), f, lesser), -2);
  EXPECT_EQ(string_type::compare(text("abc"), integer(1), equal), -2);
  EXPECT_LT(string_type::compare(text("abc"), text("abd"), lesser), 0);
}

TEST_F(StringActions, AppendInsertAndChange) {
  auto append = [&](cell* s, cell* v, int32_t part = -1, int32_t dup = 1, bool only = false) {
    return string_type::insert(s, v, part, only, dup, true);
  };
  cell* s = text("x");
  s->data1 = 1;
  EXPECT_EQ(append(s, text("ab"), -1, 3)->data1, 0u);
  EXPECT_EQ(str(s), "xababab");
  cell* e = text("x");
  append(e, ch(0xE9));
  EXPECT_EQ(unit_of(e), 2u);
  cell* t = text("x");
  append(t, text("b", type::tag));
  EXPECT_EQ(str(t), "x<b>");
  append(t, text("bc", type::tag), 2);  // the opening bracket counts against the part
  EXPECT_EQ(str(t), "x<b><b");
  cell* unchanged = text("ab");
  unchanged->data1 = 1;
  EXPECT_EQ(append(unchanged, text(""))->data1, 1u);  // nothing appended: the head stays
  cell* forms = text("");
  append(forms, block_of({word("a"), text("b"), integer(1)}), 2);  // part counts the elements
  EXPECT_EQ(str(forms), "ab");
  append(forms, block_of({text("cde"), text("fg")}), 4, 1, true);  // with /only, the characters
  EXPECT_EQ(str(forms), "abcdef");
  append(forms, integer(7), -1, 3);
  EXPECT_EQ(str(forms), "abcdef777");

  cell* i = text("xy");
  cell* r = string_type::insert(i, text("abcd"), 2, false, 1, false);
  EXPECT_EQ(from_head(r), "abxy");
  EXPECT_EQ(r->data1, 2u);
  cell* mid = text("ad");
  mid->data1 = 1;
  string_type::insert(mid, integer(42), -1, false, 2, false);
  EXPECT_EQ(from_head(mid), "a4242d");
  EXPECT_EQ(mid->data1, 5u);
  cell* self = text("abc");
  self->data1 = 1;
  cell whole = *self;
  whole.data1 = 0;
  string_type::insert(self, &whole, -1, false, 1, false);  // its own text, read before it moves
  EXPECT_EQ(from_head(self), "aabcbc");

  cell* c = text("abcdef");
  EXPECT_EQ(string_type::change(c, text("XY"), -1, false, 1)->data1, 2u);
  EXPECT_EQ(from_head(c), "XYcdef");
  cell* c2 = text("abcdef");
  string_type::change(c2, text("X"), 3, false, 1);
  EXPECT_EQ(from_head(c2), "Xdef");
  cell* c3 = text("ab");
  c3->data1 = 1;
  string_type::change(c3, text("XYZ"), -1, false, 1);  // a longer value extends the string
  EXPECT_EQ(from_head(c3), "aXYZ");
  cell* c4 = text("ab");
  c4->data1 = 2;
  string_type::change(c4, ch('!'), -1, false, 2);
  EXPECT_EQ(from_head(c4), "ab!!");
  EXPECT_EQ(c4->data1, 4u);
  cell* c5 = text("abcdef");
  c5->data1 = 1;
  string_type::change(c5, integer(9), 3, false, 1);
  EXPECT_EQ(from_head(c5), "a9ef");
  cell* c6 = text("abcdef");
  cell front = *c6;
  c6->data1 = 3;
  string_type::change(c6, &front, 2, false, 1);  // replaced by its own text
  EXPECT_EQ(from_head(c6), "abcabcdeff");

  cell* huge = text("ab");
  EXPECT_EQ(error_of([&] { append(huge, text("xy"), -1, 0x40000000); }), "no-memory");
  EXPECT_EQ(str(huge), "ab");
}

struct sort_options {
  bool case_ = false;
  int32_t skip = 0;
  int32_t compare = 0;
  int32_t part = 0;
  bool all = false, reverse = false, stable = false;
  uint32_t head = 0;
};

TEST_F(StringActions, Sort) {
  auto sort = [&](cell* s, sort_options o = {}) {
    s->data1 = o.head;
    cell* skip = o.skip ? integer(o.skip) : nullptr;
    cell* compare = o.compare ? integer(o.compare) : nullptr;
    cell* part = o.part ? integer(o.part) : nullptr;
    string_type::sort(s, o.case_, skip, compare, part, o.all, o.reverse, o.stable);
    return from_head(s);
  };
  EXPECT_EQ(sort(text("dcba")), "abcd");
  EXPECT_EQ(sort(text("abc"), {.reverse = true}), "cba");
  EXPECT_EQ(sort(text("BbAa"), {.stable = true}), "AaBb");  // a and A equal, kept in order
  EXPECT_EQ(sort(text("bBaA"), {.stable = true}), "aAbB");
  EXPECT_EQ(sort(text("bBaA"), {.case_ = true}), "ABab");
  EXPECT_EQ(sort(text("b2a1c0"), {.skip = 2}), "a1b2c0");
  EXPECT_EQ(sort(text("b2a1c0"), {.skip = 2, .compare = 2}), "c0a1b2");
  EXPECT_EQ(sort(text("a2a1"), {.skip = 2, .all = true}), "a1a2");
  EXPECT_EQ(sort(text("b1B0"), {.case_ = true, .skip = 2, .stable = true}), "B0b1");
  EXPECT_EQ(sort(text("dcba"), {.part = 2}), "cdba");
  EXPECT_EQ(sort(text("dcba"), {.part = -2, .head = 4}), "dcab");
  EXPECT_EQ(sort(text("dcba"), {.part = -9, .head = 2}), "dcba");
  // Case folding is the same at every width: upper case.
  EXPECT_EQ(sort(wide("_a\xC3\xA9Z", 2)), "aZ_\xC3\xA9");
  EXPECT_EQ(sort(wide("_a\xC3\xA9Z", 1)), "aZ_\xC3\xA9");

  EXPECT_EQ(error_of([&] { sort(text("dcba"), {.skip = 3}); }), "invalid-refine-arg");
  EXPECT_EQ(error_of([&] { sort(text("dcba"), {.all = true}); }), "bad-refines");
  EXPECT_EQ(error_of([&] { sort(text("dcba"), {.compare = 1}); }), "bad-refines");
  EXPECT_EQ(error_of([&] { sort(text("dcba"), {.skip = 2, .compare = 3}); }), "out-of-range");
  cell* s = text("ab");
  EXPECT_EQ(error_of([&] {
              string_type::sort(s, false, nullptr, text("x"), nullptr, false, false, false);
            }),
            "invalid-refine-arg");
}

TEST_F(StringActions, Trim) {
  auto trim = [&](const char* in, bool head = false, bool tail = false, bool auto_ = false,
                  bool lines = false, bool all = false, cell* with = nullptr) {
    cell* s = text(in);
    string_type::trim(s, head, tail, auto_, lines, all, with);
    return str(s);
  };
  const char* spaced = "  a  b \n  c \n   ";
  EXPECT_EQ(trim(spaced), "a  b\nc\n");
  EXPECT_EQ(trim(spaced, true), "a  b \n  c \n   ");
  EXPECT_EQ(trim(spaced, false, true), "  a  b \n  c");
  EXPECT_EQ(trim(spaced, false, false, false, true), "a b c");
  EXPECT_EQ(trim(spaced, false, false, false, false, true), "abc");
  EXPECT_EQ(trim("a-b-c", false, false, false, false, false, ch('-')), "abc");
  EXPECT_EQ(trim("a-b_c", false, false, false, false, false, text("_-")), "abc");
  EXPECT_EQ(trim("a-b", false, false, false, false, false, text("")), "a-b");
  EXPECT_EQ(trim("\xE3\x80\x80" "a\xC2\xA0"), "a");  // Unicode spaces at the ends
  EXPECT_EQ(error_of([&] { trim("\n  if x\n    y", false, false, true); }), "not-done");
  cell* w = wide("a\xE2\x82\xAC" "b", 2);
  string_type::trim(w, false, false, false, false, false, ch(0x20AC));
  EXPECT_EQ(str(w), "ab");
}

TEST_F(StringActions, SetOperations) {
  auto set_op = [&](const char* a, const char* b, int32_t op, bool case_ = false,
                    int32_t skip = 0) {
    cell* saved = stack::arguments;
    cell* x = text(a);
    text(b);
    cell* k = skip ? integer(skip) : nullptr;
    stack::arguments = x;
    std::string r;
    try {
      r = str(string_type::set_operation(case_, k, op));
    } catch (...) {
      stack::arguments = saved;
      throw;
    }
    stack::arguments = saved;
    return r;
  };
  using namespace string_type::set_op;
  EXPECT_EQ(set_op("aAbB", "", unique), "ab");
  EXPECT_EQ(set_op("aAbB", "", unique, true), "aAbB");
  EXPECT_EQ(set_op("abc", "BCD", union_), "abcD");
  EXPECT_EQ(set_op("abcb", "bcd", intersect), "bc");
  EXPECT_EQ(set_op("abc", "bcd", exclude), "a");
  EXPECT_EQ(set_op("abc", "bcd", difference), "ad");
  EXPECT_EQ(set_op("a1b2a3", "", unique, false, 2), "a1b2");
  EXPECT_EQ(set_op("\xC3\xA9t\xC3\xA9", "\xC3\x89" "e", intersect), "\xC3\xA9");
  EXPECT_EQ(error_of([&] { set_op("ab", "", unique, false, -1); }), "invalid-refine-arg");
}

TEST_F(StringActions, Swap) {
  cell* a = text("abc");
  cell* b = wide("x\xE2\x82\xAC", 2);
  string_type::swap(a, b);
  EXPECT_EQ(str(a), "xbc");
  EXPECT_EQ(str(b), "a\xE2\x82\xAC");
  b->data1 = 1;
  string_type::swap(a, b);  // the euro sign widens a
  EXPECT_EQ(unit_of(a), 2u);
  EXPECT_EQ(str(a), "\xE2\x82\xAC" "bc");
  cell* bytes = binary_of("A");
  EXPECT_EQ(error_of([&] { string_type::swap(bytes, a); }), "invalid-arg");
  EXPECT_EQ(error_of([&] { string_type::swap(a, integer(1)); }), "invalid-arg");
  cell* empty = text("");
  EXPECT_EQ(str(string_type::swap(empty, a)), "");
}

TEST_F(StringActions, TagEmailAndRef) {
  cell* tag = text("a b", type::tag);
  EXPECT_EQ(formed(tag), "<a b>");
  EXPECT_EQ(molded(tag), "<a b>");
  cell* out = text("");
  cell part{type::integer, 0, 3, 0};
  EXPECT_EQ(actions::form(tag, out, &part, 3), -2);  // both brackets count against the limit
  cell* ref = text("x\"y", type::ref);
  EXPECT_EQ(molded(ref), "@x\"y");
  EXPECT_EQ(formed(ref), "x\"y");
  cell* mail = text("me@host.org", type::email);
  EXPECT_EQ(molded(mail), "me@host.org");

  slot_fn::eval_path path = registry::row(type::email).eval_path;
  auto get = [&](cell* e, const char* field) {
    const cell* r = path(e, word(field), nullptr, nullptr, nullptr, nullptr, 0, false, true, false);
    EXPECT_EQ(type_of(r), type::string);
    return str(r);
  };
  EXPECT_EQ(get(mail, "user"), "me");
  EXPECT_EQ(get(mail, "HOST"), "host.org");
  cell* plain = text("nobody", type::email);
  EXPECT_EQ(get(plain, "user"), "nobody");
  EXPECT_EQ(get(plain, "host"), "");
  path(mail, word("user"), text("you"), nullptr, nullptr, nullptr, 0, false, false, false);
  EXPECT_EQ(str(mail), "you@host.org");
  path(mail, word("host"), text("x.net"), nullptr, nullptr, nullptr, 0, false, false, false);
  EXPECT_EQ(str(mail), "you@x.net");
  EXPECT_EQ(error_of([&] { get(mail, "domain"); }), "invalid-path");
  EXPECT_EQ(error_of([&] {
              path(mail, text("x"), nullptr, nullptr, nullptr, nullptr, 0, false, true, false);
            }),
            "invalid-path");

  // What the three refuse.
  for (uint32_t t : {type::tag, type::email, type::ref}) {
    EXPECT_EQ(registry::row(t).sort, nullptr);
    EXPECT_EQ(registry::row(t).trim, nullptr);
    EXPECT_EQ(registry::row(t).random, nullptr);
    EXPECT_NE(registry::row(t).find, nullptr);
  }
  EXPECT_EQ(registry::row(type::ref).append, nullptr);
  EXPECT_EQ(registry::row(type::ref).eval_path, nullptr);
  EXPECT_NE(registry::row(type::tag).append, nullptr);
}

}  // namespace
}  // namespace kaz
