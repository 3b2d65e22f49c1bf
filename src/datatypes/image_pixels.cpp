// image!: pixel positions, pick and poke, the path accessors, pixel data as binaries, copy and
// change.
#include <algorithm>
#include <cstring>
#include <vector>

#include "core/stack.h"
#include "core/symbol.h"
#include "core/word.h"
#include "core/words.h"
#include "datatypes/binary.h"
#include "datatypes/image.h"
#include "datatypes/image_actions.h"
#include "datatypes/image_pixel.h"
#include "datatypes/image_record.h"
#include "datatypes/integer.h"
#include "datatypes/scalar_types.h"
#include "datatypes/series_common.h"
#include "datatypes/simple_types.h"
#include "datatypes/tuple.h"
#include "runtime/fire.h"

namespace kaz::image {

namespace {

inline uint32_t* pixels_of(const cell* img) { return image_record::pixels(img->data2); }

// ---------------------------------------------------------------------------------------------
// Positions.

enum position_mode { skip_mode = 0, pick_mode = 1 };

/*
 * The pixel an index names: an integer counts from the head (in pick mode 1 and 0 both name
 * the head); a pair x by y counts columns and rows from 1 in pick mode, from 0 in skip mode.
 * The answer is clamped to 0 .. width x height; `outside` tells whether the index named no
 * pixel.
 */
uint32_t pixel_index(const cell* img, const cell* index, position_mode mode, bool* outside) {
  int64_t w = width_of(img), h = height_of(img);
  int64_t e;
  bool out = false;
  if (type_of(index) == type::pair) {
    int64_t x = pair_type::x_of(index), y = pair_type::y_of(index);
    if (mode == pick_mode) {
      e = y > 0 ? x + w * (y - 1) : x + w * y;
      out = x > w || x <= 0 || y > h || y <= 0;
    } else {
      e = x + w * y;
      out = x >= w || x < 0 || y >= h || y < 0;
    }
  } else if (type_of(index) == type::integer) {
    e = integer_type::value_of(index);
  } else {
    fire(err::script_invalid_arg, index);
  }
  int64_t head = img->data1;
  int64_t p = mode == pick_mode ? (e <= 0 ? head + e : head + e - 1) : head + e;
  if (e == 0 || p < 0 || p >= w * h) out = true;
  if (outside) *outside = out;
  return static_cast<uint32_t>(std::clamp<int64_t>(p, 0, w * h));
}

// The pixel as the tuple r.g.b.t, pushed on the stack.
cell* push_pixel(uint32_t p) {
  int32_t bytes[4] = {int32_t((p >> 16) & 255), int32_t((p >> 8) & 255), int32_t(p & 255),
                      int32_t(255 - (p >> 24))};
  return tuple_type::push_from_ints(4, bytes);
}

// A tuple's colour as a pixel: its fourth byte is transparency, absent for opaque.
uint32_t pixel_of_tuple(const cell* t) {
  uint32_t transparency = tuple_type::length_of(t) > 3 ? tuple_type::byte_at(t, 3) : 0;
  return image_codec::argb(255 - transparency, tuple_type::byte_at(t, 0),
                           tuple_type::byte_at(t, 1), tuple_type::byte_at(t, 2));
}

cell index_cell(const cell* boxed, int32_t index) {
  if (boxed && (type_of(boxed) == type::pair || type_of(boxed) == type::integer)) return *boxed;
  return cell{type::integer, 0, static_cast<uint32_t>(index), 0};
}

void move_head(position_mode mode) {
  cell* img = stack::arguments;
  cell offset = stack::arguments[1];
  img->data1 = pixel_index(img, &offset, mode, nullptr);
}

// ---------------------------------------------------------------------------------------------
// Pixel data as binaries.

/*
 * Writes pixels from the first one: a binary! gives its bytes in the mode's layout (as many
 * pixels as it covers); a tuple! or integer! (its bytes lowest first) fills every pixel, in
 * alpha mode its first byte setting the transparency.
 */
void set_pixels_from(cell* img, const cell* value_arg, data_mode mode) {
  cell v = *value_arg;
  uint32_t t = type_of(&v);
  if (t != type::binary && t != type::tuple && t != type::integer)
    fire(err::script_invalid_arg, &v);
  size_t count = count_of(img);
  if (count == 0) return;
  uint32_t* p = pixels_of(img);
  if (t == type::binary) {
    const uint8_t* b = binary::rs_head(&v);
    size_t len = binary::rs_length(&v);
    if (mode == argb_mode) {
      std::memcpy(p, b, std::min(count * 4, len));
    } else if (mode == rgb_mode) {
      for (size_t i = 0, n = std::min(len / 3, count); i < n; ++i)
        p[i] = (p[i] & 0xFF000000u) | image_codec::argb(0, b[3 * i], b[3 * i + 1], b[3 * i + 2]);
    } else {
      for (size_t i = 0, n = std::min(len, count); i < n; ++i)
        p[i] = (p[i] & 0xFFFFFFu) | uint32_t(255 - b[i]) << 24;
    }
  } else {
    uint8_t bytes[4] = {0, 0, 0, 0};
    if (t == type::tuple) {
      for (uint32_t i = 0; i < 4; ++i)
        bytes[i] = i < tuple_type::length_of(&v) ? tuple_type::byte_at(&v, i) : 0;
    } else {
      for (uint32_t i = 0; i < 4; ++i) bytes[i] = uint8_t(v.data2 >> (8 * i));
    }
    uint32_t colour = image_codec::argb(0, bytes[0], bytes[1], bytes[2]);
    for (size_t i = 0; i < count; ++i) {
      if (mode == argb_mode)
        p[i] = colour | uint32_t(255 - bytes[3]) << 24;
      else if (mode == rgb_mode)
        p[i] = (p[i] & 0xFF000000u) | colour;
      else
        p[i] = (p[i] & 0xFFFFFFu) | uint32_t(255 - bytes[0]) << 24;
    }
  }
  cell target = *img;
  if (series::owned_before(&target, series::change::poke, &v, int32_t(target.data1), 0))
    series::owned_after(&target, series::change::poke, &v, int32_t(target.data1), 0);
}

// ---------------------------------------------------------------------------------------------
// copy helpers.

// An image of 0 pixels at the result.
cell* empty_image(cell* result) {
  return init_cell(result, image_record::new_record(0, 0), 0, 0);
}

cell* copy_rect(const cell* img, cell* result, int64_t x, int64_t y, int64_t w, int64_t h) {
  if (w < 1 || h < 1) return empty_image(result);
  cell source = *img;
  node_t record = image_record::copy_part(source.data2, width_of(&source), uint32_t(x), uint32_t(y),
                                      uint32_t(w), uint32_t(h));
  return init_cell(result, record, uint32_t(w), uint32_t(h));
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Actions.

void at() { move_head(pick_mode); }
void skip() { move_head(skip_mode); }

const cell* pick(cell* img, int32_t index, cell* boxed) {
  cell i = index_cell(boxed, index);
  bool outside;
  uint32_t p = pixel_index(img, &i, pick_mode, &outside);
  if (outside) return &none_value;
  return push_pixel(pixels_of(img)[p]);
}

cell* poke(cell* img, int32_t index, cell* value, cell* boxed) {
  cell i = index_cell(boxed, index);
  bool outside;
  uint32_t p = pixel_index(img, &i, pick_mode, &outside);
  if (outside) fire(err::script_out_of_range, &i);
  cell v = *value;
  if (type_of(&v) != type::tuple) fire(err::script_invalid_arg, &v);
  cell target = *img;
  bool owned = series::owned_before(&target, series::change::poke, &v, int32_t(p), 1);
  if (owned && p >= count_of(&target)) fire(err::script_out_of_range, &i);
  pixels_of(&target)[p] = pixel_of_tuple(&v);
  if (owned) series::owned_after(&target, series::change::poke, &v, int32_t(p), 1);
  *value = v;
  return value;
}

void extract_binary(const cell* img_arg, data_mode mode, cell* out) {
  cell img = *img_arg;
  uint32_t count = count_of(&img);
  uint32_t per = mode == argb_mode ? 4 : mode == rgb_mode ? 3 : 1;
  binary::init_cell(out, count * per);
  series_buffer* s = binary::buffer_of(out);
  uint8_t* to = s->tail_rw();
  const uint32_t* p = pixels_of(&img);
  for (uint32_t i = 0; i < count; ++i) {
    if (mode == argb_mode) {
      std::memcpy(to + 4 * i, p + i, 4);
    } else if (mode == rgb_mode) {
      to[3 * i] = uint8_t(p[i] >> 16);
      to[3 * i + 1] = uint8_t(p[i] >> 8);
      to[3 * i + 2] = uint8_t(p[i]);
    } else {
      to[i] = uint8_t(255 - (p[i] >> 24));
    }
  }
  s->tail += count * per;
}

/*
 * The path walk keeps its own cells on the stack: what is read here is answered in a static
 * cell, which the walk copies at once, and the stack is left as it was.
 */
const cell* eval_path(cell* parent, cell* element, cell* value, cell* path, cell*, cell*, int32_t,
                bool, bool, bool) {
  static cell answer;
  cell* top = stack::top;
  auto answered = [&](const cell* r) {
    answer = *r;
    stack::top = top;
    return &answer;
  };
  uint32_t t = type_of(element);
  if (t == type::integer || t == type::pair) {
    int32_t index = static_cast<int32_t>(element->data2);
    return value ? poke(parent, index, value, element)
                 : answered(pick(parent, index, element));
  }
  if (t == type::word) {
    uint32_t sym = symbol::resolve(word::symbol_of(element));
    auto is = [sym](uint32_t s) { return symbol::resolve(s) == sym; };
    if (is(words::sym.size) && !value) {
      cell size{type::pair, 0, width_of(parent), height_of(parent)};
      return answered(&size);
    }
    data_mode mode = argb_mode;
    bool known = true;
    if (is(words::sym.argb)) mode = argb_mode;
    else if (is(words::sym.rgb)) mode = rgb_mode;
    else if (is(words::sym.alpha)) mode = alpha_mode;
    else known = false;
    if (known) {
      if (value) {
        set_pixels_from(parent, value, mode);
        return value;
      }
      cell out;
      extract_binary(parent, mode, &out);
      return answered(&out);
    }
  }
  fire(err::script_invalid_path, path, element);
}

/*
 * copy: from the head to the end of the image; with a pair part, the rectangle of that size
 * at the head (cut at the right and bottom edges), or with both negative the one reaching back
 * up and left from it; with the same image at another head, the rectangle between the heads.
 */
cell* copy(cell* img_arg, cell* result, cell* part, bool, cell*) {
  cell img = *img_arg;
  int64_t w = width_of(&img), h = height_of(&img);
  if (w == 0 || h == 0) return empty_image(result);
  int64_t head = std::min<int64_t>(img.data1, w * h);
  int64_t x = head % w, y = head / w;
  if (!part) {
    if (head == 0) return copy_rect(&img, result, 0, 0, w, h);
    return copy_rect(&img, result, x, y, w - x, h - y);
  }
  cell p = *part;
  switch (type_of(&p)) {
    case type::integer:
      fire(err::internal_not_done);
    case type::pair: {
      int64_t px = pair_type::x_of(&p), py = pair_type::y_of(&p);
      if (px >= 1 && py >= 1 && head < w * h)
        return copy_rect(&img, result, x, y, std::min(px, w - x), std::min(py, h - y));
      if (px < 0 && py < 0 && head > 0) {
        int64_t cw = -px, ch = -py;
        int64_t column = x == 0 ? w : x;
        int64_t left = column - cw;
        if (left < 0) {
          cw = column;
          left = 0;
        }
        int64_t rows = y < h ? y + 1 : y;
        int64_t top = rows - ch;
        if (top < 0) {
          ch = rows;
          top = 0;
        }
        return copy_rect(&img, result, left, top, cw, ch);
      }
      return empty_image(result);
    }
    case type::image: {
      if (p.data2 != img.data2) series::bad_refine_arg("part", &p);
      int64_t s = std::min<int64_t>(std::min<int64_t>(p.data1, w * h), head);
      int64_t e = std::max<int64_t>(std::min<int64_t>(p.data1, w * h), head);
      return copy_rect(&img, result, s % w, s / w, e % w - s % w, e / w - s / w);
    }
    default:
      series::bad_refine_arg("part", &p);
  }
}

/*
 * change: a tuple sets the pixel at the head and answers the next position; an image is
 * pasted with its top-left corner at the head, clipped to the target, and the answer is just
 * after the pasted block's last row.
 */
cell* change(cell* img, cell* value, int32_t part, bool, int32_t dup) {
  if (dup >= 2 || part >= 0) fire(err::internal_not_done);
  cell v = *value;
  uint32_t count = count_of(img);
  uint32_t head = img->data1;
  if (type_of(&v) == type::tuple) {
    if (head >= count) {
      cell i{type::integer, 0, head + 1, 0};
      fire(err::script_out_of_range, &i);
    }
    cell target = *img;
    bool owned = series::owned_before(&target, series::change::change, &v, int32_t(head), 1);
    if (owned && head >= count_of(&target)) return img;
    pixels_of(&target)[head] = pixel_of_tuple(&v);
    img->data1 = head + 1;
    if (owned) series::owned_after(&target, series::change::change, &v, int32_t(head), 1);
    return img;
  }
  if (type_of(&v) != type::image) {
    cell dt{type::datatype_, type_of(&v), 0, 0};
    fire(err::script_invalid_type, &dt);
  }
  if (head >= count) return img;
  cell target = *img;
  bool owned = series::owned_before(&target, series::change::change, &v, int32_t(head), 0);
  if (owned && head >= count_of(&target)) return img;
  uint32_t w = width_of(&target), h = height_of(&target);
  uint32_t sw = width_of(&v), sh = height_of(&v);
  uint32_t x = head % w, y = head / w;
  uint32_t cols = std::min(sw, w - x), rows = std::min(sh, h - y);
  uint32_t* to = pixels_of(&target);
  const uint32_t* from = sw && sh ? pixels_of(&v) : nullptr;
  // An image pasted onto itself is read as it was before the first row is written.
  std::vector<uint32_t> before;
  if (from && v.data2 == target.data2) {
    before.assign(from, from + size_t(sw) * sh);
    from = before.data();
  }
  for (uint32_t r = 0; r < rows && from; ++r)
    std::memmove(to + size_t(y + r) * w + x, from + size_t(r) * sw, size_t(cols) * 4);
  uint32_t last_row = rows ? y + rows - 1 : y;
  img->data1 = last_row * w + std::min(x + sw, w);
  if (owned)
    series::owned_after(&target, series::change::change, &v, int32_t(img->data1),
                        int32_t(rows * cols));
  return img;
}

}  // namespace kaz::image
