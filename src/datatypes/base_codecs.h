// The base-2, base-16, base-58 and base-64 codecs of binary!: pure functions over byte ranges,
// used by enbase and debase.
#pragma once

#include <cstdint>

namespace kaz::binary {

// Bytes an encoder may write for n source bytes (base 2, 16, 58 or 64); the caller gives at
// least that much room.
uint64_t encoded_room(uint32_t base, uint32_t n);

// Encoders: write the text of n bytes at `out` and answer the end of what they wrote.
// Base 2: eight "0"/"1" a byte, most significant bit first. Base 16: two upper-case digits a
// byte. Base 58: the Bitcoin alphabet, one "1" per leading zero byte. Base 64: RFC 4648 with
// "=" padding.
uint8_t* encode_base2(uint8_t* out, const uint8_t* src, uint32_t n);
uint8_t* encode_base16(uint8_t* out, const uint8_t* src, uint32_t n);
uint8_t* encode_base58(uint8_t* out, const uint8_t* src, uint32_t n);
uint8_t* encode_base64(uint8_t* out, const uint8_t* src, uint32_t n);
uint8_t* encode(uint32_t base, uint8_t* out, const uint8_t* src, uint32_t n);

/*
 * Decoders read `count` characters of `unit` bytes each (1, 2 or 4: the units of a string
 * buffer) and write the bytes at `out`, which has room for decoded_room(base, count) bytes.
 * They answer the number of bytes written, or -1 when the text is not valid in that base.
 * In every base a ";" starts a comment that runs to the next line feed, and a character above
 * 127 outside a comment makes the text invalid.
 */
uint32_t decoded_room(uint32_t base, uint32_t count);
int64_t decode_base2(const uint8_t* text, uint32_t count, uint32_t unit, uint8_t* out);
int64_t decode_base16(const uint8_t* text, uint32_t count, uint32_t unit, uint8_t* out);
int64_t decode_base58(const uint8_t* text, uint32_t count, uint32_t unit, uint8_t* out);
int64_t decode_base64(const uint8_t* text, uint32_t count, uint32_t unit, uint8_t* out);
int64_t decode(uint32_t base, const uint8_t* text, uint32_t count, uint32_t unit, uint8_t* out);

// The value of a hexadecimal digit (either case), or 255.
uint8_t hex_digit_value(uint32_t c);

}  // namespace kaz::binary
