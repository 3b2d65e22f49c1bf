// String storage: units and widening, positions, writing and removing, concatenation, loading
// encoded input, comparison and the parse matchers.
#include <cmath>
#include <cstring>

#include "../datatypes/string_test_support.h"
#include "core/actions.h"
#include "core/error.h"

namespace kaz {
namespace {

using StringStorage = testing::string_test;

TEST_F(StringStorage, AppendingWidensOnlyWhenNeeded) {
  cell* s = text("ab");
  EXPECT_EQ(unit_of(s), 1u);
  string::append_code_point(s->data2, 0x7F);
  EXPECT_EQ(unit_of(s), 1u);
  string::append_code_point(s->data2, 0xE9);  // appending 80h-FFh makes the text 2 bytes wide
  EXPECT_EQ(unit_of(s), 2u);
  string::append_code_point(s->data2, 0x1F600);
  EXPECT_EQ(unit_of(s), 4u);
  EXPECT_EQ(str(s), "ab\x7F\xC3\xA9\xF0\x9F\x98\x80");

  cell* t = text("xyz");
  string::overwrite_char(t->data2, 1, 0xE9);  // writing Latin-1 keeps 1 byte
  EXPECT_EQ(unit_of(t), 1u);
  string::insert_code_point(t->data2, 0, 0xFF);
  EXPECT_EQ(unit_of(t), 1u);
  EXPECT_EQ(str(t), "\xC3\xBFx\xC3\xA9z");
  string::overwrite_char(t->data2, 5, '!');  // past the tail: the tail follows, the gap is NUL
  EXPECT_EQ(string::length_from_head(t), 6u);
  EXPECT_EQ(string::char_at_absolute(t, 4), 0u);
  EXPECT_EQ(string::char_at_absolute(t, 5), uint32_t('!'));

  cell* u = wide("a\xE2\x82\xAC", 2);  // a and the euro sign
  string::write_code_point(u->data2, 0, 0x1F600);
  EXPECT_EQ(unit_of(u), 4u);
  EXPECT_EQ(str(u), "\xF0\x9F\x98\x80\xE2\x82\xAC");
}

TEST_F(StringStorage, HeadPastTheTailReadsAsEmpty) {
  cell* s = text("abcdef");
  s->data1 = 4;
  string::truncate_buffer(s->data2, 2);
  EXPECT_EQ(string::length_from_head(s), 0u);
  EXPECT_TRUE(string::at_tail_q(s));
  EXPECT_EQ(string::absolute_length(s), 2u);
  string::rs_head(s);
  EXPECT_EQ(s->data1, 2u);
  string::truncate_buffer(s->data2, 10);  // never extends
  EXPECT_EQ(string::absolute_length(s), 2u);
}

TEST_F(StringStorage, RemovingAndSearchingUnits) {
  cell* s = text("abcdef");
  string::remove_part(s->data2, 1, 2);
  EXPECT_EQ(str(s), "adef");
  string::remove_part(s->data2, 3, 10);
  EXPECT_EQ(str(s), "ade");
  string::remove_part(s->data2, 3, 1);  // at the tail: nothing
  string::remove_char_at(s->data2, 0);
  EXPECT_EQ(str(s), "de");
  EXPECT_EQ(string::index_of_char(s, 'e'), 1);
  EXPECT_EQ(string::index_of_char(s, 'E'), -1);
  EXPECT_TRUE(string::starts_with_c_string_q(s, "de"));
  EXPECT_FALSE(string::starts_with_c_string_q(s, "def"));

  cell* r = text("aXbYcX");
  EXPECT_TRUE(string::contains_char_skip_q(r, 'c', 2, false));
  EXPECT_FALSE(string::contains_char_skip_q(r, 'x', 2, false));  // X is never a record start
  EXPECT_TRUE(string::contains_char_skip_q(r, 'C', 1, false));
  EXPECT_FALSE(string::contains_char_skip_q(r, 'C', 1, true));
}

TEST_F(StringStorage, ConcatenateAppendsInsertsAndOverwrites) {
  cell* t = text("xy");
  cell* src = wide("ab\xC3\xA9", 2);
  string::concatenate(t, src, -1, 0, true, string::concat_mode::append);
  EXPECT_EQ(str(t), "xyab\xC3\xA9");
  EXPECT_EQ(unit_of(t), 2u);
  string::concatenate(t, src, 1, 1, true, string::concat_mode::insert);
  EXPECT_EQ(str(t), "xayab\xC3\xA9");
  t->data1 = 4;
  string::concatenate(t, src, -1, 1, true, string::concat_mode::overwrite);  // runs past the tail
  t->data1 = 0;
  EXPECT_EQ(str(t), "xayabab\xC3\xA9");

  // A narrower source is widened in place without the convert flag; its text stays.
  cell* narrow = text("pq");
  string::concatenate(t, narrow, -1, 0, false, string::concat_mode::append);
  EXPECT_EQ(unit_of(narrow), 2u);
  EXPECT_EQ(str(narrow), "pq");

  // Inserting a string into its own buffer, the source straddling the insertion point.
  cell* self = text("abcd");
  cell whole = *self;
  string::concatenate(self, &whole, -1, 2, true, string::concat_mode::insert);
  EXPECT_EQ(str(self), "ababcdcd");
}

TEST_F(StringStorage, ExchangeAndMoveParts) {
  cell* s = text("abcXY");
  string::exchange_parts(string::rs_head(s), 3, 2);
  EXPECT_EQ(str(s), "XYabc");
  cell* from = wide("12\xE2\x82\xAC", 2);
  cell* to = text("ab");
  to->data1 = 1;
  string::move_part(from, to, 2);
  EXPECT_EQ(str(from), "\xE2\x82\xAC");
  to->data1 = 0;
  EXPECT_EQ(str(to), "a12b");
}

TEST_F(StringStorage, CopiesUnitsWidening) {
  cell* s = text("abcdef");
  // Rebuilt in place: "ab" kept, then "def" copied after it, all in 4-byte units.
  string::copy_units_widening(s->data2, 0, 64, 4, 3, 2, -1, false);
  EXPECT_EQ(unit_of(s), 4u);
  EXPECT_EQ(str(s), "abdef");
  cell* t = text("xy");
  string::copy_units_widening(s->data2, t->data2, 0, 4, 2, 1, 4, true);  // "de" over "y"
  EXPECT_EQ(unit_of(t), 4u);  // the target takes the source's wider unit
  EXPECT_EQ(str(t), "xde");
}

TEST_F(StringStorage, DecodesInput) {
  const uint8_t bom[] = {0xEF, 0xBB, 0xBF};
  cell* empty = string::decode_input_push(bom, 3, string::encoding::utf8);
  EXPECT_EQ(string::length_from_head(empty), 0u);
  const uint8_t e_acute[] = {0xC3, 0xA9};
  cell* latin = string::decode_input_push(e_acute, 2, string::encoding::utf8);
  EXPECT_EQ(unit_of(latin), 1u);
  EXPECT_EQ(str(latin), "\xC3\xA9");
  const uint8_t pair[] = {0x3D, 0xD8, 0x00, 0xDE, 0x41, 0x00};  // U+1F600 and A, UTF-16LE
  cell* utf16 = string::decode_input_push(pair, 3, string::encoding::utf16le);
  EXPECT_EQ(unit_of(utf16), 4u);
  EXPECT_EQ(str(utf16), "\xF0\x9F\x98\x80" "A");
  const uint8_t bad[] = {'a', 0xED, 0xB0, 0x80};  // DC00h is malformed
  EXPECT_EQ(error_of([&] { string::decode_input_push(bad, 4, string::encoding::utf8); }),
            "invalid-utf8");
}

TEST_F(StringStorage, LoadingUtf8ReportsTheRestOfTheInput) {
  const uint8_t text[] = {'a', 'b', 0xFF, 'c', 'd'};
  try {
    string::load_utf8_binary(text, sizeof text);
    FAIL() << "no error";
  } catch (const language_error& e) {
    EXPECT_EQ(e.id, err::access_invalid_utf8);
    cell arg = *error::field_of(&error::in_flight, error::field::arg1);
    ASSERT_EQ(type_of(&arg), type::binary);
    series_buffer* b = string::buffer_of(&arg);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(b->head()), b->used_bytes()), "\xFF" "cd");
  }
  const uint8_t cut[] = {'a', 0xE2, 0x82};  // an incomplete euro sign at the end
  EXPECT_EQ(error_of([&] { string::load_utf8_binary(cut, 3); }), "invalid-utf8");
  cell* ok = string::load_utf8_binary(reinterpret_cast<const uint8_t*>("h\xC3\xA9"), 3);
  EXPECT_EQ(str(ok), "h\xC3\xA9");
}

