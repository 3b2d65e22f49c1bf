// Loading encoded text into string buffers, widening them, and encoding string values.
#include "memory/unicode_strings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "memory/unicode_units.h"
#include "runtime/fire.h"

using namespace kaz;
using namespace kaz::unicode;

namespace {

std::vector<uint8_t> bytes(const char* s) { return std::vector<uint8_t>(s, s + std::strlen(s)); }

std::u32string text_of(node_t n) {
  series_buffer* s = memory::buffer_of(n);
  std::u32string out;
  for (uint32_t i = 0; i < s->length(); ++i) out += char32_t(get_char(s->head() + i * s->unit(), s->unit()));
  return out;
}

node_t load(const std::vector<uint8_t>& b, node_t target = 0, size_t* rest = nullptr,
            bool crlf = false) {
  return utf8_decode_into_string(b.data(), b.size(), target, rest, crlf);
}

cell string_cell(node_t n) { return cell{type::string, 0, n, 0}; }

}  // namespace

TEST(UnicodeStrings, LoadingWidensAsWiderCharactersArrive) {
  node_t s = load(bytes("\xC3\xA9"));
  EXPECT_EQ(memory::buffer_of(s)->unit(), 1u);
  EXPECT_EQ(text_of(s), U"é");
  load(bytes("\xE4\xB8\x80"), s);  // a CJK character
  EXPECT_EQ(memory::buffer_of(s)->unit(), 2u);
  EXPECT_EQ(text_of(s), U"é一");
  load(bytes("\xF0\x9F\x98\x80"), s);
  EXPECT_EQ(memory::buffer_of(s)->unit(), 4u);
  EXPECT_EQ(text_of(s), U"é一😀");
  EXPECT_EQ(text_of(load(bytes("\xEF\xBB\xBF"))), U"");
  EXPECT_EQ(text_of(load(bytes("\xEF\xBB\xBFok"))), U"ok");
  EXPECT_EQ(text_of(load(bytes("a\r\nb\rc"), 0, nullptr, true)), U"a\nb\nc");
  EXPECT_EQ(text_of(load(bytes("\xED\xA0\x80"))), std::u32string(1, char32_t(0xD800)));
  // A long text grows its target as it needs.
  std::string big(5000, 'x');
  big += "\xE2\x82\xAC";
  node_t t = load(bytes("start"));
  load(std::vector<uint8_t>(big.begin(), big.end()), t);
  EXPECT_EQ(memory::buffer_of(t)->length(), 5006u);
  EXPECT_EQ(get_char(memory::buffer_of(t)->head() + 5005 * 2, 2), 0x20ACu);
}

TEST(UnicodeStrings, IncompleteAndMalformedInput) {
  size_t rest = 99;
  node_t s = load(bytes("a\xE2\x82"), 0, &rest);
  EXPECT_EQ(text_of(s), U"a");
  EXPECT_EQ(rest, 2u);
  struct Case {
    const char* in;
    std::vector<uint8_t> arg;
  } cases[] = {{"a\xE2\x82", {0xE2, 0x82}},
               {"\xED\xB0\x80z", {0xED, 0xB0, 0x80, 'z'}},
               {"ab\xEF\xBF\xBE", {0xEF, 0xBF, 0xBE}},
               {"\xC0\xAFxyz", {0xC0, 0xAF, 'x', 'y'}}};
  for (auto& c : cases) {
    try {
      utf8_load_new(reinterpret_cast<const uint8_t*>(c.in), std::strlen(c.in));
      ADD_FAILURE() << "no error for " << c.in;
    } catch (const language_error& e) {
      EXPECT_EQ(e.id, err::access_invalid_utf8);
    }
  }
}

TEST(UnicodeStrings, WideningKeepsOffsetAndText) {
  for (uint32_t to : {2u, 4u}) {
    node_t n = memory::new_series(40, 1, -1);  // head room: the text starts mid-buffer
    series_buffer* s = memory::buffer_of(n);
    for (int i = 0; i < 10; ++i) s->head_rw()[i] = uint8_t('a' + i);
    s->tail = s->offset + 10;
    s = widen_to(s, to);  // grows: the text moves, its offset with it
    EXPECT_EQ(s->unit(), to);
    EXPECT_EQ(s->offset % to, 0u);
    EXPECT_EQ(text_of(n), U"abcdefghij");
  }
  // Room enough: widened where it is, the offset scaled.
  node_t n = memory::alloc_units(64, 1);
  series_buffer* s = memory::buffer_of(n);
  s->offset = 2;
  std::memcpy(s->data_rw(), "..xyz", 5);
  s->tail = 5;
  s = widen_1_to_2(s);
  EXPECT_EQ(s->offset, 4u);
  EXPECT_EQ(s->tail, 10u);
  s = widen_2_to_4(s);
  EXPECT_EQ(s->unit(), 4u);
  EXPECT_EQ(text_of(n), U"xyz");
}

