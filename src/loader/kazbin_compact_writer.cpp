// The compact KAZBIN writer: one value and everything it holds, as varint records.
#include <cmath>
#include <cstring>

#include "core/block_storage.h"
#include "core/context.h"
#include "core/error.h"
#include "core/function.h"
#include "core/object.h"
#include "core/series_cell.h"
#include "core/string_storage.h"
#include "core/word.h"
#include "datatypes/bitset.h"
#include "datatypes/date.h"
#include "datatypes/image.h"
#include "datatypes/integer.h"
#include "datatypes/map.h"
#include "datatypes/scalar_types.h"
#include "datatypes/simple_types.h"
#include "datatypes/tuple.h"
#include "datatypes/vector.h"
#include "loader/kazbin_cursor.h"
#include "loader/kazbin_encoder.h"
#include "loader/kazbin_format.h"

namespace kaz::kazbin {

namespace {

using namespace compact;

class compact_writer {
 public:
  explicit compact_writer(encoder& e) : e_(e) {}
  void value(const cell* v);

 private:
  encoder& e_;

  void header(uint32_t t, bool variant) {
    uint8_t v = variant ? compact::variant : 0;
    if (t < long_id) {
      e_.emit_byte(static_cast<uint8_t>(t | v));
    } else {
      e_.emit_byte(long_id | v);
      e_.emit_varint(t);
    }
  }
  void zigzag(int32_t n) { e_.emit_varint(kazbin::zigzag(n)); }
  void symbol(uint32_t id) { e_.emit_varint(e_.symbol(id)); }
  void double_words(const cell* v) {
    e_.emit_int32(v->data2);
    e_.emit_int32(v->data3);
  }
  void cell_bytes(const cell* v, uint32_t n) {
    e_.emit_bytes(reinterpret_cast<const uint8_t*>(v) + 4, n);
  }
  void path(const uint32_t* p) {
    e_.emit_varint(p[0]);
    for (uint32_t k = 1; k <= p[0]; ++k) e_.emit_varint(p[k]);
  }
  // A series met before: the reference prefix, its header, its head and the path.
  bool reference(node_t node, uint32_t t, uint32_t head) {
    const uint32_t* p = e_.find(node);
    if (!p) return false;
    e_.emit_byte(compact::reference);
    header(t, head != 0);
    if (head) e_.emit_varint(head);
    path(p);
    return true;
  }

