// Contexts and binding from C++ (the language-level cases are in tests/scripts/core/).
#include <gtest/gtest.h>

#include "core/context.h"
#include "core/object.h"
#include "core/symbol.h"
#include "core/words.h"
#include "../support/session.h"

namespace kaz::testing {
namespace {

class Contexts : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { boot(); }
};

// A heap context holding the given names, held on the stack (as an object) while the test runs.
node_t conmolded(std::initializer_list<const char*> names) {
  cell* o = stack::reserve_cell();
  object::make_empty_at(o, 0);
  for (const char* n : names) context::add_word(o->data1, symbol::make(n));
  return o->data1;
}

cell* loaded(std::string_view text) {
  cell* b = stack::reserve_cell();
  lexer::load_text_block(text, b);
  return b;
}

// Where each word of a block is bound: "ctx:index", "global", "free" (context 0) or "-" for
// other values, in order, nested blocks flattened.
void bindings(const cell* b, node_t ctx, std::string& out) {
  cell blk = *b;
  for (int32_t i = 0; i < block::rs_length(&blk); ++i) {
    const cell* v = block::rs_head(&blk) + i;
    uint32_t t = type_of(v);
    if (is_any_block(t)) {
      cell nested = *v;
      bindings(&nested, ctx, out);
      continue;
    }
    if (!out.empty()) out += ' ';
    if (!is_any_word(t))
      out += "-";
    else if (v->data1 == ctx)
      out += v->data3 == context::unresolved ? "self" : std::to_string(v->data3);
    else
      out += v->data1 == context::global ? "global" : "free";
  }
}

TEST_F(Contexts, BindingIsDeepAndLeavesIssuesAlone) {
  stack::saved_state saved = stack::save();
  node_t ctx = conmolded({"a", "b", "c", "d", "e", "f", "g", "h", "i"});
  cell* b = loaded("a [b (c)] d/e 'f :g /h #i");
  context::bind_block(ctx, b, false);
  std::string out;
  bindings(b, ctx, out);
  EXPECT_EQ(out, "0 1 2 3 4 5 6 7 free");
  stack::unwind_to(saved);
}

TEST_F(Contexts, BindingSelfAndCaseVariants) {
  stack::saved_state saved = stack::save();
  node_t ctx = conmolded({"foo"});
  cell* b = loaded("self Foo FOO: bar self:");
  context::bind_block(ctx, b, true);
  std::string out;
  bindings(b, ctx, out);
  EXPECT_EQ(out, "self 0 0 global global");  // only a word! `self` is the owner

  out.clear();
  b = loaded("self Foo");
  context::bind_block(ctx, b, false);
  bindings(b, ctx, out);
  EXPECT_EQ(out, "global 0");  // without the flag `self` is an ordinary word
  stack::unwind_to(saved);
}

TEST_F(Contexts, ABlockThatHoldsItselfIsBoundOnce) {
  stack::saved_state saved = stack::save();
  node_t ctx = conmolded({"a"});
  cell* b = loaded("a [a]");
  cell inner = *(block::rs_head(b) + 1);
  *block::append_cell(&inner) = *b;  // [a [a [...]]]
  context::bind_block(ctx, b, false);
  cell first = *block::rs_head(b);
  EXPECT_EQ(first.data1, ctx);
  stack::unwind_to(saved);
}

TEST_F(Contexts, SpecsGiveOneWordPerName) {
  stack::saved_state saved = stack::save();
  cell* spec = loaded("a /b c: \"doc\" [integer!] :d 'e A");
  spec->data1 = 3;  // the whole buffer counts, whatever the index
  node_t ctx = context::make_from_spec(spec, false, false, 0);
  cell w;
  std::string names;
  for (uint32_t i = 0; i < context::size(ctx); ++i) {
    context::word_at(ctx, i, &w);
    names += (i ? " " : "") + molded(&w);
    EXPECT_EQ(type_of(context::values(ctx) + i), type::unset);
  }
  EXPECT_EQ(names, "a b d e");

  node_t empty = context::create(0, false, false, 0, 0);  // a zero capacity is taken as 1
  for (int i = 0; i < 300; ++i) context::add_word(empty, symbol::make("n" + std::to_string(i)));
  EXPECT_EQ(context::size(empty), 300u);
  EXPECT_EQ(context::find_symbol(empty, symbol::make("n299"), false), 299);
  EXPECT_EQ(context::find_symbol(empty, symbol::make("N7"), true), 7);
  EXPECT_EQ(context::find_symbol(empty, symbol::make("N7"), false), -1);
  stack::unwind_to(saved);
}

TEST_F(Contexts, SettingAnUnresolvedVariantWritesTheExistingSlot) {
  stack::saved_state saved = stack::save();
  node_t ctx = conmolded({"foo"});
  cell w{type::word, ctx, symbol::make("Foo"), context::unresolved};
  cell v{type::integer, 0, 42, 0};
  context::set_value(&w, &v);
  EXPECT_EQ(w.data3, 0u);
  EXPECT_EQ(context::size(ctx), 1u);
  EXPECT_EQ(context::values(ctx)[0].data2, 42u);
  cell n{type::word, ctx, symbol::make("new-one"), context::unresolved};
  context::set_value(&n, &v);
  EXPECT_EQ(context::size(ctx), 2u);
  EXPECT_EQ(n.data3, 1u);
  stack::unwind_to(saved);
}

TEST_F(Contexts, GlobalSpellingsShareOneSlot) {
  cell lower, upper, exact;
  context::intern_global(symbol::make("shared-slot"), &lower);
  context::intern_global(symbol::make("Shared-Slot"), &upper);
  EXPECT_EQ(lower.data3, upper.data3);
  EXPECT_EQ(molded(&upper), "Shared-Slot");  // the spelling is kept
  context::intern_global(symbol::make("SHARED-SLOT"), &exact, false, true);
  EXPECT_EQ(exact.data3, lower.data3);  // an exact spelling of its own, the slot shared
  EXPECT_EQ(run("shared-slot: 5 SHARED-SLOT + Shared-Slot"), "10");
}

TEST_F(Contexts, SelfHasNoIndex) {
  run("o: make object! [x: 1] w: none");
  cell o, w;
  context::intern_global(symbol::make("o"), &o);
  context::intern_global(symbol::make("w"), &w);
  cell self_word{type::word, context::get_value(&o)->data1, words::sym.self, context::unresolved};
  context::set_value(&w, &self_word);
  EXPECT_EQ(run("index? w"), "none");
  EXPECT_EQ(run("same? o get w"), "true");
}

}  // namespace
}  // namespace kaz::testing
