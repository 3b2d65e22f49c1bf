// Raising language errors: `fire` with an id of the error catalogue, from any layer.
#pragma once

#include <cstdint>

#include "runtime/cell.h"
#include "runtime/throw.h"

namespace kaz {

// Error categories in catalogue order.
enum class err_category : uint8_t {
#define ERROR_CATEGORY(index, cname, word, display) category_##cname = index,
#define ERROR(cat, id, code, word, tmpl)
#include "runtime/errors.def"
#undef ERROR
#undef ERROR_CATEGORY
};

// Every catalogue entry, named <category>_<id> (script_no_value, math_zero_divide, ...).
enum class err : uint16_t {
#define ERROR_CATEGORY(index, cname, word, display)
#define ERROR(cat, id, code, word, tmpl) cat##_##id,
#include "runtime/errors.def"
#undef ERROR
#undef ERROR_CATEGORY
};

// What the catalogue holds for an entry.
struct err_info {
  uint16_t code;          // category index x 100 + position
  const char* category;   // category word ("script")
  const char* display;    // category display name ("Script Error")
  const char* id;         // id word ("no-value")
  const char* message;    // template as Kaz source
};
const err_info& error_info(err e);

// The exception that carries a language error up to `try` or the console. The error! value
// itself is kept where the collector sees it (`in_flight_error`) while it travels.
struct language_error : sysrt::thrown_value {
  err id;
  explicit language_error(err e) : thrown_value{sysrt::thrown::error}, id(e) {}
};

// Builds the error from the catalogue entry and the argument cells (null: absent) and throws it.
// Until the language installs its raiser, the bare id travels as a language_error.
[[noreturn]] void fire(err e, const cell* arg1 = nullptr, const cell* arg2 = nullptr,
                       const cell* arg3 = nullptr);

// What turns an id and its arguments into an error! value and raises it; installed by the error
// object's start-up, so the layers beneath the language raise errors without knowing it.
using error_raiser = void (*)(err e, const cell* arg1, const cell* arg2, const cell* arg3);
void set_error_raiser(error_raiser r);

}  // namespace kaz
