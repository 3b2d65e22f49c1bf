// image!: making, conversion, form and mold, comparison, the codec entries; registration.
// Pixel access, paths, copy and change are in image_pixels.cpp.
#include "datatypes/image.h"
#include "datatypes/image_actions.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "core/block_storage.h"
#include "core/registry.h"
#include "core/series_cell.h"
#include "core/stack.h"
#include "core/string_storage.h"
#include "datatypes/binary.h"
#include "datatypes/image_pixel.h"
#include "datatypes/image_record.h"
#include "datatypes/integer.h"
#include "datatypes/scalar_types.h"
#include "datatypes/tuple.h"
#include "runtime/fire.h"

namespace kaz::image {

cell* init_cell(cell* c, node_t record, uint32_t width, uint32_t height) {
  *c = cell{type::image, 0, record, height << 16 | width};
  return c;
}

namespace {

// A size the record can hold, checked before anything is allocated: each side at most 65535
// (script invalid-arg with the size), the bytes within the largest series (internal
// no-memory).
void check_size(int64_t width, int64_t height) {
  if (width > image_codec::max_side || height > image_codec::max_side) {
    cell size{type::pair, 0, uint32_t(int32_t(width)), uint32_t(int32_t(height))};
    fire(err::script_invalid_arg, &size);
  }
  if (!image_record::size_allowed(uint64_t(width), uint64_t(height))) fire(err::internal_no_memory);
}

// ---------------------------------------------------------------------------------------------
// make and to.

cell* make_sized(cell* out, const cell* size, const cell* rgb, const cell* alpha,
                 const cell* colour) {
  int64_t width = std::max<int32_t>(pair_type::x_of(size), 0);
  int64_t height = std::max<int32_t>(pair_type::y_of(size), 0);
  check_size(width, height);
  node_t record = image_record::make_bitmap(uint32_t(width), uint32_t(height), rgb, alpha, colour);
  return init_cell(out, record, uint32_t(width), uint32_t(height));
}

cell* to(cell* proto, cell* spec, uint32_t) {
  if (type_of(spec) == type::image) {
    cell v = *spec;
    return copy(&v, proto, nullptr, false, nullptr);
  }
  fire_with_type(err::script_bad_to_arg, type::image, spec);
}

cell* make(cell* proto, cell* spec, uint32_t t) {
  switch (type_of(spec)) {
    case type::pair: {
      cell size = *spec;
      return make_sized(proto, &size, nullptr, nullptr, nullptr);
    }
    case type::block: {
      cell b = *spec;
      int32_t n = block::rs_length(&b);
      if (n == 0) {
        if (type_of(proto) != type::image) fire(err::script_invalid_arg, spec);
        cell v = *proto;
        return copy(&v, proto, nullptr, false, nullptr);
      }
      cell items[3];
      for (int32_t i = 0; i < 3; ++i)
        items[i] = i < n ? block::rs_head(&b)[i] : cell{type::none, 0, 0, 0};
      // The size, then the transparency, each of its one datatype: else invalid-arg with it.
      if (type_of(&items[0]) != type::pair) fire(err::script_invalid_arg, &items[0]);
      const cell *rgb = nullptr, *alpha = nullptr, *colour = nullptr;
      if (n > 1) {
        if (type_of(&items[1]) == type::binary) rgb = &items[1];
        else if (type_of(&items[1]) == type::tuple) colour = &items[1];
        else fire(err::script_invalid_arg, &items[1]);
      }
      if (n > 2) {
        if (type_of(&items[2]) != type::binary) fire(err::script_invalid_arg, &items[2]);
        alpha = &items[2];
      }
      return make_sized(proto, &items[0], rgb, alpha, colour);
    }
    default:
      return to(proto, spec, t);
  }
}

// ---------------------------------------------------------------------------------------------
// form and mold.

void new_line(node_t out, int32_t level, int32_t* limit) {
  string::append_ascii(out, "\n");
  for (int32_t k = 0; k < level; ++k) string::append_ascii(out, "    ");
  *limit -= 1 + 4 * std::max(level, 0);
}

void append_hex(node_t out, uint32_t byte) {
  static const char digits[] = "0123456789ABCDEF";
  char text[2] = {digits[(byte >> 4) & 15], digits[byte & 15]};
  string::append_ascii(out, std::string_view(text, 2));
}

/*
 * make image! [WxH #{RRGGBB...} #{TT...}]: the colours from the head, ten pixels a line when
 * there are eight or more, then the transparency bytes (255 - A) when any pixel is not
 * opaque. Reads back through make.
 */
int32_t serialize(const cell* v, node_t out, bool only, bool flat, cell* part, int32_t limit,
                  int32_t level) {
  cell img = *v;
  if (!only) {
    string::append_ascii(out, "make image! [");
    limit -= 13;
  }
  std::string size = std::to_string(width_of(&img)) + "x" + std::to_string(height_of(&img));
  string::append_ascii(out, size);
  limit -= int32_t(size.size());
  uint32_t count = count_of(&img);
  if (count == 0) {
    string::append_ascii(out, only ? " #{}" : " #{}]");
    return limit - (only ? 4 : 5);
  }
  uint32_t head = std::min(img.data1, count);
  uint32_t n = count - head;
  string::append_ascii(out, " #{");
  limit -= 3;
  bool lines = !flat && uint64_t(n) * 4 >= 31;
  if (lines) new_line(out, level, &limit);
  bool opaque = true;
  for (uint32_t i = 0; i < n; ++i) {
    uint32_t p = image_record::pixels(img.data2)[head + i];
    if ((p >> 24) != 255) opaque = false;
    append_hex(out, p >> 16);
    append_hex(out, p >> 8);
    append_hex(out, p);
    limit -= 6;
    if (!flat && (i + 1) % 10 == 0) new_line(out, level, &limit);
    if (part && limit <= 0) return limit;
  }
  if (lines && n % 10 != 0) new_line(out, level - 1, &limit);
  string::append_ascii(out, "}");
  --limit;
  if (!opaque) {
    string::append_ascii(out, " #{");
    limit -= 3;
    if (!flat) new_line(out, level, &limit);
    for (uint32_t i = 0; i < n; ++i) {
      append_hex(out, 255 - (image_record::pixels(img.data2)[head + i] >> 24));
      limit -= 2;
      if (!flat && (i + 1) % 10 == 0) new_line(out, level, &limit);
      if (part && limit <= 0) return limit;
    }
    if (!flat && n % 10 != 0) new_line(out, level - 1, &limit);
    string::append_ascii(out, "}");
    --limit;
  }
  if (!only) {
    string::append_ascii(out, "]");
    --limit;
  }
  return limit;
}

int32_t form(cell* v, cell* buffer, cell* part, int32_t limit) {
  return serialize(v, series::node_of(buffer), false, false, part, limit, 0);
}

int32_t mold(cell* v, cell* buffer, bool only, bool, bool flat, cell* part, int32_t limit,
             int32_t indent) {
  return serialize(v, series::node_of(buffer), only, flat, part, limit, indent + 1);
}

// ---------------------------------------------------------------------------------------------
// Comparison: the same image at the same head is equal; otherwise by pixel count, then by the
// stored pixels byte by byte (so equal pixels in another shape compare equal). No ordering.

int32_t compare(cell* a, cell* b, int32_t op) {
  if (type_of(b) != type::image) return -2;
  bool same = a->data2 == b->data2 && a->data1 == b->data1;
  if (op == 9) return same ? 0 : -1;  // same?
  if (op >= 3 && op <= 6) return -2;
  if (same) return 0;
  uint32_t na = count_of(a), nb = count_of(b);
  if (na != nb) return na < nb ? -1 : 1;
  if (na == 0) return 0;
  int c = std::memcmp(image_record::pixels(a->data2), image_record::pixels(b->data2), size_t(na) * 4);
  return c < 0 ? -1 : c > 0 ? 1 : 0;
}

int32_t length_q(cell* v) { return static_cast<int32_t>(count_of(v)); }

}  // namespace

void init() {
  registry::add(type::image,
                {.make = make,
                 .to = to,
                 .form = form,
                 .mold = mold,
                 .eval_path = eval_path,
                 .compare = compare,
                 .at = at,
                 .change = change,
                 .copy = copy,
                 .length_q = length_q,
                 .pick = pick,
                 .poke = poke,
                 .skip = skip},
                inherited(slot::back, slot::head, slot::head_q, slot::index_q, slot::next,
                          slot::tail, slot::tail_q, slot::modify));
}

}  // namespace kaz::image
