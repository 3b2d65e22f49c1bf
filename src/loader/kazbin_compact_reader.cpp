// The compact KAZBIN reader: varint records, one decoder per family.
#include <cstring>
#include <vector>

#include "core/word.h"
#include "datatypes/tuple.h"
#include "loader/kazbin_readers.h"
#include "loader/kazbin_record_reader.h"
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

class compact_reader : public record_reader<compact_reader> {
 public:
  using record_reader::record_reader;

  // One record with its prefixes, appended to `target`. `required` (when not 0) is the only
  // datatype the record may have (a function's spec and body).
  void read(node_t target, uint32_t required = 0);

 private:
  // The commonest record, a word bound to the global context (after a new-line marker or
  // none), read straight; false when the next record is another one.
  bool global_word(node_t target) {
    uint32_t p = in_.pos;
    bool new_line = p < in_.end && in_.data[p] == compact::new_line;
    if (new_line) ++p;
    if (p >= in_.end || in_.data[p] < type::word || in_.data[p] > type::refinement) return false;
    uint8_t lead = in_.data[p];
    in_.pos = p + 1;
    d_.enter();
    uint32_t name_at = in_.pos;
    uint32_t name = in_.read_varint();
    cell c{lead, 0, d_.symbol_at(name, name_at), 0};
    d_.bind_global_entry(&c, name);
    put(target, c, new_line);
    d_.leave();
    return true;
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

  void whole(node_t target, uint8_t lead, bool new_line, uint32_t at);
  void scalar(node_t target, const record& r);
  void word(node_t target, const record& r, bool set);
  void series(node_t target, const record& r, family f);
  node_t context_head(const record& r, bool& with_values, uint32_t& count);
  void object(node_t target, const record& r, patch p = {});
  void function(node_t target, const record& r, patch p = {});
};

void compact_reader::read(node_t target, uint32_t required) {
  if (!required && global_word(target)) return;
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
    whole(target, lead, new_line, at);
    return;
  }
  record r{uint32_t(lead & 0x3F), at, (lead & variant) != 0, reference, new_line};
  if (r.type == long_id) r.type = in_.read_varint();
  if (r.type == 0 || r.type > type::max_id) in_.invalid_at(at);
  if (required && r.type != required) in_.invalid_at(at);
  if (binding && (d_.codec || target != d_.root || r.type < type::word || r.type > type::issue))
    in_.invalid_at(at);
  family f = family_of(r.type);
  bool refers = f == family::word || f == family::block || f == family::map || f == family::text ||
                f == family::binary || f == family::vector || f == family::bitset ||
                f == family::image ||
                f == family::object || f == family::function;
  if (r.reference && !refers) in_.invalid_at(at);
  d_.enter();
  switch (f) {
    case family::word:
      word(target, r, binding);
      break;
    case family::issue:
      put(target, cell{type::issue, 0, symbol(), 0}, r.new_line);
      break;
    case family::block:
    case family::map:
    case family::text:
    case family::binary:
    case family::vector:
    case family::bitset:
    case family::image:
      series(target, r, f);
      break;
    case family::context: {
      in_.pos = r.at;  // the context head reads its header byte itself
      bool with_values;
      uint32_t n;
      node_t ctx = context_head(r, with_values, n);
      put_object(target, ctx, 0xFFFFFFFF, false, {}, r.new_line, with_values, n, r.at);
      break;
    }
    case family::object:
      object(target, r);
      break;
    case family::function:
      function(target, r);
      break;
    case family::native:
      put_native(target, r.type, in_.read_varint(), r.new_line, r.at);
      break;
    case family::op:
      put_op(target, 0, r.new_line, r.at);
      break;
    case family::error:
      put_error(target, in_.read_varint(), r.new_line, r.at);
      break;
    case family::refused:
      refuse(r.type);
    case family::scalar:
      scalar(target, r);
  }
  d_.leave();
}

