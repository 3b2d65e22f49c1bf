// error!: an object made from the error catalogue, with its category, id, arguments and the
// place where it happened.
#pragma once

#include <cstdint>
#include <string>

#include "core/fire.h"
#include "datatypes/cell.h"
#include "memory/series.h"

namespace kaz::error {

// Field indexes of an error's context.
namespace field {
constexpr uint32_t code = 0;
constexpr uint32_t type = 1;
constexpr uint32_t id = 2;
constexpr uint32_t arg1 = 3;
constexpr uint32_t arg2 = 4;
constexpr uint32_t arg3 = 5;
constexpr uint32_t near = 6;
constexpr uint32_t where = 7;
constexpr uint32_t stack = 8;
constexpr uint32_t files = 9;
constexpr uint32_t count = 10;
}  // namespace field

// The error in flight (a root): fire stores it here before throwing.
extern cell in_flight;

// Makes an error! of a catalogue entry with up to three arguments (null: none!).
void create(cell* out, err e, const cell* arg1, const cell* arg2, const cell* arg3);

// The value of a field of an error! cell.
cell* field_of(const cell* error, uint32_t index);

// The category and id words of an error, as text ("script", "no-value").
std::string type_name(const cell* error);
std::string id_name(const cell* error);

// The error as the console prints it ("*** Script Error: ..." with Where and Near lines).
void form(const cell* error, cell* buffer, int32_t limit);

// Fills where (when none) and stack while the frames are intact; then throws it.
[[noreturn]] void raise(const cell* error);

// An error nothing caught: prints it as the console does and ends the process with -2.
[[noreturn]] void report_uncaught();

void init();       // the prototype every error copies (after the global context exists)
void init_type();  // registers error!
bool ready();

}  // namespace kaz::error
