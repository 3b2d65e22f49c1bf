// The plain KAZBIN reader: records of 32-bit words.
#include <vector>

#include "core/word.h"
#include "datatypes/tuple.h"
#include "loader/kazbin_readers.h"
#include "loader/kazbin_record_reader.h"
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

class plain_reader : public record_reader<plain_reader> {
 public:
  using record_reader::record_reader;

  // One record (after any padding words), appended to `target`; `required` as in the compact
  // reader.
  void read(node_t target, uint32_t required = 0);

 private:
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
  // `n` bytes of data and their padding to a multiple of 4.
  const uint8_t* padded(uint32_t n) {
    const uint8_t* p = in_.take(n);
    in_.take((4 - n % 4) % 4);
    return p;
  }

  void scalar(node_t target, const record& r);
  void any_word(node_t target, const record& r);
  void boot_word(node_t target, const record& r, cell c);
  void series(node_t target, const record& r, family f);
  node_t context_head(const record& r, bool& with_values, uint32_t& count);
  void object(node_t target, const record& r, patch p = {});
  void function(node_t target, const record& r, patch p = {});
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
  switch (family_of(r.type)) {
    case family::word:
      any_word(target, r);
      break;
    case family::issue:
      put(target, cell{type::issue, 0, symbol(), 0}, r.new_line);
      break;
    case family::block:
    case family::map:
      series(target, r, family_of(r.type));
      break;
    case family::text:
    case family::binary:
      series(target, r, family::text);
      break;
    case family::vector:
    case family::bitset:
    case family::image:
      series(target, r, family_of(r.type));
      break;
    case family::object:
      object(target, r);
      break;
    case family::function:
      function(target, r);
      break;
    case family::native:
      put_native(target, r.type, word(), r.new_line, r.at);
      break;
    case family::op: {
      // The wrapped value's own record follows; bits 16-23 name its type.
      uint32_t from = (r.header >> 16) & 0xFF;
      if (from != type::native && from != type::action && from != type::function)
        in_.invalid_at(r.at);
      put_op(target, from, r.new_line, r.at);
      break;
    }
    case family::error:
      put_error(target, word(), r.new_line, r.at);
      break;
    case family::refused:
      refuse(r.type);
    case family::context:  // only inside an object or a function
    case family::scalar:
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
 * path or the owner's record follows.
 */
void plain_reader::any_word(node_t target, const record& r) {
  cell c{r.type, 0, symbol(), 0};
  if (!d_.codec) {
    boot_word(target, r, c);
    return;
  }
  uint32_t at = in_.pos;
  auto index = static_cast<int32_t>(word());
  if (r.header & global_word) {
    bind_global(&c);
  } else if (r.reference()) {
    d_.read_path();
    cell owner = d_.resolve(r.at);
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
    if (!bind_to(x, word::context_of(x), index)) in_.invalid_at(at);
    return;
  }
  put(target, c, r.new_line);
}

// In boot data the context is a literal number (-1 the global context) and the index -1 means
// a lookup; bit 25 makes a set record.
void plain_reader::boot_word(node_t target, const record& r, cell c) {
  uint32_t at = in_.pos;
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
    if (index == -1) index = context::find_symbol(ctx, word::symbol_of(&c), true);
    if (index < 0 || !bind_to(&c, ctx, index)) in_.invalid_at(at);
  }
  uint32_t w = put(target, c, r.new_line);
  if (!(r.header & global_word)) return;
  if (target != d_.root) in_.invalid_at(r.at);
  set_record(target, w);
}

// Series: the head (not for bitsets), then a path or the contents. Text and binary! carry
// their unit size in header bits 8-15 and are padded to 4 bytes, as are a bitset's bytes.
void plain_reader::series(node_t target, const record& r, family f) {
  uint32_t h = f == family::bitset || f == family::map ? 0 : head();
  uint32_t unit = 1;
  if (f == family::vector) {
    unit = (r.header >> 8) & 0xFF;
    if (unit != 1 && unit != 2 && unit != 4 && unit != 8) in_.invalid_at(r.at);
  } else if (f == family::text) {
    unit = (r.header >> 8) & 0xFF;
    bool binary = r.type == type::binary;
    if (binary ? unit != 1 : unit != 1 && unit != 2 && unit != 4) in_.invalid_at(r.at);
  }
  if (r.reference()) {
    put_series_reference(target, r.type, h, r.new_line, r.at);
    return;
  }
  uint32_t at = in_.pos;
  uint32_t n = word();
  if (f == family::image) {  // the size (height << 16 | width), then the pixels
    uint32_t width = n & 0xFFFF, height = n >> 16;
    uint32_t count = in_.checked_count(width * height, 4);
    put_image(target, h, width, height, in_.take(count * 4), r.new_line, at);
    return;
  }
  if (f == family::block) {
    put_block(target, r.type, h, in_.checked_count(n, 4), r.new_line);
  } else if (f == family::map) {
    put_map(target, in_.checked_count(n, 4), r.new_line, at);
  } else if (f == family::vector) {
    uint32_t element = word();
    in_.checked_count(n, unit);
    put_vector(target, element, unit, h, padded(n * unit), n, r.new_line, at);
  } else if (f == family::text) {
    in_.checked_count(n, unit);
    put_text(target, r.type, h, padded(n * unit), n, unit, r.new_line, at);
  } else {
    in_.checked_count(n, 1);
    put_bitset(target, padded(n), n, r.header & bitset_complement, r.new_line);
  }
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

void plain_reader::object(node_t target, const record& r, patch p) {
  if (r.reference()) {
    put_owner(target, type::object, r.new_line, r.at);
    return;
  }
  uint32_t class_id = word();
  bool hooked = r.header & plain::on_change;
  if (hooked) {  // the on-change node's numbers: made anew from the handlers
    word();
    word();
  }
  bool with_values;
  uint32_t n;
  node_t ctx = context_head(r, with_values, n);
  put_object(target, ctx, class_id, hooked, p, r.new_line, with_values, n, r.at);
}

void plain_reader::function(node_t target, const record& r, patch p) {
  if (r.reference()) {
    put_owner(target, type::function, r.new_line, r.at);
    return;
  }
  in_.checked_count(word(), 4);
  in_.checked_count(word(), 4);
  bool with_values;
  uint32_t n;
  node_t ctx = context_head(r, with_values, n);
  put_function(target, ctx, p, r.new_line, r.at);
}

}  // namespace

void read_plain_records(decoder& d) {
  plain_reader reader(d);
  while (!d.in.at_end()) reader.read(d.root);
}

}  // namespace kaz::kazbin
