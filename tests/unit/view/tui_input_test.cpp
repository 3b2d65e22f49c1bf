// The VT input decoder of the terminal windows: bytes in, keys, buttons, motion, wheel turns
// and cursor reports out, written down as text so a table shows what each input gives.
#include <gtest/gtest.h>

#include <string>

#include "view/tui_input.h"

namespace kaz::tui {
namespace {

std::string log;

void on_key(void*, int32_t ch, int32_t named) {
  log += named ? "named " + std::to_string(named) + ";" : "char " + std::to_string(ch) + ";";
}
void on_button(void*, int32_t code, float x, float y, uint32_t flags) {
  log += "button " + std::to_string(code) + " " + std::to_string(int(x)) + "," +
         std::to_string(int(y)) + " " + std::to_string(flags >> 24) + ";";
}
void on_motion(void*, float x, float y, uint32_t flags) {
  log += "over " + std::to_string(int(x)) + "," + std::to_string(int(y)) + " " +
         std::to_string(flags >> 24) + ";";
}
void on_wheel(void*, int32_t dir, float x, float y, uint32_t) {
  log += "wheel " + std::to_string(dir) + " " + std::to_string(int(x)) + "," +
         std::to_string(int(y)) + ";";
}
const input_sink sink{nullptr, on_key, on_button, on_motion, on_wheel};

std::string decode(input_decoder& d, const std::string& bytes) {
  log.clear();
  d.append(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  d.process(sink);
  return log;
}

struct vt_case {
  const char* bytes;
  const char* events;
};

TEST(TuiInput, SequencesGiveTheirKeysAndReports) {
  const vt_case cases[] = {
      {"a", "char 97;"},
      {"\xc3\xa9\xe2\x82\xac", "char 233;char 8364;"},
      {"\xf0\x9f\x98\x80", "char 128512;"},
      {"\n", "char 13;"},
      {"\x08", "char 127;"},
      {"\x1b", "char 27;"},
      {"\x1b[A", "named -20;"},
      {"\x1b[B\x1b[C\x1b[D", "named -21;named -22;named -23;"},
      {"\x1b[H\x1b[F", "named -25;named -24;"},
      {"\x1b[3~\x1b[5~\x1b[6~", "named -27;named -28;named -29;"},
      {"\x1bOP\x1bOS", "named -31;named -34;"},
      {"\x1b[15~\x1b[24~", "named -35;named -42;"},
      {"\x1b[2~", ""},             // insert: no sequence gives it
      {"\x1b[1;5A", ""},           // a modified arrow gives nothing
      {"\x1b[Z", "named 10;"},     // Shift-Tab
      {"\x1b[9x", ""},             // unknown final byte
      {"\x1b" "ab", "char 98;"},      // Alt-a gives nothing; the next byte is read on its own
      {"\x1b]0;title\x1b\\x", "char 120;"},
      {"\x1b[<64;1;1M", "wheel 1 0,0;"},
      {"\x1b[<65;3;2M", "wheel -1 2,1;"},
      {"\x1b[<66;1;1M", ""},       // horizontal wheel: ignored
      {"\x1b[<0;5M", ""},          // a report with a wrong parameter count
      {"\x1b[<35;4;2M", "over 3,1 0;"},
      {"\x1b[<4;1;1M", "button 1 0,0 32;"},  // shift
  };
  for (const vt_case& c : cases) {
    input_decoder d;
    EXPECT_EQ(decode(d, c.bytes), c.events) << "input: " << c.bytes + (c.bytes[0] == 27);
  }
}

TEST(TuiInput, ButtonsPressMoveReleaseRelativeToTheOrigin) {
  input_decoder d;
  decode(d, "\x1b[4;7R");  // cursor report: row 3, column 6 (0-based)
  EXPECT_EQ(d.origin_row, 3);
  EXPECT_EQ(d.cursor_column, 6);
  EXPECT_EQ(decode(d, "\x1b[<0;10;5M"), "button 1 9,1 0;");
  EXPECT_EQ(decode(d, "\x1b[<32;11;5M"), "over 10,1 2;");  // motion with the button held
  EXPECT_EQ(decode(d, "\x1b[<0;11;5m"), "button 2 10,1 0;");
  EXPECT_EQ(decode(d, "\x1b[<2;1;4M\x1b[<2;1;4m"), "button 5 0,0 0;button 6 0,0 0;");
}

TEST(TuiInput, InputCutShortWaitsForTheRest) {
  input_decoder d;
  EXPECT_EQ(decode(d, "x\x1b["), "char 120;");
  EXPECT_TRUE(d.incomplete);
  EXPECT_EQ(decode(d, "1"), "");
  EXPECT_EQ(decode(d, "5~"), "named -35;");
  EXPECT_EQ(decode(d, "\xe2\x82"), "");
  EXPECT_EQ(decode(d, "\xac"), "char 8364;");
  // An ESC ending a buffer waits for the next pass; alone then, it is the Escape key.
  EXPECT_EQ(decode(d, "q\x1b"), "char 113;");
  EXPECT_EQ(decode(d, ""), "char 27;");
  // An OSC string ended by BEL runs until an ESC "\" comes.
  EXPECT_EQ(decode(d, "\x1b]11;rgb:0/0/0\x07" "abc"), "");
  EXPECT_EQ(decode(d, "\x1b\\z"), "char 122;");
}

// A handler may run a nested event loop that reads and decodes input of its own.
input_decoder* nested_decoder = nullptr;
void on_key_nesting(void* self, int32_t ch, int32_t named) {
  on_key(self, ch, named);
  if (ch == 'a' && nested_decoder) {
    input_decoder& d = *nested_decoder;
    nested_decoder = nullptr;
    d.append(reinterpret_cast<const uint8_t*>("b\x1b[<0;1"), 7);
    d.process(input_sink{nullptr, on_key, on_button, on_motion, on_wheel});
  }
}

TEST(TuiInput, ANestedLoopDecodesWhatItReads) {
  input_decoder d;
  nested_decoder = &d;
  log.clear();
  d.append(reinterpret_cast<const uint8_t*>("ac\x1b["), 4);
  d.process(input_sink{nullptr, on_key_nesting, on_button, on_motion, on_wheel});
  EXPECT_EQ(log, "char 97;char 98;char 99;");
  // The outer pass's cut sequence comes before what the nested pass left.
  EXPECT_EQ(d.bytes, (std::vector<uint8_t>{0x1b, '[', 0x1b, '[', '<', '0', ';', '1'}));
}

TEST(TuiInput, BadBytesAreReplacedAndDecodingGoesOn) {
  input_decoder d;
  EXPECT_EQ(decode(d, "\xff" "a\xed\xa0\x80"), "char 65533;char 97;char 65533;char 65533;char 65533;");
}

}  // namespace
}  // namespace kaz::tui
