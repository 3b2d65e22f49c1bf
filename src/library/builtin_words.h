// The words start-up makes before the library's top level, in their fixed order.
#pragma once

namespace kaz::library {

// Their names, ended by a null entry.
extern const char* const builtin_words[];

// Makes each word in the global context (unset! until the library sets it).
void make_builtin_words();

}  // namespace kaz::library
