// KAZBIN: round trips of every savable value in both layouts, shared series and contexts, the
// compact layout's exact bytes, and refusal of malformed data.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "../support/session.h"
#include "core/context.h"
#include "core/error.h"
#include "core/stack.h"
#include "core/symbol.h"
#include "lexer_describe.h"
#include "loader/kazbin.h"
#include "loader/kazbin_routines.h"
#include "memory/lz_codec.h"
#include "runtime/fire.h"

namespace kaz {
namespace {

using testing::describe;

class Kazbin : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { testing::boot(); }

  static std::string kaz(const std::string& code) { return testing::run(code); }
  static cell global(const char* name) {
    int32_t i = context::find_symbol(context::global, symbol::make(name), false);
    return i < 0 ? cell{type::unset, 0, 0, 0} : context::values(context::global)[i];
  }
  static void set_global(const char* name, const cell* v) {
    context::put_word_value(context::global, symbol::make(name), v);
  }
};

std::vector<uint8_t> bytes_of(const cell* binary) {
  series_buffer* s = memory::buffer_of(binary->data2);
  return std::vector<uint8_t>(s->head(), s->tail_ptr());
}

cell to_binary(const std::vector<uint8_t>& bytes) {
  node_t node = memory::alloc_bytes(static_cast<uint32_t>(bytes.size()));
  series_buffer* s = memory::buffer_of(node);
  if (!bytes.empty()) std::memcpy(s->head_rw(), bytes.data(), bytes.size());
  s->tail = s->offset + static_cast<uint32_t>(bytes.size());
  return cell{type::binary, 0, node, 0};
}

// Decodes data as the codec does: "ok", or the error's id and first argument.
std::string decode_status(const std::vector<uint8_t>& bytes, cell* out = nullptr) {
  stack::saved_state saved = stack::save();
  cell data = to_binary(bytes);
  try {
    cell v;
    kazbin::codec_decode(&data, &v);
    if (out) *out = v;
    return "ok";
  } catch (const language_error&) {
    stack::unwind_to(saved);
    cell e = error::in_flight;
    std::string text = "!! " + error::id_name(&e);
    const cell* a = error::field_of(&e, error::field::arg1);
    if (type_of(a) == type::integer) text += " " + std::to_string(int32_t(a->data2));
    return text;
  }
}

// Compact data with no symbols around a payload.
std::vector<uint8_t> compact_data(const std::vector<uint8_t>& payload) {
  std::vector<uint8_t> d = {'K', 'A', 'Z', 'B', 'I', 'N', 2, 1, 1, uint8_t(payload.size())};
  d.reserve(d.size() + payload.size());
  for (uint8_t b : payload) d.push_back(b);
  return d;
}

// Every savable datatype, with the cases that matter for its encoding.
const char* const savable[] = {
    "0", "63", "64", "-1", "2147483647", "-2147483648",
    "1.0", "1.5", "-0.0", "1e300", "-2147483000.0", "3000000000.0",
    "50%", "12.345%", "-0.5%", "10:00", "-1:30:00.5", "100000000:00",
    "1-Jan-2020", "29-Feb-2024/23:59:59.5-8:30", "1-Jan-2020/0:00",
    "#\"a\"", "#\"^(10FFFF)\"", "#\"^(00)\"",
    "\"\"", "\"ascii\"", "\"caf\u00e9\"", "\"\u20ac uro\"", "\"\U0001F600 wide\"",
    "next next \"abcdef\"",
    "#issue", "'lit", "quote :get", "quote /ref", "quote set:", "'word",
    "[]", "[a b [c [d]] (e) f/g 'h/i j/k: :l/m]", "next [1 2 3]",
    "[1\n2 [\n]]", "quote (1 2)", "quote a/b/c", "quote 'a/b", "quote a/b:", "quote :a/b",
    "1.2.3", "1.2.3.4", "255.255.255.255.255.255.255.255.255.255.255.255",
    "$1.50", "-USD$2", "$99999999999999999.99999",
    "3x4", "-2147483648x2147483647", "(1.5, 2)", "(1, 2, 3)",
    "make bitset! #{F0}", "complement make bitset! #{0F}", "make bitset! 0",
    "#{}", "#{00FF}",
    "none", "true", "false", "datatype!", "make typeset! [integer! block!]",
    "make typeset! [event!]", "quote ()",
    "make vector! [1 2 3]", "make vector! [1.5 -2.0]", "next make vector! [integer! 8 [1 2]]",
    "make vector! [percent! [50%]]", "make hash! [a 1 \"b\" 2]", "next make hash! [x y]",
    "make map! [a 1 \"b\" [2] 3 #[x 4]]", "m: make map! [a 1 b 2 c 3] remove/key m 'b m",
    "%file.txt", "http://example.com/a?b", "<tag a=1>", "me@example.com", "@ref",
    "make object! [a: 1 b: \"two\" c: [3]]",
    "make object! [a: 1 f: func [x] [x + a] o: make object! [z: self]]",
    "make object! [a: 1 on-change*: func [w o n] [none]]",
    "func [x [integer!] /y z \"doc\"] [x + 1]",
    "function [x] [y: x * 2 y]",
    "try [1 / 0]", "try [append]",
    ":append", ":if", ":+", ":and",
};

TEST_F(Kazbin, EverySavableValueRoundTripsInBothLayouts) {
  for (bool compact : {true, false}) {
    for (const char* code : savable) {
      SCOPED_TRACE(std::string(compact ? "compact: " : "plain: ") + code);
      ASSERT_EQ(kaz(std::string("kb-src: ") + code + " 'ok"), "ok");
      cell src = global("kb-src");
      cell data;
      kazbin::codec_encode(&src, compact, &data);
      std::vector<uint8_t> bytes = bytes_of(&data);
      ASSERT_EQ(bytes[7] & 1, compact ? 1 : 0);
      cell out;
      ASSERT_EQ(decode_status(bytes, &out), "ok");
      set_global("kb-out", &out);
      EXPECT_EQ(describe(&out), describe(&src));
      EXPECT_EQ(type_of(&out), type_of(&src));
      EXPECT_EQ(kaz("mold kb-out"), kaz("mold kb-src"));
    }
  }
}

// After decoding, values that shared a series or a context still share it.
TEST_F(Kazbin, SharedSeriesAndContextsStayShared) {
  struct share_case {
    const char* make;
    const char* check;
    const char* expected;
  };
  const share_case cases[] = {
      {"b: [1 2] reduce [b b]", "append kb-out/1 3 kb-out/2", "[1 2 3]"},
      {"b: [1 2] reduce [b next b]", "append kb-out/1 3 kb-out/2", "[2 3]"},
      {"h: make hash! [a 1] reduce [h h]", "append kb-out/1 [b 2] select kb-out/2 'b", "2"},
      {"m: make map! [k [1]] reduce [m m/k]", "append kb-out/2 2 kb-out/1/k", "[1 2]"},
      {"m: make map! [k 1] reduce [m m]", "kb-out/1/j: 2 kb-out/2/j", "2"},
      {"v: make vector! [1 2] reduce [v v]", "append kb-out/1 3 kb-out/2", "make vector! [1 2 3]"},
      {"b: copy [] append/only b b b", "same? kb-out first kb-out", "true"},
      {"s: \"ab\" reduce [s reduce ['x s]]", "same? kb-out/1 kb-out/2/2", "true"},
      {"o: make object! [a: 5 b: 6] reduce [bind 'a o bind 'b o o]",
       "kb-out/3/a: 7 reduce [get kb-out/1 get kb-out/2]", "[7 6]"},
      {"o: make object! [a: 5] reduce [o bind 'a o]", "kb-out/1/a: 8 get kb-out/2", "8"},
      {"o: make object! [a: 1 f: func [x] [x + a]] o", "kb-out/a: 10 kb-out/f 2", "12"},
      {"make object! [a: 1 log: copy [] on-change*: func [w o n] [append log w]]",
       "kb-out/a: 2 kb-out/log", "[a]"},
      {"f: func [x] [x * 3] reduce [:f :f]", "same? :kb-out/1 :kb-out/2", "true"},
      {"f: func [x /y] [either y [x] [x * 3]] :f", "reduce [kb-out 2 kb-out/y 2]", "[6 2]"},
      {"e: try [1 / 0] reduce [e e]", "kb-out/1/id", "zero-divide"},
      {"reduce ['print 'kb-src]", "same? context? kb-out/1 context? 'print", "true"},
  };
  for (bool compact : {true, false}) {
    for (const share_case& c : cases) {
      SCOPED_TRACE(std::string(compact ? "compact: " : "plain: ") + c.make);
      ASSERT_NE(kaz(std::string("kb-src: (") + c.make + ") 'ok").substr(0, 2), "!!");
      cell src = global("kb-src");
      cell data;
      kazbin::codec_encode(&src, compact, &data);
      cell out;
      ASSERT_EQ(decode_status(bytes_of(&data), &out), "ok");
      set_global("kb-out", &out);
      EXPECT_EQ(kaz(c.check), c.expected);
    }
  }
}

// The compact layout's records, byte for byte.
TEST_F(Kazbin, CompactRecordsAreExact) {
  struct byte_case {
    const char* code;
    std::vector<uint8_t> payload;
  };
  const std::vector<byte_case> cases = {
      {"0", {0x80}},
      {"63", {0xBF}},
      {"64", {0x0B, 0x80, 0x01}},
      {"-1", {0x0B, 0x01}},
      {"2147483647", {0x0B, 0xFE, 0xFF, 0xFF, 0xFF, 0x0F}},
      {"1.0", {0x4C, 0x02}},
      {"1.5", {0x0C, 0, 0, 0, 0, 0, 0, 0xF8, 0x3F}},
      {"50%", {0x66, 0x64}},
      {"true", {0xC2}},
      {"false", {0xC3}},
      {"none", {0x03}},
      {"1.2.3", {0x27, 1, 2, 3}},
      {"1.2.3.4", {0x67, 4, 1, 2, 3, 4}},
      {"\"ab\"", {0x07, 0x08, 'a', 'b'}},
      {"\"\u20ac\"", {0x07, 0x05, 0xAC, 0x20}},
      {"\"\U0001F600\"", {0x07, 0x06, 0x00, 0xF6, 0x01, 0x00}},
      {"next \"ab\"", {0x47, 0x01, 0x08, 'a', 'b'}},
      {"[1 [2]]", {0x05, 0x02, 0x81, 0x05, 0x01, 0x82}},
      {"b: [] reduce [b b]", {0x05, 0x02, 0x05, 0x00, 0xC1, 0x05, 0x02, 0x00, 0x00}},
      {"s: \"a\" reduce [s s]", {0x05, 0x02, 0x07, 0x04, 'a', 0xC1, 0x07, 0x02, 0x00, 0x00}},
      {"[1\n2]", {0x05, 0x02, 0x81, 0xC0, 0x82}},
      {"3x-4", {0x25, 0x06, 0x07}},
      {"1-Jan-2000", {0x2F, 0x80, 0x10, 0xA0, 0x0F}},
  };
  // -0.0 is never short.
  cell zero{type::float_, 0, 0, 0};
  put_double(&zero, -0.0);
  cell encoded;
  kazbin::codec_encode(&zero, true, &encoded);
  std::vector<uint8_t> z = bytes_of(&encoded);
  EXPECT_EQ(std::vector<uint8_t>(z.begin() + 10, z.end()),
            (std::vector<uint8_t>{0x0C, 0, 0, 0, 0, 0, 0, 0, 0x80}));
  for (const byte_case& c : cases) {
    SCOPED_TRACE(c.code);
    ASSERT_EQ(kaz(std::string("kb-src: (") + c.code + ") 'ok"), "ok");
    cell src = global("kb-src");
    cell data;
    kazbin::codec_encode(&src, true, &data);
    std::vector<uint8_t> bytes = bytes_of(&data);
    std::vector<uint8_t> header = {'K', 'A', 'Z', 'B', 'I', 'N', 2, 1, 1,
                                   uint8_t(c.payload.size())};
    ASSERT_GE(bytes.size(), header.size());
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 10), header);
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 10, bytes.end()), c.payload);
  }
}

