#include "platform/os_info.h"

#include <sys/utsname.h>

#include <fstream>
#include <sstream>

namespace kaz::system_info {

namespace {

// Reads a run of digits at `at`, saturating at `cap`; false when there is none.
bool read_number(std::string_view s, size_t& at, int64_t cap, int64_t& out) {
  if (at >= s.size() || s[at] < '0' || s[at] > '9') return false;
  out = 0;
  for (; at < s.size() && s[at] >= '0' && s[at] <= '9'; ++at) {
    out = out * 10 + (s[at] - '0');
    if (out > cap) out = cap;
  }
  return true;
}

// An os-release value: unquoted, or in single or double quotes with backslash escapes.
std::string unquote(std::string_view v) {
  if (v.empty() || (v[0] != '"' && v[0] != '\'')) return std::string(v);
  char q = v[0];
  std::string out;
  for (size_t i = 1; i < v.size() && v[i] != q; ++i) {
    if (v[i] == '\\' && q == '"' && i + 1 < v.size()) ++i;
    out += v[i];
  }
  return out;
}

std::string read_file(const char* path) {
  std::ifstream in(path);
  if (!in) return {};
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

std::string_view arch_of_machine(std::string_view m) {
  if (m == "x86_64" || m == "amd64") return "x86-64";
  if (m == "i386" || m == "i486" || m == "i586" || m == "i686") return "x86-32";
  if (m == "aarch64" || m == "arm64") return "ARM64";
  if (m.substr(0, 3) == "arm") return "ARM";
  if (m == "ia64") return "IA-64";
  return "Unknown";
}

std::string name_of_os_release(std::string_view text) {
  std::string pretty, name;
  while (!text.empty()) {
    size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    size_t eq = line.find('=');
    if (eq == std::string_view::npos) continue;
    std::string_view key = line.substr(0, eq);
    if (key == "PRETTY_NAME") pretty = unquote(line.substr(eq + 1));
    if (key == "NAME") name = unquote(line.substr(eq + 1));
  }
  return pretty.empty() ? name : pretty;
}

void parse_release(std::string_view release, uint8_t version[3], int32_t& build) {
  version[0] = version[1] = version[2] = 0;
  build = 0;
  size_t at = 0;
  int64_t n = 0;
  for (int i = 0; i < 3; ++i) {
    if (i > 0 && !(at < release.size() && release[at] == '.')) return;
    if (i > 0) ++at;
    if (!read_number(release, at, 255, n)) return;
    version[i] = static_cast<uint8_t>(n);
  }
  // The build: a number right after the patch and one separator ("-45-generic", ".1-WSL2").
  if (at < release.size() && std::string_view(".-+_~").find(release[at]) != std::string_view::npos) {
    ++at;
    if (read_number(release, at, INT32_MAX, n)) build = static_cast<int32_t>(n);
  }
}

description describe() {
  description d{};
  utsname u{};
  if (uname(&u) != 0) {
    d.name = "Linux";
    d.arch = "Unknown";
    return d;
  }
  std::string text = read_file("/etc/os-release");
  if (text.empty()) text = read_file("/usr/lib/os-release");
  d.name = name_of_os_release(text);
  if (d.name.empty()) d.name = u.sysname;
  d.arch = arch_of_machine(u.machine);
  parse_release(u.release, d.version, d.build);
  return d;
}

}  // namespace kaz::system_info
