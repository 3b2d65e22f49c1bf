// The lexer: every token class loaded from text, the syntax errors with their arguments and
// lines, the scan modes, transcode over strings and binaries, and the trace callback.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "core/block_storage.h"
#include "core/context.h"
#include "core/error.h"
#include "core/function.h"
#include "core/stack.h"
#include "core/string_storage.h"
#include "lexer_describe.h"
#include "loader/lexer_hooks.h"
#include "loader/lexer_number_helpers.h"
#include "loader/lexer_state.h"
#include "loader/lexer_transcode.h"
#include "memory/collector.h"
#include "memory/hashtable.h"
#include "runtime/fire.h"
#include "start/boot.h"

namespace kaz {
namespace {

using testing::describe;
using testing::describe_series;

class Lexer : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!context::global) boot::init_runtime();
  }
};

std::string describe_error() {
  cell e = error::in_flight;
  std::string out = "!! " + error::id_name(&e);
  for (uint32_t f = error::field::arg1; f <= error::field::arg3; ++f) {
    const cell* a = error::field_of(&e, f);
    if (type_of(a) == type::none) continue;
    out += " " + (type_of(a) == type::string ? string::to_utf8(a) : describe(a));
  }
  return out;
}

// The loaded values (without the outer brackets), or the error as "!! id args".
std::string load(std::string_view text) {
  try {
    cell b;
    lexer::load_text_block(text, &b);
    return describe_series(&b);
  } catch (const language_error&) {
    return describe_error();
  }
}

std::string map_text(const cell* v) {
  cell b = *v;
  set_type(&b, type::block);
  return "#[" + describe_series(&b) + "]";
}

struct load_case {
  std::string text;
  std::string expected;
};

void check(const std::vector<load_case>& cases) {
  for (const load_case& c : cases) EXPECT_EQ(load(c.text), c.expected) << "input: " << c.text;
}

TEST_F(Lexer, BlanksCommentsAndStructure) {
  check({
      {"", ""},
      {"  \t\r\n ; a comment\n;another", ""},
      {"\x01\x02 a", "a"},
      {"a b c", "a b c"},
      {"[a [b] (c)] []", "[a [b] (c)] []"},
      {"[a\n  b]\nc", "[a |b] |c"},
      {"[\n]", "[]"},
      {"(a b) ()", "(a b) ()"},
      {"a;comment\nb", "a |b"},
  });
}

TEST_F(Lexer, Words) {
  check({
      {"a: :a 'a /a #a", "a: :a 'a /a #a"},
      {"+ - / // % < <= <> = == => > >= <<", "+ - / // % < <= <> = == => > >= <<"},
      {"a-b? a* *a* a|b ~x !x _x", "a-b? a* *a* a|b ~x !x _x"},
      {"'+ :- /: <: %:", "'+ :- /: <: %:"},
      {"ABC ffh AF12 e E ex", "ABC ffh AF12 e E ex"},
      {"été ça", "été ça"},
      {"a\xC2\xA0" "b", "a b"},
      {"\xE3\x80\x80", ""},
      {"\xE2\x80\x8B" "a\xE2\x80\x80", "a"},
      {"a\xE2\x80\xA8" "b:", "a b:"},
  });
}

TEST_F(Lexer, Paths) {
  check({
      {"a/b a/b/c 'a/b :a/b a/b:", "a/b a/b/c 'a/b :a/b a/b:"},
      {"a/1/(b c)/\"s\"/:d/e:", "a/1/(b/c)/\"s\"/:d/e:"},
      {"[a/b] (a/b)", "[a/b] (a/b)"},
      {"a/b ;c", "a/b"},
      {"a/#\"c\"/$1/<t>/x@y", "a/#\"c\"/$1.00000/<t>/email:x@y"},
      {"a/#x a/@r", "a/#x a/@r"},
      {"a/#(none)", "a/none"},
      {"+/a =/b ./c", "+/a =/b ./c"},
      {"a/1.5/2x3", "a/f:1.5/2x3"},
  });
}

