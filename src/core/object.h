// object!: a context whose owner is the object value itself; error! and port! share its layout.
#pragma once

#include <cstdint>

#include "memory/series.h"
#include "runtime/cell.h"

namespace kaz::object {

/*
 * An object cell: data1 the context node (kind 2), data2 the class id (0 for objects the runtime
 * makes, -1 for the system words object, else a fresh id per new shape), data3 the on-set node
 * or 0. The object cell is also kept in its context's owner cell, so that `self` answers it.
 *
 * The on-set node holds two pair! cells, [0] for on-change*, [1] for on-deep-change*: data2 the
 * handler's index in the context (upper 16 bits; 0xFFFF: no handler) and its number of /local
 * words (lower 16 bits), data3 the spec node of the function last seen there.
 */
constexpr uint32_t no_handler = 0xFFFF;

inline bool is_any_object(uint32_t t) { return t == type::object || t == type::error || t == type::port; }

// The context node of an object!, error! or port! cell.
inline node_t context_of(const cell* o) { return o->data1; }
// Its class id, and its on-set node (0: none).
inline uint32_t class_of(const cell* o) { return o->data2; }
inline node_t hooks_of(const cell* o) { return o->data3; }

// ---------------------------------------------------------------------------------------------
// Making and copying.

// The cell becomes an object! with a new empty context of that capacity, class 0, no hooks.
void make_empty_at(cell* c, uint32_t capacity);
uint32_t next_class_id();

/*
 * A copy of an object (object!, error! or port!: the type and class id are kept) into `out`:
 * same words, values copied shallow, methods rebound to the copy. With deep, series values are
 * copied too; with a types typeset, only values of those types are (nested objects with them,
 * deep: a cycle raises no-cycle). With hooks, the copy gets on-set info of its own, else it
 * shares the source's.
 */
void copy_context(const cell* source, cell* out, bool deep, const cell* types, bool hooks);
// Adds or overwrites every field of `source` in `target` (case-insensitive), then copies the
// target's series values and rebinds its methods; true when the target grew.
bool extend_values(node_t target, node_t source);
// Copies the series values of `source` into the same slots of `target` (blocks deep and bound
// to the target); other values too when copy_all.
void copy_values_rebind(node_t source, node_t target, bool copy_all);
// Replaces a function! by a copy whose body is bound to the object, then to its own context.
void copy_function_value(cell* fn, node_t object_context);

// The object of the native `construct`: the set-words of the whole spec get the value after
// their run of set-words, unevaluated; standard logic words and none are evaluated unless only.
void construct(cell* out, const cell* spec, const cell* prototype, bool only);
void construct_words(node_t ctx, const cell* spec, bool only);

// ---------------------------------------------------------------------------------------------
// Fields.

int32_t word_index(const cell* object, const cell* word);  // -1 when absent
void select_word(const cell* object, const cell* word, cell* out);  // the value, or none
// The native `set` on an object: fields from a block's values in order, from an object's fields
// of the same names, or all set to one value (with only, or any other value).
void set_values(const cell* object, const cell* value, bool any, bool only, bool some);

// ---------------------------------------------------------------------------------------------
// Reactivity hooks.

// Builds the object's on-set info from its context (0 when it has neither handler) and stores
// the object as its context's owner.
void init_on_set(cell* object);
node_t make_on_set_from_context(node_t ctx);
node_t make_on_set_info(uint32_t change_index, uint32_t change_locals, node_t change_spec,
                        uint32_t deep_index, uint32_t deep_locals, node_t deep_spec);
bool has_on_deep_change(const cell* object);
// Makes the object the owner of the series in its fields (all of them, or those a block of
// words names), so that modifying them calls its on-deep-change*; and takes that back.
void own_fields(const cell* object, const cell* names);
void disown_fields(const cell* object);

// Calls on-change* with the word, old and new value (nothing when there is no handler).
void fire_on_change(const cell* object, const cell* word, const cell* old, const cell* now);
// Calls on-deep-change* with owner, word, target, action, new value (null: none), index, part.
void fire_on_deep_change(const cell* owner, const cell* word, const cell* target,
                         const cell* action, const cell* now, int32_t index, int32_t part);

// ---------------------------------------------------------------------------------------------
// Slots shared with error! and port!.

// make: from a prototype object (or none) and a spec block or object.
cell* make(cell* proto, cell* spec, uint32_t type);

// The fields as text: `word: value` in context order, handlers skipped unless all, separated by
// a space (flat) or by new lines indented `indent` levels. Answers the limit left.
int32_t serialize_body(const cell* object, cell* buffer, bool all, bool flat, cell* part,
                       int32_t limit, int32_t indent);
int32_t compare_objects(const cell* a, const cell* b, int32_t op);
const cell* eval_path(cell* parent, cell* element, cell* value, cell* path, cell* gparent,
                cell* p_item, int32_t index, bool case_, bool get, bool tail);
cell* reflect(cell* object, uint32_t field_symbol);
cell* copy(cell* value, cell* result, cell* part, bool deep, cell* types);
cell* select(cell* object, cell* key, cell* part, bool only, bool case_, bool same, bool any,
             cell* with, cell* skip, bool last, bool reverse);

void init();  // registers object!

}  // namespace kaz::object
