#include "runtime/os_time.h"

#include <time.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>

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
  timespec left{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
  while (::nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}

}  // namespace kaz::sysrt
