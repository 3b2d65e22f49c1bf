// Directory entries: delete, rename, query, create and the existence test.
#include <stdio.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

#include "datatypes/date.h"
#include "platform/files.h"

namespace kaz::files {

bool delete_file(const cell* file) {
  std::string path;
  if (!os_path(file, path) || path.empty()) return false;
  return (dir_path_q(path) ? ::rmdir(path.c_str()) : ::unlink(path.c_str())) == 0;
}

bool rename_file(const cell* from, const cell* to) {
  std::string a, b;
  if (!os_path(from, a) || !os_path(to, b) || a.empty() || b.empty()) return false;
  if (::renameat2(AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // A file system without the no-replace flag: test first, then rename.
  struct stat st;
  if (::lstat(b.c_str(), &st) == 0 || errno != ENOENT) return false;
  return ::rename(a.c_str(), b.c_str()) == 0;
}

void query_file(const cell* file, cell* out) {
  out->header = type::none;
  std::string path;
  struct stat st;
  if (!os_path(file, path) || path.empty() || ::stat(path.c_str(), &st) != 0) return;
  if (path.back() == '/' && !S_ISDIR(st.st_mode)) return;
  struct tm utc;
  time_t seconds = st.st_mtim.tv_sec;
  if (!::gmtime_r(&seconds, &utc)) return;
  date_type::init_cell_utc(out, utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday, utc.tm_hour,
                           utc.tm_min, utc.tm_sec, static_cast<int32_t>(st.st_mtim.tv_nsec));
}

bool make_dir(const cell* path) {
  std::string p;
  if (!os_path(path, p) || p.empty()) return false;
  if (::mkdir(p.c_str(), 0777) == 0) return true;
  // EEXIST answers "already there" only for a directory: a file or a dangling link of that
  // name is not one.
  struct stat st;
  if (errno == EEXIST && (::stat(p.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))) errno = ENOTDIR;
  return false;
}

bool exists_q(const cell* path) {
  std::string p;
  struct stat st;
  return os_path(path, p) && !p.empty() && ::stat(p.c_str(), &st) == 0;
}

}  // namespace kaz::files