// The one-byte records: small integers, true and false; and the copy of a value at a path.
void compact_reader::whole(node_t target, uint8_t lead, bool new_line, uint32_t at) {
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
void compact_reader::word(node_t target, const record& r, bool set) {
  uint32_t name_at = in_.pos;
  uint32_t name = in_.read_varint();
  cell c{r.type, 0, d_.symbol_at(name, name_at), 0};
  uint32_t index_at = in_.pos;
  if (!r.variant) {
    d_.bind_global_entry(&c, name);
  } else if (!d_.codec) {
    uint32_t literal = in_.read_varint();
    index_at = in_.pos;
    int32_t index = in_.read_zigzag();
    uint32_t n = block_length(d_.root) - d_.root_base;
    node_t ctx = literal < n ? context_of(slot(d_.root, d_.root_base + literal)) : 0;
    if (!ctx) in_.invalid_at(index_at);
    if (index == -1) index = context::find_symbol(ctx, word::symbol_of(&c), true);
    if (index < 0 || !bind_to(&c, ctx, index)) in_.invalid_at(index_at);
  } else {
    int32_t index = in_.read_zigzag();
    if (r.reference) {
      d_.read_path();
      cell owner = d_.resolve(r.at);
      node_t ctx = context_of(&owner);
      if (!ctx || !bind_to(&c, ctx, index)) in_.invalid_at(index_at);
    } else {
      uint32_t at = put(target, c, r.new_line);
      uint32_t owner_at = in_.pos;
      uint8_t lead = in_.read_byte();
      record o{uint32_t(lead & 0x3F), owner_at, (lead & variant) != 0, false, false};
      if (lead & small_integer) in_.invalid_at(owner_at);
      if (o.type == type::object)
        object(target, o, {target, at});
      else if (o.type == type::function && !o.variant)
        function(target, o, {target, at});
      else
        in_.invalid_at(owner_at);
      cut_block(target, at + 1);
      cell* w = slot(target, at);
      if (!bind_to(w, word::context_of(w), index)) in_.invalid_at(index_at);
      return;
    }
  }
  uint32_t at = put(target, c, r.new_line);
  if (set) set_record(target, at);
}

// Series: the head when the variant flag is set, then a path or the contents.
void compact_reader::series(node_t target, const record& r, family f) {
  uint32_t h = f == family::bitset || f == family::map ? 0 : head(r);
  if (r.reference) {
    put_series_reference(target, r.type, h, r.new_line, r.at);
    return;
  }
  uint32_t at = in_.pos;
  if (f == family::image) {  // the width and the height, then the pixels
    uint32_t width = in_.read_varint(), height = in_.read_varint();
    if (width > 65535 || height > 65535) in_.invalid_at(at);
    uint32_t n = in_.checked_count(width * height, 4);
    put_image(target, h, width, height, in_.take(n * 4), r.new_line, at);
    return;
  }
  if (f == family::vector) {
    // The element type and the width code (0-3: 1, 2, 4, 8 bytes) in one byte, the count.
    uint8_t b = in_.read_byte();
    uint32_t width = 1u << (b & 3);
    uint32_t n = in_.checked_count(in_.read_varint(), width);
    put_vector(target, b >> 2, width, h, in_.take(n * width), n, r.new_line, at);
    return;
  }
  uint32_t v = in_.read_varint();
  if (f == family::block) {
    put_block(target, r.type, h, in_.checked_count(v, 1), r.new_line);
  } else if (f == family::map) {
    put_map(target, in_.checked_count(v, 1), r.new_line, at);
  } else if (f == family::text) {
    // The length and the unit code in one varint: 0 one byte, 1 two, 2 four per character.
    if ((v & 3) == 3) in_.invalid_at(at);
    uint32_t unit = 1u << (v & 3);
    uint32_t n = in_.checked_count(v >> 2, unit);
    put_text(target, r.type, h, in_.take(n * unit), n, unit, r.new_line, at);
  } else if (f == family::binary) {
    uint32_t n = in_.checked_count(v, 1);
    put_text(target, r.type, h, in_.take(n), n, 1, r.new_line, at);
  } else {
    uint32_t n = in_.checked_count(v, 1);
    put_bitset(target, in_.take(n), n, r.variant, r.new_line);
  }
}

/*
 * Contexts: a header byte of type 14, a flags byte (bits 0-1 the kind, bit 2 values on the
 * stack, bit 3 self word, bit 4 the values follow), the word count and the words. The values
 * are read once the owner is placed, so that words inside them can name it by path.
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

// object!: the class id, with the variant flag the on-change node's two numbers, a context.
void compact_reader::object(node_t target, const record& r, patch p) {
  if (r.reference) {
    put_owner(target, type::object, r.new_line, r.at);
    return;
  }
  uint32_t class_id = static_cast<uint32_t>(in_.read_zigzag());
  if (r.variant) {  // the on-change node's numbers: made anew from the handlers
    in_.read_zigzag();
    in_.read_zigzag();
  }
  bool with_values;
  uint32_t n;
  node_t ctx = context_head(r, with_values, n);
  put_object(target, ctx, class_id, r.variant, p, r.new_line, with_values, n, r.at);
}

// function!: the spec and body sizes, the context, then the spec and body block! records.
void compact_reader::function(node_t target, const record& r, patch p) {
  if (r.reference) {
    put_owner(target, type::function, r.new_line, r.at);
    return;
  }
  in_.checked_count(in_.read_varint(), 1);
  in_.checked_count(in_.read_varint(), 1);
  bool with_values;
  uint32_t n;
  node_t ctx = context_head(r, with_values, n);
  put_function(target, ctx, p, r.new_line, r.at);
}

}  // namespace

void read_compact_records(decoder& d) {
  compact_reader reader(d);
  while (!d.in.at_end()) reader.read(d.root);
}

}  // namespace kaz::kazbin
