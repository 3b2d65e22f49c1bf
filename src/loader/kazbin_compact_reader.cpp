// The compact KAZBIN reader: varint records, one decoder per family.
#include <cstring>

#include "core/context.h"
#include "core/error.h"
#include "core/fire.h"
#include "datatypes/bitset.h"
#include "datatypes/block_storage.h"
#include "datatypes/string_storage.h"
#include "datatypes/tuple.h"
#include "loader/kazbin_decoder.h"
#include "loader/kazbin_readers.h"
#include "loader/kazbin_values.h"

namespace kaz::kazbin {

namespace {

using namespace compact;

// The flags a record's prefixes and header byte give its payload decoder.
struct record {
  uint32_t type;
  uint32_t at;  // position of the header byte
  bool variant;
  bool reference;
  bool new_line;
};

// Where a word record that carries its owner inline wants the owner's context written.
struct patch {
  node_t block = 0;
  uint32_t index = 0;
};

class compact_reader {
 public:
  explicit compact_reader(decoder& d) : d_(d), in_(d.in) {}

  // One record with its prefixes, appended to `target`. `required` (when not 0) is the only
  // datatype the record may have (a function's spec and body).
  void read(node_t target, uint32_t required = 0);

 private:
  decoder& d_;
  cursor& in_;

  uint32_t put(node_t target, cell c, bool new_line) {
    if (new_line) c.header |= new_line_flag;
    uint32_t index = append_slot(target);
    *slot(target, index) = c;
    return index;
  }
  uint32_t symbol() {
    uint32_t at = in_.pos;
    return d_.symbol_at(in_.read_varint(), at);
  }
  uint32_t head(const record& r) {
    if (!r.variant) return 0;
    uint32_t at = in_.pos;
    uint32_t h = in_.read_varint();
    if (h > 0x7FFFFFFF) in_.invalid_at(at);
    return h;
  }
  double read_double() {
    uint32_t w[2];
    w[0] = in_.read_int32();
    w[1] = in_.read_int32();
    double v;
    std::memcpy(&v, w, sizeof v);
    return v;
  }
  cell referenced(const record& r) {
    d_.read_path();
    return d_.resolve(r.at);
  }