TEST_F(Lexer, Strings) {
  check({
      {"\"abc\" \"\"", "\"abc\" \"\""},
      {"\"a^/b^-c^^d^\"e\"", "\"a\nb\tc^d\"e\""},
      {"\"^(41)^(line)^(tab)^(NULL)^(esc)^(back)^(page)^(del)\"",
       std::string("\"A\n\t\0\x1B\x08\x0C\x7F\"", 10)},
      {"\"^a^Z^[^@^~\"", std::string("\"\x01\x1A\x1B\0\x7F\"", 7)},
      {"\"é^(1F600)\"", "\"é\xF0\x9F\x98\x80\""},
      {"\"^(00E9)\"", "\"é\""},
      {"\"a^\nb\"", "\"a\nb\""},
      {"{a {b} c} {a ^} b} {a^}b} {}", "\"a {b} c\" \"a } b\" \"a}b\" \"\""},
      {"{line1\nline2} x", "\"line1\nline2\" x"},
      {"%{a}b}% %%{x}%% %%{a}% b}%% %{}%", "\"a}b\" \"x\" \"a}% b\" \"\""},
      {"%{a^/b}%", "\"a^/b\""},
  });
}

TEST_F(Lexer, EscapedNullIsKept) {
  cell b;
  lexer::load_text_block("\"a^(null)b^@c\"", &b);
  const cell* s = block::rs_head(&b);
  EXPECT_EQ(string::to_utf8(s), std::string("a\0b\0c", 5));
}

TEST_F(Lexer, NumberValues) {
  check({
      {"0 1 -1 +5 007 1'000'000 -0", "0 1 -1 5 7 1000000 0"},
      {"2147483647 2147483648 -2147483648 -2147483649 12345678901",
       "2147483647 f:2147483648 -2147483648 f:-2147483649 f:12345678901"},
      {"FFh 7FFFFFFFh FFFFFFFFh 0Ah 12h 00000000h", "255 2147483647 -1 10 18 0"},
      {"1.5 .5 -.5 +.5 1. 1e10 1.5E-3 1E5 1'000.5 0.1", "f:1.5 f:0.5 f:-0.5 f:0.5 f:1 "
       "f:10000000000 f:0.0015 f:100000 f:1000.5 f:0.10000000000000001"},
      {"50% 1.5% -2% 100%", "p:0.5 p:0.014999999999999999 p:-0.02 p:1"},
      {"1.#INF -1.#inf 1.#NaN +1.#inf", "f:inf f:-inf f:nan f:inf"},
      {"1E5;c", "f:100000"},
  });
}

TEST_F(Lexer, CompositeScalars) {
  check({
      {"1.2.3 255.0.0.128 1.2.3.4.5.6.7.8.9.10.11.12",
       "1.2.3 255.0.0.128 1.2.3.4.5.6.7.8.9.10.11.12"},
      {"1x2 -1x-2 10X20 +3x+4", "1x2 -1x-2 10x20 3x4"},
      {"(1, 2) (1.5, -2, 3) ( 1 , 2 ) (1.#INF, 0)", "(1, 2) (1.5, -2, 3) (1, 2) (inf, 0)"},
      {"(1 + 2)", "(1 + 2)"},
      {"(a, b)", "!! invalid (line 1) dt:float! a, b)"},
      {"(pi , 2)", "!! invalid (line 1) dt:point2D! )"},
      {"(pi, 2)", "!! invalid (line 1) dt:word! pi, 2)"},
      {"(x 1'0, 2)", "!! invalid (line 1) dt:point2D! , 2)"},
      {"(1'0, 2) (1'0, 2, 3)", "(10, 2) (10, 2, 3)"},
      {"12:30 -1:00 1:30:15.5 1:30.5 0:75 100:00:00", "t:45000 t:-3600 t:5415.5 t:90.5 t:4500 "
       "t:360000"},
  });
}

TEST_F(Lexer, Money) {
  check({
      {"$1.50 -$1 USD$1'000.00 $0.00001 usd$2 $0", "$1.50000 -$1.00000 c155$1000.00000 "
       "$0.00001 c155$2.00000 $0.00000"},
      {"$99999999999999999.99999", "$99999999999999999.99999"},
      {"$000000000000000000001", "$1.00000"},
  });
}

TEST_F(Lexer, Dates) {
  check({
      {"1-Jan-2000 1/jan/2000 2000-01-01 2000/1/1 1-January-2000 1-janu-2000",
       "d:2000-1-1 d:2000-1-1 d:2000-1-1 d:2000-1-1 d:2000-1-1 d:2000-1-1"},
      {"2000-W01-1 2000-W01 2004-W53-7 2000-001 2000-366", "d:2000-1-3 d:2000-1-3 d:2005-1-2 "
       "d:2000-1-1 d:2000-12-31"},
      {"20000101T120000Z 20000101T1200+0130 20000101T120000.5", "d:2000-1-1/43200 "
       "d:2000-1-1/37800+1:30 d:2000-1-1/43200.5"},
      {"1-Jan-99 1-Jan-49 1-Jan-0049 29-Feb-2000", "d:1999-1-1 d:2049-1-1 d:49-1-1 d:2000-2-29"},
      {"1-Jan-2000/10:30 1-Jan-2000/10:30:15.5 2000-01-01T10:30Z",
       "d:2000-1-1/37800 d:2000-1-1/37815.5 d:2000-1-1/37800"},
      {"1-Jan-2020/1:00+2:00 1-Jan-2020/1:00-5 1-Jan-2020/1:00-0:30",
       "d:2020-1-1/-3600+2:0 d:2020-1-1/21600-5:0 d:2020-1-1/5400-0:30"},
      {"5/Jan/-0044 -0044-01-05", "d:-44-1-5 d:-44-1-5"},
  });
}

