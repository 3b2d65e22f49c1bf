// The base-N codecs against published vectors, decoding edge cases and round trips.
#include "datatypes/base_codecs.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace kaz::binary {
namespace {

std::string enc(uint32_t base, const std::string& bytes) {
  std::vector<uint8_t> out(encoded_room(base, uint32_t(bytes.size())) + 1);
  uint8_t* end = encode(base, out.data(), reinterpret_cast<const uint8_t*>(bytes.data()),
                        uint32_t(bytes.size()));
  return std::string(reinterpret_cast<char*>(out.data()), size_t(end - out.data()));
}

// Decodes text given as code points stored in units of `unit` bytes; "!" stands for invalid.
std::string dec(uint32_t base, const std::u32string& text, uint32_t unit = 1) {
  std::vector<uint8_t> units(text.size() * unit + 1);
  for (size_t i = 0; i < text.size(); ++i)
    for (uint32_t k = 0; k < unit; ++k) units[i * unit + k] = uint8_t(text[i] >> (8 * k));
  std::vector<uint8_t> out(decoded_room(base, uint32_t(text.size())) + 1);
  int64_t n = decode(base, units.data(), uint32_t(text.size()), unit, out.data());
  if (n < 0) return "!";
  EXPECT_LE(uint64_t(n), decoded_room(base, uint32_t(text.size())));
  return std::string(reinterpret_cast<char*>(out.data()), size_t(n));
}

TEST(BaseCodecs, EncodeVectors) {
  struct row {
    uint32_t base;
    std::string bytes, text;
  } rows[] = {
      {64, "", ""},
      {64, "f", "Zg=="},
      {64, "fo", "Zm8="},
      {64, "foo", "Zm9v"},
      {64, "foob", "Zm9vYg=="},
      {64, "foobar", "Zm9vYmFy"},
      {64, "\xFB\xFF", "+/8="},
      {16, "foobar", "666F6F626172"},
      {16, std::string("\x00\xAB", 2), "00AB"},
      {2, "A", "01000001"},
      {2, "\xFF\x01", "1111111100000001"},
      {58, "", ""},
      {58, std::string("\x00\x00\x00\x01", 4), "1112"},
      {58, "hello", "Cn8eVZg"},
      {58, "Hello World!", "2NEpo7TZRRrLZSi2U"},
      {58, std::string(1, '\0'), "1"},
      {58, "\xFF", "5Q"},
      {58,
       std::string("\x00\xEB\x15\x23\x1D\xFC\xEB\x60\x92\x58\x86\xB6\x7D\x06\x52\x99\x92\x59"
                   "\x15\xAE\xB1\x72\xC0\x66\x47",
                   25),
       "1NS17iag9jJgTHD1VXjvLCEnZuQ3rJDE9L"},
  };
  for (const row& r : rows) {
    EXPECT_EQ(enc(r.base, r.bytes), r.text) << r.base << " " << r.text;
    std::u32string text(r.text.begin(), r.text.end());
    EXPECT_EQ(dec(r.base, text), r.bytes) << r.base << " " << r.text;
  }
}

TEST(BaseCodecs, DecodeEdgeCases) {
  struct row {
    uint32_t base;
    std::u32string text;
    std::string bytes;
  } rows[] = {
      {64, U"QQ==", "A"},
      {64, U"QQ", ""},
      {64, U"Q===", "!"},
      {64, U"QUJD", "ABC"},
      {64, U"QUJD=", "!"},
      {64, U"QUI=junk after", "AB"},
      {64, U" Q U\n\tJ'D\r", "ABC"},
      {64, U"QU;a comment\nJD", "ABC"},
      {64, U"QUJD;ends in a comment", "ABC"},
      {64, U"QU\vJD", "!"},
      {64, U"QU*D", "!"},
      {64, U"QU\u00E9D", "!"},
      {16, U"", ""},
      {16, U"4", ""},
      {16, U"0a 0B", std::string("\x0A\x0B")},
      {16, U"414", "A"},
      {16, U"4G", "!"},
      {16, U"4\u00C1", "!"},  // not masked to its low bits ("A")
      {16, U"41;comment 42\n43", "AC"},
      {2, U"0100000", "!"},
      {2, U"0100 0001", "A"},
      {2, U"01000002", "!"},
      {2, U"0100000\u0131", "!"},
      {58, U"", ""},
      {58, U"1", std::string(1, '\0')},
      {58, U"11", std::string(2, '\0')},
      {58, U"1 1 1\n2", std::string("\0\0\0\x01", 4)},
      {58, U"0", "!"},
      {58, U"Cn8eVZg\u00E9", "!"},  // not the end of the text
      {58, U"Cn8e;x\nVZg", "hello"},
  };
  for (const row& r : rows) {
    for (uint32_t unit : {1u, 2u, 4u}) {
      bool narrow = false;
      for (char32_t c : r.text) narrow |= unit == 1 && c > 0xFF;
      if (narrow) continue;
      EXPECT_EQ(dec(r.base, r.text, unit), r.bytes) << r.base << " unit " << unit;
    }
  }
}

TEST(BaseCodecs, RoundTrips) {
  std::mt19937 gen(7);
  for (uint32_t base : {2u, 16u, 58u, 64u}) {
    for (int len = 0; len < 70; ++len) {
      std::string bytes(size_t(len), '\0');
      for (char& c : bytes) c = char(gen() % (len % 3 == 0 ? 2 : 256));  // zero runs too
      std::string text = enc(base, bytes);
      EXPECT_LE(text.size(), encoded_room(base, uint32_t(len)));
      EXPECT_EQ(dec(base, std::u32string(text.begin(), text.end())), bytes) << base;
    }
  }
}

}  // namespace
}  // namespace kaz::binary
