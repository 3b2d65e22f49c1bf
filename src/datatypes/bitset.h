// bitset!: a set of non-negative integers (above all, characters) as membership bits.
#pragma once

#include <cstdint>

#include "memory/series.h"
#include "runtime/cell.h"

namespace kaz::bitset_type {

/*
 * The cell: data2 the node of a byte series holding the bits; bit i lives in byte i >> 3 under
 * the mask 0x80 >> (i & 7). The series' complement flag says that every index beyond the
 * stored bytes is a member; the stored bits are always the membership bits of the indexes they
 * cover. So "every character but a few" is a small value.
 */
inline node_t node_of(const cell* b) { return b->data2; }
bool complemented(const cell* b);
uint32_t byte_count(const cell* b);

// Membership of one index (negative indexes are members exactly when the set is complemented).
bool member(const cell* b, int64_t index);

// A new empty bitset of `bytes` bytes filled with `fill`, the flag set when asked.
void make_empty(cell* out, uint32_t bytes, uint8_t fill, bool complement);

// The set natives' operations on the first two stack arguments, into the result slot:
// or~ and union, and~, intersect, xor~ and difference, exclude; unique answers its argument.
enum class set_op : uint8_t { or_, and_, intersect, xor_, exclude, unique };
void set_operation(set_op op);

void init();

}  // namespace kaz::bitset_type