TEST_F(Lexer, OtherTextValues) {
  check({
      {"#\"a\" #\"^(41)\" #\"^(line)\" #\"é\" #\"^\"\" #\"^^\"",
       "#\"a\" #\"A\" #\"U+000A\" #\"U+00E9\" #\"\"\" #\"^\""},
      {"%foo.txt %\"a b\" %a%20b %dir/ %\"\" % %a^b", "%\"foo.txt\" %\"a b\" %\"a b\" %\"dir/\" "
       "%\"\" % %\"a^b\""},
      {"%%C3%A9 %%41 %%C3x %%", "%\"é\" %\"A\" %\"%C3x\" %%"},
      {"http://a.b/c?x=1 mailto:x a:b http://x/%20y", "url:http://a.b/c?x=1 url:mailto:x "
       "url:a:b url:http://x/ y"},
      {"a@b.c x@y @name @", "email:a@b.c email:x@y @name @"},
      {"<a b> <a '>' c> <a \">\"> <a^/>", "<a b> <a '>' c> <a \">\"> <a\n>"},
      {"#{0A0b} 16#{0A} 64#{AQID} 2#{00000001 11111111} #{} #{0A ;c\n 0B} 64#{AQ==}",
       "#{0A0B} #{0A} #{010203} #{01FF} #{} #{0A0B} #{01}"},
      {"#(none) #(NONE) #(true) #(false) #(unset) #(integer!) #(Integer) #(point2D!)",
       "none none true false unset dt:integer! dt:integer! dt:point2D!"},
      {"#[a 1 \"b\" 2] #[]", "?map! ?map!"},
  });
}

TEST_F(Lexer, MapLiterals) {
  cell b;
  lexer::load_text_block("#[a 1 \"b\" [2]\n c 3 a 4] #[]", &b);
  const cell* m = block::rs_head(&b);
  // A repeated key keeps its place; word keys are stored as set-words.
  EXPECT_EQ(map_text(m), "#[a: 4 \"b\" [2] c: 3]");
  EXPECT_EQ(hashtable::live_count(m->data3), 3u);
  EXPECT_EQ(map_text(m + 1), "#[]");
}

