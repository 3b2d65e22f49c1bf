// The plain KAZBIN reader: records of 32-bit words.
#include <cstring>
#include <vector>

#include "core/context.h"
#include "core/error.h"
#include "core/fire.h"
#include "datatypes/bitset.h"
#include "datatypes/block_storage.h"
#include "datatypes/string_storage.h"
#include "datatypes/tuple.h"
#include "loader/kazbin_readers.h"
#include "loader/kazbin_values.h"

namespace kaz::kazbin {

namespace {

using namespace plain;

struct record {
  uint32_t header;
  uint32_t type;
  uint32_t at;  // position of the header word
  bool new_line;
  bool reference() const { return header & plain::reference; }
};

struct patch {
  node_t block = 0;
  uint32_t index = 0;
};

class plain_reader {
 public:
  explicit plain_reader(decoder& d) : d_(d), in_(d.in) {}

  // One record (after any padding words), appended to `target`; `required` as in the compact
  // reader.
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
  uint32_t word() { return in_.read_int32(); }
  uint32_t symbol() {
    uint32_t at = in_.pos;
    return d_.symbol_at(word(), at);
  }
  uint32_t head() {
    uint32_t at = in_.pos;
    uint32_t h = word();
    if (h > 0x7FFFFFFF) in_.invalid_at(at);
    return h;
  }
  cell referenced(const record& r) {
    d_.read_path();
    return d_.resolve(r.at);
  }
  // `n` bytes of data and their padding to a multiple of 4.
  const uint8_t* padded(uint32_t n) {
    const uint8_t* p = in_.take(n);
    in_.take((4 - n % 4) % 4);
    return p;
  }

