#include "platform/clipboard.h"

#include <string>
#include <vector>

#include "core/fire.h"
#include "core/stack.h"
#include "datatypes/base_codecs.h"
#include "datatypes/block_storage.h"
#include "datatypes/string_storage.h"
#include "platform/files.h"
#include "platform/terminal.h"

namespace kaz::clipboard {

namespace {

enum class holding { nothing, text, files };

// UTF-8 text, or one system path per file.
struct store {
  holding kind = holding::nothing;
  std::string text;
  std::vector<std::string> files;
};
store held;

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

}  // namespace

void read(cell* out) {
  if (held.kind == holding::nothing) {
    out->header = type::none;
    return;
  }
  // Built on the stack, where the collector sees it, then moved to `out`.
  uint32_t base = stack::index_of(stack::top);
  if (held.kind == holding::text) {
    cell* text = stack::reserve_cell();
    string::make_at(text, static_cast<uint32_t>(held.text.size() + 1));
    string::append_utf8(text->data2, held.text);
  } else {
    block::push_only(static_cast<uint32_t>(held.files.size() + 1));
    cell* name = stack::reserve_cell();
    for (const std::string& path : held.files) {
      string::make_at(name, static_cast<uint32_t>(path.size() + 1), type::file);
      files::append_os_name(name->data2, path);
      block::append_copy(stack::at_index(base), name);
    }
  }
  *out = *stack::at_index(base);
  stack::top = stack::at_index(base);
}

bool write(const cell* value) {
  cell v = *value;
  switch (type_of(&v)) {
    case type::none:
      held = store{};
      return true;
    case type::string: {
      store s{holding::text, string::to_utf8(&v), {}};
      held = std::move(s);
      offer_to_terminal(held.text);
      return true;
    }
    case type::block: {
      // Every element is checked before anything changes.
      store s{holding::files, {}, {}};
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
      held = std::move(s);
      return true;
    }
    case type::image:  // no images yet
      return false;
    default:
      fire(err::script_invalid_arg, &v);
  }
}

}  // namespace kaz::clipboard
