// What the language cannot reach or show yet: handle! values, ports with a native actor table,
// the bytes of digests and of compressed data, and the print natives' line-end state.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/actions.h"
#include "core/context.h"
#include "core/error.h"
#include "core/stack.h"
#include "core/string_storage.h"
#include "core/symbol.h"
#include "datatypes/handle.h"
#include "datatypes/port.h"
#include "eval/interpreter.h"
#include "eval/natives.h"
#include "library/library.h"
#include "loader/checksum.h"
#include "loader/lexer_transcode.h"
#include "memory/collector.h"
#include "memory/unicode_strings.h"
#include "runtime/native_stack.h"
#include "runtime/output_hooks.h"
#include "start/boot.h"

namespace kaz::testing {
namespace {

class SystemNatives : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!error::ready()) {
      sysrt::enter_runtime_thread(__builtin_frame_address(0));
      boot::init_runtime();
    }
    cell w;
    context::intern_global(symbol::make("checksum"), &w);
    if (type_of(context::get_value(&w)) == type::unset) library::run_top_level();
  }

  // Evaluates source text; the result, or "!! category id" for an error.
  static cell eval(const std::string& source, std::string* error = nullptr) {
    stack::saved_state saved = stack::save();
    cell result{type::unset, 0, 0, 0};
    try {
      cell* code = stack::reserve_cell();
      lexer::load_text_block(source, code);
      flow f = interp::do_block(code, &result);
      EXPECT_EQ(f, flow::normal);
    } catch (const language_error&) {
      cell e = error::in_flight;
      if (error) *error = std::string("!! ") + error::type_name(&e) + " " + error::id_name(&e);
      result.header = type::none;
    }
    stack::unwind_to(saved);
    return result;
  }

  // Formed, or molded (with /all when asked).
  static std::string text(const cell& v, bool mold, bool all = false) {
    cell buffer;
    string::make_at(&buffer, 16);
    cell* held = stack::push(&buffer);
    cell value = v;
    if (mold) actions::mold(&value, held, false, all, false, nullptr, 0x7FFFFFFF, 0);
    else actions::form(&value, held, nullptr, 0x7FFFFFFF);
    std::string s = string::to_utf8(held);
    stack::top--;
    return s;
  }

  static std::vector<uint8_t> bytes(const cell& b) {
    EXPECT_EQ(type_of(&b), type::binary);
    unicode::text_range r = unicode::bytes_from_head(&b);
    return {r.p, r.p + r.count};
  }

  static void set_global(const char* name, const cell& value) {
    context::put_word_value(context::global, symbol::make(name), &value);
  }
};

TEST_F(SystemNatives, HandleText) {
  cell h;
  handle_type::init_cell(&h, 0x10A2C, handle_type::class_::window);
  EXPECT_EQ(text(h, false), "00010A2Ch");
  EXPECT_EQ(text(h, true), "handle!");
  EXPECT_EQ(text(h, true, true), "#[handle! 00010A2Ch window]");
  handle_type::init_cell(&h, 0, handle_type::class_::null);
  EXPECT_EQ(text(h, true, true), "#[handle! 00000000h]");
  handle_type::init_cell(&h, 0xFFFFFFFF, handle_type::class_::rich_text);
  EXPECT_EQ(text(h, true, true), "#[handle! FFFFFFFFh rich-text]");
  set_global("h", h);
  EXPECT_EQ(text(eval("mold h"), false), "handle!");
}

TEST_F(SystemNatives, HandleComparison) {
  cell a, b, c;
  handle_type::init_cell(&a, 7, handle_type::class_::font);
  handle_type::init_cell(&b, 7, handle_type::class_::window);
  handle_type::init_cell(&c, 9, handle_type::class_::font);
  set_global("ha", a);
  set_global("hb", b);
  set_global("hc", c);
  struct row {
    const char* code;
    const char* result;
  } rows[] = {
      {"ha = hb", "true"}, {"ha = hc", "false"}, {"ha < hc", "true"}, {"ha = 7", "false"},
      {"type? ha", "handle!"},
  };
  for (const row& r : rows) EXPECT_EQ(text(eval(r.code), true), r.result) << r.code;
  std::string err;
  eval("make handle! 1", &err);
  EXPECT_EQ(err, "!! script expect-arg");
  err.clear();
  eval("ha + 1", &err);
  EXPECT_EQ(err, "!! script expect-arg");
}

// A native actor: a table of which only length? and pick exist.
const cell* table_pick(cell* series, int32_t index, cell*) {
  *series = cell{type::integer, 0, static_cast<uint32_t>(index * 10), 0};
  return series;
}
int32_t table_length(cell*) { return 99; }
const action_row native_table{.length_q = table_length, .pick = table_pick};

