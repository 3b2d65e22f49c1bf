// The error catalogue: one object per category (code, display name, then one message template
// per id), built from errors.def at start-up; start-up hangs it on system/catalog/errors.
#include <string_view>

#include "core/block_storage.h"
#include "core/error_internal.h"
#include "core/object.h"
#include "core/series_cell.h"
#include "core/stack.h"
#include "core/string_storage.h"
#include "core/symbol.h"
#include "core/word.h"
#include "core/words.h"
#include "memory/collector.h"

namespace kaz::error {

namespace {

cell catalogue{type::unset, 0, 0, 0};  // the catalogue object (a root)

struct definition {
  bool category;
  uint32_t number;   // category index, or code
  const char* word;
  const char* text;  // display name, or message template as source
};

const definition definitions[] = {
#define ERROR_CATEGORY(index, cname, word, display) {true, index, word, display},
#define ERROR(cat, id, code, word, tmpl) {false, code, word, tmpl},
#include "runtime/errors.def"
#undef ERROR
#undef ERROR_CATEGORY
};

// A word! (or with get, a get-word!) bound in the global context.
cell global_word_of(std::string_view name, bool get) {
  cell w;
  context::intern_global(symbol::make(name), &w);
  if (get) set_type(&w, type::get_word);
  return w;
}

cell string_of(std::string_view text) {
  cell s;
  string::make_at(&s, static_cast<uint32_t>(text.size()));
  string::append_utf8(series::node_of(&s), text);
  return s;
}

// A template: "text", [items...] of strings and (get-)words, or a word.
cell parse_template(const char* p) {
  auto token = [&p](bool* is_string, bool* is_get) {
    while (*p == ' ') ++p;
    *is_string = *p == '"';
    *is_get = *p == ':';
    if (*is_string || *is_get) ++p;
    const char* start = p;
    if (*is_string) {
      while (*p && *p != '"') ++p;
      std::string_view t(start, static_cast<size_t>(p - start));
      if (*p) ++p;
      return t;
    }
    while (*p && *p != ' ' && *p != ']') ++p;
    return std::string_view(start, static_cast<size_t>(p - start));
  };
  bool is_string, is_get;
  while (*p == ' ') ++p;
  if (*p != '[') {
    std::string_view t = token(&is_string, &is_get);
    return is_string ? string_of(t) : global_word_of(t, is_get);
  }
  ++p;
  uint32_t base = stack::index_of(stack::top);
  cell* b = block::push_only(4);
  for (;;) {
    while (*p == ' ') ++p;
    if (!*p || *p == ']') break;
    std::string_view t = token(&is_string, &is_get);
    cell item = is_string ? string_of(t) : global_word_of(t, is_get);
    block::append_copy(b, &item);
  }
  cell made = *stack::at_index(base);
  stack::top = stack::at_index(base);
  return made;
}

}  // namespace

void build_catalogue() {
  collector::add_root_cells(&catalogue);
  uint32_t base = stack::index_of(stack::top);
  cell* all = stack::reserve_cell();
  object::make_empty_at(all, 10);
  cell* current = stack::reserve_cell();
  for (const definition& d : definitions) {
    if (d.category) {
      object::make_empty_at(current, 8);
      cell code{type::integer, 0, d.number * 100, 0};
      context::put_word_value(object::context_of(current), words::sym.code, &code);
      cell display = string_of(d.text);
      context::put_word_value(object::context_of(current), words::sym.type, &display);
      cell c = *current;
      context::put_word_value(object::context_of(all), symbol::make(d.word), &c);
    } else {
      cell message = parse_template(d.text);
      context::put_word_value(object::context_of(current), symbol::make(d.word), &message);
    }
  }
  catalogue = *all;
  stack::top = stack::at_index(base);
}

const cell* catalog() { return &catalogue; }
node_t categories() { return object::context_of(&catalogue); }
uint32_t category_count() { return context::size(categories()); }

node_t category_context(uint32_t c) {
  if (c >= category_count()) return 0;
  const cell* v = context::values(categories()) + c;
  return object::is_any_object(type_of(v)) ? object::context_of(v) : 0;
}

uint32_t id_count(uint32_t c) {
  node_t ctx = category_context(c);
  return ctx && context::size(ctx) > fixed_fields ? context::size(ctx) - fixed_fields : 0;
}

int32_t category_of(const cell* w) {
  if (!is_any_word(type_of(w))) return -1;
  int32_t c = context::find_symbol(categories(), word::symbol_of(w), true);
  return c >= 0 && category_context(static_cast<uint32_t>(c)) ? c : -1;
}

int32_t id_of(uint32_t c, const cell* w) {
  if (!is_any_word(type_of(w)) || !category_context(c)) return -1;
  int32_t k = context::find_symbol(category_context(c), word::symbol_of(w), true);
  return k < static_cast<int32_t>(fixed_fields) ? -1 : k - static_cast<int32_t>(fixed_fields);
}

void defined_words(uint32_t c, uint32_t k, cell* type_word, cell* id_word) {
  *type_word = *id_word = cell{type::none, 0, 0, 0};
  for (const definition& d : definitions) {
    if (d.category && d.number == c) *type_word = global_word_of(d.word, false);
    if (!d.category && d.number == c * 100 + k) *id_word = global_word_of(d.word, false);
  }
}

err entry_of_code(uint32_t code) {
  uint16_t k = 0;
  for (const definition& d : definitions) {
    if (d.category) continue;
    if (d.number == code) return static_cast<err>(k);
    ++k;
  }
  return err::internal_invalid_error;
}


}  // namespace kaz::error