TEST_F(StringStorage, ComparesUnderEveryOperation) {
  using namespace actions::op;
  struct {
    const char* a;
    const char* b;
    int32_t op;
    bool prefix;
    int expected;  // sign
  } cases[] = {
      {"abc", "ABC", equal, false, 0},
      {"abc", "ABC", strict_equal, false, 1},
      {"abc", "abcd", lesser, false, -1},
      {"abcd", "abc", greater, false, 1},
      {"abc", "abcd", equal, false, 1},
      {"", "", equal, false, 0},
      {"b", "", lesser, false, 1},
      {"", "a", lesser, false, -1},
      {"abcd", "ABC", equal, true, 0},
      {"ab", "abc", equal, true, 1},
      {"ab", "", equal, true, 0},
      {"ab", "", find, true, 1},
      {"Zeta", "alpha", sort, false, 1},
      {"Zeta", "alpha", case_sort, false, -1},
  };
  for (auto& c : cases) {
    int r = string::compare_strings(text(c.a), text(c.b), c.op, c.prefix);
    EXPECT_EQ((r > 0) - (r < 0), c.expected) << c.a << " " << c.b << " op " << c.op;
  }
  cell* s = text("abc");
  cell alias = *s;
  EXPECT_EQ(string::compare_strings(s, &alias, same, false), 0);
  EXPECT_EQ(string::compare_strings(s, text("abc"), same, false), -1);
}

