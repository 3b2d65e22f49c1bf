// Sorting fixed-width records in place: a stable natural merge sort and an unstable in-place
// sort. Both know nothing of values; they move records and ask a callback for the order.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kaz::sort {

/*
 * Order of two records: above 0 when x sorts after y, 0 when equal, below 0 when x sorts
 * before y. `op` and `flags` are passed through from the caller of the sort. The callback may
 * answer inconsistently (a user comparator can): the sorts then leave the records in some
 * order, never reading or writing outside the range. A callback that raises unwinds through
 * the sort, leaving every record in the range exactly once.
 */
using compare_fn = int (*)(const uint8_t* x, const uint8_t* y, int32_t op, uint32_t flags);

// Swaps two records of w bytes.
void swap_records(uint8_t* x, uint8_t* y, size_t w);

// Bytes of the merge sort's work area for n records of w bytes: half the records. Raises
// script too-long when that does not fit in 31 bits.
size_t merge_sort_work_bytes(size_t n, size_t w);

/*
 * Stable natural merge sort (runs merged in Powersort order). `work` has merge_sort_work_bytes
 * of room. Records that hold cells must get a work area the collector sees (a cell series),
 * since a callback that runs code may collect while some records sit only in the work area.
 */
void merge_sort(uint8_t* base, size_t n, size_t w, int32_t op, uint32_t flags, compare_fn cb,
                uint8_t* work);

// The same with a work area of its own, for records that hold no collector references (text
// units, plain numbers). A failed allocation raises internal no-memory.
void merge_sort(uint8_t* base, size_t n, size_t w, int32_t op, uint32_t flags, compare_fn cb);

// In-place, unstable sort: presorted and reversed input in linear time, otherwise a three-way
// quicksort (heapsort past a depth limit). Allocates nothing.
void in_place(uint8_t* base, size_t n, size_t w, int32_t op, uint32_t flags, compare_fn cb);

}  // namespace kaz::sort
