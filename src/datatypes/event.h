// event!: one GUI event, made from the language or delivered by the terminal back-end.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace kaz::event_type {

/*
 * The cell: header bit 12 set for an event made by `make` (the back-end's events leave it
 * clear); data1 the event type code; data2 for a made event the node of a 4-cell block [face
 * window offset picked] or 0 when none was given, for a back-end event an index into the
 * back-end's event pool; data3 the flag bits above bit 21 and, in bits 0-20, the key's code point
 * (whole, so keys beyond U+FFFF survive).
 */
constexpr uint32_t made_flag = 0x1000;
constexpr uint32_t key_mask = 0x1FFFFF;

namespace flag {
constexpr uint32_t aux_down = 0x00400000;
constexpr uint32_t alt_down = 0x00800000;
constexpr uint32_t mid_down = 0x01000000;
constexpr uint32_t down = 0x02000000;
constexpr uint32_t away = 0x04000000;
constexpr uint32_t control = 0x10000000;
constexpr uint32_t shift = 0x20000000;
constexpr uint32_t alt = 0x40000000;
constexpr uint32_t command = 0x80000000;
}  // namespace flag

// The fields by index, as paths and pick number them.
namespace field {
enum : uint32_t {
  type = 1, face, window, offset, key, picked, flags, away_q, down_q, mid_down_q, alt_down_q,
  aux_down_q, ctrl_q, shift_q, orientation
};
constexpr uint32_t count = 15;
}  // namespace field

// Event type codes and their words (1 down ... 35 scroll). type_code raises not-event-type for a
// word that names no event type; type_word answers false for an unknown code.
uint32_t type_code(const cell* word);
bool type_word(uint32_t code, cell* out);

// The bit of a flag word (control, shift, alt, command, away, down, mid-down, alt-down,
// aux-down), 0 for any other word.
uint32_t flag_bit(uint32_t symbol);

/*
 * The terminal back-end's accessors for the fields of its own events (not made ones); until a
 * back-end sets it, such events show their type and flags and none! elsewhere.
 */
struct backend_hooks {
  // Writes field `index` (field::face ... field::orientation, but type and the flag tests) of a
  // back-end event; false leaves the default.
  bool (*get_field)(const cell* event, uint32_t index, cell* out) = nullptr;
};
extern backend_hooks backend;

// The value of a field (1-15) of any event into `out`.
void get_field(const cell* event, uint32_t index, cell* out);

// Registers event! and makes its word. The library's top level runs it through the routine of
// this index, which start-up declares (event! is the last datatype to register).
void init();
constexpr uint32_t init_routine = 256;
void declare_init_routine();

}  // namespace kaz::event_type
