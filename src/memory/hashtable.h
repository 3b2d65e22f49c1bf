// The hashtable: the one keyed index of the runtime, for hash! and map! blocks, symbols and
// contexts, and tables keyed by node ids (pointer tables and the ownership table).
#pragma once

#include <cstdint>

#include "memory/series.h"
#include "runtime/cell.h"

namespace kaz::hashtable {

/*
 * A table is a 44-byte record series (flagged series_flag::record, so the collector asks this
 * module what it holds) whose node is the table's handle. Its buffers are series too: bucket
 * flags (2 bits a bucket), keys (one word a bucket) and the data block. Buckets hold positions
 * or offsets, never cells, and probing is triangular (home, +1, +2, +3 ...), which visits every
 * bucket of a power-of-two table once.
 *
 * Kinds:
 *   0 hash!     the values of a block; equal? values share a bucket through a chain of positions
 *   1 map!      the keys of a key/value block (positions of keys; values follow their key)
 *   2 symbols   the words of a context block (word! cells) or the symbol block (symbol! cells)
 *   3 pointers  node id -> a group of `extra` cells, in a cell series of the table's own
 *   4 owners    the ownership table: node id -> {owned value, owner, field word}
 *
 * Positions count cells from the start of the data block's used part (its offset).
 * Seed-independence: where several entries could answer a lookup (case variants of a key under
 * a case-insensitive comparison), the one at the lowest position, inserted first, answers.
 */
enum kind : uint32_t { hash_block = 0, map_block = 1, symbols = 2, pointers = 3, owners = 4 };

// ---------------------------------------------------------------------------------------------
// Hooks into the value model, installed at start-up by the datatypes. Until then values compare
// by type and payload (text by its characters) and every symbol is its own canonical spelling.

// Whether two values are equal under a comparison operation (0 equal?, 2 strict-equal?, ...).
using equal_fn = bool (*)(const cell* a, const cell* b, int32_t op);
// The canonical id of a symbol (its first spelling ignoring ASCII case).
using resolve_fn = uint32_t (*)(uint32_t symbol);
// Rewrites a key as a map! stores it (words become set-words, and so on).
using normalize_fn = void (*)(cell* key);
void set_equality(equal_fn f);
void set_symbol_resolver(resolve_fn f);
void set_map_key_normalizer(normalize_fn f);

// The built-in equality used until the value model installs its own: same type and payload;
// text of the string family by its characters (case folded unless op is 2 or 8).
bool basic_equal(const cell* a, const cell* b, int32_t op);

// ---------------------------------------------------------------------------------------------
// Hashing (seeded per process, see murmur3.h; hashes are never stored).

// Hash of a value; equal? values hash alike (case variants of text and of words included,
// -0.0 like 0.0). With case_sensitive, text hashes by its exact characters.
uint32_t hash_value(const cell* v, bool case_sensitive);
// Hash of the text of a string-family value from its head: one block per code point, so the
// unit width does not matter.
uint32_t hash_string(const cell* v, bool case_sensitive);
// Hash of a name after ASCII folding (symbols and context keys).
uint32_t hash_name(const uint8_t* name, uint32_t len);

// The next power of two at or above n (0 for 0).
uint32_t round_up_pow2(uint32_t n);

// ---------------------------------------------------------------------------------------------
// Tables.

/*
 * A table for `size` entries. Kinds 0-2 index the block node `block` (0: a new empty cell
 * series of the table's own); kind 0 indexes it from its start, kind 1 its keys (with
 * duplicate keys merged, see index_values). Kinds 3 and 4 keep `extra` value cells per entry.
 */
node_t create(uint32_t size, node_t block, uint32_t kind, uint32_t extra = 0);

uint32_t kind_of(node_t table);
uint32_t live_count(node_t table);
uint32_t bucket_count(node_t table);

namespace detail {
constexpr uint32_t data_field = 5;  // the record's word that holds the data block's node
}
// Inline: every look-up of a symbol or of a context's word reads it.
inline node_t data_block(node_t table) {
  return reinterpret_cast<const uint32_t*>(memory::buffer_of(table)->head())[detail::data_field];
}

// Forgets every entry; the data block is emptied too.
void clear(node_t table);

// ---------------------------------------------------------------------------------------------
// hash! and map! (kinds 0 and 1).

/*
 * Indexes the cell at `position` of the data block (map!: a key). Answers the position that
 * now stands for it: for a map!, the position of an existing strict-equal key when there is
 * one (the earlier key stays), else `position`. When the insertion made a hash! table grow,
 * the table was rebuilt from the whole block and *rebuilt is set: the caller stops indexing.
 */
uint32_t put_value(node_t table, uint32_t position, bool* rebuilt = nullptr);

/*
 * Indexes the data block from `start` on, every value (step 1, hash!) or every key (step 2,
 * map!). A map! key equal (strict-equal?) to one already indexed gives its value to the earlier
 * pair and is removed from the block, which closes up; new keys are normalised.
 */
void index_values(node_t table, uint32_t start, uint32_t step);

/*
 * The position of a value (hash!) or key (map!) equal to `key` under `op`, or -1.
 * hash!: of the matching positions p, with skip k and start s: the lowest p >= s with
 * (p - s) a multiple of k; with `last`, the highest such p; with `reverse`, the highest p < s
 * with (s - p - 1) a multiple of k. map!: the lowest matching key position of the same type
 * (any-word keys are looked up as set-words).
 */
int32_t find(node_t table, const cell* key, int32_t start = 0, int32_t skip = 1,
             int32_t op = 0, bool last = false, bool reverse = false);

// Removes the entry of the value (hash!) or key (map!) at `position`. A map! keeps the key's
// bucket; the caller marks the pair removed (its value's header 0).
void remove_value(node_t table, uint32_t position);

// Indexes a hash! block again from scratch: after values were inserted, removed or moved
// anywhere but at the tail, every stored position may be stale.
void rebuild(node_t table);

/*
 * Keeps a hash! table in step once its block was changed in place: the `removed` values that
 * stood at `position` were replaced by `inserted` others (an insertion, a removal, or an
 * overwrite when the counts are equal), and the values behind them moved along. Only the new
 * values are hashed; the others are renumbered, which costs what moving them in the block cost.
 * A change of more than bulk_limit values at once indexes the whole block again instead.
 */
constexpr uint32_t bulk_limit = 30000;
void splice_values(node_t table, uint32_t position, uint32_t removed, uint32_t inserted);

/*
 * Keeps a hash! table in step once the values of [first, last) of its block were rotated so
 * that the value at `middle` came first (as std::rotate does): stored positions follow their
 * values, nothing is hashed again.
 */
void rotate_values(node_t table, uint32_t first, uint32_t middle, uint32_t last);
// The same once the values at positions a and b were exchanged.
void swap_values(node_t table, uint32_t a, uint32_t b);

// A new table of the same kind (0 to 2) over `block`, a copy of the table's data block.
node_t copy(node_t table, node_t block);

// ---------------------------------------------------------------------------------------------
// Pointer tables (kinds 3 and 4): a node id to `extra` value cells.

// The first value cell of the key's entry, made (cells unset!) when absent. Valid until the
// next allocation.
cell* put_pointer(node_t table, node_t key);
// The first value cell of the key's entry, or null.
cell* get_pointer(node_t table, node_t key);
// Removes the key's entry; answers whether there was one.
bool remove_pointer(node_t table, node_t key);
// Calls f for every live entry with its key and first value cell (f must not allocate).
void each_pointer(node_t table, void (*f)(node_t key, cell* values, void* ctx), void* ctx);

// ---------------------------------------------------------------------------------------------
// Symbols and contexts (kind 2).

/*
 * The 1-based id of the symbol spelled `name` (UTF-8, `len` bytes) in the symbol table,
 * made when absent. A spelling found exactly answers its id. With any_case, a spelling equal
 * ignoring ASCII case answers too. Otherwise a new spelling that differs from an existing one
 * only in case becomes a new symbol whose alias is the canonical (first) spelling's id.
 * A symbol! cell of the symbol block holds: data1 the alias (-1 for a canonical spelling),
 * data2 0, data3 the node of a byte series with the name and a NUL (the tail before the NUL).
 */
uint32_t find_symbol(node_t table, const uint8_t* name, uint32_t len, bool any_case);

/*
 * The index of `symbol` among the words of a context's word block (-1 when absent). With
 * alias, spellings equal ignoring case match (the first added answers). With add_to (a context
 * node), an absent symbol is appended as a word! bound to that context, *added_index receives
 * its index and -1 is answered.
 */
int32_t find_in_context(node_t table, uint32_t symbol, bool alias, node_t add_to = 0,
                        int32_t* added_index = nullptr);

// ---------------------------------------------------------------------------------------------
// The collector.

// Installs the record marker with the collector (once, at start-up or first use).
void register_with_collector();
// Drops the entries of a pointer or owner table whose key series, or (kind 4) whose owner's
// context, was not marked in the running collection, and brings the survivors' node ids up to
// date; for a sweep callback.
void sweep_dead_keys(node_t table);

}  // namespace kaz::hashtable
