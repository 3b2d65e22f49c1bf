// The VT input decoder of the terminal windows: bytes read from the terminal become key
// characters, named keys, mouse buttons, motion, wheel turns and cursor position reports.
// Bytes that end in the middle of a sequence or a character wait for the next pass.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kaz::tui {

// Named key codes (characters are their code points); 10 stands for Shift-Tab.
namespace named_key {
constexpr int32_t back_tab = 10;
constexpr int32_t up = -20, down = -21, right = -22, left = -23, end = -24, home = -25;
constexpr int32_t delete_ = -27, page_up = -28, page_down = -29;
constexpr int32_t f1 = -31;  // F(n) is f1 - (n - 1), to F12 = -42
}  // namespace named_key

// Event flag bits that mouse reports carry.
namespace mouse_flag {
constexpr uint32_t down = 0x2000000;
constexpr uint32_t control = 0x10000000;
constexpr uint32_t shift = 0x20000000;
constexpr uint32_t alt = 0x40000000;
}  // namespace mouse_flag

// Where decoded input goes.
struct input_sink {
  void* self;
  // A key: a character (named 0) or a named key (character 0).
  void (*key)(void* self, int32_t character, int32_t named);
  // A button change: code 1 down, 2 up, 3 mid-down, 4 mid-up, 5 alt-down, 6 alt-up.
  void (*button)(void* self, int32_t code, float x, float y, uint32_t flags);
  // Motion (with the down flag while a button is held).
  void (*motion)(void* self, float x, float y, uint32_t flags);
  // A wheel turn: +1 up, -1 down.
  void (*wheel)(void* self, int32_t direction, float x, float y, uint32_t flags);
};

struct input_decoder {
  std::vector<uint8_t> bytes;  // not yet decoded
  bool incomplete = false;
  int32_t last_release = 1;    // 1 after a release report, 0 after a press
  int32_t origin_row = 0;      // from the last cursor position report (0-based)
  int32_t cursor_column = 0;

  void append(const uint8_t* data, size_t n) { bytes.insert(bytes.end(), data, data + n); }
  void reset() {
    bytes.clear();
    incomplete = false;
  }
  // Decodes every complete item; an incomplete one is kept at the front for the next pass. A
  // lone ESC with nothing after it is delivered as the character 27.
  void process(const input_sink& sink);
};

}  // namespace kaz::tui
