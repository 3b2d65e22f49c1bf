// KAZBIN, the binary serialisation of values: the decoder's entries (codec and boot data) and
// the two writers.
#pragma once

#include <cstdint>
#include <vector>

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

/*
 * The library's boot images share one symbol table, so that a name used by many files is
 * checked, interned and looked up in the global context once: an image written with
 * encode_boot has no table of its own, and its names are indexes into the table that
 * boot_symbol_table gives once every image is written (varint count and size, int32 offsets,
 * the names, as in a header). A boot_table keeps what decoding learnt about its names (their
 * symbols and global slots) from one image to the next.
 */
struct boot_table {
  const uint8_t* data = nullptr;
  uint32_t length = 0;
  std::vector<uint32_t> mapped;   // symbol ids by entry (0: not yet)
  std::vector<uint32_t> globals;  // global slots by entry, plus 1 (0: not yet)
};

// The start-up entry: decodes boot data into the root block with the collector off. Unless
// `keep_base`, the cells it appends become the boot block's literals. The data is read in
// place: it must not move while it is decoded. An image without a symbol table of its own
// takes `shared`'s.
void decode_boot(const uint8_t* data, uint32_t length, node_t root, bool keep_base,
                 boot_table* shared = nullptr);
// Literal n of the boot data (null when there is none).
const cell* literal_cell(uint32_t n);

// A new binary! holding the value in the plain (`encode`) or compact (`encode_cp`) layout.
void encode(const cell* value, cell* out);
void encode_cp(const cell* value, cell* out);

// The build's side of boot images: one value in the compact layout, its names numbered in the
// one table that all calls share; then that table.
std::vector<uint8_t> encode_boot(const cell* value);
std::vector<uint8_t> boot_symbol_table();

// The codec's entries: a binary! (or a file! read as binary) decoded into its one value or a
// block of its values; the value encoded in the compact or the plain layout.
void codec_decode(const cell* payload, cell* out);
void codec_encode(const cell* value, bool compact, cell* out);

}  // namespace kaz::kazbin
