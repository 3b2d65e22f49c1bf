// Print primitives: the runtime's own messages (runtime error reports, start-up failures,
// diagnostics) are printed to standard output from lists of typed items.
#pragma once

#include <cstdint>
#include <initializer_list>

namespace kaz::sysrt {

// How an item prints.
enum class item_tag : uint32_t {
  logic = 1,    // "true" or "false"
  integer = 2,  // signed decimal
  byte = 3,     // the byte itself
  float32 = 4,  // 7 significant digits
  float64 = 5,  // 16 significant digits
  text = 6,     // a NUL-terminated byte string, as it is
  hex = 7,      // eight upper-case hexadecimal digits
  size = 0x100, // an unsigned 64-bit count in decimal (sizes of this 64-bit runtime)
};

struct print_item {
  item_tag tag;
  union {
    uint32_t word;
    int32_t integer;
    float f32;
    double f64;
    uint64_t count;
    const char* text;
  };
};

// Item constructors: print_line({item::text("size: "), item::integer(n)}).
namespace item {
inline print_item logic(bool b) { return {.tag = item_tag::logic, .word = b ? 1u : 0u}; }
inline print_item integer(int32_t i) { return {.tag = item_tag::integer, .integer = i}; }
inline print_item byte(uint8_t c) { return {.tag = item_tag::byte, .word = c}; }
inline print_item float32(float f) { return {.tag = item_tag::float32, .f32 = f}; }
inline print_item float64(double d) { return {.tag = item_tag::float64, .f64 = d}; }
inline print_item text(const char* s) { return {.tag = item_tag::text, .text = s}; }
inline print_item hex(uint32_t w) { return {.tag = item_tag::hex, .word = w}; }
inline print_item size(uint64_t n) { return {.tag = item_tag::size, .count = n}; }
}  // namespace item

using print_list = std::initializer_list<print_item>;

// Prints the items in order, with no separators and no line end.
void print_items(print_list items);
void prin_list(print_list items);

// Prints the items, then a line feed.
void print_line(print_list items);

// Prints one byte.
void print_char(uint8_t c);

}  // namespace kaz::sysrt
