// KAZBIN, the binary serialisation of values: the decoder's entries (codec and boot data) and
// the two writers.
#pragma once

#include <cstdint>

#include "memory/series.h"
#include "runtime/cell.h"

namespace kaz::kazbin {

// Set by both writers and by the codec's decode, cleared by the boot decode: words name their
// contexts by path (codec) or by literal number (boot), and set records are boot data's only.
extern bool codec_q;

/*
 * Decodes `length` bytes of KAZBIN data, appending the root records to the block `root`.
 * In codec mode bad data raises invalid-data (with `source`, the value the data came from) or
 * kb-invalid-record; in boot mode a wrong magic or corrupt compressed data ends the process.
 */
void decode(const uint8_t* data, uint32_t length, node_t root, bool codec, const cell* source);

// The start-up entry: decodes boot data into the root block with the collector off. Unless
// `keep_base`, the cells it appends become the boot block's literals.
void decode_boot(const uint8_t* data, uint32_t length, node_t root, bool keep_base);
// Literal n of the boot data (null when there is none).
cell* literal_cell(uint32_t n);

// A new binary! holding the value in the plain (`encode`) or compact (`encode_cp`) layout.
void encode(const cell* value, cell* out);
void encode_cp(const cell* value, cell* out);

// The codec's entries: a binary! (or a file! read as binary) decoded into its one value or a
// block of its values; the value encoded in the compact or the plain layout.
void codec_decode(const cell* payload, cell* out);
void codec_encode(const cell* value, bool compact, cell* out);

}  // namespace kaz::kazbin
