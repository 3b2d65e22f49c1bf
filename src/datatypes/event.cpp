// event!: made events keep face, window, offset and picked in a block of their own; the terminal
// back-end's events are read through its accessors.
#include "datatypes/event.h"

#include <string_view>

#include "core/block_storage.h"
#include "core/context.h"
#include "core/function.h"
#include "core/registry.h"
#include "core/series_cell.h"
#include "core/stack.h"
#include "core/string_storage.h"
#include "core/symbol.h"
#include "core/word.h"
#include "core/words.h"
#include "datatypes/integer.h"
#include "datatypes/scalar_support.h"
#include "datatypes/scalar_types.h"
#include "memory/collector.h"
#include "runtime/fire.h"

namespace kaz::event_type {

backend_hooks backend;

namespace {

constexpr uint32_t header_made = type::event | made_flag;

// The field a path step answers (a collector root: it may hold the face or the flags block).
cell path_result{type::none, 0, 0, 0};

// The event type words by code (1-35).
constexpr std::string_view type_names[] = {
    "",         "down",     "up",        "mid-down", "mid-up",  "alt-down", "alt-up",
    "aux-down", "aux-up",   "click",     "dbl-click", "wheel",  "over",     "key",
    "key-down", "key-up",   "ime",       "focus",    "unfocus", "enter",    "zoom",
    "pan",      "rotate",   "two-tap",   "press-tap", "select", "change",   "menu",
    "close",    "move",     "resize",    "moving",   "resizing", "time",    "drawing",
    "scroll"};
constexpr uint32_t type_count = 35;

// The field words by index (1-15).
constexpr std::string_view field_names[field::count + 1] = {
    "",           "type",       "face",       "window",     "offset", "key",
    "picked",     "flags",      "away?",      "down?",      "mid-down?", "alt-down?",
    "aux-down?",  "ctrl?",      "shift?",     "orientation"};

// The flag words in the order a flags block lists them, with their bits.
struct flag_word {
  std::string_view name;
  uint32_t bit;
};
constexpr flag_word flag_words[] = {
    {"away", flag::away},         {"down", flag::down},         {"mid-down", flag::mid_down},
    {"alt-down", flag::alt_down}, {"aux-down", flag::aux_down}, {"control", flag::control},
    {"shift", flag::shift},       {"alt", flag::alt},           {"command", flag::command}};

// The flag tested by the fields away? ... shift?.
uint32_t tested_flag(uint32_t index) {
  switch (index) {
    case field::away_q: return flag::away;
    case field::down_q: return flag::down;
    case field::mid_down_q: return flag::mid_down;
    case field::alt_down_q: return flag::alt_down;
    case field::aux_down_q: return flag::aux_down;
    case field::ctrl_q: return flag::control;
    case field::shift_q: return flag::shift;
    default: return 0;
  }
}

bool same_symbol(uint32_t symbol, std::string_view name) {
  return symbol::resolve(symbol) == symbol::resolve(symbol::make(name));
}

bool is_word_like(uint32_t t) {
  return t == type::word || t == type::lit_word || t == type::get_word || t == type::set_word;
}

// The index of a field word, or -1.
int32_t field_index(const cell* word) {
  if (!is_word_like(type_of(word))) return -1;
  for (uint32_t i = 1; i <= field::count; ++i)
    if (same_symbol(word::symbol_of(word), field_names[i])) return static_cast<int32_t>(i);
  return -1;
}

// ---------------------------------------------------------------- make

cell* make(cell* proto, cell* spec, uint32_t) {
  cell e{header_made, 0, 0, 0};
  cell face{type::none, 0, 0, 0}, window = face;
  cell offset{type::pair, 0, 0, 0}, picked{type::integer, 0, 0, 0};
  bool has_block = false;
  if (type_of(spec) == type::block) {
    cell b = *spec;
    int32_t n = block::rs_length(&b);
    for (int32_t i = 0; i + 1 < n; ++i) {
      cell key = *(block::rs_head(&b) + i);
      if (type_of(&key) != type::set_word) continue;
      cell v = *(block::rs_head(&b) + i + 1);
      if ((type_of(&v) == type::word || type_of(&v) == type::get_word) && word::context_of(&v)) {
        const cell* bound = context::get_value(&v);
        if (type_of(bound) != type::unset) v = *bound;
      }
      uint32_t vt = type_of(&v);
      uint32_t k = word::symbol_of(&key);
      if (same_symbol(k, "type")) {
        if (vt == type::word || vt == type::lit_word) e.data1 = type_code(&v);
      } else if (same_symbol(k, "face")) {
        if (vt == type::object) face = v, has_block = true;
      } else if (same_symbol(k, "window")) {
        if (vt == type::object) window = v, has_block = true;
      } else if (same_symbol(k, "offset")) {
        if (vt == type::pair || vt == type::point2d) offset = v, has_block = true;
      } else if (same_symbol(k, "key")) {
        if (vt == type::char_) e.data3 |= char_type::code_of(&v) & key_mask;
      } else if (same_symbol(k, "flags")) {
        if (vt == type::block) {
          int32_t m = block::rs_length(&v);
          for (int32_t j = 0; j < m; ++j) {
            cell f = *(block::rs_head(&v) + j);
            if (type_of(&f) == type::word) e.data3 |= flag_bit(word::symbol_of(&f));
          }
        }
      } else if (same_symbol(k, "picked")) {
        if (vt == type::integer) picked = v, has_block = true;
      }
    }
  }
  if (has_block) {
    node_t n = memory::alloc_cells(4);
    series_buffer* s = memory::buffer_of(n);
    cell* c = s->cells_rw();
    c[0] = face;
    c[1] = window;
    c[2] = offset;
    c[3] = picked;
    s->tail = s->offset + 4 * sizeof(cell);
    e.data2 = n;
  }
  *proto = e;
  return proto;
}

// ---------------------------------------------------------------- text and comparison

int32_t form(cell*, cell* buffer, cell*, int32_t limit) {
  string::append_ascii(series::node_of(buffer), "event");
  return limit - 5;
}

int32_t mold(cell* v, cell* buffer, bool, bool, bool, cell* part, int32_t limit, int32_t) {
  return form(v, buffer, part, limit);
}

// Events carry no order: any two are equal, and ordering them is not possible.
int32_t compare(cell*, cell* b, int32_t op) {
  if (type_of(b) != type::event) return -2;
  switch (op) {
    case 0: case 1: case 2: case 7: case 8: case 9: case 12:
      return 0;
    default:
      return -2;
  }
}

// ---------------------------------------------------------------- paths and pick

const cell* eval_path(cell* parent, cell* element, cell* value, cell* path, cell*, cell*, int32_t,
                bool, bool, bool) {
  int32_t index = field_index(element);
  if (value) {
    if (index != static_cast<int32_t>(field::type)) fire(err::script_bad_path_set, path, element);
    if (type_of(value) != type::word) fire(err::script_bad_path_set, path, value);
    parent->data1 = type_code(value);
    return value;
  }
  if (index < 0) fire(err::script_invalid_path, path, element);
  cell out;
  get_field(parent, static_cast<uint32_t>(index), &out);
  path_result = out;
  return &path_result;
}

const cell* pick(cell* event, int32_t number, cell* picked) {
  cell n;
  const cell* boxed = scalar::pick_index(picked, number, &n);
  int32_t index = -1;
  if (type_of(boxed) == type::integer) {
    index = integer_type::value_of(boxed);
    if (index < 1 || index > static_cast<int32_t>(field::count))
      fire(err::script_out_of_range, boxed);
  } else if (is_word_like(type_of(boxed))) {
    index = field_index(boxed);
    if (index < 0) fire(err::script_cannot_use, boxed, event);
  } else {
    fire(err::script_out_of_range, boxed);
  }
  cell out;
  get_field(event, static_cast<uint32_t>(index), &out);
  *stack::arguments = out;
  return stack::arguments;
}

// The flags block: the words of the bits set, in the fixed order.
void flags_block(uint32_t flags, cell* out) {
  cell b;
  block::init_cell(&b, 4);
  cell* held = stack::push(&b);
  for (const flag_word& f : flag_words) {
    if (!(flags & f.bit)) continue;
    cell w;
    words::global_word(symbol::make(f.name), &w);
    block::append_copy(held, &w);
  }
  *out = *held;
  stack::top--;
}

}  // namespace

uint32_t type_code(const cell* word) {
  for (uint32_t code = 1; code <= type_count; ++code)
    if (same_symbol(word::symbol_of(word), type_names[code])) return code;
  fire(err::script_not_event_type, word);
}

bool type_word(uint32_t code, cell* out) {
  if (code < 1 || code > type_count) return false;
  words::global_word(symbol::make(type_names[code]), out);
  return true;
}

uint32_t flag_bit(uint32_t symbol) {
  for (const flag_word& f : flag_words)
    if (same_symbol(symbol, f.name)) return f.bit;
  return 0;
}

void get_field(const cell* event, uint32_t index, cell* out) {
  cell e = *event;
  out->header = type::none;
  switch (index) {
    case field::type:
      type_word(e.data1, out);
      return;
    case field::flags:
      flags_block(e.data3, out);
      return;
    default:
      break;
  }
  if (uint32_t bit = tested_flag(index)) {
    *out = cell{type::logic, (e.data3 & bit) ? 1u : 0u, 0, 0};
    return;
  }
  if (!(e.header & made_flag)) {
    if (backend.get_field) backend.get_field(&e, index, out);
    return;
  }
  const cell* parts = e.data2 ? memory::buffer_of(e.data2)->cells() : nullptr;
  switch (index) {
    case field::face:
      if (parts) *out = parts[0];
      break;
    case field::window:
      if (parts) *out = parts[1];
      break;
    case field::offset:
      *out = parts ? parts[2] : cell{type::pair, 0, 0, 0};
      break;
    case field::picked:
      *out = parts ? parts[3] : cell{type::integer, 0, 0, 0};
      break;
    case field::key:
      if (e.data3 & key_mask) *out = cell{type::char_, 0, e.data3 & key_mask, 0};
      break;
    default:  // orientation
      break;
  }
}

void init() {
  static bool rooted = false;
  if (!rooted) collector::add_root_cells(&path_result);
  rooted = true;
  registry::add(type::event, {.make = make,
                              .form = form,
                              .mold = mold,
                              .eval_path = eval_path,
                              .compare = compare,
                              .pick = pick});
  // Registered after the other datatypes' words were made: its word is made here.
  cell dt{type::datatype_, type::event, 0, 0};
  context::put_word_value(context::global, symbol::make("event!"), &dt);
}

namespace {
void init_entry(cell* result) {
  init();
  result->header = type::unset;
}
}  // namespace

void declare_init_routine() { function::register_routine(init_routine, init_entry, -1); }

}  // namespace kaz::event_type
