#include "platform/terminal_input.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>

#include "memory/unicode_utf8.h"
#include "platform/terminal.h"
#include "runtime/fault_signals.h"

namespace kaz::tty {

/*
 * The queue holds bytes read from standard input and not yet taken: [head, tail) of `queue`.
 * Reading waits in poll(2) on standard input and on the read end of a pipe that the window-size
 * and interrupt handlers write one byte to, so a signal ends a wait at once whatever thread it
 * was delivered to and however close to the wait it came.
 */
namespace {

constexpr size_t queue_size = 4096;
uint8_t queue[queue_size];
size_t head = 0;
size_t tail = 0;
bool ended = false;

int wake_pipe[2] = {-1, -1};
volatile sig_atomic_t resize_pending = 0;

constexpr int esc_timeout_ms = 40;       // a lone ESC: nothing followed it for this long
constexpr int sequence_timeout_ms = 100;  // the rest of a sequence or a character
constexpr int cursor_timeout_ms = 400;    // the answer to a cursor position query
bool cursor_unanswered = false;

void on_resize(int) {
  int saved = errno;
  resize_pending = 1;
  if (wake_pipe[1] >= 0) {
    char b = 'w';
    ssize_t r = ::write(wake_pipe[1], &b, 1);
    (void)r;
  }
  errno = saved;
}

void drain_wake_pipe() {
  char sink[64];
  while (::read(wake_pipe[0], sink, sizeof sink) > 0) {
  }
}

size_t queued() { return tail - head; }

int64_t now_ms() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}


// Why a fill returned without bytes.
enum class fill_result { bytes, timeout, woken, end };

// Reads what standard input has into the queue, waiting at most timeout_ms (-1: no limit).
// With `wake`, a pending window-size change or interrupt ends the wait first.
fill_result fill(int timeout_ms, bool wake = true) {
  if (ended) return fill_result::end;
  if (head == tail) head = tail = 0;
  if (tail == queue_size) {
    if (head == 0) return fill_result::timeout;  // full: the caller must take bytes first
    std::memmove(queue, queue + head, tail - head);
    tail -= head;
    head = 0;
  }
  pollfd fds[2] = {{0, POLLIN, 0}, {wake_pipe[0], POLLIN, 0}};
  int nfds = wake_pipe[0] >= 0 ? 2 : 1;
  int64_t deadline = timeout_ms < 0 ? -1 : now_ms() + timeout_ms;
  for (;;) {
    if (wake && (resize_pending || sysrt::interrupt_pending)) return fill_result::woken;
    int wait = -1;
    if (deadline >= 0) {
      int64_t left = deadline - now_ms();
      wait = left > 0 ? static_cast<int>(left) : 0;
    }
    int r = ::poll(fds, nfds, wait);
    if (r < 0) {
      if (errno == EINTR) continue;
      ended = true;
      return fill_result::end;
    }
    if (r == 0) return fill_result::timeout;
    if (nfds == 2 && (fds[1].revents & POLLIN)) drain_wake_pipe();
    if (fds[0].revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL)) {
      ssize_t n = ::read(0, queue + tail, queue_size - tail);
      if (n > 0) {
        tail += static_cast<size_t>(n);
        return fill_result::bytes;
      }
      if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
      ended = true;
      return fill_result::end;
    }
  }
}

// Makes sure `count` bytes are queued, waiting at most timeout_ms for them.
bool have(size_t count, int timeout_ms) {
  int64_t deadline = now_ms() + timeout_ms;
  while (queued() < count) {
    int64_t left = deadline - now_ms();
    if (left <= 0) return false;
    fill_result r = fill(static_cast<int>(left), false);
    if (r == fill_result::end || r == fill_result::timeout) return false;
  }
  return true;
}

uint8_t at(size_t i) { return queue[head + i]; }

