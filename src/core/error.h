// error!: an object made from the error catalogue, with its category, id, arguments and the
// place where it happened.
#pragma once

#include <cstdint>
#include <string>

#include "memory/series.h"
#include "runtime/cell.h"
#include "runtime/fire.h"

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

constexpr uint32_t class_id = 1;  // the class id of every error!

// The error in flight (a root): fire stores it here before throwing.
extern cell in_flight;

/*
 * The catalogue, made at start-up from errors.def: an object whose fields are the categories
 * in order, each an object of `code` (category index x 100), `type` (its display name) and one
 * message template per id (a string, a block of strings and argument words, or a word). Start-up
 * hangs it on system/catalog/errors; errors read their messages from it.
 */
const cell* catalog();

// Makes an error! of a catalogue entry with up to three arguments (null: none!).
void create(cell* out, err e, const cell* arg1, const cell* arg2, const cell* arg3);
// make error!: from a code, a [category id] block, a block of field settings or a message.
void make_from_spec(cell* out, const cell* spec);

// The value of a field of an error! cell (valid until the next allocation).
const cell* field_of(const cell* error, uint32_t index);
cell* field_rw(const cell* error, uint32_t index);  // the same, to write it
// Stores a value into `where` when that is none.
void set_where(const cell* error, const cell* value);

// The category and id words of an error, as text ("script", "no-value").
std::string type_name(const cell* error);
std::string id_name(const cell* error);

// The error as the console prints it ("*** Script Error: ..." with its Where and Near lines,
// and a Stack line when system/state/stack-trace asks for one). Answers the limit left.
int32_t form(const cell* error, cell* buffer, int32_t limit);

// Turns a frame reference in the `stack` field into the block of call names, and copies
// system/state/source-files into `files` when that is not empty.
void capture_stack(const cell* error);
// `try` taking an error: with /keep, or when system/state/stack-trace asks for a Stack line,
// the stack is captured while the frames the error left are still intact (they are reused by
// the next calls).
void caught(const cell* error, bool keep);

// Fills where (when none), near and the frame reference while the frames are intact; then
// throws it.
[[noreturn]] void raise(const cell* error);

// An error nothing caught: prints it as the console does and ends the process with -2.
[[noreturn]] void report_uncaught();

void init();       // the prototype and the catalogue (after the global context exists)
void init_type();  // registers error!
bool ready();

}  // namespace kaz::error
