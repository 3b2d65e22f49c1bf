// What the system says about itself for os-info: the distribution's name, the machine's
// architecture, the kernel's version and build number.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kaz::system_info {

struct description {
  std::string name;      // "Debian GNU/Linux 12 (bookworm)", or the kernel's name
  std::string_view arch; // "x86-64", "x86-32", "ARM64", "ARM", "IA-64" or "Unknown"
  uint8_t version[3];    // kernel major.minor.patch, each at most 255
  int32_t build;         // the number after the patch in the kernel release, or 0
};

// Reads uname(2) and /etc/os-release (or /usr/lib/os-release).
description describe();

// The pieces of describe(), apart so they can be checked on any text.
std::string_view arch_of_machine(std::string_view machine);
// PRETTY_NAME of an os-release text, else NAME, else empty; quotes and escapes removed.
std::string name_of_os_release(std::string_view text);
// "6.1.0-18-amd64" gives 6.1.0 and build 18; missing numbers are 0.
void parse_release(std::string_view release, uint8_t version[3], int32_t& build);

}  // namespace kaz::system_info