TEST_F(Kazbin, SymbolTableAndGlobalWords) {
  ASSERT_EQ(kaz("kb-src: [alpha beta alpha] 'ok"), "ok");
  cell src = global("kb-src");
  cell data;
  kazbin::codec_encode(&src, true, &data);
  std::vector<uint8_t> expected = {'K', 'A', 'Z', 'B', 'I', 'N', 2, 5, 1, 8, 2, 11, 0, 0, 0, 0,
                                   6, 0, 0, 0, 'a', 'l', 'p', 'h', 'a', 0, 'b', 'e', 't', 'a', 0,
                                   0x05, 0x03, 0x0F, 0x00, 0x0F, 0x01, 0x0F, 0x00};
  EXPECT_EQ(bytes_of(&data), expected);
  // Words come back bound to the global context.
  cell out;
  ASSERT_EQ(decode_status(expected, &out), "ok");
  set_global("kb-out", &out);
  EXPECT_EQ(kaz("same? context? first kb-out context? 'print"), "true");
  // Several roots decode into a block of them.
  ASSERT_EQ(decode_status(compact_data({0x81, 0x82}), &out), "ok");
  EXPECT_EQ(describe(&out), "[1 2]");
  // Plain names are padded to multiples of 8 bytes: the second starts at offset 8.
  kazbin::codec_encode(&src, false, &data);
  std::vector<uint8_t> plain = bytes_of(&data);
  ASSERT_GE(plain.size(), 48u);
  EXPECT_EQ(plain[7], 4);
  EXPECT_EQ(plain[16], 2);   // symbol count
  EXPECT_EQ(plain[20], 16);  // string area size
  EXPECT_EQ(plain[28], 8);   // offset of the second name
  EXPECT_EQ(std::string(plain.begin() + 32, plain.begin() + 48),
            std::string("alpha\0\0\0beta\0\0\0\0", 16));
}