// The named key of a CSI sequence ending in `final`, with its first parameter.
int32_t csi_key(uint8_t final, int32_t p1) {
  switch (final) {
    case 'A': return key::up;
    case 'B': return key::down;
    case 'C': return key::right;
    case 'D': return key::left;
    case 'F': return key::end;
    case 'H': return key::home;
    case 'P': return key::f1;
    case 'Q': return key::f1 - 1;
    case 'S': return key::f1 - 3;
    case '~':
      switch (p1) {
        case 1: case 7: return key::home;
        case 4: case 8: return key::end;
        case 2: return key::insert;
        case 3: return key::delete_;
        case 5: return key::page_up;
        case 6: return key::page_down;
        case 11: case 12: case 13: case 14: case 15: return key::f1 - (p1 - 11);
        case 17: case 18: case 19: case 20: case 21: return key::f1 - 5 - (p1 - 17);
        case 23: case 24: return key::f1 - 10 - (p1 - 23);
        case 200: return key::paste_start;
        case 201: return key::paste_end;
        default: return key::none;
      }
    default:
      return key::none;
  }
}

// A CSI sequence at the queue's head: ESC, "[", parameters, intermediates, a final byte.
struct csi {
  size_t length;    // bytes, 0 when incomplete
  uint8_t final;
  bool private_;    // a marker such as "<" or "?" before the parameters
  int32_t params[4];
  int32_t count;
};

csi scan_csi(size_t from) {
  csi s{};
  size_t i = from + 2;
  int32_t current = 0;
  bool any = false;
  for (; i < queued(); ++i) {
    uint8_t b = at(i);
    if (b >= '0' && b <= '9') {
      if (current < 100000) current = current * 10 + (b - '0');
      any = true;
    } else if (b == ';') {
      if (s.count < 4) s.params[s.count] = current;
      ++s.count;
      current = 0;
      any = false;
    } else if (b == '<' || b == '=' || b == '>' || b == '?') {
      s.private_ = true;
    } else if (b >= 0x40 && b <= 0x7E) {
      if (any || s.count > 0) {
        if (s.count < 4) s.params[s.count] = current;
        ++s.count;
      }
      s.final = b;
      s.length = i - from + 1;
      return s;
    } else if (b == 0x1B) {
      s.length = i - from;  // abandoned: the ESC starts the next item
      s.final = 0;
      return s;
    }
  }
  return s;  // incomplete
}

bool is_cursor_report(const csi& s) { return s.final == 'R' && s.count == 2 && !s.private_; }

// Decodes one UTF-8 character at the queue's head (waiting briefly for the rest of it).
int32_t take_utf8() {
  for (;;) {
    size_t used = 0;
    int32_t cp = unicode::utf8_decode_char(queue + head, queued(), used);
    if (cp == unicode::utf8_incomplete) {
      if (have(queued() + 1, sequence_timeout_ms)) continue;
      // Cut short for good: the lead byte stands for one replaced character.
      ++head;
      return 0xFFFD;
    }
    if (cp < 0) {
      ++head;
      return 0xFFFD;
    }
    head += used;
    if (cp >= 0xD800 && cp <= 0xDFFF) return 0xFFFD;
    return cp;
  }
}

}  // namespace

void init_input() {
  if (wake_pipe[0] >= 0) return;
  if (::pipe(wake_pipe) != 0) {
    wake_pipe[0] = wake_pipe[1] = -1;
    return;
  }
  for (int fd : wake_pipe) {
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
  }
  sysrt::set_interrupt_wake_fd(wake_pipe[1]);
  struct sigaction sa{};
  sa.sa_handler = on_resize;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  sigaction(SIGWINCH, &sa, nullptr);
}