  void scalar(node_t target, const record& r);
  void word(node_t target, const record& r, bool set_record);
  void block(node_t target, const record& r);
  void text(node_t target, const record& r);
  void binary(node_t target, const record& r);
  void bitset(node_t target, const record& r);
  node_t context_head(const record& r, bool& with_values, uint32_t& count);
  void context_values(node_t ctx, uint32_t count);
  void context_alone(node_t target, const record& r);
  void object(node_t target, const record& r, patch p = {});
  void function(node_t target, const record& r, patch p = {});
  void native(node_t target, const record& r);
  void op(node_t target, const record& r);
  void error(node_t target, const record& r);
};

void compact_reader::read(node_t target, uint32_t required) {
  bool new_line = false, reference = false, binding = false;
  for (;;) {
    uint8_t b = in_.peek_byte();
    if (b == compact::new_line)
      new_line = true;
    else if (b == compact::reference)
      reference = true;
    else if (b == compact::binding)
      binding = true;
    else
      break;
    in_.pos++;
  }
  uint32_t at = in_.pos;
  uint8_t lead = in_.read_byte();
  if (lead >= small_integer) {
    if (reference || binding || required) in_.invalid_at(at);
    cell c{type::unset, 0, 0, 0};
    if (lead < compact::new_line) {
      c = cell{type::integer, 0, uint32_t(lead - small_integer), 0};
    } else if (lead == logic_true || lead == logic_false) {
      c = cell{type::logic, lead == logic_true ? 1u : 0u, 0, 0};
    } else if (lead == copy_at_path) {
      d_.read_path();
      c = d_.resolve(at);
    } else {
      in_.invalid_at(at);
    }
    put(target, c, new_line);
    return;
  }
  record r{uint32_t(lead & 0x3F), at, (lead & variant) != 0, reference, new_line};
  if (r.type == long_id) r.type = in_.read_varint();
  if (r.type == 0 || r.type > type::max_id) in_.invalid_at(at);
  if (required && r.type != required) in_.invalid_at(at);
  if (binding && (d_.codec || target != d_.root || r.type < type::word || r.type > type::issue))
    in_.invalid_at(at);
  d_.enter();
  switch (r.type) {
    case type::word:
    case type::set_word:
    case type::lit_word:
    case type::get_word:
    case type::refinement:
    case type::issue:
      word(target, r, binding && r.type != type::issue);
      break;
    case type::block:
    case type::paren:
    case type::path:
    case type::lit_path:
    case type::set_path:
    case type::get_path:
      block(target, r);
      break;
    case type::string:
    case type::file:
    case type::url:
    case type::tag:
    case type::email:
    case type::ref:
      text(target, r);
      break;
    case type::binary:
      binary(target, r);
      break;
    case type::bitset:
      bitset(target, r);
      break;
    case type::context:
      context_alone(target, r);
      break;
    case type::object:
      object(target, r);
      break;
    case type::function:
      function(target, r);
      break;
    case type::native:
    case type::action:
      native(target, r);
      break;
    case type::op:
      op(target, r);
      break;
    case type::error:
      error(target, r);
      break;
    case type::routine:
    case type::triple:
    case type::handle:
    case type::port:
    case type::event:
    // Not built in this runtime yet: no codec for them either.
    case type::hash:
    case type::map:
    case type::vector:
    case type::image: {
      cell dt{type::datatype_, r.type, 0, 0};
      fire(err::access_no_codec, &dt);
    }
    default:
      if (r.reference) in_.invalid_at(at);
      scalar(target, r);
  }
  d_.leave();
}

void compact_reader::scalar(node_t target, const record& r) {
  cell c{r.type, 0, 0, 0};
  switch (r.type) {
    case type::datatype_: {
      uint32_t at = in_.pos;
      c.data1 = in_.read_varint();
      if (!known_datatype(c.data1)) in_.invalid_at(at);
      break;
    }
    case type::unset:
    case type::none:
      break;
    case type::char_: {
      uint32_t at = in_.pos;
      c.data2 = in_.read_varint();
      if (c.data2 > 0x10FFFF) in_.invalid_at(at);
      break;
    }
    case type::integer:
      c.data2 = static_cast<uint32_t>(in_.read_zigzag());
      break;
    case type::float_:
    case type::percent:
    case type::time:
      if (r.variant) {
        double n = in_.read_zigzag();
        put_double(&c, r.type == type::percent ? n / 100.0 : n);
      } else {
        put_double(&c, read_double());
      }
      break;
    case type::date: {
      c.data1 = in_.read_int32();
      bool timed = (c.data1 & 0x10000) != 0;
      double t = timed ? read_double() : 0.0;
      if (timed != r.variant || !valid_date(c.data1, t)) in_.invalid_at(r.at);
      put_double(&c, t);
      break;
    }
    case type::typeset: {
      uint32_t at = in_.pos;
      uint8_t n = in_.read_byte();
      if (n > 12) in_.invalid_at(at);
      std::memcpy(reinterpret_cast<uint8_t*>(&c) + 4, in_.take(n), n);
      break;
    }
    case type::tuple: {
      uint32_t n = 3;
      if (r.variant) {
        uint32_t at = in_.pos;
        n = in_.read_byte();
        if (n < 3 || n > 12) in_.invalid_at(at);
      }
      std::memcpy(reinterpret_cast<uint8_t*>(&c) + 4, in_.take(n), n);
      c.header |= n << tuple_type::length_shift;
      break;
    }
    case type::money:
      std::memcpy(reinterpret_cast<uint8_t*>(&c) + 4, in_.take(12), 12);
      if (!valid_money(&c)) in_.invalid_at(r.at);
      if (r.variant) c.header |= 0x4000;
      break;
    case type::pair:
      c.data2 = static_cast<uint32_t>(in_.read_zigzag());
      c.data3 = static_cast<uint32_t>(in_.read_zigzag());
      break;
    case type::point2d:
      c.data1 = in_.read_int32();
      c.data2 = in_.read_int32();
      break;
    case type::point3d:
      c.data1 = in_.read_int32();
      c.data2 = in_.read_int32();
      c.data3 = in_.read_int32();
      break;
    default:  // symbol!, series!, logic! headers and ids no datatype has
      in_.invalid_at(r.at);
  }
  put(target, c, r.new_line);
}

/*
 * Words. Unbound ones (variant clear) are bound to the global context. Bound ones carry their
 * index, then in codec mode a path to a value of their context or their owner inline (an
 * object or function record without prefixes), in boot mode the literal number of a value of
 * their context.
 */
void compact_reader::word(node_t target, const record& r, bool set_record) {
  cell c{r.type, 0, symbol(), 0};
  if (r.type == type::issue) {
    put(target, c, r.new_line);
    return;
  }
  uint32_t index_at = in_.pos;
  if (!r.variant) {
    bind_global(&c);
  } else if (!d_.codec) {
    uint32_t literal = in_.read_varint();
    index_at = in_.pos;
    int32_t index = in_.read_zigzag();
    uint32_t n = block_length(d_.root) - d_.root_base;
    node_t ctx = literal < n ? context_of(slot(d_.root, d_.root_base + literal)) : 0;
    if (!ctx) in_.invalid_at(index_at);
    if (index == -1) index = context::find_symbol(ctx, c.data2, true);
    if (index < 0 || !bind_to(&c, ctx, index)) in_.invalid_at(index_at);
  } else {
    int32_t index = in_.read_zigzag();
    if (r.reference) {
      cell owner = referenced(r);
      node_t ctx = context_of(&owner);
      if (!ctx || !bind_to(&c, ctx, index)) in_.invalid_at(index_at);
    } else {
      uint32_t at = put(target, c, r.new_line);
      uint32_t owner_at = in_.pos;
      uint8_t lead = in_.read_byte();
      if (lead & small_integer) in_.invalid_at(owner_at);
      record o{uint32_t(lead & 0x3F), owner_at, (lead & variant) != 0, false, false};
      if (o.type == type::object)
        object(target, o, {target, at});
      else if (o.type == type::function && !o.variant)
        function(target, o, {target, at});
      else
        in_.invalid_at(owner_at);
      cut_block(target, at + 1);
      cell* w = slot(target, at);
      if (!bind_to(w, w->data1, index)) in_.invalid_at(index_at);
      return;
    }
  }
  uint32_t at = put(target, c, r.new_line);
  if (!set_record) return;
  // A set record: the word's value follows; the word is set and both cells are dropped.
  read(target);
  cell w = *slot(target, at);
  cell v = *slot(target, at + 1);
  context::set_value(&w, &v, false);
  cut_block(target, at);
}

void compact_reader::block(node_t target, const record& r) {
  uint32_t h = head(r);
  if (r.reference) {
    cell found = referenced(r);
    uint32_t t = type_of(&found);
    if (!is_any_block(t) && t != type::native && t != type::action) in_.invalid_at(r.at);
    put(target, cell{r.type, h, found.data2, 0}, r.new_line);
    return;
  }
  uint32_t n = in_.checked_count(in_.read_varint(), 1);
  cell c;
  block::init_cell(&c, n, r.type);
  c.data1 = h;
  uint32_t at = put(target, c, r.new_line);
  node_t node = c.data2;
  for (uint32_t k = 0; k < n; ++k) read(node);
  (void)at;
}

// The string family: length and unit code in one varint, then the units.
void compact_reader::text(node_t target, const record& r) {
  uint32_t h = head(r);
  if (r.reference) {
    cell found = referenced(r);
    if (!is_any_string(type_of(&found))) in_.invalid_at(r.at);
    put(target, cell{r.type, h, found.data2, 0}, r.new_line);
    return;
  }
  uint32_t at = in_.pos;
  uint32_t v = in_.read_varint();
  uint32_t code = v & 3;
  if (code == 3) in_.invalid_at(at);
  uint32_t unit = 1u << code;
  uint32_t n = in_.checked_count(v >> 2, unit);
  cell c;
  string::init_cell_with_unit(&c, n, unit, r.type);
  c.data1 = h;
  const uint8_t* p = in_.take(n * unit);
  series_buffer* s = string::buffer_of(&c);
  for (uint32_t k = 0; k < n; ++k) {
    uint32_t ch = string::get_char(p + k * unit, unit);
    if (ch > 0x10FFFF) in_.invalid_at(at);
    string::put_char(s->head() + k * unit, unit, ch);
  }
  s->tail = s->offset + n * unit;
  put(target, c, r.new_line);
}

void compact_reader::binary(node_t target, const record& r) {
  uint32_t h = head(r);
  if (r.reference) {
    cell found = referenced(r);
    if (type_of(&found) != type::binary) in_.invalid_at(r.at);
    put(target, cell{type::binary, h, found.data2, 0}, r.new_line);
    return;
  }
  uint32_t n = in_.checked_count(in_.read_varint(), 1);
  node_t node = memory::alloc_bytes(n);
  series_buffer* s = memory::buffer_of(node);
  if (n) std::memcpy(s->head(), in_.take(n), n);
  s->tail = s->offset + n;
  put(target, cell{type::binary, h, node, 0}, r.new_line);
}

void compact_reader::bitset(node_t target, const record& r) {
  if (r.reference) {
    cell found = referenced(r);
    if (type_of(&found) != type::bitset) in_.invalid_at(r.at);
    put(target, cell{type::bitset, 0, found.data2, 0}, r.new_line);
    return;
  }
  uint32_t n = in_.checked_count(in_.read_varint(), 1);
  cell c;
  bitset_type::make_empty(&c, n, 0, r.variant);
  if (n) std::memcpy(memory::buffer_of(c.data2)->head(), in_.take(n), n);
  put(target, c, r.new_line);
}

/*
 * Contexts: a flags byte (bits 0-1 the kind, bit 2 values on the stack, bit 3 self word, bit 4
 * the values follow), the word count and the words; the values come after the owner exists,
 * so that words inside them can name it by path.
 */
node_t compact_reader::context_head(const record& r, bool& with_values, uint32_t& count) {
  uint32_t at = in_.pos;
  uint8_t lead = in_.read_byte();
  if (lead != type::context) in_.invalid_at(at);
  uint8_t flags = in_.read_byte();
  uint32_t n = in_.checked_count(in_.read_varint(), 1);
  std::vector<uint32_t> symbols(n);
  for (uint32_t k = 0; k < n; ++k) symbols[k] = symbol();
  bool on_stack = flags & 4;
  node_t ctx = new_context(symbols.data(), n, flags & 3, on_stack);
  if (!ctx) in_.invalid_at(r.at);
  with_values = (flags & 16) && !on_stack;
  count = n;
  return ctx;
}

void compact_reader::context_values(node_t ctx, uint32_t count) {
  node_t values = context::header_cell(ctx)->data2;
  cut_block(values, 0);
  for (uint32_t k = 0; k < count; ++k) read(values);
  if (block_length(values) != count) in_.invalid();
}

void compact_reader::context_alone(node_t target, const record& r) {
  if (r.reference) in_.invalid_at(r.at);
  in_.pos = r.at;  // the context head reads the header byte itself
  if (in_.data[r.at] != type::context) in_.invalid_at(r.at);
  bool with_values;
  uint32_t n;
  node_t ctx = context_head(r, with_values, n);
  cell c{type::object, ctx, 0xFFFFFFFF, 0};
  *context::owner_cell(ctx) = c;
  put(target, c, r.new_line);
  if (with_values) context_values(ctx, n);
}

void compact_reader::object(node_t target, const record& r, patch p) {
  if (r.reference) {
    cell found = referenced(r);
    node_t ctx = context_of(&found);
    if (!ctx) in_.invalid_at(r.at);
    cell owner = *context::owner_cell(ctx);
    if (type_of(&owner) != type::object) in_.invalid_at(r.at);
    owner.header = (owner.header & ~new_line_flag) | (r.new_line ? new_line_flag : 0);
    put(target, owner, false);
    return;
  }
  uint32_t class_id = static_cast<uint32_t>(in_.read_zigzag());
  int32_t on_change[2] = {0, 0};
  if (r.variant) {
    on_change[0] = in_.read_zigzag();
    on_change[1] = in_.read_zigzag();
  }
  bool with_values;
  uint32_t n;
  node_t ctx = context_head(r, with_values, n);
  cell c{type::object, ctx, class_id, 0};
  if (r.variant) {
    node_t hooks = memory::alloc_cells_cleared(2);
    series_buffer* s = memory::buffer_of(hooks);
    s->tail = s->offset + 32;
    for (uint32_t k = 0; k < 2; ++k)
      s->cells()[k] = cell{type::pair, 0, static_cast<uint32_t>(on_change[k]), 0};
    c.data3 = hooks;
  }
  *context::owner_cell(ctx) = c;
  if (p.block) slot(p.block, p.index)->data1 = ctx;
  put(target, c, r.new_line);
  if (with_values) context_values(ctx, n);
}

/*
 * function!: the spec and body sizes, the context, then the spec and the body as block!
 * records. The function's cell is placed first (its spec and body still empty), so that the
 * words of the body can name its context by path.
 */
void compact_reader::function(node_t target, const record& r, patch p) {
  if (r.reference) {
    cell found = referenced(r);
    node_t ctx = context_of(&found);
    if (!ctx) in_.invalid_at(r.at);
    cell owner = *context::owner_cell(ctx);
    if (type_of(&owner) != type::function) in_.invalid_at(r.at);
    owner.header = (owner.header & ~new_line_flag) | (r.new_line ? new_line_flag : 0);
    put(target, owner, false);
    return;
  }
  in_.checked_count(in_.read_varint(), 1);
  in_.checked_count(in_.read_varint(), 1);
  bool with_values;
  uint32_t n;
  node_t ctx = context_head(r, with_values, n);
  if (!context::on_stack(ctx)) in_.invalid_at(r.at);
  cell placeholder{type::function, ctx, 0, 0};
  *context::owner_cell(ctx) = placeholder;
  if (p.block) slot(p.block, p.index)->data1 = ctx;
  uint32_t at = put(target, placeholder, false);
  read(target, type::block);
  slot(target, at)->data2 = slot(target, at + 1)->data2;
  read(target, type::block);
  cell body = *slot(target, at + 2);
  cell f;
  if (!make_function(&f, ctx, slot(target, at + 1)->data2, &body)) in_.invalid_at(r.at);
  if (r.new_line) f.header |= new_line_flag;
  *slot(target, at) = f;
  cut_block(target, at + 1);
}

// native! and action!: the table index and the spec. From outside the runtime's own value of
// the entry is taken; boot data makes it with its spec, which stays after it.
void compact_reader::native(node_t target, const record& r) {
  if (r.reference) in_.invalid_at(r.at);
  uint32_t index = in_.read_varint();
  uint32_t at = append_slot(target);
  read(target, type::block);
  cell spec = *slot(target, at + 1);
  cell f;
  if (!make_native(&f, r.type, index, d_.codec ? nullptr : &spec)) in_.invalid_at(r.at);
  if (r.new_line) f.header |= new_line_flag;
  *slot(target, at) = f;
  if (d_.codec) cut_block(target, at + 1);
}

void compact_reader::op(node_t target, const record& r) {
  if (r.reference) in_.invalid_at(r.at);
  uint32_t at = block_length(target);
  read(target);
  cell* w = slot(target, at);
  uint32_t from = type_of(w);
  if (from != type::native && from != type::action && from != type::function)
    in_.invalid_at(r.at);
  w = slot(target, at);
  w->header = (w->header & ~(type_mask | 0xFF0000 | new_line_flag)) | type::op | from << 16 |
              (r.new_line ? new_line_flag : 0);
}

// error!: the catalogue code, then arg1, arg2, arg3, near, where and stack.
void compact_reader::error(node_t target, const record& r) {
  if (r.reference) in_.invalid_at(r.at);
  cell e;
  if (!error_of_code(in_.read_varint(), &e)) in_.invalid_at(r.at);
  if (r.new_line) e.header |= new_line_flag;
  uint32_t at = put(target, e, false);
  for (uint32_t k = 0; k < 6; ++k) {
    read(target);
    cell v = *slot(target, at + 1);
    cut_block(target, at + 1);
    *error::field_of(slot(target, at), error::field::arg1 + k) = v;
  }
}

}  // namespace

void read_compact_records(decoder& d) {
  compact_reader reader(d);
  while (!d.in.at_end()) reader.read(d.root);
}

}  // namespace kaz::kazbin