TEST_F(Kazbin, UnsavableTypesRaiseNoCodec) {
  for (const char* code : {":quit-return", "make handle! 0", "make event! []"}) {
    SCOPED_TRACE(code);
    std::string made = kaz(std::string("kb-src: ") + code + " 'ok");
    if (made != "ok") continue;  // the datatype cannot be made here yet
    cell src = global("kb-src");
    for (bool compact : {true, false}) {
      stack::saved_state saved = stack::save();
      try {
        cell data;
        kazbin::codec_encode(&src, compact, &data);
        ADD_FAILURE() << "encoded";
      } catch (const language_error& e) {
        stack::unwind_to(saved);
        EXPECT_EQ(e.id, err::access_no_codec);
      }
    }
  }
}

// Malformed data is refused with invalid-data (the container) or kb-invalid-record (the byte).
TEST_F(Kazbin, MalformedDataIsRefused) {
  struct bad_case {
    std::vector<uint8_t> data;
    std::string expected;
  };
  auto with = [](std::vector<uint8_t> payload) { return compact_data(payload); };
  const std::vector<bad_case> cases = {
      {{'K', 'A', 'Z', 'B', 'I', 'N', 2, 1, 1, 1}, "!! invalid-data"},
      {{'K', 'A', 'Z', 'B', 'I', 'X', 2, 1, 1, 1, 0x80}, "!! invalid-data"},
      {{'K', 'A', 'Z', 'B', 'I', 'N', 2, 3, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, "!! invalid-data"},
      {{'K', 'A', 'Z', 'B', 'I', 'N', 2, 1, 1, 5, 0x80}, "!! kb-invalid-record 10"},
      {with({0x00}), "!! kb-invalid-record 11"},
      {with({0x04}), "!! kb-invalid-record 11"},
      {with({0x0D}), "!! kb-invalid-record 11"},
      {with({0xC5}), "!! kb-invalid-record 11"},
      {with({0xC1, 0x80}), "!! kb-invalid-record 12"},
      {with({0xC4, 0x0F, 0x00}), "!! kb-invalid-record 12"},
      {with({0x0B, 0xFF, 0xFF, 0xFF, 0xFF, 0x10}), "!! kb-invalid-record 16"},
      {with({0x0B, 0xFF}), "!! kb-invalid-record 13"},
      {with({0x05, 0x05, 0x80}), "!! kb-invalid-record 13"},
      {with({0x05, 0x01, 0xFF, 0x00}), "!! kb-invalid-record 14"},
      {with({0x05, 0x01, 0xFF, 0x01, 0x05}), "!! kb-invalid-record 13"},
      {with({0x07, 0x03, 0x00}), "!! kb-invalid-record 12"},
      {with({0x07, 0x06, 0x00, 0x00, 0x11, 0x00}), "!! kb-invalid-record 12"},
      {with({0x07, 0x0A, 0x00, 0x00, 0x11, 0x00}), "!! kb-invalid-record 13"},
      {with({0x0F, 0x00}), "!! kb-invalid-record 12"},
      {with({0x01, 0x37}), "!! kb-invalid-record 12"},
      {with({0x0A, 0x80, 0x80, 0xC4, 0x00}), "!! kb-invalid-record 12"},
      {with({0x27, 0x01, 0x02}), "!! kb-invalid-record 12"},
      {with({0x67, 0x02, 0x01, 0x02}), "!! kb-invalid-record 12"},
      {with({0x2F, 0x80, 0x10, 0xA1, 0x0F, 0, 0, 0, 0, 0, 0, 0, 0}), "!! kb-invalid-record 11"},
      {with({0x2F, 0x80, 0xF0, 0xA0, 0x0F}), "!! kb-invalid-record 11"},
      {with({0x22, 0xFF, 0x01}), "!! kb-invalid-record 11"},
      {with({0x15, 0x00, 0x05, 0x00}), "!! kb-invalid-record 11"},
      {with({0x1D}), "!! no-codec"},
      {with({0x23, 0x30, 0x01, 0x00}), "!! kb-invalid-record 12"},
      {with({0x28, 0x01, 0x80}), "!! kb-invalid-record 12"},
      {with({0x28, 0x02, 0x03, 0x80}), "!! kb-invalid-record 12"},
  };
  for (const bad_case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.data));
    EXPECT_EQ(decode_status(c.data), c.expected);
  }
}

