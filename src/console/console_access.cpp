#include "console/console_access.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "core/actions.h"
#include "core/block_storage.h"
#include "core/context.h"
#include "core/object.h"
#include "core/series_cell.h"
#include "core/string_storage.h"
#include "core/symbol.h"
#include "core/word.h"
#include "eval/interpreter.h"
#include "loader/lexer_transcode.h"
#include "runtime/output_hooks.h"
#include "runtime/runtime_error.h"

namespace kaz::console {

const cell* object_field(const cell* object, std::string_view name) {
  if (!object || type_of(object) != type::object) return nullptr;
  int32_t i = context::find_symbol(object::context_of(object), symbol::make(name), true);
  return i < 0 ? nullptr : context::values(object::context_of(object)) + i;
}

cell* object_field_rw(const cell* object, std::string_view name) {
  if (!object || type_of(object) != type::object) return nullptr;
  int32_t i = context::find_symbol(object::context_of(object), symbol::make(name), true);
  return i < 0 ? nullptr : context::values_rw(object::context_of(object)) + i;
}

const cell* system_field(std::string_view name) {
  cell w;
  context::intern_global(symbol::make("system"), &w);
  return object_field(context::get_value(&w), name);
}

cell* system_field_rw(std::string_view name) {
  cell w;
  context::intern_global(symbol::make("system"), &w);
  return object_field_rw(context::get_value(&w), name);
}

const cell* system_field(std::string_view outer, std::string_view name) {
  return object_field(system_field(outer), name);
}

cell* system_field_rw(std::string_view outer, std::string_view name) {
  return object_field_rw(system_field(outer), name);
}

void print_value(const cell* value) {
  cell text = *value;
  cell* held = nullptr;
  if (type_of(&text) != type::string) {
    cell buffer;
    string::make_at(&buffer, 16);
    held = stack::push(&buffer);
    actions::form(value, held, nullptr, 0x7FFFFFFF);
    text = *held;
  }
  series_buffer* s = string::buffer_of(&text);
  uint32_t unit = s->unit();
  uint32_t length = string::length_from_head(&text);
  sysrt::unit_text view{s->data() + uint64_t(series::index_of(&text)) * unit, size_t(length) * unit, unit};
  sysrt::call_print_hooks(view, true);
  if (held) stack::top = held;
}

void print_text(std::string_view utf8) {
  cell text;
  string::make_at(&text, static_cast<uint32_t>(utf8.size() + 1));
  cell* held = stack::push(&text);
  string::append_utf8(series::node_of(held), utf8);
  print_value(held);
  stack::top = held;
}

flow call_with_value(std::string_view source, const cell* argument, cell* out) {
  cell* code = stack::reserve_cell();
  lexer::load_text_block(source, code);
  if (argument) block::append_copy(code, argument);
  flow f = interp::do_block(code, out);
  stack::top = code;
  return f;
}

bool is_word(const cell* value, std::string_view spelling) {
  if (type_of(value) != type::word) return false;
  return symbol::resolve(word::symbol_of(value)) == symbol::resolve(symbol::make(spelling));
}

bool read_file_bytes(const std::string& path, std::string& out) {
  if (path.find('\0') != std::string::npos) return false;
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  char chunk[65536];
  for (;;) {
    ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n > 0) {
      out.append(chunk, static_cast<size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    ::close(fd);
    return n == 0;
  }
}

void exit_with(int status) {
  sysrt::on_exit();
  std::exit(status & 255);
}

}  // namespace kaz::console
