#include "runtime/os_environment.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

extern char** environ;

namespace kaz::sysrt {

namespace {

bool has_nul(std::string_view s) { return s.find('\0') != std::string_view::npos; }

}  // namespace

bool get_env(std::string_view name, std::string& value) {
  if (name.empty() || has_nul(name)) return false;
  const char* v = ::getenv(std::string(name).c_str());
  if (!v) return false;
  value = v;
  return true;
}

bool set_env(std::string_view name, const std::string_view* value) {
  if (name.empty() || has_nul(name) || name.find('=') != std::string_view::npos) return false;
  std::string n(name);
  if (!value) return ::unsetenv(n.c_str()) == 0;
  if (has_nul(*value)) return false;
  return ::setenv(n.c_str(), std::string(*value).c_str(), 1) == 0;
}

char** environment_entries() { return environ; }

bool get_current_dir(std::string& path) {
  std::vector<char> buf(256);
  for (;;) {
    if (::getcwd(buf.data(), buf.size())) {
      path = buf.data();
      return true;
    }
    if (errno != ERANGE) return false;
    buf.resize(buf.size() * 2);
  }
}

bool set_current_dir(std::string_view path) {
  if (path.empty() || has_nul(path)) return false;
  return ::chdir(std::string(path).c_str()) == 0;
}

}  // namespace kaz::sysrt
