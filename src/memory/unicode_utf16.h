// UTF-16LE: the operating system's wide text. Pure functions between UTF-16LE units (read
// from bytes, so any alignment serves) and text units.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kaz::unicode {

// Writes cp as UTF-16 units (native order) and answers how many: 1, 2 for a surrogate pair,
// 0 above 10FFFFh.
uint32_t utf16_encode_char(uint32_t cp, uint16_t* dst);

// What a scan of UTF-16LE input found, ahead of decoding it into units.
struct utf16_scan_result {
  size_t code_points;  // units needed after pairing surrogates and dropping CRs
  uint32_t max_cp;     // the largest code point met (0 when none)
};

/*
 * Scans `count` UTF-16LE units at src (2 x count bytes). A high surrogate followed by a low
 * one makes one code point; a surrogate without its partner is kept as a code point of its
 * own. With drop_cr every CR (000Dh) is dropped.
 */
utf16_scan_result utf16_scan(const uint8_t* src, size_t count, bool drop_cr);

// Decodes the same input into units of `unit` bytes at dst (room for code_points units from
// utf16_scan). Answers the units written.
size_t utf16_decode_units(const uint8_t* src, size_t count, uint8_t* dst, uint32_t unit,
                          bool drop_cr);

// Largest size_t: the answer of utf16_size_of_units for text that cannot be UTF-16.
constexpr size_t utf16_unencodable = static_cast<size_t>(-1);

// UTF-16 units needed for `count` text units (LF counted as CR LF with crlf), or
// utf16_unencodable when one holds a value above 10FFFFh.
size_t utf16_size_of_units(const uint8_t* units, size_t count, uint32_t unit, bool crlf);

// Encodes the text units into dst (room as utf16_size_of_units says) and answers the UTF-16
// units written, or utf16_unencodable (nothing useful written) for a value above 10FFFFh.
size_t utf16_encode_units(const uint8_t* units, size_t count, uint32_t unit, uint16_t* dst,
                          bool crlf);

}  // namespace kaz::unicode
