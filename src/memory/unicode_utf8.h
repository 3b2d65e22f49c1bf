// UTF-8: decoding (a fast table-driven decoder and a checked one for loading text), encoding,
// and conversion between UTF-8 and text units. Pure functions over byte ranges.
#pragma once

#include <cstddef>
#include <cstdint>

#include "runtime/utf8_encode.h"

namespace kaz::unicode {

// ---------------------------------------------------------------------------------------------
// Table-driven decoding: the lexer, counting, terminal input.

// Decodes the sequence at p (p < end). cp receives the code point, or -1 when the bytes are not
// well-formed UTF-8 (overlong forms, surrogates, above 10FFFFh, a sequence cut short). Answers
// the position after the sequence, always past p; a rejected sequence stops before the byte
// that broke it, so a terminating NUL or the next ASCII character is never swallowed.
const uint8_t* fast_decode_utf8_char(const uint8_t* p, const uint8_t* end, int32_t& cp);

// Number of sequences in [start, end); a rejected sequence counts as one.
size_t utf8_count_code_points(const uint8_t* start, const uint8_t* end);

// The position after n sequences from start, or end when there are fewer.
const uint8_t* utf8_skip_code_points(const uint8_t* start, const uint8_t* end, size_t n);

// Length a lead byte announces: 4 for F0h and up, 3 for E0h-EFh, 2 for C0h-DFh, 0 otherwise.
uint32_t utf8_sequence_length(uint8_t lead);

// ---------------------------------------------------------------------------------------------
// Checked decoding, for loading text.

constexpr int32_t utf8_incomplete = -1;  // the bytes available end inside a sequence
constexpr int32_t utf8_malformed = -2;   // the bytes can never start a valid sequence

/*
 * Decodes one sequence from `avail` bytes at p. Answers the code point and sets `used`, or
 * utf8_incomplete (a valid prefix of a sequence that needs more bytes; used = 0), or
 * utf8_malformed (used = 0). Malformed: a stray continuation byte, F8h-FFh, overlong forms,
 * DC00h-DCFFh, FFFEh, anything above 10FFFFh. Other surrogates load as code points.
 */
int32_t utf8_decode_char(const uint8_t* p, size_t avail, size_t& used);

// What a scan of UTF-8 input found, ahead of decoding it into units.
struct utf8_scan_result {
  size_t start;         // bytes skipped at the front (a byte-order mark)
  size_t end;           // the complete sequences are [start, end)
  size_t code_points;   // units needed for them, after CR LF folding
  uint32_t max_cp;      // the largest code point met (0 when none); where all are ASCII,
                        // a value under 0x80 no smaller
  bool malformed;       // decoding stopped at a malformed sequence at `end`
};

/*
 * Scans `len` bytes of UTF-8. With fold_crlf, CR LF counts as one LF and a lone CR as LF.
 * With more_follows, the input is one piece of a longer text: an incomplete sequence at the
 * end, or a CR that may be followed by LF in the next piece, stays outside [start, end) for the
 * caller to carry over. With skip_bom, a leading byte-order mark is skipped.
 */
utf8_scan_result utf8_scan(const uint8_t* src, size_t len, bool fold_crlf, bool more_follows,
                           bool skip_bom);

// Decodes the bytes of a scanned range (scan.start..scan.end of the same input, same folding)
// into units of `unit` bytes at dst, which has room for scan.code_points units. Answers the
// units written.
size_t utf8_decode_units(const uint8_t* src, size_t len, uint8_t* dst, uint32_t unit,
                         bool fold_crlf);

// ---------------------------------------------------------------------------------------------
// Encoding.

// utf8_encoded_length and utf8_append_encoded: runtime/utf8_encode.h.

// Writes cp at dst when its whole sequence fits in `room` bytes and answers its length;
// answers 0 and writes nothing otherwise, so bounded output never ends inside a sequence.
// Above 10FFFFh raises invalid-char.
uint32_t utf8_put_char_bounded(uint32_t cp, uint8_t* dst, size_t room);

// UTF-8 bytes of `count` units, LF counted as CR LF with `crlf`. Above 10FFFFh raises
// invalid-char.
size_t utf8_size_of_units(const uint8_t* units, size_t count, uint32_t unit, bool crlf);

/*
 * Encodes up to `count` units into at most `room` bytes at dst (each LF as CR LF with `crlf`).
 * Stops before a character whose sequence would not fit whole. Answers the bytes written;
 * `units_done`, when given, receives the units encoded. Above 10FFFFh raises invalid-char.
 */
size_t utf8_encode_units(const uint8_t* units, size_t count, uint32_t unit, uint8_t* dst,
                         size_t room, bool crlf, size_t* units_done = nullptr);

// Raises script invalid-char with cp as its argument.
[[noreturn]] void raise_invalid_char(uint32_t cp);

}  // namespace kaz::unicode
