// Files and directories: the POSIX layer under the file! actions (read, write, delete, query,
// rename), the directory routines and write-stdout. Paths are the file's text as UTF-8; no
// handle is kept between calls.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "memory/series.h"
#include "runtime/cell.h"

namespace kaz::files {

// ---------------------------------------------------------------------------------------------
// Paths (files_path.cpp).

/*
 * The system path of a file! or string! value from its head: its text as UTF-8, except that
 * U+DC80..U+DCFF stand for the raw bytes 80h..FFh of a name that is not valid UTF-8 (as the
 * directory listing reads such names). False when the text holds a NUL, which no path can.
 */
bool os_path(const cell* file, std::string& out);

// Appends a name as the system gave it to a string buffer: UTF-8 decoded, each byte that is not
// part of a valid sequence kept as U+DC00 plus the byte, so the name goes back unchanged.
void append_os_name(node_t node, std::string_view name);

// Whether a path names a directory by its text: it ends in "/", or its last segment is "." or
// "..". The empty path is a file.
bool dir_path_q(std::string_view path);

// ---------------------------------------------------------------------------------------------
// Reading (files_read.cpp).

/*
 * `read` of a file!: a directory path answers its listing; otherwise the file's bytes from the
 * /seek offset (whole or cut by /part), as a binary!, a block of line strings, or a string.
 * `part` and `seek` are null when absent. Raises access cannot-open when the file cannot be
 * opened or read (a directory named without its trailing "/" included).
 */
void read_path(const cell* file, const cell* part, const cell* seek, bool binary, bool lines,
               cell* out);

// The listing of a directory into `out`: a block of file! names, directories with a trailing
// "/", never "." nor "..", sorted by name. Raises cannot-open when it cannot be listed.
void read_dir(const cell* dir, cell* out);

// A new string! of UTF-8 text; a cut sequence at the end is dropped when `cut` allows it.
cell decoded_string(const uint8_t* bytes, size_t n, bool cut);

// The lines of a text as a new block of strings: split at each LF, one CR just before it
// dropped; the bytes after the last LF make a last line, so a text that ends with LF has no
// empty last line. `cut`: the text was cut by /part or /seek, so a character cut at its end
// is dropped; otherwise the whole text must be valid UTF-8.
void split_lines(const std::vector<uint8_t>& text, cell* out, bool cut = false);

// ---------------------------------------------------------------------------------------------
// Writing (files_write.cpp).

/*
 * `write` of a value to a file!, or to standard output when `file` is null: a string! as UTF-8,
 * a binary! as it is, anything else molded; with /lines a block is written value by value,
 * each followed by a line end (LF), and any other value once followed by one. /part counts
 * characters, bytes or, for a block in lines mode, values. /append writes at the end, /seek at
 * an offset without truncating; a plain write truncates. Answers the bytes of the last write.
 * A /part or /seek that is not an integer raises invalid-refine-arg; a file that cannot be
 * opened or written raises cannot-open.
 */
int64_t write_value(const cell* file, const cell* data, const cell* part, const cell* seek,
                    bool binary, bool append, bool lines);

// ---------------------------------------------------------------------------------------------
// Directory entries (files_entries.cpp).

// Deletes a file, or an empty directory when the path ends in "/"; true on success.
bool delete_file(const cell* file);
// Renames or moves a file or directory; never replaces an existing entry. True on success.
bool rename_file(const cell* from, const cell* to);
// The modification date (UTC) of a file or directory into `out`, or none when it is missing
// (or the path ends in "/" and names no directory).
void query_file(const cell* file, cell* out);
// Creates one directory; true on success.
bool make_dir(const cell* path);
// Whether a file or directory of that path exists.
bool exists_q(const cell* path);

// Installs the functions above as the file! datatype's I/O services (start-up).
void init();

}  // namespace kaz::files