TEST_F(StringStorage, CaseFoldingIsTheSameAtEveryWidth) {
  // Latin-1 text stored in 1, 2 and 4 bytes compares equal to its upper case in any width.
  for (uint32_t ua : {1u, 2u, 4u}) {
    for (uint32_t ub : {1u, 2u, 4u}) {
      cell* a = wide("\xC3\xA9t\xC3\xA9", ua);   // été
      cell* b = wide("\xC3\x89T\xC3\x89", ub);   // ÉTÉ
      EXPECT_EQ(string::compare_strings(a, b, actions::op::equal, false), 0) << ua << ub;
    }
  }
  EXPECT_EQ(string::fold(0xFF), 0x178u);  // ÿ folds to Ÿ, beyond Latin-1
  EXPECT_EQ(string::fold(0xDF), 0x53u);   // sharp s to S
  EXPECT_EQ(string::fold(0x10428), 0x10400u);
}

TEST_F(StringStorage, MatchersOfParse) {
  using namespace actions::op;
  cell* s = text("<b>Bold");
  cell* tag = text("B", type::tag);
  EXPECT_TRUE(string::tag_brackets_at_q(s, tag));
  EXPECT_TRUE(string::match_at_head_q(s, tag, equal));
  EXPECT_FALSE(string::match_at_head_q(s, tag, strict_equal));
  EXPECT_TRUE(string::match_at_head_q(s, text("<B>b"), equal));
  EXPECT_TRUE(string::match_at_head_q(s, ch('<'), strict_equal));
  EXPECT_FALSE(string::match_at_head_q(text(""), ch('<'), equal));
  EXPECT_FALSE(string::match_at_head_q(s, integer(60), equal));

  // A bitset of the characters a-c: bit (80h >> (c & 7)) of byte c >> 3.
  node_t bits = memory::alloc_bytes(13);
  series_buffer* b = memory::buffer_of(bits);
  std::memset(b->head_rw(), 0, 13);
  for (uint32_t c = 'a'; c <= 'c'; ++c) b->head_rw()[c >> 3] |= 0x80 >> (c & 7);
  b->tail = b->offset + 13;
  cell* set = value(cell{type::bitset, 0, bits, 0});
  EXPECT_TRUE(string::head_char_in_bitset_q(text("bz"), set));
  EXPECT_FALSE(string::head_char_in_bitset_q(text("zb"), set));
  EXPECT_FALSE(string::bitset_has(set, 0x2000));
  memory::buffer_of(bits)->flags |= series_flag::complement;  // beyond the bits: the flag
  EXPECT_TRUE(string::bitset_has(set, 0x2000));
}

TEST_F(StringStorage, HexDigits) {
  EXPECT_EQ(string::hex_byte(0x0A).view(), "0A");
  EXPECT_EQ(string::hex_int32(0x1E, false).view(), "0000001E");
  EXPECT_EQ(string::hex_int32(-1, false).view(), "FFFFFFFF");
  EXPECT_EQ(string::hex_int32(0x85, true).view(), "85");
  EXPECT_EQ(string::hex_int32(0x1F600, true).view(), "1F600");
  EXPECT_EQ(string::hex_int32(0, true).view(), "00");
  EXPECT_EQ(string::hex_int32(-16, true).view(), "0");  // digits until -1 remains
}

TEST_F(StringStorage, ScansFloats) {
  const char* t = "12.5e1";
  EXPECT_EQ(string::scan_float(reinterpret_cast<const uint8_t*>(t), 6), 125.0);
  EXPECT_TRUE(std::isnan(string::scan_float(reinterpret_cast<const uint8_t*>("1x"), 2)));
}

}  // namespace
}  // namespace kaz
