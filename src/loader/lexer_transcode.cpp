// The lexer's entry points: a scan over UTF-8 text, and transcode over a string or binary.
#include "loader/lexer_transcode.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <string>

#include "core/block_storage.h"
#include "core/series_cell.h"
#include "core/string_storage.h"
#include "loader/lexer_hooks.h"
#include "loader/lexer_scan.h"
#include "loader/lexer_state.h"
#include "memory/unicode_utf8.h"
#include "runtime/fire.h"

namespace kaz::lexer {

namespace {

constexpr uint32_t first_buffer_cells = 64;

/*
 * UTF-8 copies of the sources being read, one per nesting level of transcode, kept between
 * calls so that their room is reused. They hold plain bytes, never collector memory, so a
 * callback that changes or grows the source cannot pull the text from under the scan.
 */
std::deque<std::string> text_buffers;
uint32_t text_depth = 0;

struct text_lease {
  std::string& text;
  text_lease() : text(take()) {}
  ~text_lease() { --text_depth; }
  text_lease(const text_lease&) = delete;
  text_lease& operator=(const text_lease&) = delete;

 private:
  static std::string& take() {
    if (text_depth == text_buffers.size()) text_buffers.emplace_back();
    std::string& t = text_buffers[text_depth++];
    t.clear();
    return t;
  }
};

// Links the state into the chain and gives its part of the value buffer back at the end,
// whether the scan ends normally or by an error.
struct state_link {
  lexer_state& s;
  bool buffer_taken = false;  // the outermost scan's buffer became the result block
  state_link(lexer_state& state, size_t text_size) : s(state) {
    s.parent = innermost;
    if (innermost) {
      s.buffer = innermost->buffer;
    } else {
      // Room for about one value per 8 bytes of text, within bounds; it doubles as needed.
      size_t cells = std::clamp<size_t>(text_size / 8, first_buffer_cells, 1u << 16);
      s.buffer = memory::alloc_cells(uint32_t(cells));
    }
    s.head = buffer_length(s);
    innermost = &s;
  }
  ~state_link() {
    if (!buffer_taken) truncate_buffer(s, s.head);
    innermost = s.parent;
  }
  state_link(const state_link&) = delete;
  state_link& operator=(const state_link&) = delete;
};

void result_block(lexer_state& s, state_link& link, const scan_options& o, cell* out) {
  uint32_t n = buffer_length(s) - s.head;
  if (!o.into && !s.parent) {
    // The outermost scan's values are the whole buffer: it becomes the block, uncopied.
    *out = cell{type::block, 0, s.buffer, 0};
    link.buffer_taken = true;
    return;
  }
  if (o.into) {
    cell into = *o.into;
    for (uint32_t i = 0; i < n; ++i) {
      cell v = *buffer_cell(s, s.head + i);  // re-read: appending may move the buffer
      block::append_copy(&into, &v);
    }
    *out = into;
    return;
  }
  cell b{};
  block::init_cell(&b, n ? n : 1);
  std::memcpy(block::buffer_of(&b)->cells_rw(), buffer_cell(s, s.head), size_t(n) * sizeof(cell));
  block::set_tail_at(&b, n);
  *out = b;
}

// After a syntax error: the values completed at the top level before it (those before the
// outermost series still open) are appended to the /into block, so that a caller that traps the
// error keeps them.
void keep_completed(const lexer_state& s, const scan_options& o) {
  uint32_t end = buffer_length(s);
  for (uint32_t m = s.open_head; m != no_open && m >= s.head; m = buffer_cell(s, m)->data1) end = m;
  cell into = *o.into;
  for (uint32_t i = s.head; i < end; ++i) {
    cell v = *buffer_cell(s, i);  // re-read: appending may move the buffer
    block::append_copy(&into, &v);
  }
}

}  // namespace

size_t scan_utf8(std::string_view text, const scan_options& o, cell* out, const cell* source,
                 uint32_t source_index) {
  lexer_state s;
  s.input_start = reinterpret_cast<const uint8_t*>(text.data());
  s.input_end = s.input_start + text.size();
  s.pos = s.input_start;
  s.prescan = o.prescan;
  s.load = !o.prescan && !o.scan;
  s.one = o.one;
  state_link link(s, text.size());

  if (o.trace) {
    s.has_callback = true;
    s.callback = *o.trace;
    s.event_mask = callback_event_mask(o.trace);
    if (source) {
      s.source = *source;
      s.source_is_string = is_any_string(type_of(source));
      s.source_index = source_index;
    } else {
      node_t node = memory::alloc_bytes(uint32_t(text.size()));
      series_buffer* b = memory::buffer_of(node);
      std::memcpy(b->tail_rw(), text.data(), text.size());
      b->tail += uint32_t(text.size());
      s.source = cell{type::binary, 0, node, 0};
    }
  }

  try {
    scan_tokens(s);
  } catch (const language_error&) {
    if (o.into && s.load && !s.one) keep_completed(s, o);
    throw;
  }

  if (!s.load) {
    if (s.saw_value && s.result_type) *out = cell{type::datatype_, s.result_type, 0, 0};
    else *out = cell{type::none, 0, 0, 0};
  } else if (s.one) {
    if (buffer_length(s) > s.head) {
      *out = *buffer_cell(s, s.head);
      out->header &= ~new_line_flag;
    } else {
      *out = cell{type::none, 0, 0, 0};
    }
  } else {
    result_block(s, link, o, out);
  }
  return size_t(s.pos - s.input_start);
}

uint32_t transcode(const cell* source, int32_t part, const scan_options& o, cell* out) {
  text_lease lease;
  std::string& text = lease.text;
  uint32_t head = series::index_of(source);
  uint32_t start_index = head;
  bool is_string = type_of(source) != type::binary;

  if (is_string) {
    uint32_t count = string::length_from_head(source);
    if (part >= 0 && uint32_t(part) < count) count = uint32_t(part);
    // Text heads count in units from the start of the data area.
    series_buffer* b = string::buffer_of(source);
    uint32_t unit = b->unit();
    const uint8_t* units = b->data() + size_t(head) * unit;
    size_t size = unicode::utf8_size_of_units(units, count, unit, false);
    text.resize(size);
    b = string::buffer_of(source);  // nothing above allocates; re-read all the same
    units = b->data() + size_t(head) * unit;
    unicode::utf8_encode_units(units, count, unit, reinterpret_cast<uint8_t*>(text.data()),
                               size, false);
  } else {
    series_buffer* b = memory::buffer_of(series::node_of(source));
    uint32_t count = head < b->tail ? b->tail - head : 0;
    if (part >= 0 && uint32_t(part) < count) count = uint32_t(part);
    const uint8_t* bytes = b->data() + head;
    if (count >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
      bytes += 3;
      count -= 3;
      start_index += 3;
    }
    text.assign(reinterpret_cast<const char*>(bytes), count);
  }

  size_t used = scan_utf8(text, o, out, source, start_index);

  if (!is_string) return start_index + uint32_t(used);
  return start_index + uint32_t(unicode::utf8_count_code_points(
                           reinterpret_cast<const uint8_t*>(text.data()),
                           reinterpret_cast<const uint8_t*>(text.data()) + used));
}

void load_text_block(std::string_view utf8, cell* out) {
  scan_options o;
  scan_utf8(utf8, o, out);
}

}  // namespace kaz::lexer
