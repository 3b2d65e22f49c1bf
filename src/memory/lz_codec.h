// The runtime's own LZ77 codec with a bit-level format (packed KAZBIN payloads).
#pragma once

#include <cstdint>

namespace kaz::compress {

/*
 * Packed data: a 32-bit record-area length, the 32-bit unpacked size, then records. A record
 * is its 32-bit unpacked length L (1 to 1 MB) and a bit stream, least significant bit first,
 * ending at a byte boundary: items until L bytes are produced, a literal (0, 8 bits) or a
 * match (1, a length code for 3..566, a distance code for 1..262144) copying byte by byte.
 * Multi-byte fields are little-endian; records never refer back into earlier records.
 */
constexpr uint32_t max_record = 1048576;
constexpr uint32_t max_match = 566;
constexpr uint32_t max_distance = 262144;

// Unpacks `length` bytes of packed data into a new buffer (release it with free_buffer) and
// stores the count of bytes produced through `size` when it is not null. Answers nullptr for
// malformed data: a read past the input, a record length outside 1..1 MB, output beyond the
// announced size, a match reaching outside its record, or an announced size larger than the
// records could expand to.
uint8_t* unpack(const uint8_t* packed, uint64_t length, uint32_t* size);
void free_buffer(uint8_t* buffer);

// Packs n bytes into `destination` (n bytes of room). Answers the packed size (header
// included), or -1 when n is 127 or less or the packed data would not fit in n bytes.
int64_t pack(const uint8_t* source, uint32_t n, uint8_t* destination);

}  // namespace kaz::compress
