// The library's Kaz source files, built into the executable as KAZBIN images: the build lexes
// each file and encodes its values, so start-up decodes them instead of lexing text.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kaz {

// One file: its path under the source tree and the KAZBIN image of its values (one block).
struct boot_image {
  const char* path;
  const uint8_t* data;
  std::size_t length;
};

// Every file in path order, ended by an entry whose path is null.
extern const boot_image boot_images[];

// The symbol table the images share (their own headers hold none).
extern const uint8_t boot_symbol_table[];
extern const std::size_t boot_symbol_table_length;

}  // namespace kaz
