// The plain KAZBIN writer: one value and everything it holds, as records of 32-bit words.
#include "core/context.h"
#include "core/error.h"
#include "core/function.h"
#include "core/object.h"
#include "core/series_cell.h"
#include "core/word.h"
#include "datatypes/bitset.h"
#include "datatypes/date.h"
#include "datatypes/image.h"
#include "datatypes/integer.h"
#include "datatypes/map.h"
#include "datatypes/scalar_types.h"
#include "datatypes/tuple.h"
#include "datatypes/vector.h"
#include "loader/kazbin_encoder.h"
#include "loader/kazbin_format.h"

namespace kaz::kazbin {

namespace {

using namespace plain;

class plain_writer {
 public:
  explicit plain_writer(encoder& e) : e_(e) {}
  void value(const cell* v);

 private:
  encoder& e_;

  void word(uint32_t w) { e_.emit_int32(w); }
  void path(const uint32_t* p) {
    for (uint32_t k = 0; k <= p[0]; ++k) word(p[k]);
  }
  // Bytes, then zero bytes up to a multiple of 4.
  void padded(const uint8_t* p, uint32_t n) {
    e_.emit_bytes(p, n);
    for (uint32_t k = n; k % 4; ++k) e_.emit_byte(0);
  }
  // The header word of a series value: with the reference bit and the path when it was
  // written before; answers whether it was.
  bool series_header(uint32_t h, node_t node, bool has_head, uint32_t head) {
    const uint32_t* p = e_.find(node);
    word(h | (p ? reference : 0));
    if (has_head) word(head);
    if (p) path(p);
    return p != nullptr;
  }