  void scalar(node_t target, const record& r);
  void any_word(node_t target, const record& r);
  void block(node_t target, const record& r);
  void text(node_t target, const record& r);
  void bitset(node_t target, const record& r);
  node_t context_head(const record& r, bool& with_values, uint32_t& count);
  void context_values(node_t ctx, uint32_t count);
  void object(node_t target, const record& r, patch p = {});
  void function(node_t target, const record& r, patch p = {});
  void native(node_t target, const record& r);
  void op(node_t target, const record& r);
  void error(node_t target, const record& r);
};

void plain_reader::read(node_t target, uint32_t required) {
  uint32_t h = 0;
  uint32_t at = in_.pos;
  while (h == 0) {
    at = in_.pos;
    h = word();
  }
  record r{h, h & 0xFF, at, (h & new_line) != 0};
  if (required && r.type != required) in_.invalid_at(at);
  if (r.type == copy_at_path) {
    d_.read_path();
    put(target, d_.resolve(at), r.new_line);
    return;
  }
  d_.enter();
  switch (r.type) {
    case type::word:
    case type::set_word:
    case type::lit_word:
    case type::get_word:
    case type::refinement:
      any_word(target, r);
      break;
    case type::issue:
      put(target, cell{type::issue, 0, symbol(), 0}, r.new_line);
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
    case type::binary:
      text(target, r);
      break;
    case type::bitset:
      bitset(target, r);
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
      scalar(target, r);
  }
  d_.leave();
}

void plain_reader::scalar(node_t target, const record& r) {
  cell c{r.type, 0, 0, 0};
  switch (r.type) {
    case type::datatype_:
      c.data1 = word();
      if (!known_datatype(c.data1)) in_.invalid_at(r.at);
      break;
    case type::logic:
      c.data1 = word() != 0;
      break;
    case type::unset:
    case type::none:
      break;
    case type::char_:
      c.data2 = word();
      if (c.data2 > 0x10FFFF) in_.invalid_at(r.at);
      break;
    case type::integer:
      c.data2 = word();
      break;
    case type::float_:
    case type::percent:
    case type::time:
      c.data3 = word();
      c.data2 = word();
      break;
    case type::pair:
      c.data2 = word();
      c.data3 = word();
      break;
    case type::point2d:
      c.data1 = word();
      c.data2 = word();
      break;
    case type::typeset:
    case type::tuple:
    case type::money:
    case type::point3d:
      c.data1 = word();
      c.data2 = word();
      c.data3 = word();
      if (r.type == type::tuple) {
        uint32_t n = (r.header >> 8) & 0xFF;
        if (n < 3 || n > 12) in_.invalid_at(r.at);
        c.header |= n << tuple_type::length_shift;
      } else if (r.type == type::money) {
        if (!valid_money(&c)) in_.invalid_at(r.at);
        if (r.header & money_negative) c.header |= 0x4000;
      }
      break;
    case type::date:
      c.data1 = word();
      c.data3 = word();
      c.data2 = word();
      if (!valid_date(c.data1, get_double(&c))) in_.invalid_at(r.at);
      break;
    default:  // symbol!, series!, context! alone and ids no datatype has
      in_.invalid_at(r.at);
  }
  put(target, c, r.new_line);
}

/*
 * Words: the symbol and the index. From the encoder, bit 25 marks the global context; else a
 * path or the owner's record follows. In boot data the context is a literal number (-1 the
 * global context) and bit 25 makes a set record.
 */
void plain_reader::any_word(node_t target, const record& r) {
  cell c{r.type, 0, symbol(), 0};
  uint32_t at = in_.pos;
  if (!d_.codec) {
    auto literal = static_cast<int32_t>(word());
    auto index = static_cast<int32_t>(word());
    node_t ctx = context::global;
    if (literal != -1) {
      uint32_t n = block_length(d_.root) - d_.root_base;
      ctx = literal >= 0 && uint32_t(literal) < n
                ? context_of(slot(d_.root, d_.root_base + uint32_t(literal)))
                : 0;
    }
    if (!ctx) in_.invalid_at(at);
    if (ctx == context::global && index == -1) {
      bind_global(&c);
    } else {
      if (index == -1) index = context::find_symbol(ctx, c.data2, true);
      if (index < 0 || !bind_to(&c, ctx, index)) in_.invalid_at(at);
    }
    uint32_t w = put(target, c, r.new_line);
    if (!(r.header & global_word)) return;
    if (target != d_.root) in_.invalid_at(r.at);
    read(target);
    cell set = *slot(target, w);
    cell v = *slot(target, w + 1);
    context::set_value(&set, &v, false);
    cut_block(target, w);
    return;
  }
  auto index = static_cast<int32_t>(word());
  if (r.header & global_word) {
    bind_global(&c);
  } else if (r.reference()) {
    cell owner = referenced(r);
    node_t ctx = context_of(&owner);
    if (!ctx || !bind_to(&c, ctx, index)) in_.invalid_at(at);
  } else {
    uint32_t w = put(target, c, r.new_line);
    uint32_t owner_at = in_.pos;
    uint32_t h = word();
    record o{h, h & 0xFF, owner_at, false};
    if (o.type == type::object && !o.reference())
      object(target, o, {target, w});
    else if (h == type::function)
      function(target, o, {target, w});
    else
      in_.invalid_at(owner_at);
    cut_block(target, w + 1);
    cell* x = slot(target, w);
    if (!bind_to(x, x->data1, index)) in_.invalid_at(at);
    return;
  }
  put(target, c, r.new_line);
}

void plain_reader::block(node_t target, const record& r) {
  uint32_t h = head();
  if (r.reference()) {
    cell found = referenced(r);
    uint32_t t = type_of(&found);
    if (!is_any_block(t) && t != type::native && t != type::action) in_.invalid_at(r.at);
    put(target, cell{r.type, h, found.data2, 0}, r.new_line);
    return;
  }
  uint32_t n = in_.checked_count(word(), 4);
  cell c;
  block::init_cell(&c, n, r.type);
  c.data1 = h;
  put(target, c, r.new_line);
  node_t node = c.data2;
  for (uint32_t k = 0; k < n; ++k) read(node);
}

// The string family and binary!: the unit size in bits 8-15, the units, padding to 4 bytes.
void plain_reader::text(node_t target, const record& r) {
  uint32_t h = head();
  uint32_t unit = (r.header >> 8) & 0xFF;
  bool binary = r.type == type::binary;
  if (binary ? unit != 1 : unit != 1 && unit != 2 && unit != 4) in_.invalid_at(r.at);
  if (r.reference()) {
    cell found = referenced(r);
    uint32_t t = type_of(&found);
    if (binary ? t != type::binary : !is_any_string(t)) in_.invalid_at(r.at);
    put(target, cell{r.type, h, found.data2, 0}, r.new_line);
    return;
  }
  uint32_t at = in_.pos;
  uint32_t n = in_.checked_count(word(), unit);
  cell c;
  if (binary)
    c = cell{type::binary, h, memory::alloc_bytes(n), 0};
  else
    string::init_cell_with_unit(&c, n, unit, r.type);
  c.data1 = h;
  const uint8_t* p = padded(n * unit);
  series_buffer* s = memory::buffer_of(c.data2);
  for (uint32_t k = 0; k < n; ++k) {
    uint32_t ch = string::get_char(p + k * unit, unit);
    if (ch > 0x10FFFF) in_.invalid_at(at);
    string::put_char(s->head() + k * unit, unit, ch);
  }
  s->tail = s->offset + n * unit;
  put(target, c, r.new_line);
}

void plain_reader::bitset(node_t target, const record& r) {
  if (r.reference()) {
    cell found = referenced(r);
    if (type_of(&found) != type::bitset) in_.invalid_at(r.at);
    put(target, cell{type::bitset, 0, found.data2, 0}, r.new_line);
    return;
  }
  uint32_t n = in_.checked_count(word(), 1);
  cell c;
  bitset_type::make_empty(&c, n, 0, r.header & bitset_complement);
  const uint8_t* p = padded(n);
  if (n) std::memcpy(memory::buffer_of(c.data2)->head(), p, n);
  put(target, c, r.new_line);
}

// A context record: its own header word (type 14, kind, flags), the words, the values later.
node_t plain_reader::context_head(const record& r, bool& with_values, uint32_t& count) {
  uint32_t at = in_.pos;
  uint32_t h = word();
  if ((h & 0xFF) != type::context) in_.invalid_at(at);
  uint32_t n = in_.checked_count(word(), 4);
  std::vector<uint32_t> symbols(n);
  for (uint32_t k = 0; k < n; ++k) symbols[k] = symbol();
  bool on_stack = h & ctx_on_stack;
  node_t ctx = new_context(symbols.data(), n, (h >> ctx_kind_shift) & 3, on_stack);
  if (!ctx) in_.invalid_at(r.at);
  with_values = (h & ctx_values) && !on_stack;
  count = n;
  return ctx;
}

void plain_reader::context_values(node_t ctx, uint32_t count) {
  node_t values = context::header_cell(ctx)->data2;
  cut_block(values, 0);
  for (uint32_t k = 0; k < count; ++k) read(values);
  if (block_length(values) != count) in_.invalid();
}

void plain_reader::object(node_t target, const record& r, patch p) {
  if (r.reference()) {
    cell found = referenced(r);
    node_t ctx = context_of(&found);
    if (!ctx) in_.invalid_at(r.at);
    cell owner = *context::owner_cell(ctx);
    if (type_of(&owner) != type::object) in_.invalid_at(r.at);
    owner.header = (owner.header & ~new_line_flag) | (r.new_line ? new_line_flag : 0);
    put(target, owner, false);
    return;
  }
  uint32_t class_id = word();
  uint32_t on_change_at[2] = {0, 0};
  bool hooked = r.header & on_change;
  if (hooked) {
    on_change_at[0] = word();
    on_change_at[1] = word();
  }
  bool with_values;
  uint32_t n;
  node_t ctx = context_head(r, with_values, n);
  cell c{type::object, ctx, class_id, 0};
  if (hooked) {
    node_t hooks = memory::alloc_cells_cleared(2);
    series_buffer* s = memory::buffer_of(hooks);
    s->tail = s->offset + 32;
    for (uint32_t k = 0; k < 2; ++k) s->cells()[k] = cell{type::pair, 0, on_change_at[k], 0};
    c.data3 = hooks;
  }
  *context::owner_cell(ctx) = c;
  if (p.block) slot(p.block, p.index)->data1 = ctx;
  put(target, c, r.new_line);
  if (with_values) context_values(ctx, n);
}

void plain_reader::function(node_t target, const record& r, patch p) {
  if (r.reference()) {
    cell found = referenced(r);
    node_t ctx = context_of(&found);
    if (!ctx) in_.invalid_at(r.at);
    cell owner = *context::owner_cell(ctx);
    if (type_of(&owner) != type::function) in_.invalid_at(r.at);
    owner.header = (owner.header & ~new_line_flag) | (r.new_line ? new_line_flag : 0);
    put(target, owner, false);
    return;
  }
  in_.checked_count(word(), 4);
  in_.checked_count(word(), 4);
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

void plain_reader::native(node_t target, const record& r) {
  uint32_t index = word();
  uint32_t at = append_slot(target);
  read(target, type::block);
  cell spec = *slot(target, at + 1);
  cell f;
  if (!make_native(&f, r.type, index, d_.codec ? nullptr : &spec)) in_.invalid_at(r.at);
  if (r.new_line) f.header |= new_line_flag;
  *slot(target, at) = f;
  if (d_.codec) cut_block(target, at + 1);
}

// op!: the wrapped value's own record; bits 16-23 of the op's header name its type.
void plain_reader::op(node_t target, const record& r) {
  uint32_t from = (r.header >> 16) & 0xFF;
  if (from != type::native && from != type::action && from != type::function)
    in_.invalid_at(r.at);
  uint32_t at = block_length(target);
  read(target, from);
  cell* w = slot(target, at);
  w->header = (w->header & ~(type_mask | 0xFF0000 | new_line_flag)) | type::op | from << 16 |
              (r.new_line ? new_line_flag : 0);
}

void plain_reader::error(node_t target, const record& r) {
  cell e;
  if (!error_of_code(word(), &e)) in_.invalid_at(r.at);
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

void read_plain_records(decoder& d) {
  plain_reader reader(d);
  while (!d.in.at_end()) reader.read(d.root);
}

}  // namespace kaz::kazbin
