// map!: key/value pairs in insertion order, indexed by a hashtable of kind 1.
#pragma once

#include <cstdint>

#include "memory/series.h"
#include "runtime/cell.h"

namespace kaz::map {

/*
 * A map! cell: data1 0, data2 the node of the entry series (a cell series of key, value pairs in
 * the order the keys were first put), data3 the node of the kind-1 hashtable over it.
 * A removed pair stays in place with its value cell's header 0; its key stays indexed, and
 * putting the key again revives the pair where it was. Keys are stored normalised: any word as
 * a set-word!, text and binary! keys as private copies.
 */
inline node_t entries_of(const cell* m) { return m->data2; }
inline node_t table_of(const cell* m) { return m->data3; }

// Live pairs.
uint32_t entry_count(const cell* m);
// Whether values of the datatype may be keys (the 24 key datatypes).
bool key_type_q(uint32_t type_id);
// Brings a key into its stored form in place; another datatype raises invalid-path with the
// path (or, without one, the key itself) and the key's datatype.
void normalize_key(cell* key, const cell* path);

// Makes the cell a map! over the block (its pairs indexed, later duplicates merged into the
// first), or over a new empty block of `size` cells when block is null.
cell* init_cell(cell* c, const cell* block, uint32_t size);

// extend of a map: puts the key/value pairs of a block; an odd count raises invalid-arg.
cell* put_pairs(cell* m, const cell* block, bool case_);

// One step of foreach over a map: sets the `count` words of the block `words` from the pairs at
// the series cell's position on (removed pairs skipped), moving that position on. Words left
// over at the end are set to none. Answers whether any word was set.
bool foreach_next(cell* words, cell* series, uint32_t count);

void init();

}  // namespace kaz::map
