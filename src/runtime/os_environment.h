// Environment variables and the current directory of the process.
#pragma once

#include <string>
#include <string_view>

namespace kaz::sysrt {

// The value of a variable into `value`; false (and `value` untouched) when it is not set.
bool get_env(std::string_view name, std::string& value);

// Sets a variable; a null value removes it. False for a name that cannot be one (empty, or
// holding "=" or a NUL) or a value holding a NUL, and when the system refuses.
bool set_env(std::string_view name, const std::string_view* value);

// Calls `visit` with each variable's name and value, in the environment's order.
template <class Visit>
void list_env(Visit&& visit);

// The current directory in the system's own form ("/" alone for the root, otherwise no
// trailing "/"); false when it cannot be read (removed, or not reachable).
bool get_current_dir(std::string& path);

// Changes the current directory; false when the system refuses.
bool set_current_dir(std::string_view path);

// The environment's entries, "name=value", ended by a null entry.
char** environment_entries();

template <class Visit>
void list_env(Visit&& visit) {
  for (char** e = environment_entries(); e && *e; ++e) {
    std::string_view entry(*e);
    // A name may begin with "=" on some systems; the separator is the first "=" after it.
    size_t eq = entry.find('=', 1);
    if (eq == std::string_view::npos) continue;
    visit(entry.substr(0, eq), entry.substr(eq + 1));
  }
}

}  // namespace kaz::sysrt
