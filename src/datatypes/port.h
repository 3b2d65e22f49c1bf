// port!: an object standing for an external resource reached through a scheme; its series and
// I/O actions are carried out by the port's actor.
#pragma once

#include <cstdint>

#include "core/registry.h"
#include "core/stack.h"
#include "runtime/cell.h"

namespace kaz::port_type {

/*
 * A port cell is an object cell (context, class id 2, on-set node) whose fields come from
 * system/standard/port: spec, scheme, actor, awake, state, data, extra. The actor is either an
 * object of functions named after the actions, or a handle! whose value designates a native
 * actor table: an action row of which actions 25 (append) to 62 (write) are used.
 */
constexpr uint32_t class_id = 2;

// Adds a native actor table (static storage) and answers the handle value that designates it.
uint32_t register_native_actor(const action_row* table);

// The native actor table of a port whose actor is a handle! (an empty table when the handle
// designates none); null when the actor is anything else.
const action_row* actor_table(const cell* port);

// Carries out action `s` (25-62) on the port at stack::arguments through its actor object: the
// actor's function of the action's name is called with the port and the action's arguments, a
// refinement passed as its logic! flag followed by its arguments (none! when absent). read and
// write are made of open, copy, insert and close. The result lands in the result slot.
flow forward(uint32_t s, const int32_t* refs);

/*
 * open, read and write of a port from C++ code (a url! of a scheme other than http): through the
 * native actor table its handle designates, or the functions of its actor object. The answer
 * goes into `out`; absent refinement values are null. An exit that leaves the actor's function
 * raises its error.
 */
void open_port(const cell* port, bool new_, bool read, bool write, bool seek, const cell* allow,
               cell* out);
void read_port(const cell* port, const cell* part, const cell* seek, bool binary, bool lines,
               bool info, const cell* as, cell* out);
void write_port(const cell* port, const cell* data, bool binary, bool lines, bool info,
                bool append, const cell* part, const cell* seek, const cell* allow,
                const cell* as, cell* out);

void init();

}  // namespace kaz::port_type
