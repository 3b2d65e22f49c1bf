// What the compact and the plain record readers share once a record's fields are read:
// placing values, references to series and contexts, a context's values, and the assembly of
// objects, functions, natives, ops and errors.
#pragma once

#include <cstdint>
#include <cstring>

#include "core/block_storage.h"
#include "core/context.h"
#include "core/error.h"
#include "core/object.h"
#include "core/series_cell.h"
#include "core/string_storage.h"
#include "datatypes/bitset.h"
#include "datatypes/image.h"
#include "datatypes/image_record.h"
#include "datatypes/map.h"
#include "datatypes/vector.h"
#include "loader/kazbin_decoder.h"
#include "memory/hashtable.h"
#include "runtime/fire.h"

namespace kaz::kazbin {

// How a record's datatype is read.
enum class family : uint8_t {
  word, issue, block, map, text, binary, vector, bitset, image, context, object, function,
  native, op, error, refused, scalar
};

inline family family_of(uint32_t t) {
  if (t >= type::word && t <= type::refinement) return family::word;
  if (t == type::issue) return family::issue;
  if (is_any_block(t)) return family::block;
  if (is_any_string(t)) return family::text;
  switch (t) {
    case type::binary: return family::binary;
    case type::vector: return family::vector;
    case type::map: return family::map;
    case type::bitset: return family::bitset;
    case type::image: return family::image;
    case type::context: return family::context;
    case type::object: return family::object;
    case type::function: return family::function;
    case type::native:
    case type::action: return family::native;
    case type::op: return family::op;
    case type::error: return family::error;
    case type::routine:
    case type::triple:
    case type::handle:
    case type::port:
    case type::event: return family::refused;
    default: return family::scalar;
  }
}

// Where a word record that carries its owner inline wants the owner's context written.
struct patch {
  node_t block = 0;
  uint32_t index = 0;
};

/*
 * `Reader` provides `read(target, required)`: one record appended to `target` (of type
 * `required` when that is not 0). Values that own series are placed in their block before
 * what they hold is read, so that paths can reach them.
 */
template <class Reader>
class record_reader {
 public:
  explicit record_reader(decoder& d) : d_(d), in_(d.in) {}

 protected:
  decoder& d_;
  cursor& in_;

  Reader& self() { return static_cast<Reader&>(*this); }

  uint32_t put(node_t target, cell c, bool new_line) {
    if (new_line) c.header |= new_line_flag;
    cell* at = memory::append_cell(target);
    *at = c;
    return static_cast<uint32_t>(at - memory::buffer_of(target)->cells());
  }

  [[noreturn]] void refuse(uint32_t t) {
    cell dt{type::datatype_, t, 0, 0};
    fire(err::access_no_codec, &dt);
  }

  // A series value over the series of the value at the path just read (which must own one
  // of that family), with its own type and head.
  void put_series_reference(node_t target, uint32_t t, uint32_t head, bool new_line,
                            uint32_t at) {
    d_.read_path();
    cell found = d_.resolve(at);
    uint32_t ft = type_of(&found);
    bool fits = false;
    switch (family_of(t)) {
      case family::block:
        fits = t == type::hash ? ft == type::hash
                               : is_any_block(ft) || ft == type::native || ft == type::action;
        break;
      case family::text: fits = is_any_string(ft); break;
      default: fits = ft == t;
    }
    if (!fits) in_.invalid_at(at);
    // A hash! or map! shares its table, a vector! its element type, an image! its size.
    uint32_t extra = t == type::hash || t == type::map || t == type::vector || t == type::image
                         ? found.data3
                         : 0;
    put(target, cell{t, head, series::node_of(&found), extra}, new_line);
  }

  // An object! or function! by reference: the owner of the context of the value at the path.
  void put_owner(node_t target, uint32_t t, bool new_line, uint32_t at) {
    d_.read_path();
    cell found = d_.resolve(at);
    node_t ctx = context_of(&found);
    if (!ctx) in_.invalid_at(at);
    cell owner = *context::owner_cell(ctx);
    if (type_of(&owner) != t) in_.invalid_at(at);
    owner.header = (owner.header & ~new_line_flag) | (new_line ? new_line_flag : 0);
    put(target, owner, false);
  }

