// The trace hook: evaluation events delivered to one user function while `do/trace` runs.
#pragma once

#include <cstdint>

#include "core/stack.h"
#include "runtime/cell.h"

namespace kaz::trace {

// Event bits.
namespace event {
constexpr uint32_t init = 0x1;
constexpr uint32_t end = 0x2;
constexpr uint32_t prolog = 0x4;
constexpr uint32_t epilog = 0x8;
constexpr uint32_t enter = 0x10;
constexpr uint32_t exit = 0x20;
constexpr uint32_t open = 0x40;
constexpr uint32_t return_ = 0x80;
constexpr uint32_t fetch = 0x100;
constexpr uint32_t push = 0x200;
constexpr uint32_t set = 0x400;
constexpr uint32_t call = 0x800;
constexpr uint32_t error = 0x1000;
constexpr uint32_t throw_ = 0x2000;
constexpr uint32_t catch_ = 0x4000;
constexpr uint32_t expr = 0x8000;
}  // namespace event

// Tracing is active (do/trace runs) and events are delivered now (cleared while the callback
// itself runs and inside functions marked no-trace).
extern bool active;
extern bool tracing;

// `trace false` paused the running trace (and `trace true` resumed it). Library functions run
// untraced and restore the caller's state on return, so the switch is made `switched` and
// applied when the library function that asked for it returns to the traced code.
extern bool paused;
extern bool switched;

// Tracing as the traced code sees it: a callback installed and not paused.
inline bool traced() { return active && !paused; }

// `trace true` / `trace false`: resumes or pauses the running trace; nothing without one.
void switch_to(bool on);

// Delivers one event when the callback asked for it. `code` is the block or path being
// evaluated (or null), `position` the index in it, `ref` the word or path concerned.
void fire(uint32_t bit, const cell* code, uint32_t position, const cell* ref, const cell* value);

// Starts tracing with a callback; answers false when tracing was active already (the callback
// is then ignored).
bool start(const cell* callback);
void stop();

// The error event for an error about to be raised, when tracing.
void error_raised(const cell* error);

void init();

}  // namespace kaz::trace