// A reference path that walks into a function still being read (found by fuzzing) is refused.
TEST_F(Kazbin, ReferenceIntoAnUnfinishedFunctionIsRefused) {
  const std::vector<uint8_t> data = {
      0x4B, 0x41, 0x5A, 0x42, 0x49, 0x4E, 0x02, 0x04, 0x01, 0x00, 0x00, 0x00, 0xE8, 0x00, 0x00, 0x00,
      0x05, 0x00, 0x00, 0x00, 0x28, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x08, 0x00, 0x00, 0x00,
      0x10, 0x00, 0x00, 0x00, 0x18, 0x00, 0x00, 0x00, 0x20, 0x00, 0x00, 0x00, 0x61, 0x00, 0x00, 0x00,
      0x00, 0x00, 0x00, 0x00, 0x66, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x73, 0x00, 0x00, 0x00,
      0x00, 0x00, 0x00, 0x00, 0x78, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x2B, 0x00, 0x00, 0x00,
      0x00, 0x00, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00, 0x0B, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00,
      0x18, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00, 0x0E, 0x00, 0x00, 0x20,
      0x01, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
      0x01, 0x00, 0x00, 0x00, 0x0F, 0x00, 0x00, 0x02, 0x03, 0x00, 0x00, 0x00, 0x64, 0x01, 0x00, 0x00,
      0x05, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00, 0x0F, 0x00, 0x08, 0x00,
      0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x08, 0x00, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
      0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x0F, 0x00, 0x00, 0x02, 0x04, 0x00, 0x00, 0x00,
      0x6E, 0x01, 0x00, 0x00, 0x0F, 0x00, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
      0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x20, 0x02, 0x00, 0x02,
      0x05, 0x01, 0x8F, 0x01, 0xD2, 0xFC, 0x00, 0x00, 0x20, 0x60, 0x00, 0x00, 0x00, 0x00, 0x06, 0x00,
      0x00, 0x00, 0x08, 0x00, 0x20, 0x14, 0x00, 0x11, 0x01, 0x12, 0x01, 0x13, 0x02, 0x10, 0x01, 0x05,
      0x01, 0x0F, 0x03, 0x06, 0x01, 0x0F, 0x04, 0x19, 0x02, 0x0F, 0x03, 0x0F, 0x05, 0x00, 0x00, 0x00,
      0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x18, 0x00, 0x1A, 0x02, 0x0F, 0x03, 0x00, 0x61, 0x00,
      0x70, 0x00, 0x62, 0x00, 0x6E, 0x6F, 0x6E, 0x65, 0x00, 0x74, 0x72, 0x75, 0x65, 0x00, 0x64, 0x61,
      0x74, 0x61, 0x74, 0x79, 0x70, 0x65, 0x21, 0x00, 0x05, 0x1C, 0x81, 0x0C, 0x00, 0x00, 0x00, 0x00,
      0x00, 0x00, 0xF8, 0x3F, 0x66, 0x64, 0x6B, 0xC0, 0xB2, 0x04, 0x6F, 0x88, 0x10, 0xC9, 0x0F, 0x00,
      0x00, 0x5A, 0x42, 0x49, 0x4E, 0x02, 0x05, 0x01, 0x3C, 0x05, 0x0A, 0x00, 0x00, 0x00, 0x00, 0x02,
      0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x06, 0x00, 0x00, 0x00, 0x08, 0x00, 0x00, 0x00, 0x61,
      0x00, 0x66, 0x00, 0x73, 0x00, 0x78, 0x00, 0x2B, 0x00, 0x05, 0x03, 0x20, 0xCA, 0x01, 0x0E, 0x12,
      0x03, 0x00, 0x01, 0x02, 0x81, 0x18, 0x01, 0x03, 0x0E, 0x04, 0x08, 0x00, 0x03, 0x01, 0x03, 0x05,
      0x01, 0x0F, 0x03, 0x05, 0x03, 0xC1, 0x85, 0x01, 0x00, 0x03, 0x00, 0x00, 0x01, 0x0F, 0x04, 0xC1,
      0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x0F,
      0x00, 0x00, 0x02, 0x04, 0x00, 0x00, 0x00, 0x6E, 0x01, 0x00, 0x00, 0x0F, 0x00, 0x08, 0x00, 0x00,
      0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
      0x00, 0x00, 0x00, 0x20, 0x02, 0x00, 0x02, 0x05, 0x01, 0x8F, 0x01, 0xD2, 0xFC, 0x00, 0x00, 0x20,
      0x60, 0x00, 0x00, 0x00, 0x00, 0x06, 0x00, 0x00, 0x00, 0x08, 0x00, 0x20, 0x14, 0x00, 0x11, 0x01,
      0x12, 0x01, 0x13, 0x02, 0x10, 0x01, 0x05, 0x01, 0x0F, 0x03, 0x06, 0x01, 0x0F, 0x04, 0x19, 0x02,
      0x0F, 0x03, 0x0F, 0x05, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x18, 0x00,
      0x1A, 0x02, 0x0F, 0x03, 0x00, 0x61, 0x00, 0x70, 0x00, 0x62, 0x00, 0x6E, 0x6F, 0x6E, 0x65, 0x00,
      0x74, 0x72, 0x75, 0x65, 0x00, 0x64, 0x61, 0x74, 0x61, 0x74, 0x79, 0x70, 0x65, 0x21, 0x00, 0x05,
      0x1C, 0x81, 0x0C, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF8, 0x3F, 0x66, 0x64, 0x6B, 0xC0, 0xB2,
      0x04, 0x6F, 0x88, 0x10, 0xC9, 0x0F, 0x00, 0x00, 0x5A, 0x42, 0x49, 0x4E, 0x02, 0x05, 0x01, 0x3C,
      0x05, 0x0A, 0x00, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x06, 0x00,
      0x00, 0x00, 0x08, 0x00, 0x00, 0x00, 0x61, 0x00, 0x66, 0x00, 0x73, 0x00, 0x78, 0x00, 0x2B, 0x00,
      0x05, 0x03, 0x20, 0xCA, 0x01, 0x0E, 0x12, 0x03, 0x00, 0x01, 0x02, 0x81, 0x18, 0x01, 0x03, 0x0E,
      0x04, 0x08, 0x00, 0x03, 0x01, 0x03, 0x05, 0x01, 0x0F, 0x03, 0x05, 0x03, 0xC1, 0x85, 0x01, 0x00,
      0x03, 0x00, 0x00, 0x01, 0x0F, 0x04, 0xC1, 0x4F, 0x00, 0x00, 0x02, 0x00, 0x00, 0xC1, 0x20, 0x02,
      0x00, 0x2E, 0x00, 0xC1, 0x4F, 0x00, 0x00, 0x02, 0x00, 0x00, 0x06, 0x01, 0x0F, 0x04, 0x19, 0x02,
      0x0F, 0x03, 0x0F, 0x05, 0x1A, 0x02, 0x0F, 0x03, 0x00, 0x61, 0x00, 0x70, 0x00, 0x62, 0x00, 0x6E,
      0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x6F, 0x6E,
      0x65, 0x00, 0x74, 0x02, 0x03, 0x04, 0x31, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
      0x15, 0x00, 0x00, 0x25, 0x06, 0x08, 0x33, 0x00, 0x00, 0xC0, 0x3F, 0x00, 0x40, 0x00, 0x00, 0x34,
      0x00, 0x00, 0x00, 0x80, 0x3F, 0x00, 0x00, 0x00, 0x40, 0x00, 0x00, 0x40, 0x40, 0x0F, 0x06, 0x0F,
      0x07, 0x0F, 0x08, 0x29, 0x02, 0x01, 0x02
  };
  EXPECT_EQ(decode_status(data).substr(0, 3), "!! ");
}