  // n records of the block family, into a new block placed first.
  void put_block(node_t target, uint32_t t, uint32_t head, uint32_t n, bool new_line) {
    cell c;
    block::init_cell(&c, n, t);
    c.data1 = head;
    uint32_t at = put(target, c, new_line);
    node_t node = c.data2;
    for (uint32_t k = 0; k < n; ++k) self().read(node);
    if (t == type::hash) {
      node_t table = hashtable::create(n < 1 ? 1 : n, node, hashtable::hash_block, 1);
      slot(target, at)->data3 = table;
    }
  }

  // map!: n cells, keys and values alternating. The map is made (empty) and placed first and
  // the cells are read straight into its entry block, so that a reference inside the map to the
  // map itself (a cyclic map, which the writers produce) finds a map! with its table; the keys
  // are then checked and indexed in place.
  void put_map(node_t target, uint32_t n, bool new_line, uint32_t at) {
    if (n % 2) in_.invalid_at(at);
    cell m{type::unset, 0, 0, 0};
    map::init_cell(&m, nullptr, n);
    if (new_line) m.header |= new_line_flag;
    put(target, m, false);
    node_t entries = map::entries_of(&m);
    for (uint32_t k = 0; k < n; ++k) self().read(entries);
    for (uint32_t k = 0; k < n; k += 2) {
      const cell* key = memory::buffer_of(entries)->cells() + k;
      if (!map::key_type_q(type_of(key))) in_.invalid_at(at);
    }
    // A map's cells carry no new-line marks (as making one from a block clears them).
    for (uint32_t k = 0; k < n; ++k) slot(entries, k)->header &= ~new_line_flag;
    hashtable::index_values(map::table_of(&m), 0, 2);  // normalises the keys, merges duplicates
  }

  // n elements of a vector!: integer! or char! of 1, 2 or 4 bytes, float! of 4 or 8, percent!
  // of 8.
  void put_vector(node_t target, uint32_t element, uint32_t width, uint32_t head,
                  const uint8_t* p, uint32_t n, bool new_line, uint32_t at) {
    bool fits = element == type::integer || element == type::char_ ? width <= 4
                : element == type::float_                         ? width >= 4
                                                                  : element == type::percent &&
                                                                        width == 8;
    if (!fits) in_.invalid_at(at);
    cell c;
    vector::alloc(&c, n, element, width);
    c.data1 = head;
    series_buffer* s = memory::buffer_of(c.data2);
    if (n) std::memcpy(s->head_rw(), p, uint64_t(n) * width);
    s->tail = s->offset + n * width;
    put(target, c, new_line);
  }

  // n units of `unit` bytes (little-endian) of a string-family or binary! value.
  void put_text(node_t target, uint32_t t, uint32_t head, const uint8_t* p, uint32_t n,
                uint32_t unit, bool new_line, uint32_t at) {
    cell c;
    if (t == type::binary)
      c = cell{type::binary, 0, memory::alloc_bytes(n), 0};
    else
      string::init_cell_with_unit(&c, n, unit, t);
    c.data1 = head;
    series_buffer* s = memory::buffer_of(c.data2);
    for (uint32_t k = 0; k < n; ++k) {
      uint32_t ch = string::get_char(p + k * unit, unit);
      if (ch > 0x10FFFF) in_.invalid_at(at);
      string::put_char(s->head_rw() + k * unit, unit, ch);
    }
    s->tail = s->offset + n * unit;
    put(target, c, new_line);
  }

  // An image of width x height pixels, 4 bytes each as the image stores them.
  void put_image(node_t target, uint32_t head, uint32_t width, uint32_t height,
                 const uint8_t* p, bool new_line, uint32_t at) {
    if (!image_record::size_allowed(width, height)) in_.invalid_at(at);
    cell c;
    image::init_cell(&c, image_record::new_record(width, height), width, height);
    c.data1 = head;
    if (width && height) std::memcpy(image_record::pixels(c.data2), p, size_t(width) * height * 4);
    put(target, c, new_line);
  }

  void put_bitset(node_t target, const uint8_t* p, uint32_t n, bool complement, bool new_line) {
    cell c;
    bitset_type::make_empty(&c, n, 0, complement);
    if (n) std::memcpy(memory::buffer_of(c.data2)->head_rw(), p, n);
    put(target, c, new_line);
  }

