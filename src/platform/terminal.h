// The terminal layer: standard input and output as a VT terminal. Raw mode through termios,
// the window size, the title, and output written as it is. The line editor and the terminal
// GUI both stand on it; keys and other input come through terminal_input.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace kaz::tty {

// Notes whether standard input and output are terminals and registers the restore hook that
// puts a terminal left in raw mode back on every exit path. Called once at start; later calls
// do nothing.
void init();

bool input_is_terminal();
bool output_is_terminal();

// Whether the line editor can run: both ends are terminals and TERM does not name a terminal
// without cursor control ("dumb").
bool interactive();

/*
 * Raw mode on standard input: no echo, no line discipline, no signals from keys (Ctrl-C
 * arrives as the character 3), no flow control, CR kept as CR. Output processing stays on, so
 * a line feed written still starts a new line. The settings found on entry are put back by
 * leave_raw_mode and by every exit path. Entering twice keeps the first saved settings;
 * answers false when standard input is not a terminal. With `interrupt_key`, Ctrl-C stays a
 * SIGINT (the terminal windows: so it can halt an actor that never returns); the stop and quit
 * keys stay off.
 */
bool enter_raw_mode(bool interrupt_key = false);
void leave_raw_mode();
bool in_raw_mode();

// Standard input's line discipline as it is but without echo (hidden input where the editor
// cannot run); left with leave_raw_mode, and put back on every exit path as raw mode is.
bool enter_no_echo_mode();

// Puts the saved settings back if raw mode is on. Safe in a signal handler.
void restore();

// The window size in cells, from the terminal on standard output or input; 80x24 (and known
// false) when neither is a terminal or the size reads as 0.
struct window_size {
  int32_t columns;
  int32_t rows;
  bool known;
};
window_size query_size();

// Writes bytes straight to standard output, after the runtime's pending output, without the
// print layer's hooks. Retries after interruptions; a real error drops the rest.
void write_raw(const char* data, size_t length);
inline void write_raw(std::string_view text) { write_raw(text.data(), text.size()); }

// Sets the window title through OSC 0 when standard output is a terminal; otherwise nothing.
// Control characters in the title are left out so they cannot end the sequence early.
void set_title(std::string_view title);

}  // namespace kaz::tty