// Every truncation and many single-byte changes of valid data decode or raise a language
// error; none crashes (the sanitizer build runs this too).
TEST_F(Kazbin, DamagedDataNeverCrashes) {
  ASSERT_EQ(kaz("o: make object! [a: 1 f: func [x] [x + a]] "
                "kb-src: reduce [o 'a/b 1.5 \"\u20ac\" #{01} [1 2] o/f 50% 1-Jan-2000/1:00 :o/f "
                "try [1 / 0] make bitset! #{0F} $1 1.2.3.4 :append bind 'a o "
                "make map! [k [v]] make vector! [1 2] make hash! [x]] 'ok"),
            "ok");
  cell src = global("kb-src");
  for (bool compact : {true, false}) {
    cell data;
    kazbin::codec_encode(&src, compact, &data);
    std::vector<uint8_t> bytes = bytes_of(&data);
    for (size_t n = 0; n < bytes.size(); ++n) {
      std::string s = decode_status(std::vector<uint8_t>(bytes.begin(), bytes.begin() + n));
      EXPECT_EQ(s.substr(0, 2), "!!") << n;
    }
    for (size_t i = 8; i < bytes.size(); ++i) {
      for (uint8_t x : {0x01, 0x40, 0x80, 0xFF}) {
        std::vector<uint8_t> d = bytes;
        d[i] ^= x;
        (void)decode_status(d);
      }
    }
  }
}

