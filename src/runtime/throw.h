// Thrown 32-bit values and guarded regions: the runtime's one non-local exit below the language.
#pragma once

#include <cstdint>
#include <utility>

namespace kaz::sysrt {

// The values that travel up to a guarded region (unsigned; a region accepts every value that is
// not above its own catch id).
namespace thrown {
constexpr uint32_t none = 0;
constexpr uint32_t syntax = 10;               // a lexer syntax error
constexpr uint32_t os_release_failed = 0x7FFFFFF6;
constexpr uint32_t os_alloc_failed = 0x7FFFFFF7;
constexpr uint32_t os_memory = 0x7FFFFFF8;    // catch id of the frame allocator's region
constexpr uint32_t power_overflow = 0x7FFFFFF9;
constexpr uint32_t throw_ = 0x7FFFFFFA;
constexpr uint32_t exit = 0x7FFFFFFB;
constexpr uint32_t return_ = 0x7FFFFFFC;
constexpr uint32_t continue_ = 0x7FFFFFFD;
constexpr uint32_t break_ = 0x7FFFFFFE;
constexpr uint32_t error = 0x7FFFFFFF;        // a language error
constexpr uint32_t quit = 0xBADCAFE;          // the quit marker: exit code 0
constexpr uint32_t catch_all = 0xFFFFFFFF;
}  // namespace thrown

// The C++ exception that carries a thrown value. Language errors derive from it.
struct thrown_value {
  uint32_t value;
};

// Throws a value up to the nearest region that accepts it; 0 returns at once.
void throw_value(uint32_t value);

// The handler of the outermost region (catch id catch_all): the quit marker ends the program
// quietly with exit code 0, any other value is runtime error 95. Never returns.
[[noreturn]] void top_catch(uint32_t value);

// Runs `region` with the given catch id. Answers 0 when it completed, or the value it threw when
// that value is not above the catch id; any other value goes on up unchanged.
template <class Region>
uint32_t guarded(uint32_t catch_id, Region&& region) {
  try {
    std::forward<Region>(region)();
    return thrown::none;
  } catch (const thrown_value& t) {
    if (t.value > catch_id) throw;
    return t.value;
  }
}

}  // namespace kaz::sysrt
