// What the lexer needs from parts of the runtime built above it: the interpreter calls trace
// callbacks, the library owns `system/lexer/exit-states`, the map! datatype builds maps. Each
// fills its entry at start-up; an empty entry has a plain default.
#pragma once

#include <cstdint>
#include <string_view>

#include "runtime/cell.h"

namespace kaz::lexer {

// Trace events, as the bits of the mask a callback asks for.
namespace event {
constexpr uint32_t prescan = 1;
constexpr uint32_t scan = 2;
constexpr uint32_t load = 4;
constexpr uint32_t open = 8;
constexpr uint32_t close = 16;
constexpr uint32_t error = 32;
constexpr uint32_t all = 63;
}  // namespace event

struct lexer_hooks {
  // The events a trace function wants, as event bits. Default: the event words of a block at
  // the head of a function!'s body, or all six (63) when there is no such block.
  uint32_t (*event_mask)(const cell* function) = nullptr;

  // Calls the trace function with its five arguments: event (word!), input (the source series
  // at the token), type (datatype!, word! or none!), line (integer!), token (the loaded value,
  // or a pair! of the token's 1-based start and end offsets, the end exclusive). On return
  // args[1] must hold the value the function left in its input argument, so the lexer sees a
  // moved position. Answers the truth of the result. Errors travel as language errors.
  // Default: call_trace_function below.
  bool (*call_trace)(const cell* function, cell args[5]) = nullptr;

  // The word given as type for a token without a datatype: entry `token_class` (1-36) of the
  // block in `system/lexer/exit-states`. Answers false when there is none (none! is passed).
  bool (*class_word)(uint32_t token_class, cell* out) = nullptr;

  // Makes a map! from a block of key/value pairs (keys already checked). Default: the pairs
  // block indexed by a hashtable of kind map (the map! layout), its keys normalised by the
  // hashtable's normaliser.
  void (*make_map)(cell* out, cell* pairs) = nullptr;

};

extern lexer_hooks hooks;

// Calls a function!, routine! or native with the five arguments through the interpreter, in a
// frame of its own; the default of hooks.call_trace.
bool call_trace_function(const cell* function, cell args[5]);

}  // namespace kaz::lexer
