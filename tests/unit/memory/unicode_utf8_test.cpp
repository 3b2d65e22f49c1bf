// UTF-8 decoding, scanning and encoding.
#include "memory/unicode_utf8.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "memory/unicode_units.h"
#include "runtime/fire.h"

using namespace kaz::unicode;

namespace {

std::vector<uint8_t> bytes(std::initializer_list<int> b) {
  return std::vector<uint8_t>(b.begin(), b.end());
}

// Decodes through scan + decode and answers the code points.
std::vector<uint32_t> load(const std::vector<uint8_t>& in, bool crlf, bool more,
                           utf8_scan_result* out = nullptr) {
  auto s = utf8_scan(in.data(), in.size(), crlf, more, true);
  if (out) *out = s;
  uint32_t unit = unit_for(s.max_cp);
  std::vector<uint8_t> dst(s.code_points * unit + 1);
  size_t n = utf8_decode_units(in.data() + s.start, s.end - s.start, dst.data(), unit, crlf);
  EXPECT_EQ(n, s.code_points);
  std::vector<uint32_t> cps;
  for (size_t i = 0; i < n; ++i) cps.push_back(get_char(dst.data() + i * unit, unit));
  return cps;
}

bool raises_invalid_char(auto&& f) {
  try {
    f();
  } catch (const kaz::language_error& e) {
    return e.id == kaz::err::script_invalid_char;
  }
  return false;
}

}  // namespace

// Every code point round-trips through the encoder and both decoders, except where a decoder
// must refuse it: the fast one every surrogate, the loading one DC00h-DCFFh and FFFEh.
TEST(Utf8, EveryCodePointRoundTrips) {
  uint8_t buf[4];
  for (uint32_t cp = 0; cp <= max_code_point; ++cp) {
    uint32_t n = utf8_append_encoded(cp, buf);
    ASSERT_EQ(n, utf8_encoded_length(cp));
    int32_t fast;
    const uint8_t* after = fast_decode_utf8_char(buf, buf + n, fast);
    bool surrogate = cp >= 0xD800 && cp <= 0xDFFF;
    if (surrogate) {
      ASSERT_EQ(fast, -1) << std::hex << cp;
    } else {
      ASSERT_EQ(fast, int32_t(cp)) << std::hex << cp;
      ASSERT_EQ(after, buf + n);
    }
    size_t used;
    int32_t slow = utf8_decode_char(buf, n, used);
    bool refused = (cp >= 0xDC00 && cp <= 0xDCFF) || cp == 0xFFFE;
    ASSERT_EQ(slow, refused ? utf8_malformed : int32_t(cp)) << std::hex << cp;
    if (refused) continue;
    ASSERT_EQ(used, n);
    // Every proper prefix of a sequence the loader accepts is incomplete, not malformed.
    for (uint32_t k = 1; k < n; ++k)
      ASSERT_EQ(utf8_decode_char(buf, k, used), utf8_incomplete) << std::hex << cp << " " << k;
  }
}

TEST(Utf8, MalformedInputIsRefused) {
  struct Case {
    std::vector<uint8_t> in;
    const char* what;
    bool known_at_two;  // the first two bytes already rule the sequence out
  } cases[] = {
      {bytes({0x80}), "stray continuation", true},
      {bytes({0xBF}), "stray continuation", true},
      {bytes({0xC0, 0x80}), "overlong NUL", true},
      {bytes({0xC1, 0xBF}), "overlong 2-byte", true},
      {bytes({0xE0, 0x80, 0x80}), "overlong 3-byte", true},
      {bytes({0xE0, 0x9F, 0xBF}), "overlong 3-byte", true},
      {bytes({0xF0, 0x80, 0x80, 0x80}), "overlong 4-byte", true},
      {bytes({0xF0, 0x8F, 0xBF, 0xBF}), "overlong 4-byte", true},
      {bytes({0xF4, 0x90, 0x80, 0x80}), "above 10FFFFh", true},
      {bytes({0xF5, 0x80, 0x80, 0x80}), "above 10FFFFh", true},
      {bytes({0xF8, 0x88, 0x80, 0x80}), "5-byte lead", true},
      {bytes({0xFF}), "FFh", true},
      {bytes({0xC3, 0x41}), "missing continuation", true},
      {bytes({0xE2, 0x82, 0x41}), "missing continuation", false},
      {bytes({0xED, 0xB0, 0x80}), "DC00h", true},
      {bytes({0xEF, 0xBF, 0xBE}), "FFFEh", false},
  };
  for (auto& c : cases) {
    size_t used = 99;
    EXPECT_EQ(utf8_decode_char(c.in.data(), c.in.size(), used), utf8_malformed) << c.what;
    EXPECT_EQ(used, 0u);
    // Cut short, a sequence that can never become valid is still malformed.
    if (c.known_at_two && c.in.size() >= 2) {
      EXPECT_EQ(utf8_decode_char(c.in.data(), 2, used), utf8_malformed) << c.what;
    }
    auto s = utf8_scan(c.in.data(), c.in.size(), false, false, false);
    EXPECT_TRUE(s.malformed) << c.what;
    EXPECT_EQ(s.end, 0u) << c.what;
  }
  // D800h on its own loads (the loader keeps lone surrogates).
  auto d800 = bytes({0xED, 0xA0, 0x80});
  size_t used;
  EXPECT_EQ(utf8_decode_char(d800.data(), 3, used), 0xD800);
}

