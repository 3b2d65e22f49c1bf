#include "platform/clipboard.h"

#include <string>
#include <vector>

#include "core/block_storage.h"
#include "core/series_cell.h"
#include "core/stack.h"
#include "core/string_storage.h"
#include "datatypes/base_codecs.h"
#include "datatypes/image.h"
#include "platform/clipboard_display.h"
#include "platform/files.h"
#include "platform/image_codecs.h"
#include "platform/image_io.h"
#include "platform/terminal.h"
#include "runtime/fire.h"
#include "runtime/os_environment.h"

namespace kaz::clipboard {

namespace {

enum class holding { nothing, text, files, image };

// UTF-8 text, the image's PNG data, or one system path per file.
struct store {
  holding kind = holding::nothing;
  std::string text;
  std::vector<std::string> files;
};
store held;  // when there is no display to hold it

// OSC 52 to the clipboard selection ("c"), ended by BEL.
void offer_to_terminal(const std::string& text) {
  if (!tty::output_is_terminal()) return;
  std::string seq = "\x1b]52;c;";
  size_t start = seq.size();
  seq.resize(start + binary::encoded_room(64, static_cast<uint32_t>(text.size())));
  auto* out = reinterpret_cast<uint8_t*>(seq.data() + start);
  uint8_t* end = binary::encode_base64(out, reinterpret_cast<const uint8_t*>(text.data()),
                                       static_cast<uint32_t>(text.size()));
  seq.resize(start + static_cast<size_t>(end - out));
  seq += '\a';
  tty::write_raw(seq);
}

// UTF-8 text into a string buffer; a byte that starts no valid sequence is taken as Latin-1,
// so text from elsewhere loses nothing.
void append_text(node_t node, std::string_view text) {
  while (!text.empty()) {
    size_t used = string::append_utf8(node, text);
    if (used < text.size()) {
      string::append_latin1(node, reinterpret_cast<const uint8_t*>(text.data() + used), 1);
      ++used;
    }
    text.remove_prefix(used);
  }
}

// Each value is built on the stack, where the collector sees it, then moved to `out`.
void put_text(cell* out, std::string_view text) {
  uint32_t base = stack::index_of(stack::top);
  cell* made = stack::reserve_cell();
  string::make_at(made, static_cast<uint32_t>(text.size() + 1));
  append_text(series::node_of(made), text);
  *out = *stack::at_index(base);
  stack::top = stack::at_index(base);
}

void put_files(cell* out, const std::vector<std::string>& paths) {
  uint32_t base = stack::index_of(stack::top);
  block::push_only(static_cast<uint32_t>(paths.size() + 1));
  cell* name = stack::reserve_cell();
  for (const std::string& path : paths) {
    string::make_at(name, static_cast<uint32_t>(path.size() + 1), type::file);
    files::append_os_name(series::node_of(name), path);
    block::append_copy(stack::at_index(base), name);
  }
  *out = *stack::at_index(base);
  stack::top = stack::at_index(base);
}

void put_none(cell* out) { *out = cell{type::none, 0, 0, 0}; }

void put_image(cell* out, const std::string& data) {
  uint32_t width = 0, height = 0;
  node_t record = image_os::decode(reinterpret_cast<const uint8_t*>(data.data()), data.size(),
                                   width, height);
  if (!record) fire(err::access_bad_media);
  image::init_cell(out, record, width, height);
}

// The desktop takes only absolute paths: a relative one is taken from the current directory.
bool make_absolute(std::vector<std::string>& paths) {
  std::string dir;
  for (std::string& path : paths) {
    if (!path.empty() && path[0] == '/') continue;
    if (dir.empty() && !sysrt::get_current_dir(dir)) return false;
    path = (dir == "/" ? dir : dir + "/") + path;
  }
  return true;
}

bool write_to_display(display::tools with, store& s) {
  switch (s.kind) {
    case holding::nothing:
      return display::clear(with);
    case holding::text:
      return display::write_text(with, s.text);
    case holding::files:
      return make_absolute(s.files) && display::write_files(with, s.files);
    case holding::image:
      return display::write_png(with, s.text);
  }
  return false;
}

}  // namespace

void read(cell* out) {
  display::tools with = display::find();
  if (with != display::tools::none) {
    display::content got = display::read(with);
    switch (got.what) {
      case display::content::kind::failed:
        *out = cell{type::logic, 0, 0, 0};
        return;
      case display::content::kind::empty:
        put_none(out);
        return;
      case display::content::kind::text:
        put_text(out, got.text);
        return;
      case display::content::kind::files:
        put_files(out, got.files);
        return;
      case display::content::kind::image:
        put_image(out, got.text);
        return;
    }
  }
  switch (held.kind) {
    case holding::nothing:
      put_none(out);
      return;
    case holding::text:
      put_text(out, held.text);
      return;
    case holding::files:
      put_files(out, held.files);
      return;
    case holding::image:
      put_image(out, held.text);
      return;
  }
}

bool write(const cell* value) {
  cell v = *value;
  store s;
  switch (type_of(&v)) {
    case type::none:
      break;
    case type::string:
      s = store{holding::text, string::to_utf8(&v), {}};
      break;
    case type::block: {
      // Every element is checked before anything changes.
      s.kind = holding::files;
      bool whole = true;
      for (int32_t i = 0; i < block::rs_length(&v); ++i) {
        cell item = *(block::rs_head(&v) + i);
        if (type_of(&item) != type::file && type_of(&item) != type::string)
          fire(err::script_invalid_arg, &item);
        std::string path;
        if (!files::os_path(&item, path)) whole = false;
        s.files.push_back(std::move(path));
      }
      if (!whole) return false;
      break;
    }
    case type::image: {
      if (image::count_of(&v) == 0) break;  // nothing to offer: the clipboard is emptied
      std::vector<uint8_t> png;
      if (!image_os::encode(series::node_of(&v), image::width_of(&v), image::height_of(&v), image_codec::png,
                            png))
        return false;
      s = store{holding::image, std::string(png.begin(), png.end()), {}};
      break;
    }
    default:
      fire(err::script_invalid_arg, &v);
  }
  display::tools with = display::find();
  if (with != display::tools::none) return write_to_display(with, s);
  held = std::move(s);
  if (held.kind == holding::text) offer_to_terminal(held.text);
  return true;
}

}  // namespace kaz::clipboard
