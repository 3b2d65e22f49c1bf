// The symbol table and the runtime's own words.
#include <gtest/gtest.h>

#include "../support/session.h"
#include "core/context.h"
#include "core/registry.h"
#include "core/symbol.h"
#include "core/words.h"

namespace kaz::testing {
namespace {

class Symbols : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { boot(); }
};

TEST_F(Symbols, CaseVariantsAliasTheFirstSpellingMet) {
  uint32_t print = symbol::make("sym-print");
  EXPECT_EQ(symbol::make("sym-print"), print);
  EXPECT_EQ(symbol::alias(print), -1);

  uint32_t Print = symbol::make("Sym-Print");
  EXPECT_NE(Print, print);
  EXPECT_EQ(symbol::alias(Print), static_cast<int32_t>(print));
  EXPECT_EQ(symbol::resolve(Print), symbol::resolve(print));

  // A third variant aliases the canonical spelling, whichever variant the probe met first:
  // resolution is one step.
  uint32_t PRINT = symbol::make("SYM-PRINT");
  EXPECT_EQ(symbol::alias(PRINT), static_cast<int32_t>(print));
  EXPECT_EQ(symbol::resolve(PRINT), print);
  EXPECT_TRUE(symbol::has_variants(print) && symbol::has_variants(PRINT));
  EXPECT_FALSE(symbol::has_variants(symbol::make("sym-alone")));

  // Ignore-case interning answers an existing variant as it is.
  EXPECT_EQ(symbol::make_ignore_case("sYm-pRiNt"), print);
  uint32_t fresh = symbol::make_ignore_case("Sym-Fresh");
  EXPECT_EQ(symbol::alias(fresh), -1);
  EXPECT_EQ(symbol::spelling(fresh), "Sym-Fresh");
}

TEST_F(Symbols, OnlyAsciiLettersFold) {
  uint32_t lower = symbol::make("\xC3\xA9t\xC3\xA9");  // été
  uint32_t upper = symbol::make("\xC3\x89T\xC3\x89");  // ÉTÉ
  EXPECT_NE(symbol::resolve(lower), symbol::resolve(upper));
  uint32_t mixed = symbol::make("\xC3\xA9T\xC3\xA9");  // éTé: only the T differs in case
  EXPECT_EQ(symbol::resolve(mixed), lower);
  EXPECT_EQ(symbol::spelling(mixed), "\xC3\xA9T\xC3\xA9");  // spellings are never rewritten
}

TEST_F(Symbols, TheCachedNameIsMadeOnce) {
  uint32_t s = symbol::make("sym-cached");
  node_t first = symbol::name_string(s);
  EXPECT_EQ(symbol::name_string(s), first);
  cell name{type::string, 0, first, 0};
  EXPECT_EQ(string::to_utf8(&name), "sym-cached");
}

TEST_F(Symbols, ManySymbolsKeepTheirIds) {
  // Enough names to grow the table several times; every id still answers its spelling.
  std::vector<uint32_t> ids;
  for (int i = 0; i < 20000; ++i) ids.push_back(symbol::make("grow-" + std::to_string(i)));
  for (int i = 0; i < 20000; i += 97) {
    EXPECT_EQ(symbol::make("grow-" + std::to_string(i)), ids[i]);
    EXPECT_EQ(symbol::spelling(ids[i]), "grow-" + std::to_string(i));
  }
}

TEST_F(Symbols, RuntimeWordsComeInTheirFixedOrder) {
  // After the datatype names, before anything the library adds.
  uint32_t last_type = 0;
  for (uint32_t t = 1; t <= registry::highest_id(); ++t)
    last_type = std::max(last_type, symbol::make(registry::name(t)));
  EXPECT_LT(last_type, words::sym.spec);
  EXPECT_LT(words::sym.spec, words::sym.body);
  EXPECT_LT(words::sym.trace, words::sym.at);          // symbols, then words from text
  EXPECT_LT(words::sym.not_found, words::sym.add);     // <not-found> before add
  EXPECT_LT(words::sym.applied, words::sym.extern_);   // the refinements after the words
  EXPECT_LT(words::sym.with, words::ooo.data2);        // the issue last
  EXPECT_LT(words::ooo.data2, symbol::make("sym-later"));

  // One symbol for `code` and one word for the parse keyword `collect`; `throw` in two globals.
  EXPECT_EQ(symbol::make("code"), words::sym.code);
  EXPECT_EQ(words::word.collect.data2, words::sym.collect);
  EXPECT_EQ(words::word.throw_.data2, words::word.throw_category.data2);
  EXPECT_EQ(words::word.throw_.data3, words::word.throw_category.data3);

  // Words are bound in the global context; refinements carry no context; the issue is #ooo.
  EXPECT_EQ(words::word.body_.data1, context::global);
  EXPECT_EQ(type_of(&words::refinement.part), type::refinement);
  EXPECT_EQ(words::refinement.part.data1, 0u);
  EXPECT_EQ(molded(&words::ooo), "#ooo");
  EXPECT_EQ(molded(&words::word.set_path), "set-path");
}

}  // namespace
}  // namespace kaz::testing