// Plain records: floats start on 8-byte boundaries, text is padded to 4 bytes.
TEST_F(Kazbin, PlainRecordsAreAligned) {
  ASSERT_EQ(kaz("kb-src: [1 1.5 \"hello\"] 'ok"), "ok");
  cell src = global("kb-src");
  cell data;
  kazbin::codec_encode(&src, false, &data);
  std::vector<uint8_t> bytes = bytes_of(&data);
  ASSERT_EQ(bytes.size(), 16u + 56u);
  auto word = [&](size_t i) {
    size_t at = 16 + 4 * i;
    return uint32_t(bytes[at]) | uint32_t(bytes[at + 1]) << 8 | uint32_t(bytes[at + 2]) << 16 |
           uint32_t(bytes[at + 3]) << 24;
  };
  const std::vector<uint32_t> expected = {5, 0, 3, 11, 1, 0, 12, 0x3FF80000, 0, 0x107, 0, 5};
  for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(word(i), expected[i]) << i;
  EXPECT_EQ(std::string(bytes.begin() + 64, bytes.end()), std::string("hello\0\0\0", 8));
}

// Deeply nested data: what the writer accepts the readers read back; deeper is refused.
TEST_F(Kazbin, NestingIsBounded) {
  for (bool compact : {true, false}) {
    ASSERT_EQ(kaz("kb-src: (b: copy [] loop 1999 [b: append/only copy [] b]) 'ok"), "ok");
    cell src = global("kb-src");
    cell data;
    kazbin::codec_encode(&src, compact, &data);
    cell out;
    EXPECT_EQ(decode_status(bytes_of(&data), &out), "ok");
    ASSERT_EQ(kaz("kb-src: append/only copy [] kb-src 'ok"), "ok");
    src = global("kb-src");
    stack::saved_state saved = stack::save();
    try {
      kazbin::codec_encode(&src, compact, &data);
      ADD_FAILURE() << "encoded";
    } catch (const language_error& e) {
      stack::unwind_to(saved);
      EXPECT_EQ(e.id, err::internal_too_deep);
    }
  }
  std::vector<uint8_t> deep(20000, 0x05);
  for (size_t i = 1; i < deep.size(); i += 2) deep[i] = 0x01;
  std::vector<uint8_t> d = {'K', 'A', 'Z', 'B', 'I', 'N', 2, 1, 1, 0xA0, 0x9C, 0x01};
  d.insert(d.end(), deep.begin(), deep.end());
  EXPECT_EQ(decode_status(d).substr(0, 20), "!! kb-invalid-record");
}