TEST_F(Lexer, SyntaxErrors) {
  check({
      {"1''0", "!! invalid (line 1) dt:integer! 1''0"},
      {"2.#INF", "!! invalid (line 1) dt:float! 2.#INF"},
      {"1.e5", "!! invalid (line 1) dt:float! 1.e5"},
      {"Fh", "!! invalid (line 1) dt:word! Fh"},
      {"1h", "!! invalid (line 1) dt:integer! 1h"},
      {"123456789h", "!! invalid (line 1) dt:integer! 123456789h"},
      {"256.1.1", "!! invalid (line 1) dt:tuple! 256.1.1"},
      {"1.2.3.4.5.6.7.8.9.10.11.12.13", "!! invalid (line 1) dt:tuple! 1.2.3.4.5.6.7.8.9.10.11.12.13"},
      {"1.2..3", "!! invalid (line 1) dt:tuple! 1.2..3"},
      {"1.5x2", "!! invalid (line 1) dt:pair! 1.5x2"},
      {"#(foo)", "!! malconstruct (line 1) #(foo)"},
      {"#(integer!!)", "!! malconstruct (line 1) #(integer!!)"},
      {"#\"\" ", "!! invalid (line 1) dt:char! #\"\" "},
      {"#\"ab\"", "!! invalid (line 1) dt:char! #\"ab\""},
      {"#\"^(110000)\"", "!! invalid (line 1) dt:char! #\"^(110000)\""},
      {"%%{x}%", "!! invalid (line 1) dt:string! %%{x}%"},
      {"%{x}%%", "!! invalid (line 1) dt:string! %{x}%%"},
      {"8#{01}", "!! invalid (line 1) dt:binary! 8#{01}"},
      {"#{0}", "!! invalid (line 1) dt:binary! #{0}"},
      {"64#{AQI}", "!! invalid (line 1) dt:binary! 64#{AQI}"},
      {"2#{0101}", "!! invalid (line 1) dt:binary! 2#{0101}"},
      {"30-Feb-2000", "!! invalid (line 1) dt:date! 30-Feb-2000"},
      {"29-Feb-1900", "!! invalid (line 1) dt:date! 29-Feb-1900"},
      {"1-Foo-2000", "!! invalid (line 1) dt:date! 1-Foo-2000"},
      {"1-Jan-2000/24:00", "!! invalid (line 1) dt:date! 1-Jan-2000/24:00"},
      {"2000-W01-8", "!! invalid (line 1) dt:date! 2000-W01-8"},
      {"2000-000", "!! invalid (line 1) dt:date! 2000-000"},
      {"1-1/2000", "!! invalid (line 1) dt:date! 1-1/2000"},
      {"US$1", "!! invalid (line 1) dt:money! US$1"},
      {"XYZ$1", "!! invalid (line 1) dt:money! XYZ$1"},
      {"$1.123456", "!! invalid (line 1) dt:money! $1.123456"},
      {"$123456789012345678", "!! invalid (line 1) dt:money! $123456789012345678"},
      {"$1''0", "!! invalid (line 1) dt:money! $1''0"},
      {"12:30:", "!! invalid (line 1) dt:time! 12:30:"},
      {"12:3e", "!! invalid (line 1) dt:time! 12:3e"},
      {"'a:", "!! invalid (line 1) dt:lit-word! 'a:"},
      {":a:", "!! invalid (line 1) dt:word! :a:"},
      {":a:b", "!! invalid (line 1) dt:get-word! :a:b"},
      {"#", "!! invalid (line 1) dt:issue! #"},
      {"# a", "!! invalid (line 1) dt:issue! # a"},
      {"\"abc\ndef\"", "!! invalid (line 1) dt:string! \"abc"},
      {"\"abc", "!! invalid (line 1) dt:string! \"abc"},
      {"\"a\xFF" "b\"", "!! invalid (line 1) dt:string! \"a\xEF\xBF\xBD" "b\""},
      {"\"a\x80\"", "!! invalid (line 1) dt:string! \"a\xEF\xBF\xBD\""},
      {"\"\xE9t\xE9\"", "!! invalid (line 1) dt:string! \"\xEF\xBF\xBDt\xEF\xBF\xBD\""},
      {"\"^(12345678)\"", "!! invalid (line 1) dt:string! \"^(12345678)\""},
      {"\"^(foo)\"", "!! invalid (line 1) dt:string! \"^(foo)\""},
      {"\xC0", "!! bad-char (line 1) \xEF\xBF\xBD"},
      {"a\x80", "!! invalid (line 1) dt:word! a\xEF\xBF\xBD"},
      {"; comment \xFF", "!! bad-char (line 1) ; comment \xEF\xBF\xBD"},
      {"}", "!! bad-char (line 1) }"},
      {"a\\b", "!! bad-char (line 1) \\b"},
      {std::string("a\0b", 3), "!! bad-char (line 1) " + std::string("\0b", 2)},
      {"(1, 2", "!! invalid (line 1) dt:point2D! 1, 2"},
      {"1, 2", "!! invalid (line 1) dt:point2D! , 2"},
      {"(1, 2, 3, 4)", "!! invalid (line 1) dt:point3D! 1, 2, 3, 4)"},
      {"(1, , 2)", "!! invalid (line 1) dt:point2D! 1, , 2)"},
      {"(1, 2) [", "!! missing (line 1) #\"]\" ["},
  });
}

TEST_F(Lexer, NestingErrors) {
  check({
      {"[a (b]", "!! missing (line 1) #\")\" ]"},
      {"[a)", "!! missing (line 1) #\"]\" )"},
      {"a]", "!! missing (line 1) #\"[\" ]"},
      {"a)", "!! missing (line 1) #\"(\" )"},
      {"[a", "!! missing (line 1) #\"]\" [a"},
      {"[a\n(b", "!! missing (line 2) #\")\" (b"},
      {"#[a", "!! missing (line 1) #\"]\" #[a"},
      {"{abc", "!! missing (line 1) #\"}\" {abc"},
      {"x {a\n{b}\nc", "!! missing (line 1) #\"}\" {a"},
      {"#[a 1 b]", "!! invalid (line 1) dt:map! ]"},
      {"#[a 1 [b] 2]", "!! invalid (line 1) dt:map! ]"},
      {"a/", "!! bad-char (line 1) a/"},
      {"a/b:c", "!! bad-char (line 1) a/b:c"},
      {"a/b:/c", "!! bad-char (line 1) a/b:/c"},
      {"'a/b:", "!! bad-char (line 1) 'a/b:"},
      {"a/(b", "!! missing (line 1) #\")\" (b"},
      {"a/b$", "!! bad-char (line 1) a/b$"},
      {"a//b", "!! bad-char (line 1) a//b"},
      {"[(1, [2])]", "!! invalid (line 1) dt:point2D! 1, [2])]"},
      {"(pi , [b])", "!! invalid (line 1) dt:point2D! [b])"},
  });
}