TEST(UnicodeStrings, Utf16Input) {
  struct Case {
    std::vector<uint16_t> in;
    bool drop_cr;
    std::u32string text;
    uint32_t unit;
  } cases[] = {
      {{0xD83D, 0xDE00}, false, U"😀", 4},
      {{0xD83D, 'A'}, false, std::u32string{char32_t(0xD83D), U'A'}, 2},
      {{'a', '\r', '\n'}, true, U"a\n", 1},
      {{}, false, U"", 2},
  };
  for (auto& c : cases) {
    std::vector<uint8_t> le;
    for (uint16_t u : c.in) {
      le.push_back(uint8_t(u));
      le.push_back(uint8_t(u >> 8));
    }
    node_t n = utf16_decode_into_string(le.data(), c.in.size(), nullptr, c.drop_cr);
    EXPECT_EQ(text_of(n), c.text);
    EXPECT_EQ(memory::buffer_of(n)->unit(), c.unit);
    // Into an existing value: its buffer takes the text, the head goes back to 0.
    cell v = string_cell(load(bytes("old text")));
    v.data1 = 3;
    node_t same = utf16_decode_into_string(le.data(), c.in.size(), &v, c.drop_cr);
    EXPECT_EQ(same, v.data2);
    EXPECT_EQ(v.data1, 0u);
    EXPECT_EQ(text_of(same), c.text);
  }
}

TEST(UnicodeStrings, EncodingThroughTheScratchBuffer) {
  cell v = string_cell(load(bytes("a\nb\xC3\xA9")));
  int32_t len = -1;
  const uint8_t* out = utf8_from_string(&v, &len, true);
  EXPECT_EQ(len, 6);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(out), 7), std::string("a\r\nb\xC3\xA9", 7));
  node_t scratch = v.data3;
  EXPECT_NE(scratch, 0u);
  len = 2;  // at most two units
  out = utf8_from_string(&v, &len);
  EXPECT_EQ(len, 2);
  EXPECT_NE(v.data3, scratch);  // a new buffer at every conversion
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(out)), "a\n");
  // Copies of one cell share data3: converting one leaves the other's result alone.
  cell copy = v;
  copy.data1 = 1;
  int32_t whole = -1, rest = -1;
  const uint8_t* first = utf8_from_string(&v, &whole);
  const uint8_t* second = utf8_from_string(&copy, &rest);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(first)), "a\nb\xC3\xA9");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(second)), "\nb\xC3\xA9");
  v.data1 = 3;  // from the head
  len = -1;
  out = utf8_from_string(&v, &len);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(out)), "\xC3\xA9");

  cell wide = string_cell(load(bytes("\xF0\x90\x80\x80\n")));
  int32_t count = -1;
  const uint16_t* u = utf16_from_string(&wide, &count, true);
  ASSERT_NE(u, nullptr);
  EXPECT_EQ(count, 4);
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(u), 5), std::u16string(u"\xD800\xDC00\r\n\0", 5));

  node_t bad = memory::alloc_units(2, 4);
  series_buffer* b = memory::buffer_of(bad);
  put_char(b->head_rw(), 4, 0x110000);
  b->tail = b->offset + 4;
  cell badv = string_cell(bad);
  count = -1;
  EXPECT_EQ(utf16_from_string(&badv, &count), nullptr);
  len = -1;
  EXPECT_THROW(utf8_from_string(&badv, &len), language_error);

  uint8_t room[8];
  cell euro = string_cell(load(bytes("ab\xE2\x82\xAC")));
  EXPECT_EQ(utf8_encode_bounded(&euro, room, 5, -1, true), 2u);  // the euro sign does not fit
  EXPECT_EQ(room[2], 0);
  EXPECT_EQ(utf8_encode_bounded(&euro, room, 5, -1, false), 5u);
  EXPECT_EQ(utf8_encode_bounded(&euro, room, 8, 1, true), 1u);
}
