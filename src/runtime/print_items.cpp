#include "runtime/print_items.h"

#include <cstdio>

#include "runtime/console_out.h"
#include "runtime/output_hooks.h"

namespace kaz::sysrt {

namespace {

void print_one(const print_item& it) {
  switch (it.tag) {
    case item_tag::logic:
      print_c_string(it.word ? "true" : "false");
      break;
    case item_tag::integer:
      print_integer(it.integer);
      break;
    case item_tag::byte:
      print_char(static_cast<uint8_t>(it.word));
      break;
    case item_tag::float32:
      print_float32(it.f32);
      break;
    case item_tag::float64:
      print_float64(it.f64);
      break;
    case item_tag::text:
      print_c_string(it.text ? it.text : "");
      break;
    case item_tag::size:
      print_count(it.count);
      break;
    default:
      print_hex8(it.word);
      break;
  }
}

}  // namespace

void print_items(print_list items) {
  terminal_before_print();
  for (const print_item& it : items) print_one(it);
  std::fflush(nullptr);
  terminal_after_print();
}

void prin_list(print_list items) { print_items(items); }

void print_line(print_list items) {
  terminal_before_print();
  for (const print_item& it : items) print_one(it);
  print_c_string("\n");
  std::fflush(nullptr);
  terminal_after_print();
}

void print_char(uint8_t c) {
  char s[2] = {static_cast<char>(c), 0};
  print_bytes(s, 1);
}

}  // namespace kaz::sysrt