TEST_F(Lexer, LineNumbers) {
  check({
      {"a\n\n1''0", "!! invalid (line 3) dt:integer! 1''0"},
      {"[\na\n] {x\ny} 1''0", "!! invalid (line 4) dt:integer! 1''0"},
      {"; one\n; two\n\"x", "!! invalid (line 3) dt:string! \"x"},
      {"a\r\nb\r\n#(c)", "!! malconstruct (line 3) #(c)"},
      {"%{a\nb}% $x", "!! invalid (line 2) dt:money! $x"},
      {"#{0A\n0B} 1h", "!! invalid (line 2) dt:integer! 1h"},
  });
}

TEST_F(Lexer, NearTextIsCut) {
  // At a line feed, at 30 bytes, and never inside a character.
  EXPECT_EQ(load("1''0 a\nb"), "!! invalid (line 1) dt:integer! 1''0 a");
  EXPECT_EQ(load("\"" + std::string(40, 'x')),
            "!! invalid (line 1) dt:string! \"" + std::string(29, 'x'));
  EXPECT_EQ(load("\"" + std::string(28, 'x') + "é\xFF"),
            "!! invalid (line 1) dt:string! \"" + std::string(28, 'x'));
}

// The readers of the conversions from text take units of any width.
std::vector<uint8_t> units_of(std::string_view ascii, uint32_t unit) {
  std::vector<uint8_t> out(ascii.size() * unit);
  for (size_t i = 0; i < ascii.size(); ++i) string::put_char(&out[i * unit], unit, uint8_t(ascii[i]));
  return out;
}

TEST_F(Lexer, NumberHelpersReadAnyUnitWidth) {
  for (uint32_t unit : {1u, 2u, 4u}) {
    int32_t err;
    auto u = units_of("-2'147'483'648", unit);
    EXPECT_EQ(lexer::scan_integer(u.data(), 14, unit, err), INT32_MIN);
    EXPECT_EQ(err, 0);
    u = units_of("2147483648", unit);
    lexer::scan_integer(u.data(), 10, unit, err);
    EXPECT_EQ(err, lexer::scan_invalid);
    u = units_of("+", unit);
    lexer::scan_integer(u.data(), 1, unit, err);
    EXPECT_EQ(err, lexer::scan_no_digits);
    u = units_of("1'000,25", unit);
    EXPECT_EQ(lexer::text_to_float(u.data(), 8, unit, err), 1000.25);
    EXPECT_EQ(err, 0);
    u = units_of("1.e5", unit);
    EXPECT_TRUE(std::isnan(lexer::text_to_float(u.data(), 4, unit, err)));
    EXPECT_EQ(err, lexer::scan_invalid);
    cell c;
    u = units_of("1.2.3.4", unit);
    ASSERT_TRUE(lexer::scan_tuple(u.data(), 7, unit, &c));
    EXPECT_EQ(describe(&c), "1.2.3.4");
    u = units_of("-EUR$1,5", unit);
    ASSERT_TRUE(lexer::text_to_money(u.data(), 8, unit, &c));
    EXPECT_EQ(describe(&c), "-c47$1.50000");
    u = units_of("ABC$1", unit);
    EXPECT_FALSE(lexer::text_to_money(u.data(), 5, unit, &c));
  }
  int32_t err;
  uint8_t wide[4] = {0xE9, 0, '1', 0};  // a non-ASCII character is never a digit
  lexer::scan_integer(wide, 2, 2, err);
  EXPECT_EQ(err, lexer::scan_invalid);
}

// ---------------------------------------------------------------------------------------------
// Modes

std::string scan_mode(std::string_view text, bool prescan) {
  lexer::scan_options o;
  o.prescan = prescan;
  o.scan = !prescan;
  cell out;
  lexer::scan_utf8(text, o, &out);
  return describe(&out);
}

