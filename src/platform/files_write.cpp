// Writing values to files and to standard output.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

#include "core/actions.h"
#include "core/block_storage.h"
#include "core/stack.h"
#include "core/string_storage.h"
#include "core/words.h"
#include "memory/unicode_strings.h"
#include "memory/unicode_utf8.h"
#include "platform/files.h"
#include "platform/files_internal.h"
#include "runtime/console_out.h"
#include "runtime/fire.h"
#include "runtime/output_hooks.h"

namespace kaz::files {

namespace {

/*
 * Where the bytes go: an open file, or standard output (fd -1), where text goes through the
 * print hooks as `prin` hands it over and bytes through the raw writer. A failed write to a file
 * raises cannot-open with the file, after which the descriptor is closed by the caller's holder.
 */
struct sink {
  int fd;
  const cell* file;
  int64_t written = 0;  // bytes of the value being written

  void bytes(const uint8_t* p, size_t n) {
    written += static_cast<int64_t>(n);
    if (fd < 0) {
      sysrt::print_bytes(reinterpret_cast<const char*>(p), n);
      return;
    }
    while (n > 0) {
      ssize_t r = ::write(fd, p, n);
      if (r < 0 && errno == EINTR) continue;
      if (r <= 0) fire(err::access_cannot_open, file);
      p += r;
      n -= static_cast<size_t>(r);
    }
  }

  // `count` units of text at p; no allocation may happen while it runs.
  void text(const uint8_t* p, uint32_t count, uint32_t unit) {
    if (fd < 0) {
      sysrt::call_print_hooks({p, size_t(count) * unit, unit}, false);
      written += unicode::utf8_size_of_units(p, count, unit, false);
      return;
    }
    uint8_t chunk[65536];
    while (count > 0) {
      size_t done = 0;
      size_t n = unicode::utf8_encode_units(p, count, unit, chunk, sizeof chunk, false, &done);
      bytes(chunk, n);
      p += done * unit;
      count -= static_cast<uint32_t>(done);
    }
  }

  void line_end() {
    static const uint8_t lf = '\n';
    if (fd < 0)
      text(&lf, 1, 1);
    else
      bytes(&lf, 1);
  }
};

// Writes a string value's text from its head, at most `part` characters when part >= 0.
void put_string(sink& out, const cell* s, int64_t part) {
  int32_t max = part >= 0 && part < INT32_MAX ? static_cast<int32_t>(part) : -1;
  unicode::text_range t = unicode::text_from_head(s, max);
  out.text(t.p, t.count, t.unit);
}

// Writes one value: a string! as text, a binary! as bytes, anything else molded.
void put_value(sink& out, const cell* value, int64_t part) {
  out.written = 0;
  uint32_t t = type_of(value);
  if (t == type::string) {
    put_string(out, value, part);
  } else if (t == type::binary) {
    unicode::text_range b = unicode::bytes_from_head(value);
    size_t n = b.count;
    if (part >= 0 && static_cast<uint64_t>(part) < n) n = static_cast<size_t>(part);
    out.bytes(b.p, n);
  } else {
    uint32_t base = stack::index_of(stack::top);
    cell buffer;
    string::make_at(&buffer, 16);
    cell* held = stack::push(&buffer);
    cell v = *value;
    actions::mold(&v, held, false, false, false, nullptr, 0x7FFFFFFF, 0);
    put_string(out, stack::at_index(base), part);
    stack::top = stack::at_index(base);
  }
}

// Writes the values of a block, each followed by a line end; `part` counts values.
void put_lines(sink& out, const cell* block_value, int64_t part) {
  cell b = *block_value;
  int32_t n = block::rs_length(&b);
  if (part >= 0 && part < n) n = static_cast<int32_t>(part);
  for (int32_t i = 0; i < n && i < block::rs_length(&b); ++i) {
    cell v = *(block::rs_head(&b) + i);
    put_value(out, &v, -1);
    out.line_end();
  }
}

}  // namespace

int64_t write_value(const cell* file, const cell* data, const cell* part, const cell* seek,
                    bool binary, bool append, bool lines) {
  int64_t part_n = refinement_count(part, words::sym.part);
  int64_t seek_n = refinement_count(seek, symbol_seek());
  // binary mode changes nothing here: text is written with LF line ends either way.
  (void)binary;
  if (part && part_n < 0) return 0;  // a negative count writes nothing
  fd_holder fd(-1);
  if (file) {
    std::string path;
    if (!os_path(file, path)) fire(err::access_cannot_open, file);
    int flags = O_WRONLY | O_CREAT | O_CLOEXEC;
    // Only a write without /seek replaces the file; a negative /seek index writes from the
    // start, as read/seek reads from it, and keeps the rest.
    if (append)
      flags |= O_APPEND;
    else if (!seek)
      flags |= O_TRUNC;
    fd.fd = ::open(path.c_str(), flags, 0666);
    if (fd.fd < 0) fire(err::access_cannot_open, file);
    if (!append && seek_n > 0 && ::lseek(fd.fd, seek_n, SEEK_SET) < 0)
      fire(err::access_cannot_open, file);
  }
  sink out{fd.fd, file};
  if (lines && type_of(data) == type::block) {
    put_lines(out, data, part_n);
  } else {
    put_value(out, data, part_n);
    if (lines) out.line_end();
  }
  if (fd.fd >= 0) {
    int closed = ::close(fd.fd);
    fd.fd = -1;
    if (closed != 0 && errno != EINTR) fire(err::access_cannot_open, file);
  }
  return out.written;
}

}  // namespace kaz::files