// Boot data: set records bind words and leave no literal; words name contexts by literal.
TEST_F(Kazbin, BootDataSetsWordsAndNumbersLiterals) {
  const std::vector<uint8_t> compact = {
      'K', 'A', 'Z', 'B', 'I', 'N', 1, 5, 1, 25, 3, 12, 0, 0, 0, 0, 5, 0, 0, 0, 7, 0, 0, 0,
      'k', 'b', '-', 'a', 0, 'x', 0, 'k', 'b', '-', 'c', 0,
      0xC4, 0x0F, 0x00, 0x85,                    // kb-a: 5
      0x07, 0x0C, 'a', 'b', 'c',                 // literal 0: "abc"
      0x0E, 0x12, 0x01, 0x01, 0x87,              // literal 1: a context [x: 7]
      0x4F, 0x01, 0x01, 0x01,                    // literal 2: x bound by lookup in literal 1
      0xC4, 0x0F, 0x02, 0x4F, 0x01, 0x01, 0x00,  // kb-c: x (bound by index in literal 1)
  };
  stack::saved_state saved = stack::save();
  cell* root = block::push_only(8);
  kazbin::decode_boot(compact.data(), static_cast<uint32_t>(compact.size()), root->data2, false);
  EXPECT_FALSE(kazbin::codec_q);
  EXPECT_EQ(kaz("kb-a"), "5");
  ASSERT_NE(kazbin::literal_cell(2), nullptr);
  EXPECT_EQ(kazbin::literal_cell(3), nullptr);
  EXPECT_EQ(describe(kazbin::literal_cell(0)), "\"abc\"");
  cell w = *kazbin::literal_cell(2);
  set_global("kb-out", &w);
  EXPECT_EQ(kaz("get kb-out"), "7");
  EXPECT_EQ(kaz("get kb-c"), "7");

  // The plain layout: bit 25 of a word makes a set record; literal -1 is the global context.
  const std::vector<uint8_t> plain = {
      'K', 'A', 'Z', 'B', 'I', 'N', 1, 4, 1, 0, 0, 0, 40, 0, 0, 0, 1, 0, 0, 0, 8, 0, 0, 0,
      0, 0, 0, 0, 'k', 'b', '-', 'p', 0, 0, 0, 0,
      15, 0, 0, 2, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,  // kb-p:
      11, 0, 0, 0, 9, 0, 0, 0,                                                // 9
      7, 1, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 'z', 0, 0, 0,                         // literal 0
  };
  kazbin::decode_boot(plain.data(), static_cast<uint32_t>(plain.size()), root->data2, true);
  EXPECT_EQ(kaz("kb-p"), "9");
  EXPECT_EQ(describe(kazbin::literal_cell(0)), "\"abc\"");  // the base was kept
  stack::unwind_to(saved);
}