int32_t read_key() {
  for (;;) {
    if (queued() == 0) {
      fill_result r = fill(-1);
      if (r == fill_result::end) return key::end_of_input;
      if (r == fill_result::woken) {
        if (resize_pending) {
          resize_pending = 0;
          return key::resized;
        }
        sysrt::interrupt_pending = 0;
        return key::interrupted;
      }
      continue;
    }
    uint8_t b = at(0);
    if (b != 0x1B) {
      if (b < 0x80) {
        ++head;
        return b == '\n' ? 13 : b;
      }
      return take_utf8();
    }
    // ESC: alone, or the start of a sequence.
    if (!have(2, esc_timeout_ms)) {
      ++head;
      return 27;
    }
    uint8_t b2 = at(1);
    if (b2 == '[') {
      csi s = scan_csi(0);
      while (s.length == 0 && have(queued() + 1, sequence_timeout_ms)) s = scan_csi(0);
      if (s.length == 0) {  // cut short: drop what came
        head = tail;
        return key::none;
      }
      head += s.length;
      if (s.final == 0 || is_cursor_report(s)) continue;
      if (s.private_ || s.final == 'Z') return key::none;
      return csi_key(s.final, s.count > 0 ? s.params[0] : 0);
    }
    if (b2 == 'O') {
      if (!have(3, sequence_timeout_ms)) {
        head = tail;
        return key::none;
      }
      uint8_t f = at(2);
      head += 3;
      return csi_key(f, 0);
    }
    if (b2 == 0x1B || b2 >= 0x80) {  // ESC ESC, or ESC before a character: the ESC alone
      ++head;
      return 27;
    }
    head += 2;  // Alt with an ASCII key
    return key::none;
  }
}

bool query_cursor(int32_t& row, int32_t& column) {
  if (cursor_unanswered || !input_is_terminal() || !output_is_terminal()) return false;
  write_raw("\x1b[6n", 4);
  int64_t deadline = now_ms() + cursor_timeout_ms;
  size_t scanned = 0;
  for (;;) {
    // Look for a complete report among the queued bytes; other bytes stay where they are.
    for (size_t i = scanned; i + 1 < queued(); ++i) {
      if (at(i) != 0x1B || at(i + 1) != '[') continue;
      csi s = scan_csi(i);
      if (s.length == 0) break;  // incomplete: wait for more
      if (!is_cursor_report(s)) continue;
      row = s.params[0] > 0 ? s.params[0] - 1 : 0;
      column = s.params[1] > 0 ? s.params[1] - 1 : 0;
      std::memmove(queue + head + i, queue + head + i + s.length, queued() - i - s.length);
      tail -= s.length;
      return true;
    }
    int64_t left = deadline - now_ms();
    if (left <= 0) break;
    // Signals stay pending for the key reader meanwhile.
    fill_result r = fill(static_cast<int>(left), false);
    if (r == fill_result::end || r == fill_result::timeout) break;
  }
  cursor_unanswered = true;
  return false;
}

int32_t read_char() {
  for (;;) {
    if (queued() == 0) {
      fill_result r = fill(-1);
      if (r == fill_result::end) return -1;
      if (r == fill_result::woken) {
        if (sysrt::interrupt_pending) {
          sysrt::interrupt_pending = 0;
          return key::interrupted;
        }
        resize_pending = 0;
      }
      continue;
    }
    if (at(0) < 0x80) return queue[head++];
    return take_utf8();
  }
}

size_t read_bytes(uint8_t* out, size_t n) {
  while (queued() == 0) {
    fill_result r = fill(-1);
    if (r == fill_result::end) return 0;
    if (r == fill_result::woken) {
      if (sysrt::interrupt_pending) return 0;  // left pending: the evaluator halts
      resize_pending = 0;
    }
  }
  size_t k = queued() < n ? queued() : n;
  std::memcpy(out, queue + head, k);
  head += k;
  return k;
}

size_t read_pending(uint8_t* out, size_t n, int timeout_ms, bool& resized) {
  if (queued() == 0 && !resize_pending && !sysrt::interrupt_pending) fill(timeout_ms);
  // Take what else arrived meanwhile without waiting.
  while (queued() < queue_size / 2 && fill(0, false) == fill_result::bytes) {
  }
  resized = resize_pending != 0;
  resize_pending = 0;
  size_t k = queued() < n ? queued() : n;
  std::memcpy(out, queue + head, k);
  head += k;
  return k;
}

bool input_ended() { return ended; }

}  // namespace kaz::tty
