#include "console/console_settings.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "console/console_access.h"
#include "core/actions.h"
#include "core/block_storage.h"
#include "core/context.h"
#include "core/error.h"
#include "core/series_cell.h"
#include "core/string_storage.h"
#include "core/symbol.h"
#include "core/word.h"
#include "datatypes/simple_types.h"
#include "eval/interpreter.h"
#include "loader/lexer_transcode.h"
#include "runtime/fire.h"

namespace kaz::console {

namespace {

constexpr std::string_view folder_name = "Kaz-Console/";
constexpr std::string_view file_name = "console-cfg.kaz";
constexpr std::string_view purpose = "Kaz Console Configuration File";
constexpr uint32_t history_kept = 100;

const cell* settings_field(std::string_view name) {
  cell w;
  context::intern_global(symbol::make("cli-console-ctx"), &w);
  return object_field(object_field(context::get_value(&w), "settings"), name);
}

cell* settings_field_rw(std::string_view name) {
  cell w;
  context::intern_global(symbol::make("cli-console-ctx"), &w);
  return object_field_rw(object_field(context::get_value(&w), "settings"), name);
}

std::string field_text(std::string_view name) {
  const cell* f = settings_field(name);
  if (!f || !is_any_string(type_of(f))) return {};
  cell v = *f;
  return string::to_utf8(&v);
}

// Makes the folder and its missing parents; false when one cannot be made.
bool make_dir_deep(const std::string& path) {
  if (path.empty() || path.find('\0') != std::string::npos) return false;
  for (size_t p = 1; p <= path.size(); ++p) {
    if (p < path.size() && path[p] != '/') continue;
    std::string part = path.substr(0, p);
    struct stat st;
    if (::stat(part.c_str(), &st) == 0) {
      if (!S_ISDIR(st.st_mode)) return false;
      continue;
    }
    if (::mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) return false;
  }
  return true;
}

// Writes the whole text to a file next to the target, then renames it over the target, so a
// failed write never leaves the settings half written.
bool write_file(const std::string& path, std::string_view text) {
  std::string temporary = path + ".new";
  int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  bool ok = done == text.size() && ::fsync(fd) == 0;
  ok = ::close(fd) == 0 && ok;
  if (ok && ::rename(temporary.c_str(), path.c_str()) == 0) return true;
  ::unlink(temporary.c_str());
  return false;
}

void set_file_field(std::string_view name, const std::string& path) {
  cell* s = stack::reserve_cell();
  string::make_at(s, static_cast<uint32_t>(path.size() + 1), type::file);
  string::append_utf8(series::node_of(s), path);
  if (cell* f = settings_field_rw(name)) *f = *s;
  stack::top = s;
}

// The settings block read from the file's text, or false when it has no `Kaz` header.
bool settings_from_text(const std::string& text, cell* out) {
  try {
    lexer::load_text_block(text, out);
  } catch (const language_error&) {
    error::in_flight.header = type::unset;
    return false;
  }
  uint32_t n = block::length_from_head(out);
  for (uint32_t i = 0; i + 1 < n; ++i) {
    const cell* c = block::rs_abs_at(out, series::index_of(out) + i);
    if (type_of(c) != type::word || symbol::spelling(word::symbol_of(c)) != "Kaz") continue;
    const cell* header = c + 1;
    if (type_of(header) == type::none ||
        (type_of(header) == type::logic && logic_type::value_of(header) == 0))
      return false;
    series::set_index(out, series::index_of(out) + i + 2);
    return true;
  }
  return false;
}

// The cell after the set-word `name:` in the settings block, or null.
const cell* setting(const cell* cfg, std::string_view name) {
  uint32_t sym = symbol::resolve(symbol::make(name));
  uint32_t n = block::length_from_head(cfg);
  for (uint32_t i = 0; i + 1 < n; ++i) {
    const cell* c = block::rs_abs_at(cfg, series::index_of(cfg) + i);
    if (is_any_word(type_of(c)) && symbol::resolve(word::symbol_of(c)) == sym) return c + 1;
  }
  return nullptr;
}

bool has_word(const cell* cfg, std::string_view name) {
  uint32_t sym = symbol::resolve(symbol::make(name));
  uint32_t n = block::length_from_head(cfg);
  for (uint32_t i = 0; i < n; ++i) {
    const cell* c = block::rs_abs_at(cfg, series::index_of(cfg) + i);
    if (is_any_word(type_of(c)) && symbol::resolve(word::symbol_of(c)) == sym) return true;
  }
  return false;
}

void append_setting(cell* cfg, std::string_view name, const cell* value) {
  cell key;
  context::intern_global(symbol::make(name), &key);
  key.header = (key.header & ~type_mask) | type::set_word;
  block::append_copy(cfg, &key);
  block::append_copy(cfg, value);
}

}  // namespace

void load_cfg(cell* a) {
  a->header = type::unset;
  stack::saved_state saved = stack::save();
  std::string dir;
  if (const cell* cache = system_field("options", "cache");
      cache && is_any_string(type_of(cache))) {
    cell v = *cache;
    dir = string::to_utf8(&v);
  }
  if (!dir.empty() && dir.back() != '/') dir += '/';
  dir += folder_name;
  set_file_field("cfg-dir", dir);
  make_dir_deep(dir);  // a folder that cannot be made shows when saving
  std::string path = dir + std::string(file_name);
  set_file_field("cfg-path", path);
  cell* cfg = stack::reserve_cell();
  std::string text;
  if (!read_file_bytes(path, text) || !settings_from_text(text, cfg)) block::init_cell(cfg, 8);
  if (!has_word(cfg, "buffer-lines")) {
    cell lines{type::integer, 0, 10000, 0};
    append_setting(cfg, "buffer-lines", &lines);
  }
  const cell* history = setting(cfg, "history");
  if (!history) {
    cell* empty = stack::reserve_cell();
    block::init_cell(empty, 200);
    append_setting(cfg, "history", empty);
  } else if (type_of(history) != type::block) {
    uint32_t at = static_cast<uint32_t>(history - block::rs_abs_at(cfg, 0));
    cell empty;
    block::init_cell(&empty, 200);
    *block::rs_abs_at_rw(cfg, at) = empty;
  }
  if (cell* f = settings_field_rw("cfg")) *f = *cfg;
  stack::unwind_to(saved);
  apply_cfg(a);
}

void apply_cfg(cell* a) {
  a->header = type::unset;
  const cell* cfg = settings_field("cfg");
  if (!cfg || type_of(cfg) != type::block) return;
  const cell* history = setting(cfg, "history");
  if (!history || type_of(history) != type::block) return;
  cell h = *history;
  if (cell* field = console_field_rw("history")) *field = h;
}

void save_cfg(cell* a) {
  a->header = type::unset;
  stack::saved_state saved = stack::save();
  const cell* cfg_field = settings_field("cfg");
  if (!cfg_field || type_of(cfg_field) != type::block) return;
  cell* cfg = stack::push(cfg_field);
  std::string dir = field_text("cfg-dir");
  std::string path = field_text("cfg-path");
  if (!make_dir_deep(dir)) fire(err::access_no_create, settings_field("cfg-dir"));
  if (const cell* history = setting(cfg, "history"); history && type_of(history) == type::block) {
    if (block::length_from_head(history) > history_kept)
      block::set_tail_at(history, series::index_of(history) + history_kept);
  }
  // Each setting on a line of its own.
  uint32_t n = block::length_from_head(cfg);
  for (uint32_t i = 0; i < n; ++i) {
    uint32_t at = series::index_of(cfg) + i;
    if (type_of(block::rs_abs_at(cfg, at)) == type::set_word)
      block::rs_abs_at_rw(cfg, at)->header |= new_line_flag;
  }
  // The text is what `save/header` makes of the settings; it replaces the file at once.
  cell* code = stack::reserve_cell();
  lexer::load_text_block("save/header none", code);
  block::append_copy(code, cfg);
  cell* header = stack::reserve_cell();
  lexer::load_text_block("Purpose: \"" + std::string(purpose) + "\"", header);
  block::append_copy(code, header);
  cell* data = stack::reserve_cell();
  if (interp::do_block(code, data) != flow::normal || type_of(data) != type::binary)
    fire(err::access_cannot_open, settings_field("cfg-path"));
  series_buffer* b = memory::buffer_of(series::node_of(data));
  std::string bytes(reinterpret_cast<const char*>(b->head()), b->used_bytes());
  if (!write_file(path, bytes)) fire(err::access_cannot_open, settings_field("cfg-path"));
  stack::unwind_to(saved);
}

}  // namespace kaz::console
