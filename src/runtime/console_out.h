// Console output: every text the runtime prints leaves through here, to standard output, as
// UTF-8 with LF line ends. Escape sequences pass through unchanged: the terminal carries them out.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kaz::sysrt {

// Set-up of the output layer (notes whether standard output is a terminal).
void init_console_out();

// True when standard output is a terminal.
bool output_is_terminal();

/*
 * Writers of text held in units of 1 (Latin-1), 2 (UCS-2, native order) or 4 bytes (UCS-4);
 * `bytes` is the length in bytes. A surrogate pair in UCS-2 text is written as the one code
 * point it encodes; a lone surrogate, or a unit that is no code point, as U+FFFD.
 */
void write_latin1(const void* data, size_t bytes);
void write_latin1_line(const void* data, size_t bytes);
void write_ucs2(const void* data, size_t bytes);
void write_ucs2_line(const void* data, size_t bytes);
void write_ucs4(const void* data, size_t bytes);
void write_ucs4_line(const void* data, size_t bytes);

// The writer for a unit width, with or without a line end; another width is runtime error 101.
void write_units(const void* data, size_t bytes, uint32_t unit, bool line_end);

// Writes bytes as they are, then calls the write hooks with them.
void print_bytes(const char* data, size_t length);
void print_c_string(const char* s);

// Number writers: the number's text is written, then handed to the write hooks.
int32_t print_integer(int32_t n);  // "%i"; answers n
void print_hex2(uint32_t n);       // "%02X"
void print_hex8(uint32_t n);       // "%08X"
void print_float64(double d);      // "%.16g"
void print_float32(float f);       // "%.7g"
void print_count(uint64_t n);      // unsigned decimal

// Writes whatever is pending in the output buffer. Also safe in a signal handler.
void flush_output();

// Writes bytes straight to standard output, after what is pending, without calling any hook.
// Safe in a signal handler.
void write_direct(const char* data, size_t length);

}  // namespace kaz::sysrt
