// file!: its molded form, its path for the operating system, and its I/O actions handed to the
// file services.
#include "core/registry.h"
#include "core/series_cell.h"
#include "core/stack.h"
#include "core/string_storage.h"
#include "datatypes/url.h"
#include "runtime/fire.h"

namespace kaz::file {

std::string to_os_path(const cell* file) { return string::to_utf8(file); }

namespace {

/*
 * "%" and the text, bare when no character needs quoting, else between double quotes with the
 * escapes of string text, so that it reads back: a double quote always ends a quoted file
 * name, so one inside is written ^(22). An empty file molds as %"".
 */
int32_t mold(cell* v, cell* buffer, bool, bool all, bool, cell* part, int32_t limit, int32_t) {
  cell f = *v;
  node_t out = series::node_of(buffer);
  string::text t = string::text_of(&f);
  uint32_t n = t.length;
  if (part && limit < static_cast<int32_t>(n)) n = limit > 0 ? static_cast<uint32_t>(limit) : 0;
  bool quoted = t.length == 0;
  // ":" and "@" also end a bare file name in the lexer (%a:b reads as %a :b).
  for (uint32_t i = 0; i < t.length && !quoted; ++i) {
    uint32_t c = t.at(i);
    quoted = url::quoted_q(c) || c == ':' || c == '@' || string::refused_by_loader(c);
  }
  string::append_ascii(out, quoted ? "%\"" : "%");
  for (uint32_t i = 0; i < n; ++i) {
    uint32_t c = string::text_of(&f).at(i);
    if (!quoted) string::append_code_point(out, c);
    else if (c == '"') string::append_ascii(out, "^(22)");
    else string::append_escaped_char(out, c, string::escape::text, all);
  }
  if (quoted) string::append_ascii(out, "\"");
  return limit - static_cast<int32_t>(n) - 1;
}

[[noreturn]] void not_done() { fire(err::internal_not_done); }

cell* read(cell* f, cell* part, cell* seek, bool binary, bool lines, bool, cell* as) {
  if (as || !url::services.read_path) not_done();
  cell* out = stack::reserve_cell();
  url::services.read_path(f, part, seek, binary, lines, out);
  *f = *out;
  return f;
}

cell* write(cell* f, cell* data, bool binary, bool lines, bool, bool append, cell* part,
            cell* seek, cell* allow, cell* as) {
  if (allow || as || !url::services.write_file) not_done();
  url::services.write_file(f, data, part, seek, binary, append, lines);
  f->header = type::unset;
  return f;
}

cell* delete_(cell* f) {
  if (!url::services.delete_file) not_done();
  bool done = url::services.delete_file(f);
  *f = cell{type::logic, done ? 1u : 0u, 0, 0};
  return f;
}

cell* rename(cell* from, cell* to) {
  if (!url::services.rename_file) not_done();
  bool done = url::services.rename_file(from, to);
  *from = cell{type::logic, done ? 1u : 0u, 0, 0};
  return from;
}

cell* query(cell* f) {
  if (!url::services.query_file) not_done();
  cell* out = stack::reserve_cell();
  url::services.query_file(f, out);
  *f = *out;
  return f;
}

}  // namespace

void init() {
  registry::add(type::file,
                {.mold = mold,
                 .delete_ = delete_,
                 .query = query,
                 .read = read,
                 .rename = rename,
                 .write = write},
                inherited::all_but(slot::mold, slot::delete_, slot::query, slot::read,
                                   slot::rename, slot::write, slot::open));
}

}  // namespace kaz::file