// Boot images share one symbol table: their headers hold none, a name keeps its entry in every
// image, and a damaged table is refused like a damaged header.
TEST_F(Kazbin, BootImagesShareOneSymbolTable) {
  ASSERT_EQ(kaz("kb-i1: [kb-n1 \"x\" [kb-n2 kb-n1]] kb-i2: [kb-n2 kb-n3: 4] 'ok"), "ok");
  cell one = global("kb-i1");
  cell two = global("kb-i2");
  std::vector<uint8_t> first = kazbin::encode_boot(&one);
  std::vector<uint8_t> second = kazbin::encode_boot(&two);
  std::vector<uint8_t> table = kazbin::boot_symbol_table();
  EXPECT_EQ(first[7] & 4, 0);  // no table in the header
  EXPECT_EQ(second[7] & 4, 0);
  kazbin::boot_table names;
  names.data = table.data();
  names.length = static_cast<uint32_t>(table.size());
  stack::saved_state saved = stack::save();
  cell* root = block::push_only(4);
  kazbin::decode_boot(first.data(), static_cast<uint32_t>(first.size()), root->data2, true, &names);
  kazbin::decode_boot(second.data(), static_cast<uint32_t>(second.size()), root->data2, true,
                      &names);
  ASSERT_EQ(block::rs_length(root), 2);
  EXPECT_EQ(describe(block::rs_head(root)), describe(&one));
  EXPECT_EQ(describe(block::rs_head(root) + 1), describe(&two));
  cell head = *block::rs_head(root);
  cell w = *block::rs_head(&head);
  EXPECT_EQ(w.data1, context::global);  // kb-n1 bound to the global context

  for (uint32_t cut : {1u, 3u}) {
    kazbin::boot_table damaged;
    damaged.data = table.data();
    damaged.length = static_cast<uint32_t>(table.size()) - cut;
    try {
      kazbin::decode_boot(second.data(), static_cast<uint32_t>(second.size()), root->data2, true,
                          &damaged);
      ADD_FAILURE() << "a table cut by " << cut << " was taken";
    } catch (const language_error&) {
      cell e = error::in_flight;
      EXPECT_EQ(error::id_name(&e), "kb-invalid-record");
    }
  }
  stack::unwind_to(saved);
}

// The codec's routines: encode* chooses the layout by its compact? argument; decode answers the
// one value, a block for several, and refuses what is not KAZBIN data.
TEST_F(Kazbin, CodecRoutines) {
  ASSERT_EQ(kaz("kb-src: [a \"b\" 3] 'ok"), "ok");
  stack::saved_state saved = stack::save();
  cell* args = stack::reserve_cell();
  stack::reserve_cell();
  for (bool compact : {true, false}) {
    args[0] = global("kb-src");
    args[1] = cell{type::logic, compact ? 1u : 0u, 0, 0};
    kazbin::encode_star(args);
    ASSERT_EQ(type_of(args), type::binary);
    EXPECT_EQ(memory::buffer_of(args->data2)->head()[7] & 1, compact ? 1 : 0);
    kazbin::decode_payload(args);
    set_global("kb-out", args);
    EXPECT_EQ(kaz("mold kb-out"), "{[a \"b\" 3]}");
  }
  for (const char* code : {"12", "#{4B415A42494E0201}", "\"KAZBIN text\""}) {
    ASSERT_EQ(kaz(std::string("kb-src: ") + code + " 'ok"), "ok");
    args[0] = global("kb-src");
    try {
      kazbin::decode_payload(args);
      ADD_FAILURE() << code;
    } catch (const language_error& e) {
      EXPECT_EQ(e.id, err::script_invalid_data) << code;
    }
  }
  stack::unwind_to(saved);
}

// Compressed data (flags bit 1): everything after byte 7 is one stream of the runtime's LZ
// codec; it decodes as the data it packs, and a damaged stream is invalid-data.
TEST_F(Kazbin, CompressedDataIsUnpacked) {
  ASSERT_EQ(kaz("kb-src: reduce [append/dup copy \"\" \"abc\" 100 [x y z] 12] 'ok"), "ok");
  cell src = global("kb-src");
  for (bool compact : {true, false}) {
    cell data;
    kazbin::codec_encode(&src, compact, &data);
    std::vector<uint8_t> bytes = bytes_of(&data);
    std::vector<uint8_t> packed(bytes.size());
    int64_t n = compress::pack(bytes.data() + 8, static_cast<uint32_t>(bytes.size() - 8),
                               packed.data());
    ASSERT_GT(n, 0);
    std::vector<uint8_t> d(bytes.begin(), bytes.begin() + 8);
    d[7] |= 2;
    d.insert(d.end(), packed.begin(), packed.begin() + n);
    cell out;
    ASSERT_EQ(decode_status(d, &out), "ok");
    set_global("kb-out", &out);
    EXPECT_EQ(kaz("kb-out = kb-src"), "true");
    d.resize(d.size() - 3);  // a stream cut short
    EXPECT_EQ(decode_status(d).substr(0, 15), "!! invalid-data");
  }
}

}  // namespace
}  // namespace kaz
