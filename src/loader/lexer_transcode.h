// Loading source text into values: the entry points of the lexer for `transcode`, `load`, `do`
// of text and the conversions from text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "datatypes/text_loader.h"
#include "runtime/cell.h"

namespace kaz::lexer {

/*
 * Scans UTF-8 text and writes the result into `out`:
 * - loading: a new block of the values, or the `into` block with the values appended;
 * - with `one`: the first complete value, or none! when the text holds none;
 * - prescan or scan: the datatype! of the first value recognised (with `scan` after checking
 *   it: 2147483648 is float!), the datatype error! for an invalid token, none! for no token.
 * Answers the number of bytes read; a mode that stops early leaves the rest. Syntax errors are
 * raised as language errors when loading. With a trace callback, `source` is the series the
 * callback sees, its first byte or character at `source_index`; without one a binary! copy of
 * the text is made for it. The text must not change while the scan runs (callbacks included).
 */
size_t scan_utf8(std::string_view text, const scan_options& options, cell* out,
                 const cell* source = nullptr, uint32_t source_index = 0);

/*
 * transcode: reads a string-family or binary! source from its head, at most `part` units
 * (characters or bytes; -1 for all). A binary! that starts with a UTF-8 byte-order mark is read
 * from after it. Answers the source index after what was read (for /next).
 */
uint32_t transcode(const cell* source, int32_t part, const scan_options& options, cell* out);

// Loads the whole text into a new block (syntax errors raised).
void load_text_block(std::string_view utf8, cell* out);

}  // namespace kaz::lexer

namespace kaz::lexer {

// Gives the datatypes the lexer's entry points (datatypes/text_loader.h); start-up calls it.
void install_text_loader();

}  // namespace kaz::lexer
