#include "runtime/console_out.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "runtime/output_hooks.h"
#include "runtime/runtime_error.h"
#include "runtime/utf8_encode.h"

namespace kaz::sysrt {

/*
 * One output buffer, filled with UTF-8 and written when nearly full and at the end of every
 * writer, so nothing stays pending between calls (a fault report can follow at any moment).
 * Writes retry after interruptions and wait out a non-blocking descriptor that is full; only a
 * real error (a closed pipe, a full disk) drops the text.
 */
namespace {

constexpr int out_fd = 1;
constexpr size_t buffer_size = 4096;
char buffer[buffer_size];
size_t pending = 0;
bool terminal = false;

void write_all(const char* p, size_t n) {
  while (n > 0) {
    ssize_t w = ::write(out_fd, p, n);
    if (w > 0) {
      p += w;
      n -= static_cast<size_t>(w);
    } else if (w < 0 && errno == EINTR) {
      continue;
    } else if (w < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      pollfd pfd{out_fd, POLLOUT, 0};
      ::poll(&pfd, 1, -1);
    } else {
      return;
    }
  }
}

void put_byte(char c) {
  if (pending == buffer_size) flush_output();
  buffer[pending++] = c;
}

void put_code_point(uint32_t cp) {
  if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
  if (pending + 4 > buffer_size) flush_output();
  pending += unicode::utf8_append_encoded(cp, reinterpret_cast<uint8_t*>(buffer + pending));
}

void put_latin1(const uint8_t* p, size_t count) {
  for (size_t i = 0; i < count; ++i) put_code_point(p[i]);
}

void put_ucs2(const uint8_t* p, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    uint16_t u;
    std::memcpy(&u, p + 2 * i, 2);
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < count) {
      uint16_t low;
      std::memcpy(&low, p + 2 * (i + 1), 2);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        put_code_point(0x10000 + ((uint32_t(u) - 0xD800) << 10) + (low - 0xDC00));
        ++i;
        continue;
      }
    }
    put_code_point(u);
  }
}

void put_ucs4(const uint8_t* p, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    uint32_t u;
    std::memcpy(&u, p + 4 * i, 4);
    put_code_point(u);
  }
}

// Writes the text of a formatted number and hands it to the write hooks.
void emit_number(const char* text, int length) {
  if (length < 0) return;
  print_bytes(text, static_cast<size_t>(length));
}

}  // namespace

void init_console_out() { terminal = ::isatty(out_fd) == 1; }

bool output_is_terminal() { return terminal; }

void flush_output() {
  size_t n = pending;
  pending = 0;
  write_all(buffer, n);
}

void write_direct(const char* data, size_t length) {
  flush_output();
  write_all(data, length);
}

void write_units(const void* data, size_t bytes, uint32_t unit, bool line_end) {
  auto* p = static_cast<const uint8_t*>(data);
  switch (unit) {
    case 1:
      put_latin1(p, bytes);
      break;
    case 2:
      put_ucs2(p, bytes / 2);
      break;
    case 4:
      put_ucs4(p, bytes / 4);
      break;
    default:
      flush_output();
      no_switch_matched();
  }
  if (line_end) put_byte('\n');
  flush_output();
}

void write_latin1(const void* data, size_t bytes) { write_units(data, bytes, 1, false); }
void write_latin1_line(const void* data, size_t bytes) { write_units(data, bytes, 1, true); }
void write_ucs2(const void* data, size_t bytes) { write_units(data, bytes, 2, false); }
void write_ucs2_line(const void* data, size_t bytes) { write_units(data, bytes, 2, true); }
void write_ucs4(const void* data, size_t bytes) { write_units(data, bytes, 4, false); }
void write_ucs4_line(const void* data, size_t bytes) { write_units(data, bytes, 4, true); }

void print_bytes(const char* data, size_t length) {
  write_direct(data, length);
  call_write_hooks(data, length, 0);
}

void print_c_string(const char* s) { print_bytes(s, std::strlen(s)); }

int32_t print_integer(int32_t n) {
  char text[16];
  emit_number(text, std::snprintf(text, sizeof text, "%i", n));
  return n;
}

void print_hex2(uint32_t n) {
  char text[16];
  emit_number(text, std::snprintf(text, sizeof text, "%02X", n));
}

void print_hex8(uint32_t n) {
  char text[16];
  emit_number(text, std::snprintf(text, sizeof text, "%08X", n));
}

void print_float64(double d) {
  char text[40];
  emit_number(text, std::snprintf(text, sizeof text, "%.16g", d));
}

void print_float32(float f) {
  char text[40];
  emit_number(text, std::snprintf(text, sizeof text, "%.7g", static_cast<double>(f)));
}

void print_count(uint64_t n) {
  char text[24];
  emit_number(text, std::snprintf(text, sizeof text, "%" PRIu64, n));
}

}  // namespace kaz::sysrt