TEST(Utf8, FastDecoderNeverSwallowsTheNextCharacter) {
  struct Case {
    std::vector<uint8_t> in;
    std::vector<int32_t> cps;
  } cases[] = {
      {bytes({'a', 0xC3, 0xA9, 'b'}), {'a', 0xE9, 'b'}},
      {bytes({0xE2, 0x82, 'x'}), {-1, 'x'}},         // cut sequence, then ASCII
      {bytes({0xE2, 0x82, 0}), {-1, 0}},              // the NUL terminator stays
      {bytes({0x80, 0x80, 'a'}), {-1, -1, 'a'}},
      {bytes({0xC0, 0xAF}), {-1, -1}},                // overlong "/"
      {bytes({0xED, 0xA0, 0x80}), {-1, -1, -1}},      // surrogate: ED is refused at A0h
      {bytes({0xF0, 0x9F, 0x98, 0x80}), {0x1F600}},
      {bytes({0xF0, 0x9F, 0x98}), {-1}},              // end reached inside the sequence
  };
  for (auto& c : cases) {
    std::vector<int32_t> got;
    const uint8_t* p = c.in.data();
    const uint8_t* end = p + c.in.size();
    while (p < end) {
      int32_t cp;
      const uint8_t* q = fast_decode_utf8_char(p, end, cp);
      ASSERT_GT(q, p);
      ASSERT_LE(q, end);
      got.push_back(cp);
      p = q;
    }
    EXPECT_EQ(got, c.cps);
    EXPECT_EQ(utf8_count_code_points(c.in.data(), end), c.cps.size());
  }
  auto text = bytes({'a', 0xC3, 0xA9, 0xE2, 0x82, 0xAC, 'z'});
  EXPECT_EQ(utf8_skip_code_points(text.data(), text.data() + text.size(), 3), text.data() + 6);
  EXPECT_EQ(utf8_skip_code_points(text.data(), text.data() + text.size(), 9),
            text.data() + text.size());
}

TEST(Utf8, SequenceLengthOfLeadBytes) {
  EXPECT_EQ(utf8_sequence_length('a'), 0u);
  EXPECT_EQ(utf8_sequence_length(0xBF), 0u);
  EXPECT_EQ(utf8_sequence_length(0xC0), 2u);
  EXPECT_EQ(utf8_sequence_length(0xDF), 2u);
  EXPECT_EQ(utf8_sequence_length(0xE0), 3u);
  EXPECT_EQ(utf8_sequence_length(0xF0), 4u);
  EXPECT_EQ(utf8_sequence_length(0xFF), 4u);
}