  // The values of a context, in word order, into its values block.
  void context_values(node_t ctx, uint32_t count) {
    node_t values = context::header_cell(ctx)->data2;
    cut_block(values, 0);
    for (uint32_t k = 0; k < count; ++k) self().read(values);
    if (block_length(values) != count) in_.invalid();
  }

  // An object! over a new context, placed before its values are read. An object that had an
  // on-change node gets it made anew from its handlers once its values are there (the numbers
  // the data gives for it are not trusted). Only a function's context keeps its values on the
  // stack: an object's must hold them.
  void put_object(node_t target, node_t ctx, uint32_t class_id, bool hooked, patch p,
                  bool new_line, bool with_values, uint32_t count, uint32_t record_at) {
    if (context::on_stack(ctx)) in_.invalid_at(record_at);
    cell c{type::object, ctx, class_id, 0};
    *context::owner_cell_rw(ctx) = c;
    if (p.block) slot(p.block, p.index)->data1 = ctx;
    uint32_t at = put(target, c, new_line);
    if (with_values) context_values(ctx, count);
    if (hooked) {
      cell o = *slot(target, at);
      object::init_on_set(&o);
      *slot(target, at) = o;
    }
  }

  // A function! over its context: placed first with an empty spec, then the spec and body
  // records are read after it and taken in.
  void put_function(node_t target, node_t ctx, patch p, bool new_line, uint32_t at) {
    if (!context::on_stack(ctx)) in_.invalid_at(at);
    cell placeholder{type::function, ctx, 0, 0};
    *context::owner_cell_rw(ctx) = placeholder;
    if (p.block) slot(p.block, p.index)->data1 = ctx;
    uint32_t f_at = put(target, placeholder, false);
    self().read(target, type::block);
    slot(target, f_at)->data2 = series::node_of(slot(target, f_at + 1));
    self().read(target, type::block);
    cell body = *slot(target, f_at + 2);
    cell f;
    if (!make_function(&f, ctx, series::node_of(slot(target, f_at + 1)), &body)) in_.invalid_at(at);
    if (new_line) f.header |= new_line_flag;
    *slot(target, f_at) = f;
    cut_block(target, f_at + 1);
  }

  // native! and action!: from outside, the runtime's own value of the entry; boot data makes
  // it with its spec, which stays after it.
  void put_native(node_t target, uint32_t t, uint32_t index, bool new_line, uint32_t at) {
    uint32_t n_at = append_slot(target);
    self().read(target, type::block);
    cell spec = *slot(target, n_at + 1);
    cell f;
    if (!make_native(&f, t, index, d_.codec ? nullptr : &spec)) in_.invalid_at(at);
    if (new_line) f.header |= new_line_flag;
    *slot(target, n_at) = f;
    if (d_.codec) cut_block(target, n_at + 1);
  }

  // op!: the wrapped value's record (of type `from` when that is not 0), retyped.
  void put_op(node_t target, uint32_t from, bool new_line, uint32_t at) {
    uint32_t w_at = block_length(target);
    self().read(target, from);
    cell* w = slot(target, w_at);
    uint32_t t = type_of(w);
    if (t != type::native && t != type::action && t != type::function) in_.invalid_at(at);
    cell wrapped = *w;
    wrapped.header &= ~new_line_flag;
    cell op;
    if (!make_op(&op, &wrapped)) in_.invalid_at(at);
    if (new_line) op.header |= new_line_flag;
    *slot(target, w_at) = op;
  }

  // error!: made from its catalogue code; then arg1, arg2, arg3, near, where and stack.
  void put_error(node_t target, uint32_t code, bool new_line, uint32_t at) {
    cell e;
    if (!error_of_code(code, &e)) in_.invalid_at(at);
    if (new_line) e.header |= new_line_flag;
    uint32_t e_at = put(target, e, false);
    for (uint32_t k = 0; k < 6; ++k) {
      self().read(target);
      cell v = *slot(target, e_at + 1);
      cut_block(target, e_at + 1);
      *error::field_rw(slot(target, e_at), error::field::arg1 + k) = v;
    }
  }

  // A set record of boot data: the word at `word_at` is set to the value read after it, and
  // both cells are dropped.
  void set_record(node_t target, uint32_t word_at) {
    self().read(target);
    cell w = *slot(target, word_at);
    cell v = *slot(target, word_at + 1);
    context::set_value(&w, &v, false);
    cut_block(target, word_at);
  }
};

}  // namespace kaz::kazbin
