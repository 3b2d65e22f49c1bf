// The state of one KAZBIN decode and what both record readers share: symbols, paths, and
// the building of values that own series or contexts.
#pragma once

#include <cstdint>
#include <vector>

#include "core/context.h"
#include "loader/kazbin_cursor.h"
#include "loader/kazbin_format.h"
#include "memory/series.h"
#include "runtime/cell.h"

namespace kaz::kazbin {

/*
 * A decode appends the root records to `root` from `root_base` on (the root block's length
 * when the decode started); every path is resolved from there. The data is a private copy
 * (the caller's binary may move while values are allocated). In codec mode words name their
 * contexts by path or carry their owner inline; in boot mode by literal number, and set
 * records bind the runtime's words.
 */
struct decoder {
  cursor in;
  node_t root = 0;
  uint32_t root_base = 0;
  bool codec = true;
  bool compact = true;

  // The symbol table: `symbol_count` int32 offsets at `offsets_at`, names in [area_at, area_end),
  // positions in the data being decoded or, when `table` is set, in that shared table.
  const uint8_t* table = nullptr;
  uint32_t symbol_count = 0;
  uint32_t offsets_at = 0;
  uint32_t area_at = 0;
  uint32_t area_end = 0;
  std::vector<uint32_t> mapped;  // the symbol ids of the names read so far (0: not yet)
  std::vector<uint32_t> globals;  // their indexes in the global context, plus 1 (0: not yet)

  uint32_t depth = 0;
  std::vector<uint32_t> path;  // the path being read

  // The symbol id of table entry `index`; `at` is the position reported when it is invalid.
  uint32_t symbol_at(uint32_t index, uint32_t at) {
    if (index < mapped.size() && mapped[index]) return mapped[index];
    return map_symbol(index, at);
  }
  // The same for an entry met for the first time: checks and interns its name.
  uint32_t map_symbol(uint32_t index, uint32_t at);
  // Checks the table read from the header (names inside the area, zero-terminated UTF-8).
  void check_symbol_table(uint32_t at);
  // Maps every name of the table (the plain boot reader).
  void map_all_symbols();
  // Binds a word whose name is table entry `index` to the global context (adding it there).
  void bind_global_entry(cell* word, uint32_t index) {
    if (index < globals.size() && globals[index] && type_of(word) != type::refinement) {
      word->data1 = context::global;
      word->data3 = globals[index] - 1;
      return;
    }
    bind_new_global(word, index);
  }
  // The same for a name not bound before (or a refinement, which stays unbound).
  void bind_new_global(cell* word, uint32_t index);

  // The value at `path`, from the root block: a copy of the cell found there (a function's spec
  // and body are given as block! cells over them). `at` is the position reported on failure.
  cell resolve(uint32_t at) const;
  // Reads a path's count (1 to 65536, at most the bytes left) and indexes into `path`.
  void read_path();

  // Entering a nested value: too deep data is an invalid record.
  void enter() {
    if (++depth > 2 * max_depth) in.invalid();  // a level of the writer may take two records
  }
  void leave() { --depth; }
};

// Cells of a decode: appended at a block's tail, reached again by index after allocations.
uint32_t append_slot(node_t block);
inline cell* slot(node_t block, uint32_t index) { return memory::buffer_of(block)->cells_rw() + index; }
inline uint32_t block_length(node_t block) { return memory::buffer_of(block)->length(); }
void cut_block(node_t block, uint32_t length);

// Values that own series or contexts, built by both readers.
// A new empty context of n words in order (the symbols), values unset or on the stack; answers
// the node, or 0 when two names are spellings of one word.
node_t new_context(const uint32_t* symbols, uint32_t n, uint32_t kind, bool on_stack);
// An error! from its catalogue code; false when no entry has that code.
bool error_of_code(uint32_t code, cell* out);
// A function! over its decoded parts; the context must hold exactly the spec's words. False
// when the spec is no valid function spec or does not match the context.
bool make_function(cell* out, node_t ctx, node_t spec, const cell* body);
// A native! or action! of table entry `index` with the spec; false when there is no such entry.
bool make_native(cell* out, uint32_t type_id, uint32_t index, const cell* spec);
// An op! of a native!, action! or function!, made as `make op!` makes it (a function's op keeps
// the function to call); false when `make op!` would refuse it.
bool make_op(cell* out, const cell* wrapped);
// The context a value names for a word's binding (a word, object, function or op), or 0.
node_t context_of(const cell* v);
// Binds the word to the context at `index` (-1: look its symbol up); false when out of range.
bool bind_to(cell* word, node_t ctx, int32_t index);
// Binds an unbound word to the global context, adding its symbol there; a refinement stays
// unbound, as the lexer makes it.
void bind_global(cell* word);
// Whether the datatype id names a datatype registered in this runtime.
bool known_datatype(uint32_t id);

}  // namespace kaz::kazbin
