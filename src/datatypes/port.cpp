// port!: make from a scheme, text as an object body, and the forwarding of series and I/O
// actions to an actor object.
#include "datatypes/port.h"

#include <string_view>

#include "core/actions.h"
#include "core/block_storage.h"
#include "core/context.h"
#include "core/evaluator.h"
#include "core/exit_in_flight.h"
#include "core/function.h"
#include "core/object.h"
#include "core/series_cell.h"
#include "core/string_storage.h"
#include "core/symbol.h"
#include "core/word.h"
#include "core/words.h"
#include "datatypes/integer.h"
#include "runtime/fire.h"

namespace kaz::port_type {

namespace {

// ---------------------------------------------------------------- native actor tables

constexpr uint32_t max_native_actors = 64;
const action_row* native_actors[max_native_actors];
uint32_t native_actor_count = 0;
const action_row no_actions{};

// ---------------------------------------------------------------- fields

// The value cell of an object's field, or null when the object has no such field.
const cell* field(const cell* object, std::string_view name) {
  int32_t i = context::find_symbol(object::context_of(object), symbol::make(name), true);
  return i < 0 ? nullptr : context::values(object::context_of(object)) + i;
}
// The same, to write the field.
cell* field_rw(const cell* object, std::string_view name) {
  int32_t i = context::find_symbol(object::context_of(object), symbol::make(name), true);
  return i < 0 ? nullptr : context::values_rw(object::context_of(object)) + i;
}

// A word! for a name (the global word: errors and frame names show it).
cell word_for(std::string_view name) {
  cell w;
  words::global_word(symbol::make(name), &w);
  return w;
}

// system/<a>/<b>...: each step must be an object's field; a missing one raises no-value naming it.
cell system_value(std::initializer_list<std::string_view> steps) {
  cell sys = word_for("system");
  cell v = *context::get_value(&sys);
  if (type_of(&v) != type::object) fire(err::script_no_value, &sys);
  for (std::string_view step : steps) {
    const cell* f = type_of(&v) == type::object ? field(&v, step) : nullptr;
    if (!f) {
      cell w = word_for(step);
      fire(err::script_no_value, &w);
    }
    v = *f;
  }
  return v;
}

// The port's actor field.
cell actor_of(const cell* port) {
  const cell* a = field(port, "actor");
  if (!a) fire(err::access_invalid_port);
  return *a;
}

// ---------------------------------------------------------------- make

// A new object made by object! make from a prototype and a spec (the spec is evaluated).
void object_make(cell* out, const cell* proto, const cell* spec) {
  cell p = *proto, s = *spec;
  registry::row(type::object).make(&p, &s, type::object);
  *out = p;
}

cell* make(cell* proto, cell* spec_in, uint32_t) {
  cell spec = *spec_in;
  uint32_t base = stack::index_of(stack::top);
  // 1. The spec object: given, or url-parts extended with the spec.
  cell* spec_object = stack::push(&spec);
  if (type_of(&spec) != type::object) {
    cell parts = system_value({"standard", "url-parts"});
    object_make(spec_object, &parts, &spec);
  }
  // 2. Its first field names the scheme.
  cell scheme;
  scheme.header = type::none;
  if (context::size(object::context_of(spec_object)) > 0) scheme = context::values(object::context_of(spec_object))[0];
  if (type_of(&scheme) != type::word) fire(err::access_no_scheme, &spec);
  // 3. A copy of the standard port, typed port!, with its spec and scheme fields set.
  cell* port = stack::reserve_cell();
  {
    cell standard = system_value({"standard", "port"});
    cell empty;
    block::init_cell(&empty, 1);
    stack::push(&empty);
    object_make(port, &standard, &empty);
  }
  port->header = type::port;
  port->data2 = class_id;
  *context::owner_cell_rw(port->data1) = *port;
  cell* spec_field = field_rw(port, "spec");
  if (!spec_field) fire(err::access_invalid_port);
  *spec_field = *spec_object;
  cell* scheme_field = field_rw(port, "scheme");
  if (!scheme_field) fire(err::access_invalid_port);
  *scheme_field = scheme;
  // 4. The scheme object registered under that word.
  cell schemes = system_value({"schemes"});
  const cell* found = type_of(&schemes) == type::block
                          ? block::select_word(&schemes, word::symbol_of(&scheme), false)
                          : nullptr;
  cell scheme_object;
  scheme_object.header = type::none;
  if (found) scheme_object = *found;
  if (type_of(&scheme_object) != type::object) fire(err::access_unknown_scheme, &scheme);
  // 5. Its actor, an object or a handle, becomes the port's.
  const cell* actor = field(&scheme_object, "actor");
  if (!actor || (type_of(actor) != type::object && type_of(actor) != type::handle))
    fire(err::access_invalid_actor, &spec);
  cell actor_value = *actor;
  cell* port_actor = field_rw(port, "actor");
  if (!port_actor) fire(err::access_invalid_port);
  *port_actor = actor_value;
  *proto = *port;
  stack::top = stack::at_index(base);
  return proto;
}

// ---------------------------------------------------------------- text

int32_t mold(cell* v, cell* buffer, bool, bool all, bool flat, cell* part, int32_t limit,
             int32_t indent) {
  node_t out = series::node_of(buffer);
  string::append_ascii(out, "make port! [");
  // The fields as an object body, one level in.
  limit = registry::row(type::object).mold(v, buffer, true, all, flat, part, limit - 12,
                                           indent + 1);
  if (!flat) {
    string::append_ascii(series::node_of(buffer), "\n");
    for (int32_t k = 0; k < indent; ++k) string::append_ascii(series::node_of(buffer), "    ");
    limit -= 1 + 4 * indent;
  }
  string::append_ascii(series::node_of(buffer), "]");
  return limit - 1;
}

int32_t form(cell* v, cell* buffer, cell* part, int32_t limit) {
  return mold(v, buffer, false, false, false, part, limit, 0);
}

// Compared as objects, but only with another port: the object! rule alone would find a port
// not comparable with itself.
int32_t compare(cell* a, cell* b, int32_t op) {
  if (type_of(b) != type::port) return -2;
  return object::compare_objects(a, b, op);
}

// ---------------------------------------------------------------- forwarding

// The action words by slot number.
constexpr std::string_view action_words[slot::count + 1] = {
    "",
#define ACTION(n, cname, word) word,
#include "core/actions.def"
#undef ACTION
};

/*
 * How an action's arguments reach the actor's function: its fixed arguments, then for each of
 * its first `refinements` refinements a logic! flag and that many argument cells (none! when
 * the refinement is absent). A row with no fixed argument is an action that actor objects do
 * not take (open?) or one made of others (read, write).
 */
struct shape {
  uint8_t fixed;
  uint8_t refinements;
  uint8_t arguments[11];
};

constexpr shape shapes[slot::count - 24] = {
    {2, 3, {1, 0, 1}},                          // 25 append
    {2, 0, {}},                                 // 26 at
    {1, 0, {}},                                 // 27 back
    {2, 3, {1, 0, 1}},                          // 28 change
    {1, 0, {}},                                 // 29 clear
    {1, 3, {1, 0, 1}},                          // 30 copy
    {2, 11, {1, 0, 0, 0, 0, 1, 1, 0, 0, 0, 0}},  // 31 find
    {1, 0, {}},                                 // 32 head
    {1, 0, {}},                                 // 33 head?
    {1, 0, {}},                                 // 34 index?
    {2, 3, {1, 0, 1}},                          // 35 insert
    {1, 0, {}},                                 // 36 length?
    {2, 1, {1}},                                // 37 move
    {1, 0, {}},                                 // 38 next
    {2, 0, {}},                                 // 39 pick
    {3, 0, {}},                                 // 40 poke
    {3, 1, {0}},                                // 41 put
    {1, 1, {1}},                                // 42 remove (not /key)
    {1, 1, {1}},                                // 43 reverse (not /skip)
    {2, 9, {1, 0, 0, 0, 0, 1, 1, 0, 0}},        // 44 select
    {1, 7, {0, 1, 1, 1, 0, 0, 0}},              // 45 sort
    {2, 0, {}},                                 // 46 skip
    {2, 0, {}},                                 // 47 swap
    {1, 0, {}},                                 // 48 tail
    {1, 0, {}},                                 // 49 tail?
    {1, 3, {1, 0, 0}},                          // 50 take
    {1, 6, {0, 0, 0, 0, 0, 1}},                 // 51 trim
    {1, 0, {}},                                 // 52 create
    {1, 0, {}},                                 // 53 close
    {1, 0, {}},                                 // 54 delete
    {3, 1, {0}},                                // 55 modify
    {1, 5, {0, 0, 0, 0, 1}},                    // 56 open
    {0, 0, {}},                                 // 57 open?
    {1, 0, {}},                                 // 58 query
    {0, 0, {}},                                 // 59 read
    {2, 0, {}},                                 // 60 rename
    {1, 0, {}},                                 // 61 update
    {0, 0, {}},                                 // 62 write
};

constexpr uint32_t max_forwarded = 32;

// Argument lists for the actor's functions.
struct arguments {
  cell cells[max_forwarded];
  uint32_t count = 0;
  void add(const cell& c) { cells[count++] = c; }
  void flag(bool on) { add(cell{type::logic, on ? 1u : 0u, 0, 0}); }
  void none() { add(cell{type::none, 0, 0, 0}); }
  // A refinement: its flag, then its argument or none!.
  void refinement(const cell* argument) {
    flag(argument != nullptr);
    if (argument) add(*argument); else none();
  }
};

/*
 * Calls the actor's function named after action `s` with the arguments, in a function frame
 * named after the action; the slots of its refinements and locals that the arguments do not
 * fill start false and none!. The result goes into the result slot of the calling frame.
 */
flow call_actor(const cell* actor, uint32_t s, const arguments& args) {
  cell name = word_for(action_words[s]);
  const cell* fn_cell = field(actor, action_words[s]);
  if (!fn_cell || type_of(fn_cell) != type::function) fire(err::access_no_port_action, &name);
  cell fn = *fn_cell;
  stack::open_interpreted_function_frame(&name);
  for (uint32_t i = 0; i < args.count; ++i) stack::push(&args.cells[i]);
  uint32_t slots = context::size(function::context_of(&fn));
  if (static_cast<uint32_t>(stack::top - stack::arguments) < slots) {
    stack::push_logic(false);
    while (static_cast<uint32_t>(stack::top - stack::arguments) < slots) stack::push_none();
  }
  flow f = evaluator::call_function(&fn, 0);
  if (f != flow::normal) {
    stack::close_frame_dropping();
    return f;
  }
  stack::close_frame_to_result();
  return flow::normal;
}

inline const cell* opt(const int32_t* refs, uint32_t k) {
  return refs[k] >= 0 ? stack::arguments + refs[k] : nullptr;
}

// A /part or /dup count given as a number goes as an integer!.
cell as_count(const cell* c) {
  if (type_of(c) == type::float_ || type_of(c) == type::percent) {
    double d = get_double(c);
    int32_t n = d >= 2147483647.0 ? 2147483647 : d <= -2147483648.0 ? INT32_MIN
                : d == d ? static_cast<int32_t>(d) : 0;
    return cell{type::integer, 0, static_cast<uint32_t>(n), 0};
  }
  return *c;
}

// append, insert, change: port, value, /part, /only, /dup (its flag set for a count above 1).
void insert_arguments(arguments& a, const int32_t* refs) {
  a.add(stack::arguments[0]);
  a.add(stack::arguments[1]);
  const cell* part = opt(refs, 0);
  cell count;
  if (part) count = as_count(part);
  a.refinement(part ? &count : nullptr);
  a.flag(refs[1] >= 0);
  const cell* dup = opt(refs, 2);
  cell times;
  if (dup) times = as_count(dup);
  bool many = dup && type_of(&times) == type::integer && integer_type::value_of(&times) > 1;
  a.refinement(many ? &times : nullptr);
}

// The open, copy and insert argument lists that read and write are made of.
arguments open_arguments(const cell* port, bool write, bool seek) {
  arguments a;
  a.add(*port);
  a.flag(false);  // /new
  a.flag(false);  // /read
  a.flag(write);
  a.flag(seek);
  a.refinement(nullptr);  // /allow
  return a;
}
arguments copy_arguments(const cell* port, const cell* part) {
  arguments a;
  a.add(*port);
  a.refinement(part);
  a.flag(false);          // /deep
  a.refinement(nullptr);  // /types
  return a;
}
arguments port_only(const cell* port) {
  arguments a;
  a.add(*port);
  return a;
}

// read: open (with /seek), copy (with /part), close; the copy is the result.
// write: open/write (with /seek), insert the data (/part when it is an integer!), then as read.
flow read_or_write(const cell* actor, bool write, const int32_t* refs) {
  cell port = stack::arguments[0];
  // The actor's results replace the port in the result slot: it stays on the stack, where the
  // collector sees it, with the native's arguments below it.
  stack::push(&port);
  const cell* part = opt(refs, write ? 4 : 0);
  const cell* seek = opt(refs, write ? 5 : 1);
  cell part_value;
  if (part) part_value = *part;
  flow f = call_actor(actor, slot::open, open_arguments(&port, write, seek != nullptr));
  if (f != flow::normal) return f;
  if (write) {
    arguments a;
    a.add(port);
    a.add(stack::arguments[1]);
    bool counted = part && type_of(&part_value) == type::integer;
    a.refinement(counted ? &part_value : nullptr);
    a.flag(false);          // /only
    a.refinement(nullptr);  // /dup
    f = call_actor(actor, slot::insert, a);
    if (f != flow::normal) return f;
  }
  f = call_actor(actor, slot::copy, copy_arguments(&port, part ? &part_value : nullptr));
  if (f != flow::normal) return f;
  cell copied = *stack::arguments;
  cell* held = stack::push(&copied);  // kept on the stack while close runs
  f = call_actor(actor, slot::close, port_only(&port));
  if (f != flow::normal) return f;
  *stack::arguments = *held;
  stack::top = stack::arguments + 1;
  return flow::normal;
}

}  // namespace

uint32_t register_native_actor(const action_row* table) {
  if (native_actor_count == max_native_actors) fire(err::internal_limit_hit);
  native_actors[native_actor_count++] = table;
  return native_actor_count;
}

const action_row* actor_table(const cell* port) {
  const cell* a = field(port, "actor");
  if (!a || type_of(a) != type::handle) return nullptr;
  uint32_t i = a->data2;
  return i >= 1 && i <= native_actor_count ? native_actors[i - 1] : &no_actions;
}

flow forward(uint32_t s, const int32_t* refs) {
  cell port = stack::arguments[0];
  cell actor = actor_of(&port);
  if (type_of(&actor) != type::object) fire(err::access_invalid_port);
  if (s == slot::read || s == slot::write) return read_or_write(&actor, s == slot::write, refs);
  const shape& sh = shapes[s - 25];
  if (sh.fixed == 0) actions::unsupported(&port, s);
  arguments a;
  if (s == slot::append || s == slot::insert || s == slot::change) {
    insert_arguments(a, refs);
  } else {
    for (uint32_t i = 0; i < sh.fixed; ++i) a.add(stack::arguments[i]);
    for (uint32_t k = 0; k < sh.refinements; ++k) {
      a.flag(refs[k] >= 0);
      for (uint32_t j = 0; j < sh.arguments[k]; ++j) {
        if (refs[k] >= 0) a.add(stack::arguments[refs[k] + j]); else a.none();
      }
    }
  }
  flow f = call_actor(&actor, s, a);
  if (f == flow::normal) stack::top = stack::arguments + 1;
  return f;
}

namespace {

/*
 * Forwards action `s` to the port's actor object as the action entry would, in a frame of its
 * own: `values` become the frame's arguments (the port first) and `refs` index them per
 * refinement as the entry's refinements do (-1: absent).
 */
void forward_from_cpp(uint32_t s, std::initializer_list<cell> values, const int32_t* refs,
                      cell* out) {
  cell name = word_for(action_words[s]);
  stack::open_native_frame(&name);
  for (const cell& v : values) stack::push(&v);
  flow f = forward(s, refs);
  if (f != flow::normal) {
    stack::close_frame_dropping();
    raise_exit(f);
  }
  cell result = *stack::arguments;
  stack::close_frame_dropping();
  *out = result;
}

// The native actor's implementation of a slot (no-port-action when it has none), or null for a
// port whose actor is an object.
template <class F>
F native_slot(const cell* port, F action_row::*member) {
  const action_row* table = actor_table(port);
  if (!table) return nullptr;
  F fn = table->*member;
  if (!fn) fire(err::access_no_port_action);
  return fn;
}

cell none_cell() { return cell{type::none, 0, 0, 0}; }

}  // namespace

void open_port(const cell* port, bool new_, bool read, bool write, bool seek, const cell* allow,
               cell* out) {
  cell p = *port;
  if (auto fn = native_slot(&p, &action_row::open)) {
    cell a = allow ? *allow : none_cell();
    *out = *fn(&p, new_, read, write, seek, allow ? &a : nullptr);
    return;
  }
  // /new /read /write /seek /allow
  int32_t refs[5] = {new_ ? 0 : -1, read ? 0 : -1, write ? 0 : -1, seek ? 0 : -1,
                     allow ? 1 : -1};
  forward_from_cpp(slot::open, {p, allow ? *allow : none_cell()}, refs, out);
}

void read_port(const cell* port, const cell* part, const cell* seek, bool binary, bool lines,
               bool info, const cell* as, cell* out) {
  cell p = *port;
  cell values[3] = {none_cell(), none_cell(), none_cell()};
  if (part) values[0] = *part;
  if (seek) values[1] = *seek;
  if (as) values[2] = *as;
  if (auto fn = native_slot(&p, &action_row::read)) {
    *out = *fn(&p, part ? &values[0] : nullptr, seek ? &values[1] : nullptr, binary, lines, info,
               as ? &values[2] : nullptr);
    return;
  }
  // /part /seek /binary /lines /info /as
  int32_t refs[6] = {part ? 1 : -1, seek ? 2 : -1, binary ? 0 : -1, lines ? 0 : -1,
                     info ? 0 : -1, as ? 3 : -1};
  forward_from_cpp(slot::read, {p, values[0], values[1], values[2]}, refs, out);
}

void write_port(const cell* port, const cell* data, bool binary, bool lines, bool info,
                bool append, const cell* part, const cell* seek, const cell* allow,
                const cell* as, cell* out) {
  cell p = *port;
  cell d = *data;
  cell values[4] = {none_cell(), none_cell(), none_cell(), none_cell()};
  if (part) values[0] = *part;
  if (seek) values[1] = *seek;
  if (allow) values[2] = *allow;
  if (as) values[3] = *as;
  if (auto fn = native_slot(&p, &action_row::write)) {
    *out = *fn(&p, &d, binary, lines, info, append, part ? &values[0] : nullptr,
               seek ? &values[1] : nullptr, allow ? &values[2] : nullptr,
               as ? &values[3] : nullptr);
    return;
  }
  // /binary /lines /info /append /part /seek /allow /as
  int32_t refs[8] = {binary ? 0 : -1, lines ? 0 : -1, info ? 0 : -1, append ? 0 : -1,
                     part ? 2 : -1, seek ? 3 : -1, allow ? 4 : -1, as ? 5 : -1};
  forward_from_cpp(slot::write, {p, d, values[0], values[1], values[2], values[3]}, refs, out);
}

void init() {
  registry::add(type::port, {.make = make, .form = form, .mold = mold, .compare = compare},
                inherited(slot::reflect, slot::eval_path));
}

}  // namespace kaz::port_type
