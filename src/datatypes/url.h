// url! and file!: strings that name resources. Their percent coding, their molded forms, path
// joining, and the hand-over of their I/O actions to the file and URL services.
#pragma once

#include <cstdint>
#include <string>

#include "memory/series.h"
#include "runtime/cell.h"

namespace kaz::url {

// Selector of encode_percent that escapes every byte but the unreserved ones (letters, digits,
// "-", ".", "_", "~"); any other selector uses the quoting table of molded urls.
constexpr uint32_t strict = 254;

// Whether a byte is written as "%" and two hexadecimal digits under the selector (bytes from
// 128 up always are).
bool escaped_q(uint8_t byte, uint32_t selector);
// Whether a character below 127 makes a molded file! quoted.
bool quoted_q(uint32_t c);

// Appends the percent-encoded UTF-8 of the value's text from its head to the string `out`.
void encode_percent(const cell* value, node_t out, uint32_t selector);
/*
 * Appends the value's text from its head to the string `out` with %XX escapes decoded: an
 * escaped UTF-8 lead byte takes the escapes of its continuation bytes with it and gives one
 * character when they form a well-formed sequence; an escaped byte that leads nothing is that
 * code point; anything else, a "%" that starts no valid escape included, is kept as it is.
 */
void decode_percent(const cell* value, node_t out);

/*
 * The services file! and url! hand their I/O to, installed by the file and URL services when
 * they start. An absent entry makes the action raise internal not-done.
 */
struct io_services {
  // Reads a file or directory: the result goes into `out`.
  void (*read_path)(const cell* file, const cell* part, const cell* seek, bool binary,
                    bool lines, cell* out) = nullptr;
  // Writes data to a file.
  void (*write_file)(const cell* file, const cell* data, const cell* part, const cell* seek,
                     bool binary, bool append, bool lines) = nullptr;
  bool (*delete_file)(const cell* file) = nullptr;
  bool (*rename_file)(const cell* from, const cell* to) = nullptr;
  // The file's information into `out`.
  void (*query_file)(const cell* file, cell* out) = nullptr;
  // An HTTP request with a method word's symbol, headers and body (null when absent); answers
  // false when no answer came (a timeout).
  bool (*url_request)(uint32_t method, const cell* url, const cell* headers, const cell* body,
                      bool binary, bool lines, bool info, cell* out) = nullptr;
  // A port! for a URL of any scheme (parsed by the library's URL parser), opened at once with
  // `open`; a URL the parser refuses raises invalid-arg.
  void (*to_port)(const cell* url, bool open, bool new_, bool read, bool write, bool seek,
                  const cell* allow, cell* out) = nullptr;
};
extern io_services services;

void init();

}  // namespace kaz::url

namespace kaz::file {

// The file's path as the operating system takes it: its text as UTF-8 (POSIX paths map
// directly).
std::string to_os_path(const cell* file);

void init();

}  // namespace kaz::file