TEST_F(Lexer, ScanModesNameTheFirstValue) {
  struct {
    const char* text;
    const char* prescan;
    const char* scan;
  } cases[] = {
      {"", "none", "none"},
      {"; only a comment", "none", "none"},
      {"abc def", "dt:word!", "dt:word!"},
      {"a:", "dt:set-word!", "dt:set-word!"},
      {"12", "dt:integer!", "dt:integer!"},
      {"2147483648", "dt:integer!", "dt:float!"},
      {"1''0", "dt:integer!", "dt:error!"},
      {"256.0.0", "dt:tuple!", "dt:error!"},
      {"[a 1''0]", "dt:block!", "dt:error!"},
      {"[a b] c", "dt:block!", "dt:block!"},
      {"\"abc", "dt:error!", "dt:error!"},
      {"(1, 2)", "dt:point2D!", "dt:point2D!"},
      {"(1, 2, 3)", "dt:point2D!", "dt:point3D!"},
      {"a/b", "dt:path!", "dt:path!"},
      {"a/b: 1", "dt:set-path!", "dt:set-path!"},
      {"#(none)", "dt:none!", "dt:none!"},
      {"{abc}", "dt:string!", "dt:string!"},
      {"[a", "dt:error!", "dt:error!"},
      {"]", "dt:error!", "dt:error!"},
      {"#[a 1]", "dt:map!", "dt:map!"},
  };
  for (auto& c : cases) {
    EXPECT_EQ(scan_mode(c.text, true), c.prescan) << "prescan: " << c.text;
    EXPECT_EQ(scan_mode(c.text, false), c.scan) << "scan: " << c.text;
  }
}

TEST_F(Lexer, OneValueModeStopsAfterTheValue) {
  struct {
    const char* text;
    const char* value;
    size_t used;
  } cases[] = {
      {"1 2 3", "1", 1},
      {"  [a [b]] c", "[a [b]]", 9},
      {"a/b/c d", "a/b/c", 5},
      {"a/b: 1", "a/b:", 4},
      {"{x {y}} z", "\"x {y}\"", 7},
      {"; c\n", "none", 4},
      {"", "none", 0},
  };
  for (auto& c : cases) {
    lexer::scan_options o;
    o.one = true;
    cell out;
    size_t used = lexer::scan_utf8(c.text, o, &out);
    EXPECT_EQ(describe(&out), c.value) << c.text;
    EXPECT_EQ(used, c.used) << c.text;
  }
}

TEST_F(Lexer, IntoAppendsToTheGivenBlock) {
  cell into;
  lexer::load_text_block("x", &into);
  lexer::scan_options o;
  o.into = &into;
  cell out;
  lexer::scan_utf8("1 [2]", o, &out);
  EXPECT_EQ(describe(&out), "[x 1 [2]]");
  EXPECT_EQ(out.data2, into.data2);
}

cell make_string(std::string_view utf8) {
  cell s;
  string::make_at(&s, uint32_t(utf8.size()));
  string::append_utf8(string::node_of(&s), utf8);
  return s;
}

cell make_binary(std::string_view bytes) {
  node_t node = memory::alloc_bytes(uint32_t(bytes.size()));
  series_buffer* b = memory::buffer_of(node);
  std::memcpy(b->tail_rw(), bytes.data(), bytes.size());
  b->tail += uint32_t(bytes.size());
  return cell{type::binary, 0, node, 0};
}

TEST_F(Lexer, TranscodeReadsStringsAndBinaries) {
  lexer::scan_options all;
  cell out;

  cell s = make_string("été [ça] \"é\"");
  uint32_t next = lexer::transcode(&s, -1, all, &out);
  EXPECT_EQ(describe(&out), "[été [ça] \"é\"]");
  EXPECT_EQ(next, 12u);

  // /part counts characters of a string, bytes of a binary.
  lexer::transcode(&s, 3, all, &out);
  EXPECT_EQ(describe(&out), "[été]");
  cell bin = make_binary("\xEF\xBB\xBF" "abc def");
  lexer::transcode(&bin, 6, all, &out);
  EXPECT_EQ(describe(&out), "[abc]");

  // /next: the index after the value, in characters or bytes.
  lexer::scan_options one;
  one.one = true;
  next = lexer::transcode(&s, -1, one, &out);
  EXPECT_EQ(describe(&out), "été");
  EXPECT_EQ(next, 3u);
  cell bs = make_binary("été x");
  next = lexer::transcode(&bs, -1, one, &out);
  EXPECT_EQ(next, 5u);

  // From the source's index.
  s.data1 = 4;
  lexer::transcode(&s, -1, all, &out);
  EXPECT_EQ(describe(&out), "[[ça] \"é\"]");
  bin.data1 = 3;
  lexer::transcode(&bin, -1, all, &out);
  EXPECT_EQ(describe(&out), "[abc def]");
}