TEST_F(SystemNatives, PortWithNativeActor) {
  uint32_t value = port_type::register_native_actor(&native_table);
  cell actor;
  handle_type::init_cell(&actor, value, handle_type::class_::null);
  set_global("native-actor", actor);
  eval(R"(
    system: make object! [
      standard: make object! [
        port: make object! [spec: scheme: actor: awake: state: data: extra: none]
        url-parts: make object! [scheme: user-info: host: port: path: target: query: fragment: ref: none]
      ]
      schemes: reduce ['native make object! [name: 'native actor: native-actor]]
    ]
    np: make port! [scheme: 'native]
  )");
  EXPECT_EQ(text(eval("length? np"), true), "99");
  EXPECT_EQ(text(eval("pick np 4"), true), "40");
  std::string err;
  eval("append np 1", &err);
  EXPECT_EQ(err, "!! access no-port-action");
  err.clear();
  eval("open? np", &err);  // taken from the table, where it is empty
  EXPECT_EQ(err, "!! access no-port-action");
  // Actions up to 24 are port! slots as for any type.
  err.clear();
  eval("negate np", &err);
  EXPECT_EQ(err, "!! script expect-arg");
  // A handle that designates no table takes no action.
  handle_type::init_cell(&actor, 12345, handle_type::class_::null);
  set_global("native-actor", actor);
  eval("system/schemes: reduce ['native make object! [actor: native-actor]] np2: make port! [scheme: 'native]");
  err.clear();
  eval("length? np2", &err);
  EXPECT_EQ(err, "!! access no-port-action");
}

TEST_F(SystemNatives, DigestBytes) {
  uint8_t expected[checksum::max_digest_size];
  checksum::digest_out out(expected, checksum::max_digest_size);
  const uint8_t abc[] = {'a', 'b', 'c'};
  struct row {
    const char* code;
    checksum::method m;
  } rows[] = {{"md5", checksum::method::md5},       {"sha1", checksum::method::sha1},
              {"sha256", checksum::method::sha256}, {"sha384", checksum::method::sha384},
              {"sha512", checksum::method::sha512}};
  for (const row& r : rows) {
    size_t n = checksum::crypto_api_hash(abc, r.m, out);
    std::vector<uint8_t> want(expected, expected + n);
    EXPECT_EQ(bytes(eval(std::string("checksum \"abc\" '") + r.code)), want) << r.code;
    EXPECT_EQ(bytes(eval(std::string("checksum #{616263} '") + r.code)), want) << r.code;
    const uint8_t key[] = {'k'};
    n = checksum::hmac(abc, key, r.m, out);
    want.assign(expected, expected + n);
    EXPECT_EQ(bytes(eval(std::string("checksum/with \"abc\" '") + r.code + " \"k\"")), want);
    EXPECT_EQ(bytes(eval(std::string("checksum/with \"abc\" '") + r.code + " #{6B}")), want);
  }
  // A string is summed as UTF-8.
  EXPECT_EQ(bytes(eval("checksum \"é\" 'md5")), bytes(eval("checksum #{C3A9} 'md5")));
}

TEST_F(SystemNatives, CompressRoundTrips) {
  for (const char* method : {"zlib", "deflate", "gzip"}) {
    std::string m = std::string(" '") + method;
    std::string code = "decompress compress \"hello hello hello é\"" + m + m;
    std::vector<uint8_t> got = bytes(eval(code));
    std::string want = "hello hello hello \xC3\xA9";
    EXPECT_EQ(std::string(got.begin(), got.end()), want) << method;
    // An empty input and a /size that is too small or too large.
    EXPECT_TRUE(bytes(eval("decompress compress \"\"" + m + m)).empty()) << method;
    got = bytes(eval("decompress/size compress \"abcabcabc\"" + m + m + " 1"));
    EXPECT_EQ(std::string(got.begin(), got.end()), "abcabcabc") << method;
    got = bytes(eval("decompress/size compress \"abc\"" + m + m + " 1000"));
    EXPECT_EQ(std::string(got.begin(), got.end()), "abc") << method;
    std::string err;
    eval("decompress #{0102030405}" + m, &err);
    EXPECT_EQ(err, "!! script invalid-data") << method;
  }
  // The known zlib stream of "abc" with the fixed codes.
  std::vector<uint8_t> z = bytes(eval("compress \"abc\" 'zlib"));
  ASSERT_GE(z.size(), 6u);
  EXPECT_EQ(z[0], 0x78);
  EXPECT_EQ(std::vector<uint8_t>(z.end() - 4, z.end()),
            (std::vector<uint8_t>{0x02, 0x4D, 0x01, 0x27}));  // Adler-32 of "abc"
}

TEST_F(SystemNatives, PrintSetsLastLineEnd) {
  eval("prin \"\"");
  EXPECT_FALSE(natives::last_line_end());
  eval("print \"\"");
  EXPECT_TRUE(natives::last_line_end());
}

}  // namespace
}  // namespace kaz::testing