TEST(Utf8, LoadingPicksTheNarrowestUnitAndFoldsLineEnds) {
  utf8_scan_result s;
  EXPECT_TRUE(load(bytes({0xEF, 0xBB, 0xBF}), false, false, &s).empty());  // byte-order mark
  EXPECT_EQ(s.start, 3u);
  EXPECT_EQ(load(bytes({0xC3, 0xA9}), false, false, &s), std::vector<uint32_t>{0xE9});
  EXPECT_EQ(unit_for(s.max_cp), 1u);
  EXPECT_EQ(load(bytes({0xC3, 0xA9, 0xE4, 0xB8, 0x80}), false, false, &s),
            (std::vector<uint32_t>{0xE9, 0x4E00}));
  EXPECT_EQ(unit_for(s.max_cp), 2u);
  EXPECT_EQ(load(bytes({0xC3, 0xA9, 0xF0, 0x9F, 0x98, 0x80}), false, false, &s),
            (std::vector<uint32_t>{0xE9, 0x1F600}));
  EXPECT_EQ(unit_for(s.max_cp), 4u);

  // An incomplete euro sign at the end of a piece is left over for the next piece; at the end
  // of the whole input it is malformed.
  EXPECT_EQ(load(bytes({'a', 0xE2, 0x82}), false, true, &s), std::vector<uint32_t>{'a'});
  EXPECT_FALSE(s.malformed);
  EXPECT_EQ(3 - s.end, 2u);
  load(bytes({'a', 0xE2, 0x82}), false, false, &s);
  EXPECT_TRUE(s.malformed);
  EXPECT_EQ(s.end, 1u);

  EXPECT_EQ(load(bytes({'a', '\r', '\n', 'b', '\r', 'c'}), true, false),
            (std::vector<uint32_t>{'a', '\n', 'b', '\n', 'c'}));
  EXPECT_EQ(load(bytes({'a', '\r', '\n', 'b', '\r', 'c'}), false, false),
            (std::vector<uint32_t>{'a', '\r', '\n', 'b', '\r', 'c'}));
  // A CR ending a piece waits for the next piece, which may start with its LF.
  EXPECT_EQ(load(bytes({'a', '\r'}), true, true, &s), std::vector<uint32_t>{'a'});
  EXPECT_EQ(s.end, 1u);
  EXPECT_EQ(load(bytes({'a', '\r'}), true, false), (std::vector<uint32_t>{'a', '\n'}));
}

// ASCII is taken eight bytes at a time: a line end or a wider character at any place in or
// across those words is met as it is one byte at a time.
TEST(Utf8, AsciiRunsMeetLineEndsAndWideCharactersAnywhere) {
  for (size_t at = 0; at <= 20; ++at) {
    std::vector<uint8_t> in(24, 'x');
    std::vector<uint32_t> want(24, 'x');
    for (size_t k = 0; k < in.size(); ++k) in[k] = want[k] = 'a' + k % 26;
    // CR LF folds to one LF; a lone CR to LF; without folding both stay.
    std::vector<uint8_t> crlf = in, lone = in;
    crlf.insert(crlf.begin() + at, {'\r', '\n'});
    lone.insert(lone.begin() + at, '\r');
    std::vector<uint32_t> lf = want;
    lf.insert(lf.begin() + at, '\n');
    EXPECT_EQ(load(crlf, true, false), lf) << at;
    EXPECT_EQ(load(lone, true, false), lf) << at;
    std::vector<uint32_t> kept(crlf.begin(), crlf.end());
    EXPECT_EQ(load(crlf, false, false), kept) << at;
    // A two-byte and a three-byte character.
    for (auto wide : {std::vector<uint8_t>{0xC3, 0xA9}, std::vector<uint8_t>{0xE4, 0xB8, 0x80}}) {
      std::vector<uint8_t> mixed = in;
      mixed.insert(mixed.begin() + at, wide.begin(), wide.end());
      std::vector<uint32_t> cps = want;
      cps.insert(cps.begin() + at, wide.size() == 2 ? 0xE9 : 0x4E00);
      utf8_scan_result s;
      EXPECT_EQ(load(mixed, true, false, &s), cps) << at;
      EXPECT_EQ(unit_for(s.max_cp), wide.size() == 2 ? 1u : 2u) << at;
    }
  }
  utf8_scan_result s;
  load(std::vector<uint8_t>(40, '~'), true, false, &s);
  EXPECT_EQ(s.code_points, 40u);
  EXPECT_GE(s.max_cp, uint32_t('~'));
  EXPECT_LT(s.max_cp, 0x80u);
}

