#include "runtime/os_time.h"

#include <time.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "runtime/fault_signals.h"

namespace kaz::sysrt {

double get_time(bool precise) {
  timespec ts{};
  ::clock_gettime(CLOCK_REALTIME, &ts);
  double seconds = static_cast<double>(ts.tv_sec % 86400);
  if (precise) seconds += static_cast<double>(ts.tv_nsec / 100 * 100) / 1.0e9;
  return seconds;
}

uint32_t zone_code(int offset_minutes) {
  uint32_t sign = offset_minutes < 0 ? 0x10 : 0;
  uint32_t magnitude = static_cast<uint32_t>(std::abs(offset_minutes));
  uint32_t hours = (magnitude / 60) & 0xF;
  uint32_t quarters = (magnitude % 60) / 15;
  return ((sign | hours) << 2) | quarters;
}

uint32_t pack_date(int year, int month, int day, uint32_t zone) {
  return (static_cast<uint32_t>(year) << 17) | (static_cast<uint32_t>(month) << 12) |
         (static_cast<uint32_t>(day) << 7) | (zone & 0x7F);
}

uint32_t get_local_time(bool utc) {
  time_t now = ::time(nullptr);
  tm t{};
  if (utc) {
    ::gmtime_r(&now, &t);
    return pack_date(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, 0);
  }
  ::localtime_r(&now, &t);
  return pack_date(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday,
                   zone_code(static_cast<int>(t.tm_gmtoff / 60)));
}

uint32_t sleep_millis(double seconds) {
  constexpr double longest = 4294967294.0;  // one below the 32-bit "forever"
  double ms = seconds * 1000.0;
  if (!(ms >= 1.0)) return 1;  // also NaN
  if (ms > longest) return static_cast<uint32_t>(longest);
  return static_cast<uint32_t>(ms);
}

void sleep(double seconds) {
  uint32_t ms = sleep_millis(seconds);
  timespec until{};
  ::clock_gettime(CLOCK_MONOTONIC, &until);
  until.tv_sec += static_cast<time_t>(ms / 1000);
  until.tv_nsec += static_cast<long>(ms % 1000) * 1000000L;
  if (until.tv_nsec >= 1000000000L) {
    until.tv_sec++;
    until.tv_nsec -= 1000000000L;
  }
  // Up to the deadline in slices of at most a tenth of a second: an interrupt (Ctrl-C at the
  // console) may be taken by another thread, so the flag is looked at between them, and the
  // caller halts.
  constexpr long slice_ns = 100000000L;
  while (!interrupt_pending) {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    long long left_ns = (static_cast<long long>(until.tv_sec) - now.tv_sec) * 1000000000LL +
                        (until.tv_nsec - now.tv_nsec);
    if (left_ns <= 0) return;
    long step = left_ns < slice_ns ? static_cast<long>(left_ns) : slice_ns;
    timespec nap{0, step};
    ::nanosleep(&nap, nullptr);
  }
}

}  // namespace kaz::sysrt