// ---------------------------------------------------------------------------------------------
// Trace callback

struct trace_log {
  std::vector<std::string> events;
  bool refuse_errors = false;
  int move_on_error = 0;     // units to move the input on an error
  std::string refuse_event;  // answer false to this event
  int nested = 0;            // transcode again inside the callback
};
trace_log* active_log = nullptr;

bool test_trace(const cell*, cell args[5]) {
  trace_log& log = *active_log;
  std::string event(symbol::spelling(args[0].data2));
  std::string entry = event + " " + describe(&args[2]) + " " + std::to_string(args[3].data2) +
                      " " + describe(&args[4]) + " @" + std::to_string(args[1].data1);
  log.events.push_back(entry);
  if (log.nested > 0) {
    --log.nested;
    cell inner;
    lexer::load_text_block("nested [x]", &inner);
    log.events.push_back("inner " + describe(&inner));
  }
  if (event == "error") {
    args[1].data1 += uint32_t(log.move_on_error);
    return !log.refuse_errors;
  }
  return event != log.refuse_event;
}

uint32_t only_errors(const cell*) { return lexer::event::error; }

class LexerTrace : public Lexer {
 protected:
  void SetUp() override {
    lexer::hooks.call_trace = test_trace;
    lexer::hooks.event_mask = nullptr;
    // Tokens of no datatype report none, whether or not a booted library installed its words.
    saved_class_word = lexer::hooks.class_word;
    lexer::hooks.class_word = nullptr;
    active_log = &log;
  }
  void TearDown() override {
    lexer::hooks.call_trace = nullptr;
    lexer::hooks.event_mask = nullptr;
    lexer::hooks.class_word = saved_class_word;
    active_log = nullptr;
  }
  bool (*saved_class_word)(uint32_t, cell*) = nullptr;
  std::string traced(std::string_view text) {
    cell fn{type::none, 0, 0, 0};  // the test hook ignores the function
    lexer::scan_options o;
    o.trace = &fn;
    cell source = make_string(text), out;
    try {
      lexer::transcode(&source, -1, o, &out);
      return describe(&out);
    } catch (const language_error&) {
      return describe_error();
    }
  }
  trace_log log;
};

// A trace function! called through the interpreter (the default of the hook).
cell trace_function(std::string_view body_text) {
  cell spec, body, fn;
  lexer::load_text_block("event input type line token", &spec);
  lexer::load_text_block(body_text, &body);
  cell* held = stack::push(&spec);
  stack::push(&body);
  cell inner = *block::rs_head(&body);
  function::make_value(&fn, held, &inner, 0, 0, 0);
  stack::top = held;
  return fn;
}

TEST_F(Lexer, TraceFunctionsNameTheirEventsAtTheHeadOfTheirBody) {
  struct {
    const char* body;
    uint32_t mask;
  } cases[] = {
      {"[[error] true]", lexer::event::error},
      {"[[load Open 'x 1] true]", lexer::event::load | lexer::event::open},
      {"[true]", lexer::event::all},
      {"[]", lexer::event::all},
  };
  for (auto& c : cases) {
    cell fn = trace_function(c.body);
    EXPECT_EQ(lexer::callback_event_mask(&fn), c.mask) << c.body;
  }
}

TEST_F(Lexer, TraceFunctionsRunThroughTheInterpreter) {
  cell fn = trace_function("[[load] #(false)]");
  cell* held = stack::push(&fn);
  lexer::scan_options o;
  o.trace = held;
  cell out;
  lexer::scan_utf8("a [b (c)] \"d\"", o, &out);
  EXPECT_EQ(describe(&out), "[[()]]");

  // An error the function lets through is raised; its arguments are the function's values.
  *held = trace_function("[[error] input: token #(true)]");
  EXPECT_THROW(lexer::scan_utf8("a 1''0", o, &out), language_error);
  EXPECT_EQ(describe_error(), "!! invalid (line 1) dt:integer! 1''0");

  // Refused, the input left unmoved: the scan goes on after the bad token.
  *held = trace_function("[[error] input: token #(false)]");
  lexer::scan_utf8("a 1''0 b", o, &out);
  EXPECT_EQ(describe(&out), "[a b]");
  stack::top = held;
}

