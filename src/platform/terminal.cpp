#include "platform/terminal.h"

#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>

#include "runtime/console_out.h"
#include "runtime/runtime_error.h"

namespace kaz::tty {

namespace {

bool initialised = false;
bool stdin_tty = false;
bool stdout_tty = false;

// The settings found when raw mode was entered; `raw` says they must be put back. Both are read
// by the restore hook, which may run in a signal handler.
struct termios saved_settings;
volatile sig_atomic_t raw = 0;

// A termination request: put the terminal back (raw mode, and whatever the other restore hooks
// keep, such as a terminal window's screen modes), then end as the signal would have.
void on_termination(int signo) {
  sysrt::run_restore_hooks();
  ::signal(signo, SIG_DFL);
  ::raise(signo);
}

}  // namespace

void init() {
  if (initialised) return;
  initialised = true;
  stdin_tty = ::isatty(0) == 1;
  stdout_tty = ::isatty(1) == 1;
  sysrt::add_restore_hook(restore);
  for (int s : {SIGTERM, SIGHUP}) {
    struct sigaction old{};
    if (::sigaction(s, nullptr, &old) != 0 || old.sa_handler != SIG_DFL) continue;
    struct sigaction sa{};
    sa.sa_handler = on_termination;
    sigemptyset(&sa.sa_mask);
    ::sigaction(s, &sa, nullptr);
  }
}

bool input_is_terminal() { return stdin_tty; }
bool output_is_terminal() { return stdout_tty; }

bool interactive() {
  if (!stdin_tty || !stdout_tty) return false;
  const char* term = std::getenv("TERM");
  return !(term && std::strcmp(term, "dumb") == 0);
}

bool enter_raw_mode(bool interrupt_key) {
  if (!stdin_tty) return false;
  if (raw) return true;
  struct termios t;
  if (::tcgetattr(0, &t) != 0) return false;
  saved_settings = t;
  t.c_iflag &= ~static_cast<tcflag_t>(BRKINT | ICRNL | INLCR | IGNCR | INPCK | ISTRIP | IXON);
  t.c_cflag |= CS8;
  t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ICANON | IEXTEN | (interrupt_key ? 0 : ISIG));
  if (interrupt_key) {
    // only Ctrl-C: a stop or a quit from the keyboard would leave the terminal in our modes
    t.c_cc[VQUIT] = _POSIX_VDISABLE;
    t.c_cc[VSUSP] = _POSIX_VDISABLE;
  }
  t.c_cc[VMIN] = 1;
  t.c_cc[VTIME] = 0;
  raw = 1;
  if (::tcsetattr(0, TCSADRAIN, &t) != 0) {
    raw = 0;
    return false;
  }
  return true;
}

void leave_raw_mode() { restore(); }

bool enter_no_echo_mode() {
  if (!stdin_tty || raw) return false;
  struct termios t;
  if (::tcgetattr(0, &t) != 0) return false;
  saved_settings = t;
  t.c_lflag &= ~static_cast<tcflag_t>(ECHO);
  raw = 1;
  if (::tcsetattr(0, TCSADRAIN, &t) != 0) {
    raw = 0;
    return false;
  }
  return true;
}

bool in_raw_mode() { return raw != 0; }

void restore() {
  if (!raw) return;
  raw = 0;
  ::tcsetattr(0, TCSADRAIN, &saved_settings);
}

window_size query_size() {
  struct winsize ws;
  for (int fd : {1, 0}) {
    if (::ioctl(fd, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0 && ws.ws_row > 0)
      return {ws.ws_col, ws.ws_row, true};
  }
  return {80, 24, false};
}

void write_raw(const char* data, size_t length) { sysrt::write_direct(data, length); }

void set_title(std::string_view title) {
  if (!stdout_tty) return;
  std::string seq = "\x1b]0;";
  for (char c : title)
    if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7F) seq += c;
  seq += '\a';
  write_raw(seq);
}

}  // namespace kaz::tty