  void block(const cell* v, uint32_t h);
  void text(const cell* v, uint32_t h);
  void bitset(const cell* v, uint32_t h);
  void word_value(const cell* v, uint32_t h);
  void context(node_t ctx);
  void object(const cell* v, uint32_t h);
  void function(const cell* v, uint32_t h);
  void error(const cell* v, uint32_t h);
};

void plain_writer::value(const cell* v) {
  uint32_t t = type_of(v);
  uint32_t h = t | ((v->header & new_line_flag) ? new_line : 0);
  switch (t) {
    case type::datatype_:
    case type::logic:
      word(h);
      word(v->data1);
      break;
    case type::unset:
    case type::none:
      word(h);
      break;
    case type::char_:
    case type::integer:
      word(h);
      word(v->data2);
      break;
    case type::float_:
    case type::percent:
    case type::time:
      if (e_.out.size() % 8) word(0);  // the record starts on an 8-byte boundary
      word(h);
      word(v->data3);
      word(v->data2);
      break;
    case type::pair:
      word(h);
      word(pair_type::x_of(v));
      word(pair_type::y_of(v));
      break;
    case type::point2d:
      word(h);
      word(v->data1);
      word(v->data2);
      break;
    case type::typeset:
    case type::tuple:
    case type::money:
    case type::point3d:
      if (t == type::tuple) h |= tuple_type::length_of(v) << 8;
      if (t == type::money && (v->header & 0x4000)) h |= money_negative;
      word(h);
      word(v->data1);
      word(v->data2);
      word(v->data3);
      break;
    case type::date:
      word(h);
      word(date_type::word_of(v));
      word(v->data3);
      word(v->data2);
      break;
    case type::issue:
      word(h);
      word(e_.symbol(word::symbol_of(v)));
      break;
    case type::word:
    case type::set_word:
    case type::lit_word:
    case type::get_word:
    case type::refinement:
      word_value(v, h);
      break;
    case type::block:
    case type::paren:
    case type::path:
    case type::lit_path:
    case type::set_path:
    case type::get_path:
    case type::hash:
      block(v, h);
      break;
    case type::vector:
      text(v, h);
      break;
    case type::map:
      if (series_header(h, map::entries_of(v), false, 0)) break;
      e_.enter(map::entries_of(v));
      word(2 * map::entry_count(v));
      write_map_pairs(v, [this](const cell* item) { value(item); });
      e_.leave();
      break;
    case type::string:
    case type::file:
    case type::url:
    case type::tag:
    case type::email:
    case type::ref:
    case type::binary:
      text(v, h);
      break;
    case type::bitset:
      bitset(v, h);
      break;
    case type::image:  // the size word, then the pixels as stored
      if (series_header(h, image::record_of(v), true, series::index_of(v))) break;
      e_.enter(image::record_of(v));
      word(image::width_of(v) | image::height_of(v) << 16);
      padded(memory::buffer_of(image::record_of(v))->head(), image::count_of(v) * 4);
      e_.leave();
      break;
    case type::native:
    case type::action: {
      word(h);
      word(function::table_index_of(v));
      cell spec{type::block, 0, function::spec_of(v), 0};
      value(&spec);
      e_.counter--;  // the spec is no value of this level
      break;
    }
    case type::op: {
      uint32_t from = (v->header >> 16) & 0xFF;
      if (from == type::routine) no_codec(type::routine);
      word(h | from << 16);
      cell wrapped = *v;
      wrapped.header = from;
      value(&wrapped);
      e_.counter--;
      break;
    }
    case type::error:
      error(v, h);
      break;
    case type::object:
      object(v, h);
      break;
    case type::function:
      function(v, h);
      break;
    default:  // routine!, triple!, handle!, port!, event! and types not built yet
      no_codec(t);
  }
  e_.next();
}

void plain_writer::block(const cell* v, uint32_t h) {
  if (series_header(h, series::node_of(v), true, series::index_of(v))) return;
  e_.enter(series::node_of(v));
  uint32_t n = memory::buffer_of(series::node_of(v))->length();
  word(n);
  for (uint32_t k = 0; k < n; ++k) {
    cell item = memory::buffer_of(series::node_of(v))->cells()[k];
    value(&item);
  }
  e_.leave();
}

// The string family, binary! and vector!: units of the series' own width, little-endian; a
// vector's element type after its length.
void plain_writer::text(const cell* v, uint32_t h) {
  series_buffer* s = memory::buffer_of(series::node_of(v));
  uint32_t unit = s->unit();
  if (series_header(h | unit << 8, series::node_of(v), true, series::index_of(v))) return;
  e_.enter(series::node_of(v));
  s = memory::buffer_of(series::node_of(v));
  word(s->length());
  if (type_of(v) == type::vector) word(vector::element_type_of(v));
  padded(s->head(), s->used_bytes());
  e_.leave();
}

void plain_writer::bitset(const cell* v, uint32_t h) {
  series_buffer* s = memory::buffer_of(bitset_type::node_of(v));
  if (s->flags & series_flag::complement) h |= bitset_complement;
  if (series_header(h, bitset_type::node_of(v), false, 0)) return;
  e_.enter(bitset_type::node_of(v));
  word(s->used_bytes());
  padded(s->head(), s->used_bytes());
  e_.leave();
}

// Words: as in the compact layout, the first word of a context carries its owner inline.
void plain_writer::word_value(const cell* v, uint32_t h) {
  node_t ctx = word_context(v);
  const uint32_t* p = ctx ? e_.find(ctx) : nullptr;
  word(h | (!ctx ? global_word : p ? reference : 0));
  word(e_.symbol(word::symbol_of(v)));
  word(word::index_of(v));
  if (!ctx) return;
  if (p) {
    path(p);
    return;
  }
  cell owner = *context::owner_cell(ctx);
  e_.enter(ctx);
  if (type_of(&owner) == type::object) {
    word(type::object | (object::hooks_of(&owner) ? on_change : 0));
    word(object::class_of(&owner));
    if (object::hooks_of(&owner)) {
      const cell* hooks = memory::buffer_of(object::hooks_of(&owner))->cells();
      word(pair_type::x_of(&hooks[0]));
      word(pair_type::x_of(&hooks[1]));
    }
    context(ctx);
  } else {
    word(type::function);
    function(&owner, 0);
  }
  e_.leave();
}

void plain_writer::context(node_t ctx) {
  bool on_stack = context::on_stack(ctx);
  uint32_t n = context::size(ctx);
  bool with_values = values_follow(ctx);
  word(type::context | (context::kind(ctx) & 3) << ctx_kind_shift | (on_stack ? ctx_on_stack : 0) |
       (with_values ? ctx_values : 0));
  word(n);
  for (uint32_t k = 0; k < n; ++k) word(e_.symbol(word::symbol_of(&context::words(ctx)[k])));
  for (uint32_t k = 0; with_values && k < n; ++k) {
    cell item = context::values(ctx)[k];
    value(&item);
  }
}

void plain_writer::object(const cell* v, uint32_t h) {
  if (const uint32_t* p = e_.find(object::context_of(v))) {
    word(h | reference);
    path(p);
    return;
  }
  e_.enter(object::context_of(v));
  word(h | (object::hooks_of(v) ? on_change : 0));
  word(object::class_of(v));
  if (object::hooks_of(v)) {
    const cell* hooks = memory::buffer_of(object::hooks_of(v))->cells();
    word(pair_type::x_of(&hooks[0]));
    word(pair_type::x_of(&hooks[1]));
  }
  context(object::context_of(v));
  e_.leave();
}

// The header word is written by the caller when `h` is 0 (an owner inline).
void plain_writer::function(const cell* v, uint32_t h) {
  if (h) {
    if (const uint32_t* p = e_.find(function::context_of(v))) {
      word(h | reference);
      path(p);
      return;
    }
    e_.enter(function::context_of(v));
    word(h);
  }
  cell spec, body;
  function_blocks(v, &spec, &body);
  word(memory::buffer_of(function::spec_of(v))->length());
  word(memory::buffer_of(series::node_of(&body))->length());
  context(function::context_of(v));
  value(&spec);
  value(&body);
  if (h) e_.leave();
}

void plain_writer::error(const cell* v, uint32_t h) {
  word(h);
  word(integer_type::value_of(error::field_of(v, error::field::code)));
  write_error_fields(e_, v, [this](const cell* item) { value(item); });
}

}  // namespace

void write_plain_value(encoder& e, const cell* value) { plain_writer(e).value(value); }

}  // namespace kaz::kazbin