TEST_F(LexerTrace, EventsCarryTypeLineAndToken) {
  EXPECT_EQ(traced("a\n[1]"), "[a |[1]]");
  std::vector<std::string> expected = {
      "prescan dt:word! 1 1x2 @0",      "scan dt:word! 1 1x2 @0",
      "load dt:word! 1 a @0",           "prescan none 2 3x4 @2",
      "open dt:block! 2 3x4 @2",        "prescan dt:integer! 2 4x5 @3",
      "scan dt:integer! 2 4x5 @3",      "load dt:integer! 2 1 @3",
      "prescan none 2 5x6 @4",          "close dt:block! 2 5x6 @4",
  };
  EXPECT_EQ(log.events, expected);
}

TEST_F(LexerTrace, OffsetsCountCharactersOfStrings) {
  EXPECT_EQ(traced("é ; c\nx"), "[é |x]");
  EXPECT_EQ(log.events[2], "load dt:word! 1 é @0");
  EXPECT_EQ(log.events[3], "prescan none 1 3x6 @2");  // the comment, no datatype
  EXPECT_EQ(log.events[4], "scan none 1 3x6 @2");
  EXPECT_EQ(log.events[5], "prescan dt:word! 2 7x8 @6");
}

TEST_F(LexerTrace, RefusedErrorsAreSkipped) {
  lexer::hooks.event_mask = only_errors;
  log.refuse_errors = true;
  log.move_on_error = 1;
  // 1''0 fails, then ''0 and '0 as words, each moved one on, until 0 loads.
  EXPECT_EQ(traced("a 1''0 b c"), "[a 0 b c]");
  ASSERT_EQ(log.events.size(), 3u);
  EXPECT_EQ(log.events[0], "error dt:integer! 1 3x7 @2");
}

TEST_F(LexerTrace, ARefusingCallbackThatDoesNotMoveStillProgresses) {
  lexer::hooks.event_mask = only_errors;
  log.refuse_errors = true;
  EXPECT_EQ(traced("a } \"x\n b"), "[a |b]");
}

TEST_F(LexerTrace, AcceptedErrorsAreRaised) {
  lexer::hooks.event_mask = only_errors;
  EXPECT_EQ(traced("a\n1''0"), "!! invalid (line 2) dt:integer! 1''0");
  ASSERT_EQ(log.events.size(), 1u);
  EXPECT_EQ(log.events[0], "error dt:integer! 2 3x7 @2");
}

TEST_F(LexerTrace, FalseAnswersDropTokensAndValues) {
  log.refuse_event = "load";
  EXPECT_EQ(traced("a [b] c"), "[[]]");
  log.refuse_event = "prescan";
  EXPECT_EQ(traced("a b"), "[]");
}

TEST_F(LexerTrace, TheEndOfInputMissingErrorCannotBeRefused) {
  lexer::hooks.event_mask = only_errors;
  log.refuse_errors = true;
  EXPECT_EQ(traced("[a"), "!! missing (line 1) #\"]\" [a");
}

TEST_F(LexerTrace, NestedScansShareTheValueBuffer) {
  log.nested = 2;
  EXPECT_EQ(traced("a [b c]"), "[a [b c]]");
  EXPECT_EQ(log.events[1], "inner [nested [x]]");
  EXPECT_EQ(log.events[3], "inner [nested [x]]");
}

TEST_F(LexerTrace, RawStringsAndBraceStringsOpenAndClose) {
  EXPECT_EQ(traced("{a {b}}"), "[\"a {b}\"]");
  EXPECT_EQ(log.events.front(), "prescan none 1 1x2 @0");
  EXPECT_EQ(log.events[1], "open dt:string! 1 1x2 @0");
  EXPECT_EQ(log.events.back(), "close dt:string! 1 1x8 @0");
}

// ---------------------------------------------------------------------------------------------
// Collector

TEST_F(Lexer, LoadedValuesSurviveCollections) {
  // Enough values to grow the value buffer many times, with a collection every few allocations.
  std::string text;
  for (int i = 0; i < 800; ++i) text += "[\"s" + std::to_string(i) + "\" w" + std::to_string(i % 7) + " #{0A}] ";
  bool was = collector::active();
  collector::set_active(true);
  collector::set_torture(13, true);
  cell b;
  lexer::load_text_block(text, &b);
  cell* held = stack::push(&b);
  collector::collect();
  collector::set_torture(0, false);
  collector::set_active(was);
  series_buffer* s = block::buffer_of(held);
  ASSERT_EQ(s->length(), 800u);
  EXPECT_EQ(describe(s->cells() + 799), "[\"s799\" w1 #{0A}]");
  stack::top--;
}

}  // namespace
}  // namespace kaz