  void number(const cell* v);
  void word(const cell* v);
  void block(const cell* v);
  void text(const cell* v);
  void binary(const cell* v);
  void bitset(const cell* v);
  void vector(const cell* v);
  void image(const cell* v);
  void map(const cell* v);
  void context(node_t ctx);
  void object_payload(const cell* v);
  void function_payload(const cell* v);
  void error(const cell* v);
};

void compact_writer::value(const cell* v) {
  uint32_t t = type_of(v);
  if (v->header & new_line_flag) e_.emit_byte(compact::new_line);
  switch (t) {
    case type::datatype_:
      header(t, false);
      e_.emit_varint(datatype_type::id_of(v));
      break;
    case type::unset:
    case type::none:
      header(t, false);
      break;
    case type::logic:
      e_.emit_byte(logic_type::value_of(v) ? logic_true : logic_false);
      break;
    case type::char_:
      header(t, false);
      e_.emit_varint(char_type::code_of(v));
      break;
    case type::integer:
      if (static_cast<uint32_t>(integer_type::value_of(v)) < 64) {
        e_.emit_byte(static_cast<uint8_t>(small_integer + integer_type::value_of(v)));
      } else {
        header(t, false);
        zigzag(integer_type::value_of(v));
      }
      break;
    case type::float_:
    case type::percent:
    case type::time:
      number(v);
      break;
    case type::date: {
      bool timed = (date_type::word_of(v) & 0x10000) != 0;
      header(t, timed);
      e_.emit_int32(date_type::word_of(v));
      if (timed) double_words(v);
      break;
    }
    case type::typeset: {
      const uint8_t* bytes = reinterpret_cast<const uint8_t*>(v) + 4;
      uint32_t n = 12;
      while (n > 0 && bytes[n - 1] == 0) --n;
      header(t, false);
      e_.emit_byte(static_cast<uint8_t>(n));
      cell_bytes(v, n);
      break;
    }
    case type::tuple: {
      uint32_t n = tuple_type::length_of(v);
      header(t, n != 3);
      if (n != 3) e_.emit_byte(static_cast<uint8_t>(n));
      cell_bytes(v, n);
      break;
    }
    case type::money:
      header(t, (v->header & 0x4000) != 0);
      cell_bytes(v, 12);
      break;
    case type::pair:
      header(t, false);
      zigzag(pair_type::x_of(v));
      zigzag(pair_type::y_of(v));
      break;
    case type::point2d:
      header(t, false);
      e_.emit_int32(v->data1);
      e_.emit_int32(v->data2);
      break;
    case type::point3d:
      header(t, false);
      e_.emit_int32(v->data1);
      e_.emit_int32(v->data2);
      e_.emit_int32(v->data3);
      break;
    case type::word:
    case type::set_word:
    case type::lit_word:
    case type::get_word:
    case type::refinement:
      word(v);
      break;
    case type::issue:
      header(t, false);
      symbol(word::symbol_of(v));
      break;
    case type::block:
    case type::paren:
    case type::path:
    case type::lit_path:
    case type::set_path:
    case type::get_path:
    case type::hash:
      block(v);
      break;
    case type::vector:
      vector(v);
      break;
    case type::image:
      image(v);
      break;
    case type::map:
      map(v);
      break;
    case type::string:
    case type::file:
    case type::url:
    case type::tag:
    case type::email:
    case type::ref:
      text(v);
      break;
    case type::binary:
      binary(v);
      break;
    case type::bitset:
      bitset(v);
      break;
    case type::native:
    case type::action: {
      header(t, false);
      e_.emit_varint(function::table_index_of(v));
      cell spec{type::block, 0, function::spec_of(v), 0};
      value(&spec);
      e_.counter--;  // the spec is no value of this level
      break;
    }
    case type::op: {
      uint32_t from = (v->header >> 16) & 0xFF;
      if (from == type::routine) no_codec(type::routine);
      header(t, false);
      cell wrapped = *v;
      wrapped.header = from;
      value(&wrapped);
      e_.counter--;
      break;
    }
    case type::error:
      error(v);
      break;
    case type::object:
    case type::function: {
      if (const uint32_t* p = e_.find(t == type::object ? object::context_of(v) : function::context_of(v))) {
        e_.emit_byte(compact::reference);
        header(t, false);
        path(p);
        break;
      }
      e_.enter(t == type::object ? object::context_of(v) : function::context_of(v));
      if (t == type::object) {
        header(t, object::hooks_of(v) != 0);
        object_payload(v);
      } else {
        header(t, false);
        function_payload(v);
      }
      e_.leave();
      break;
    }
    default:  // routine!, triple!, handle!, port!, event! and types not built yet
      no_codec(t);
  }
  e_.next();
}

// Short forms: whole numbers (and whole hundredths of percents) as zigzag integers.
void compact_writer::number(const cell* v) {
  uint32_t t = type_of(v);
  double d = get_double(v);
  bool negative_zero = d == 0.0 && std::signbit(d);
  if (t == type::percent) {
    if (d >= -21474836.0 && d <= 21474836.0 && !negative_zero) {
      double scaled = d * 100.0;
      auto n = static_cast<int32_t>(scaled >= 0 ? scaled + 0.5 : scaled - 0.5);
      if (n / 100.0 == d) {
        header(t, true);
        zigzag(n);
        return;
      }
    }
  } else if (d >= -2147483000.0 && d <= 2147483000.0 && !negative_zero) {
    auto n = static_cast<int32_t>(d);
    if (static_cast<double>(n) == d) {
      header(t, true);
      zigzag(n);
      return;
    }
  }
  header(t, false);
  double_words(v);
}

/*
 * A word bound to an object's or function's context: the first one met records the context and
 * carries its owner inline (the owner's values at the word's level); later ones, and the owner
 * itself when met later, are written as the path of that first word.
 */
void compact_writer::word(const cell* v) {
  uint32_t t = type_of(v);
  node_t ctx = word_context(v);
  if (!ctx) {
    header(t, false);
    symbol(word::symbol_of(v));
    return;
  }
  const uint32_t* p = e_.find(ctx);
  if (p) e_.emit_byte(compact::reference);
  header(t, true);
  symbol(word::symbol_of(v));
  zigzag(static_cast<int32_t>(word::index_of(v)));
  if (p) {
    path(p);
    return;
  }
  cell owner = *context::owner_cell(ctx);
  e_.enter(ctx);
  if (type_of(&owner) == type::object) {
    header(type::object, object::hooks_of(&owner) != 0);
    object_payload(&owner);
  } else {
    header(type::function, false);
    function_payload(&owner);
  }
  e_.leave();
}

void compact_writer::block(const cell* v) {
  uint32_t t = type_of(v);
  if (reference(series::node_of(v), t, series::index_of(v))) return;
  header(t, series::index_of(v) != 0);
  if (series::index_of(v)) e_.emit_varint(series::index_of(v));
  e_.enter(series::node_of(v));
  uint32_t n = memory::buffer_of(series::node_of(v))->length();
  e_.emit_varint(n);
  for (uint32_t k = 0; k < n; ++k) {
    cell item = memory::buffer_of(series::node_of(v))->cells()[k];
    value(&item);
  }
  e_.leave();
}

void compact_writer::text(const cell* v) {
  uint32_t t = type_of(v);
  if (reference(series::node_of(v), t, series::index_of(v))) return;
  header(t, series::index_of(v) != 0);
  if (series::index_of(v)) e_.emit_varint(series::index_of(v));
  e_.enter(series::node_of(v));
  series_buffer* s = memory::buffer_of(series::node_of(v));
  uint32_t unit = s->unit();
  uint32_t code = unit == 1 ? 0 : unit == 2 ? 1 : 2;
  uint32_t n = s->length();
  e_.emit_varint(n << 2 | code);
  for (uint32_t k = 0; k < n; ++k) {
    uint32_t c = string::get_char(s->head() + k * unit, unit);
    for (uint32_t b = 0; b < unit; ++b) e_.emit_byte(static_cast<uint8_t>(c >> (8 * b)));
  }
  e_.leave();
}

void compact_writer::binary(const cell* v) {
  if (reference(series::node_of(v), type::binary, series::index_of(v))) return;
  header(type::binary, series::index_of(v) != 0);
  if (series::index_of(v)) e_.emit_varint(series::index_of(v));
  e_.enter(series::node_of(v));
  series_buffer* s = memory::buffer_of(series::node_of(v));
  e_.emit_varint(s->length());
  e_.emit_bytes(s->head(), s->length());
  e_.leave();
}

// map!: its live pairs, keys and values alternating.
void compact_writer::map(const cell* v) {
  if (const uint32_t* p = e_.find(map::entries_of(v))) {
    e_.emit_byte(compact::reference);
    header(type::map, false);
    path(p);
    return;
  }
  header(type::map, false);
  e_.enter(map::entries_of(v));
  e_.emit_varint(2 * map::entry_count(v));
  write_map_pairs(v, [this](const cell* item) { value(item); });
  e_.leave();
}

// vector!: the element type and width code in one byte, the count, the elements as stored.
void compact_writer::vector(const cell* v) {
  if (reference(series::node_of(v), type::vector, series::index_of(v))) return;
  header(type::vector, series::index_of(v) != 0);
  if (series::index_of(v)) e_.emit_varint(series::index_of(v));
  e_.enter(series::node_of(v));
  series_buffer* s = memory::buffer_of(series::node_of(v));
  uint32_t width = s->unit();
  uint32_t code = width == 1 ? 0 : width == 2 ? 1 : width == 4 ? 2 : 3;
  e_.emit_byte(static_cast<uint8_t>(vector::element_type_of(v) << 2 | code));
  e_.emit_varint(s->length());
  e_.emit_bytes(s->head(), s->used_bytes());
  e_.leave();
}

// image!: the width, the height, the pixels as stored.
void compact_writer::image(const cell* v) {
  if (reference(series::node_of(v), type::image, series::index_of(v))) return;
  header(type::image, series::index_of(v) != 0);
  if (series::index_of(v)) e_.emit_varint(series::index_of(v));
  e_.enter(series::node_of(v));
  e_.emit_varint(image::width_of(v));
  e_.emit_varint(image::height_of(v));
  e_.emit_bytes(memory::buffer_of(series::node_of(v))->head(), image::count_of(v) * 4);
  e_.leave();
}

void compact_writer::bitset(const cell* v) {
  series_buffer* s = memory::buffer_of(bitset_type::node_of(v));
  bool complement = s->flags & series_flag::complement;
  if (const uint32_t* p = e_.find(bitset_type::node_of(v))) {
    e_.emit_byte(compact::reference);
    header(type::bitset, complement);
    path(p);
    return;
  }
  header(type::bitset, complement);
  e_.enter(bitset_type::node_of(v));
  e_.emit_varint(s->used_bytes());
  e_.emit_bytes(s->head(), s->used_bytes());
  e_.leave();
}

// A context record: flags, words, and the values when they live in the context.
void compact_writer::context(node_t ctx) {
  bool on_stack = context::on_stack(ctx);
  uint32_t n = context::size(ctx);
  bool with_values = values_follow(ctx);
  header(type::context, false);
  e_.emit_byte(static_cast<uint8_t>((context::kind(ctx) & 3) | (on_stack ? 4 : 0) |
                                    (with_values ? 16 : 0)));
  e_.emit_varint(n);
  for (uint32_t k = 0; k < n; ++k) symbol(word::symbol_of(&context::words(ctx)[k]));
  for (uint32_t k = 0; with_values && k < n; ++k) {
    cell item = context::values(ctx)[k];
    value(&item);
  }
}

void compact_writer::object_payload(const cell* v) {
  zigzag(static_cast<int32_t>(object::class_of(v)));
  if (object::hooks_of(v)) {
    const cell* hooks = memory::buffer_of(object::hooks_of(v))->cells();
    zigzag(static_cast<int32_t>(pair_type::x_of(&hooks[0])));
    zigzag(static_cast<int32_t>(pair_type::x_of(&hooks[1])));
  }
  context(object::context_of(v));
}

void compact_writer::function_payload(const cell* v) {
  cell spec, body;
  function_blocks(v, &spec, &body);
  e_.emit_varint(memory::buffer_of(function::spec_of(v))->length());
  e_.emit_varint(memory::buffer_of(series::node_of(&body))->length());
  context(function::context_of(v));
  value(&spec);
  value(&body);
}

// An error is written in full each time; its context is recorded for what it holds.
void compact_writer::error(const cell* v) {
  header(type::error, false);
  e_.emit_varint(static_cast<uint32_t>(integer_type::value_of(error::field_of(v, error::field::code))));
  write_error_fields(e_, v, [this](const cell* item) { value(item); });
}

}  // namespace

void write_compact_value(encoder& e, const cell* value) { compact_writer(e).value(value); }

}  // namespace kaz::kazbin
