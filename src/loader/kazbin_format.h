// The KAZBIN serialisation format: the container, the compact and the plain record layouts.
#pragma once

#include <cstdint>

namespace kaz::kazbin {

/*
 * Container, in byte order:
 *   "KAZBIN" magic, a version byte (writers put 2; readers ignore it), a flags byte (bit 0
 *   compact layout, bit 1 compressed, bit 2 symbol table present), then the root count and the
 *   payload size (int32 in the plain layout, varints in the compact one), with the symbol flag
 *   the symbol count N, the string-area size S, N int32 offsets into the string area and the S
 *   bytes of names (UTF-8, each ended by a zero byte; the plain layout pads each name with zero
 *   bytes to a multiple of 8), then the payload of records. The root count is written as 1 and
 *   never read: records are read until the payload ends.
 * Compressed data (flag bit 1): everything after byte 7 is one stream of the runtime's LZ codec.
 * Our writers never compress.
 *
 * References: a value whose series or context was written earlier in the same encode is written
 * as the path of indexes from the root to its first occurrence. Blocks step to their cells,
 * maps to their key and value cells (live pairs only),
 * objects and words to their context's values, an error to its value at index + 3, a native or
 * action to its spec's cells, a function to its spec (0) or body (1), an op to its spec (0).
 *
 * Errors of the readers carry the 1-based position of the offending byte from the start of the
 * data. For compressed data the position counts in the unpacked stream, as if it followed the
 * 8 fixed bytes of the header.
 */
constexpr uint8_t magic[6] = {'K', 'A', 'Z', 'B', 'I', 'N'};
constexpr uint8_t version = 2;
constexpr uint32_t fixed_header = 8;

namespace flag {
constexpr uint8_t compact = 1;
constexpr uint8_t compressed = 2;
constexpr uint8_t symbols = 4;
}  // namespace flag

// Paths hold 1 to this many indexes.
constexpr uint32_t max_path = 65536;
// Values nest at most this deep, in both directions (the writer and the readers recurse).
constexpr uint32_t max_depth = 2000;

/*
 * Compact layout: records are prefixes (C0 new-line, C1 reference, C4 binding: a set record of
 * boot data), then a lead byte: a header byte 0x00-0x7F (bit 6 the variant flag, bits 0-5 the
 * datatype id, 63: the id follows as a varint), 0x80-0xBF a whole integer! 0-63, C2/C3 a whole
 * logic! true/false, FF a whole record copying the value at a path. Numbers are LEB128 varints
 * (zigzag for signed ones), int32 fields little-endian.
 */
namespace compact {
constexpr uint8_t new_line = 0xC0;
constexpr uint8_t reference = 0xC1;
constexpr uint8_t logic_true = 0xC2;
constexpr uint8_t logic_false = 0xC3;
constexpr uint8_t binding = 0xC4;
constexpr uint8_t copy_at_path = 0xFF;
constexpr uint8_t small_integer = 0x80;  // 0x80 + n for n in 0..63
constexpr uint8_t variant = 0x40;
constexpr uint8_t long_id = 0x3F;
}  // namespace compact

/*
 * Plain layout: every field is a 32-bit little-endian word. A record starts with a header word:
 * bits 0-7 the datatype id (0 a padding word, 255 a copy of the value at a path), bits 8-15 a
 * tuple's length or a string's, binary's or vector's unit size, bits 16-23 the type an op
 * wraps, bit 19 reference (the path follows the fixed fields), bit 22 money sign, bit 23 bitset
 * complement, bit 24 object with an on-change node, bit 25 word bound to the global context
 * (a set record in boot data), bit 31 new-line. Float, percent and time records start on
 * 8-byte boundaries counted from the payload's start: where the header word would sit 4 bytes
 * past a multiple of 8, the writer puts one zero padding word before it (the record's header
 * word is aligned, its two data words follow at +4 and +8); the reader skips padding words
 * wherever they are. A context record inside an object or function is type 14 with
 * bits 26-27 the kind, 28 self word, 29 values on the stack, 30 the values follow.
 */
namespace plain {
constexpr uint32_t copy_at_path = 255;
constexpr uint32_t reference = 1u << 19;
constexpr uint32_t money_negative = 1u << 22;
constexpr uint32_t bitset_complement = 1u << 23;
constexpr uint32_t on_change = 1u << 24;
constexpr uint32_t global_word = 1u << 25;
constexpr uint32_t new_line = 1u << 31;
constexpr uint32_t ctx_kind_shift = 26;
constexpr uint32_t ctx_self = 1u << 28;
constexpr uint32_t ctx_on_stack = 1u << 29;
constexpr uint32_t ctx_values = 1u << 30;
}  // namespace plain

}  // namespace kaz::kazbin