TEST(Utf8, BoundedOutputNeverCutsASequence) {
  uint8_t buf[8] = {};
  EXPECT_EQ(utf8_put_char_bounded(0x20AC, buf, 2), 0u);
  EXPECT_EQ(buf[0], 0);
  EXPECT_EQ(utf8_put_char_bounded(0x20AC, buf, 3), 3u);

  // "aé€😀" in 4-byte units, encoded into shrinking room.
  uint32_t units[] = {'a', 0xE9, 0x20AC, 0x1F600, '\n'};
  auto* u = reinterpret_cast<const uint8_t*>(units);
  EXPECT_EQ(utf8_size_of_units(u, 5, 4, false), 1u + 2 + 3 + 4 + 1);
  EXPECT_EQ(utf8_size_of_units(u, 5, 4, true), 12u);
  uint8_t out[16];
  struct Room {
    size_t room, bytes, units;
  } rooms[] = {{0, 0, 0}, {2, 1, 1}, {5, 3, 2}, {9, 6, 3}, {10, 10, 4}, {11, 11, 5}};
  for (auto r : rooms) {
    size_t done;
    EXPECT_EQ(utf8_encode_units(u, 5, 4, out, r.room, false, &done), r.bytes) << r.room;
    EXPECT_EQ(done, r.units) << r.room;
  }
  size_t done;
  EXPECT_EQ(utf8_encode_units(u, 5, 4, out, 11, true, &done), 10u);  // no room for CR LF
  EXPECT_EQ(done, 4u);
  EXPECT_EQ(utf8_encode_units(u, 5, 4, out, 16, true, &done), 12u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(out), 12), "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\r\n");

  // Latin-1 units: every byte above 7Fh takes two.
  const uint8_t latin[] = {'x', 0xFF, 0};
  EXPECT_EQ(utf8_size_of_units(latin, 3, 1, false), 4u);
  EXPECT_EQ(utf8_encode_units(latin, 3, 1, out, 16, false), 4u);
  EXPECT_EQ(out[1], 0xC3);
  EXPECT_EQ(out[2], 0xBF);
  EXPECT_EQ(out[3], 0);  // a NUL is text like any other
}

// Encoding takes ASCII eight (two-byte units: four) characters at a time: an LF or a wider
// character anywhere, and any room, give what encoding one character at a time gives.
TEST(Utf8, EncodingAsciiRunsMatchesOneCharacterAtATime) {
  auto one_at_a_time = [](const std::vector<uint32_t>& cps, bool crlf, size_t room,
                          size_t* done) {
    std::string out;
    size_t i = 0;
    for (; i < cps.size(); ++i) {
      std::string c = crlf && cps[i] == '\n' ? "\r\n" : "";
      if (c.empty()) {
        uint8_t b[4];
        c.assign(reinterpret_cast<char*>(b), utf8_append_encoded(cps[i], b));
      }
      if (out.size() + c.size() > room) break;
      out += c;
    }
    *done = i;
    return out;
  };
  for (uint32_t unit : {1u, 2u, 4u})
    for (size_t at = 0; at <= 20; ++at)
      for (uint32_t odd : {uint32_t('\n'), 0xE9u, 0x4E00u}) {
        if (unit_for(odd) > unit) continue;
        std::vector<uint32_t> cps(24);
        for (size_t k = 0; k < cps.size(); ++k) cps[k] = 'a' + k % 26;
        cps.insert(cps.begin() + at, odd);
        std::vector<uint8_t> units(cps.size() * unit);
        for (size_t k = 0; k < cps.size(); ++k) put_char(units.data() + k * unit, unit, cps[k]);
        for (bool crlf : {false, true})
          for (size_t room : {size_t(3), size_t(9), size_t(17), size_t(64)}) {
            size_t want_done, done;
            std::string want = one_at_a_time(cps, crlf, room, &want_done);
            uint8_t out[64];
            size_t n = utf8_encode_units(units.data(), cps.size(), unit, out, room, crlf, &done);
            EXPECT_EQ(std::string(reinterpret_cast<char*>(out), n), want)
                << unit << " " << at << " " << odd << " " << crlf << " " << room;
            EXPECT_EQ(done, want_done);
          }
      }
}

TEST(Utf8, AboveTheLastCodePointIsAnInvalidChar) {
  uint8_t buf[4];
  EXPECT_TRUE(raises_invalid_char([&] { utf8_encoded_length(0x110000); }));
  EXPECT_TRUE(raises_invalid_char([&] { utf8_append_encoded(0xFFFFFFFF, buf); }));
  EXPECT_TRUE(raises_invalid_char([&] { utf8_put_char_bounded(0x110000, buf, 4); }));
  uint32_t bad[] = {'a', 0x110000};
  EXPECT_TRUE(raises_invalid_char(
      [&] { utf8_size_of_units(reinterpret_cast<uint8_t*>(bad), 2, 4, false); }));
}

TEST(Units, WideningKeepsEveryCharacter) {
  struct Case {
    uint32_t from, to;
  } cases[] = {{1, 2}, {1, 4}, {2, 4}};
  for (auto c : cases) {
    std::vector<uint8_t> buf(40 * 4);
    for (uint32_t i = 0; i < 40; ++i) put_char(buf.data() + i * c.from, c.from, 0xF0 + i);
    widen_units(buf.data(), 40, c.from, c.to);
    for (uint32_t i = 0; i < 40; ++i)
      ASSERT_EQ(get_char(buf.data() + i * c.to, c.to), c.from == 1 ? (0xF0 + i) & 0xFF : 0xF0 + i);
  }
}
