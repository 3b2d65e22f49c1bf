// Reading faces: their fields by name, colours, para and font settings, options and flags.
#include <cstring>

#include "core/block_storage.h"
#include "core/context.h"
#include "core/symbol.h"
#include "datatypes/integer.h"
#include "datatypes/point.h"
#include "datatypes/simple_types.h"
#include "datatypes/tuple.h"
#include "view/tui_backend.h"

namespace kaz::tui {

namespace {

constexpr const char* facet_names[] = {
    "type",  "offset", "size",    "text",  "image", "color", "menu",   "data",
    "enabled?", "visible?", "selected", "flags", "options", "parent", "pane", "state",
    "rate",  "edge",   "para",    "font",  "actors", "extra", "draw"};
static_assert(sizeof facet_names / sizeof facet_names[0] == size_t(facet::count));

uint32_t facet_symbols[size_t(facet::count)];

struct flag_row {
  const char* word;
  uint32_t bit;
};
constexpr flag_row face_flags[] = {
    {"all-over", 0x1},        {"focusable", 0x2},       {"resize", 0x4000000},
    {"no-title", 0x40000000}, {"no-border", 0x80000000}, {"no-min", 0x20000000},
    {"no-max", 0x10000000},   {"no-buttons", 0x8000000}, {"modal", 0x2000000},
    {"popup", 0x1000000},     {"tri-state", 0x20000},   {"scrollable", 0x40000},
    {"password", 0x80000},    {"no-sync", 0x100000},    {"fullscreen", 0x200000}};

bool is_word_type(uint32_t t) {
  return t == type::word || t == type::lit_word || t == type::get_word || t == type::set_word;
}

}  // namespace

// Every word the back-end looks for is interned at start, so that later look-ups allocate
// nothing while C++ code holds pointers into collector memory.
constexpr const char* other_words[] = {
    "wrap?", "align", "v-align", "center", "right", "middle", "bottom", "color", "hint",
    "caret", "border-corners", "border-color", "round", "window", "field", "button", "base",
    "progress", "text-list", "rich-text", "group-box", "check", "radio", "screen", "drop-down",
    "drop-list", "remove", "take", "clear", "move", "done", "off", "backdrop", "bold", "italic",
    "underline", "strike", "border", "awake", "view", "system", "screens", "auto-sync?",
    "silent?", "platform", "mouse-event?", "version", "build", "product", "TUI-helpers",
    "make-progress-ui", "make-text-list-ui", "make-checkbox-ui", "make-radio-ui", "parent",
    "check-color-support"};

void init_face_words() {
  for (size_t i = 0; i < size_t(facet::count); ++i) facet_symbols[i] = symbol::make(facet_names[i]);
  for (const char* w : other_words) symbol::make(w);
  for (const flag_row& r : face_flags) symbol::make(r.word);
}

uint32_t facet_symbol(facet f) { return facet_symbols[size_t(f)]; }

bool symbol_is(uint32_t sym, std::string_view name) {
  return symbol::resolve(sym) == symbol::resolve(symbol::make(name));
}

bool is_word_named(const cell* c, std::string_view name) {
  return is_word_type(type_of(c)) && symbol_is(c->data2, name);
}

const cell* field_named(const cell* object, uint32_t sym) {
  if (!object || type_of(object) != type::object) return nullptr;
  int32_t i = context::find_symbol(object->data1, sym, true);
  if (i < 0) return nullptr;
  return context::values(object->data1) + i;
}

cell* field_named_rw(const cell* object, uint32_t sym) {
  if (!object || type_of(object) != type::object) return nullptr;
  int32_t i = context::find_symbol(object->data1, sym, true);
  if (i < 0) return nullptr;
  return context::values_rw(object->data1) + i;
}

const cell* field_of(const cell* object, facet f) { return field_named(object, facet_symbol(f)); }
cell* field_of_rw(const cell* object, facet f) { return field_named_rw(object, facet_symbol(f)); }

uint32_t tuple_color(const cell* c) {
  if (!c || type_of(c) != type::tuple) return color::default_;
  uint32_t n = tuple_type::length_of(c);
  if (n >= 4 && tuple_type::byte_at(c, 3) == 255) return color::default_;
  return color::rgb(tuple_type::byte_at(c, 0), tuple_type::byte_at(c, 1),
                    tuple_type::byte_at(c, 2));
}

uint32_t align_flags(const cell* p) {
  if (!p || type_of(p) != type::object) return 0;
  uint32_t f = 0;
  if (const cell* w = field_named(p, symbol::make("wrap?")); w && type_of(w) == type::logic && logic_type::value_of(w))
    f |= para::wrap;
  if (const cell* a = field_named(p, symbol::make("align"))) {
    if (is_word_named(a, "center")) f |= para::center;
    if (is_word_named(a, "right")) f |= para::right;
  }
  if (const cell* v = field_named(p, symbol::make("v-align"))) {
    if (is_word_named(v, "middle")) f |= para::middle;
    if (is_word_named(v, "bottom")) f |= para::bottom;
  }
  return f;
}

uint32_t font_color(const cell* font) {
  if (!font || type_of(font) != type::object) return color::default_;
  return tuple_color(field_named(font, symbol::make("color")));
}

const cell* option_value(const cell* options, std::string_view word) {
  if (!options || type_of(options) != type::block) return nullptr;
  cell b = *options;
  int32_t n = block::rs_length(&b);
  const cell* head = block::rs_head(&b);
  for (int32_t i = 0; i + 1 < n; ++i)
    if (is_word_named(head + i, word)) return head + i + 1;
  return nullptr;
}

bool read_point(const cell* c, float& x, float& y) {
  if (!c) return false;
  if (type_of(c) == type::pair) {
    x = float(int32_t(c->data2));
    y = float(int32_t(c->data3));
    return true;
  }
  if (type_of(c) == type::point2d) {
    x = point::coord(c, 0);
    y = point::coord(c, 1);
    return true;
  }
  return false;
}

uint32_t face_flag_bits(const cell* flags) {
  if (!flags) return 0;
  auto bit_of = [](const cell* w) -> uint32_t {
    if (!is_word_type(type_of(w))) return 0;
    for (const flag_row& r : face_flags)
      if (symbol_is(w->data2, r.word)) return r.bit;
    return 0;
  };
  if (type_of(flags) != type::block) return bit_of(flags);
  cell b = *flags;
  int32_t n = block::rs_length(&b);
  uint32_t bits = 0;
  for (int32_t i = 0; i < n; ++i) bits |= bit_of(block::rs_head(&b) + i);
  return bits;
}

}  // namespace kaz::tui
