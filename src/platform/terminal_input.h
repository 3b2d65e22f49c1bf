// Terminal input: one queue of bytes read from standard input, decoded into keys (VT sequences
// of a terminal in raw mode) or into characters (redirected input). Every reader of standard
// input in the process takes its bytes from this queue, so none is lost to another's buffering.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kaz::tty {

// Key codes: a key that gives a character answers its code point (Ctrl combinations 1-31,
// Backspace 127 or 8, Enter 13); named keys answer these negative codes.
namespace key {
constexpr int32_t none = 0;  // a sequence that names no key this layer knows
constexpr int32_t up = -20;
constexpr int32_t down = -21;
constexpr int32_t right = -22;
constexpr int32_t left = -23;
constexpr int32_t end = -24;
constexpr int32_t home = -25;
constexpr int32_t insert = -26;
constexpr int32_t delete_ = -27;
constexpr int32_t page_up = -28;
constexpr int32_t page_down = -29;
constexpr int32_t f1 = -31;  // f1 - n is F(n+1), up to F12 = -42
constexpr int32_t paste_start = -50;  // bracketed paste: the text between is pasted, not typed
constexpr int32_t paste_end = -51;
// What the reader met instead of a key.
constexpr int32_t resized = -100;       // the window size changed
constexpr int32_t interrupted = -101;   // an interrupt signal arrived while waiting
constexpr int32_t end_of_input = -102;  // standard input reached its end, or failed
}  // namespace key

// Makes the wake-up pipe and installs the window-size handler; the interrupt handler of the
// runtime writes to the same pipe, so a wait ends at once on either. Called once; later calls
// do nothing.
void init_input();

/*
 * Reads the next key from standard input, a terminal in raw mode, waiting as long as needed.
 * Escape sequences are decoded: arrows, Home, End, Insert, Delete, Page Up/Down and F1-F12 in
 * their common forms (modifiers ignored), and the marks of a bracketed paste; a lone ESC is
 * the key 27 once no byte followed it within a short time. A line feed byte is Enter (13). Unknown sequences, mouse reports and
 * Alt with a character answer key::none; a cursor position report nobody asked for is dropped.
 */
int32_t read_key();

// Asks the terminal where the cursor is and waits a short time for the answer; keys typed
// meanwhile stay queued. Row and column are 0-based. False when no answer came: the terminal
// is then taken not to answer, and later queries answer false at once.
bool query_cursor(int32_t& row, int32_t& column);

// Redirected input: the next character decoded from UTF-8, -1 at the end of input (or a read
// error), or key::interrupted. A byte that starts no sequence, or a sequence cut short, gives
// U+FFFD and decoding goes on after it.
int32_t read_char();

// Raw bytes: up to n bytes, at least one unless the input ended (then 0) or an interrupt came
// (then 0 too, with the interrupt left pending for the evaluator).
size_t read_bytes(uint8_t* out, size_t n);

/*
 * For an event loop that keeps its own decoder: waits at most timeout_ms for input (a window-size
 * change or an interrupt ends the wait at once), then moves up to n queued bytes into `out`.
 * `resized` tells whether the window size changed since the last call. Answers the bytes moved.
 */
size_t read_pending(uint8_t* out, size_t n, int timeout_ms, bool& resized);

// Whether a read met the end of standard input.
bool input_ended();

}  // namespace kaz::tty
