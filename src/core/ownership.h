// Ownership: which reactive object owns which series, through which field, so that a change
// deep inside a series reaches the owner's on-deep-change* handler.
#pragma once

#include <cstdint>

#include "memory/series.h"
#include "runtime/cell.h"

namespace kaz::ownership {

/*
 * One table (a hashtable of kind 4) maps the node of each owned series (for an object!, its
 * context) to three cells: the owned value as it was when ownership was given, the owner
 * object! (its data3 the on-set node, 0 when it has no handlers) and the owner's field word.
 * An owned series also carries series_flag::owned in its buffer (an image! 0x10000 in its cell
 * header); an owner's context carries context_flag::owned in its header cell.
 * Entries are weak: one whose series or owner the collector found unreachable is dropped.
 */
constexpr uint32_t image_owned = 0x10000;

// Makes the table and registers it with the collector; later calls do nothing.
void init();
node_t table();

// Gives ownership of a value (deeply, see set_owner_deep) and flags the owner as one.
void set_owner(cell* value, const cell* owner, const cell* word);
// Series not yet owned get an entry {value, owner, word}; blocks and paths are walked (each
// series once, cycles stop), objects field by field with each field's word, stopping at an
// object that owns series itself.
void set_owner_deep(cell* value, const cell* owner, const cell* word);
// Takes ownership away from a value and, for blocks and paths that were owned, from what they
// hold; an object's fields are unbound unless the object is an owner itself.
void unbind(cell* value);
// Unbinds `count` cells of a block from `index`.
void clear_owner_range(cell* block, uint32_t index, uint32_t count);

// The owner cell of the entry for a node, or null. Valid until the next allocation.
cell* find_owner(node_t node);

// The owner's handler: called with the owner, its field word, the changed value, the action
// word, the new value (or null), the index and the part. Installed by the object code.
using deep_change_fn = void (*)(cell* owner, cell* word, cell* target, cell* action,
                                cell* new_value, int32_t index, int32_t part);
void set_deep_change_handler(deep_change_fn f);

// Before and after a modifying action on a value: when it is owned by an object that has
// handlers, calls the handler (the action word names the action, e.g. append before the change
// and appended after it) and answers true; otherwise answers false and calls nothing.
bool check(cell* value, cell* action, cell* new_value, int32_t index, int32_t part);

}  // namespace kaz::ownership
