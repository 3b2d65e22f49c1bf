// Reading files and listing directories.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "core/block_storage.h"
#include "core/series_cell.h"
#include "core/string_storage.h"
#include "core/words.h"
#include "datatypes/integer.h"
#include "memory/unicode_strings.h"
#include "platform/files.h"
#include "platform/files_internal.h"
#include "runtime/fire.h"

namespace kaz::files {

namespace {

[[noreturn]] void cannot_open(const cell* file) { fire(err::access_cannot_open, file); }

/*
 * The bytes of a file from `seek` (or its start when negative), at most `part` of them when
 * part >= 0. A file whose size the system knows is read to that size; one that reports none
 * (a pipe, a device, the files of /proc) is read to its end, its /seek bytes skipped when it
 * cannot seek. False when it cannot be opened (a directory cannot) or read.
 */
bool read_bytes(const std::string& path, int64_t part, int64_t seek, std::vector<uint8_t>& out) {
  fd_holder fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.fd < 0) return false;
  struct stat st;
  if (::fstat(fd.fd, &st) != 0 || S_ISDIR(st.st_mode)) return false;
  out.clear();
  if (part == 0) return true;
  bool sized = S_ISREG(st.st_mode) && st.st_size > 0;
  if (sized) {
    int64_t size = st.st_size;
    if (seek > 0) {
      if (seek >= size) return true;
      if (::lseek(fd.fd, seek, SEEK_SET) < 0) return false;
      size -= seek;
    }
    if (part > 0 && part < size) size = part;
    check_size(static_cast<uint64_t>(size));
    out.resize(static_cast<size_t>(size));
    int64_t got = read_fully(fd.fd, out.data(), out.size());
    if (got < 0) return false;
    out.resize(static_cast<size_t>(got));  // the file may have shrunk meanwhile
    return true;
  }
  int64_t skip = seek > 0 ? seek : 0;
  if (skip > 0 && ::lseek(fd.fd, skip, SEEK_SET) >= 0) skip = 0;
  uint8_t chunk[65536];
  for (;;) {
    // With /part, no byte beyond it is taken from a stream: the next reader of a pipe or a
    // terminal gets it.
    size_t want = sizeof chunk;
    if (part > 0) want = static_cast<size_t>(std::min<int64_t>(want, skip + part - int64_t(out.size())));
    ssize_t n = ::read(fd.fd, chunk, want);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    size_t from = 0;
    if (skip > 0) {
      size_t dropped = static_cast<size_t>(std::min<int64_t>(skip, n));
      skip -= static_cast<int64_t>(dropped);
      from = dropped;
    }
    size_t take = static_cast<size_t>(n) - from;
    if (part > 0) take = static_cast<size_t>(std::min<int64_t>(take, part - int64_t(out.size())));
    check_size(out.size() + take);
    out.insert(out.end(), chunk + from, chunk + from + take);
    if (part > 0 && int64_t(out.size()) >= part) return true;
  }
}

}  // namespace

cell decoded_string(const uint8_t* bytes, size_t n, bool cut) {
  size_t rest = 0;
  node_t node = unicode::utf8_decode_into_string(bytes, n, 0, cut ? &rest : nullptr, false);
  return cell{type::string, 0, node, 0};
}

void split_lines(const std::vector<uint8_t>& text, cell* out, bool cut) {
  block::init_cell(out, 16);
  size_t start = 0;
  size_t n = text.size();
  for (size_t i = 0; i <= n; ++i) {
    if (i < n && text[i] != '\n') continue;
    if (i == n && start == n) break;
    size_t end = i;
    if (i < n && end > start && text[end - 1] == '\r') --end;
    cell line = decoded_string(text.data() + start, end - start, cut && i == n);
    block::append_copy(out, &line);
    start = i + 1;
  }
}

// Reads an integer refinement value (absent: -1); anything else is invalid-refine-arg.
int64_t refinement_count(const cell* value, uint32_t symbol) {
  if (!value) return -1;
  if (type_of(value) != type::integer) {
    cell word;
    words::global_word(symbol, &word);
    word.header = (word.header & ~0xFFu) | type::refinement;
    fire(err::script_invalid_refine_arg, &word, value);
  }
  return integer_type::value_of(value);
}

void check_size(uint64_t bytes) {
  if (bytes >= memory::max_series_bytes) fire(err::internal_no_memory);
}

int64_t read_fully(int fd, uint8_t* to, size_t n) {
  size_t done = 0;
  while (done < n) {
    ssize_t r = ::read(fd, to + done, n - done);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) return -1;
    if (r == 0) break;
    done += static_cast<size_t>(r);
  }
  return static_cast<int64_t>(done);
}

void read_path(const cell* file, const cell* part, const cell* seek, bool binary, bool lines,
               cell* out) {
  std::string path;
  if (!os_path(file, path)) cannot_open(file);
  if (dir_path_q(path)) {
    read_dir(file, out);
    return;
  }
  int64_t part_n = refinement_count(part, words::sym.part);
  int64_t seek_n = refinement_count(seek, symbol_seek());
  std::vector<uint8_t> bytes;
  if (!read_bytes(path, part_n, seek_n, bytes)) cannot_open(file);
  if (binary) {
    node_t node = memory::alloc_bytes(static_cast<uint32_t>(bytes.size()));
    series_buffer* s = memory::buffer_of(node);
    if (!bytes.empty()) std::memcpy(s->head_rw(), bytes.data(), bytes.size());
    s->tail = s->offset + static_cast<uint32_t>(bytes.size());
    *out = cell{type::binary, 0, node, 0};
  } else if (lines) {
    split_lines(bytes, out, part_n > 0 || seek_n > 0);
  } else {
    *out = decoded_string(bytes.data(), bytes.size(), part_n > 0 || seek_n > 0);
  }
}

void read_dir(const cell* dir, cell* out) {
  std::string path;
  if (!os_path(dir, path)) cannot_open(dir);
  DIR* d = ::opendir(path.empty() ? "." : path.c_str());
  if (!d) cannot_open(dir);
  struct entry {
    std::string name;
    bool dir;
  };
  std::vector<entry> entries;
  int dfd = ::dirfd(d);
  while (struct dirent* e = ::readdir(d)) {
    std::string_view name = e->d_name;
    if (name == "." || name == "..") continue;
    bool is_dir = e->d_type == DT_DIR;
    if (e->d_type == DT_UNKNOWN || e->d_type == DT_LNK) {  // links count as what they name
      struct stat st;
      is_dir = ::fstatat(dfd, e->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode);
    }
    entries.push_back({std::string(name), is_dir});
  }
  ::closedir(d);
  std::sort(entries.begin(), entries.end(),
            [](const entry& a, const entry& b) { return a.name < b.name; });
  block::init_cell(out, entries.empty() ? 1 : static_cast<uint32_t>(entries.size()));
  for (const entry& e : entries) {
    cell name;
    string::make_at(&name, static_cast<uint32_t>(e.name.size() + 1), type::file);
    append_os_name(series::node_of(&name), e.name);
    if (e.dir) string::append_code_point(series::node_of(&name), '/');
    block::append_copy(out, &name);
  }
}

}  // namespace kaz::files
