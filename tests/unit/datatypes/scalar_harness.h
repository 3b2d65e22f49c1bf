// A booted runtime for the scalar datatype tests that reach past the language: code loaded by
// the lexer runs with the library, beside values made in C++.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <initializer_list>
#include <string>
#include <string_view>

#include "core/actions.h"
#include "core/context.h"
#include "core/error.h"
#include "core/registry.h"
#include "core/stack.h"
#include "core/string_storage.h"
#include "core/symbol.h"
#include "datatypes/date.h"
#include "datatypes/money.h"
#include "datatypes/time.h"
#include "datatypes/tuple.h"
#include "eval/interpreter.h"
#include "library/library.h"
#include "loader/lexer_transcode.h"
#include "memory/collector.h"
#include "runtime/native_stack.h"
#include "start/boot.h"

namespace kaz::scalar_test {

inline cell* read_block(std::string_view text) {
  cell b;
  lexer::load_text_block(text, &b);
  return stack::push(&b);
}

inline std::string molded(const cell* v, bool all = false) {
  cell buffer;
  string::make_at(&buffer, 16);
  cell* held = stack::push(&buffer);
  cell value = *v;
  actions::mold(&value, held, false, all, false, nullptr, 0x7FFFFFFF, 0);
  std::string s = string::to_utf8(held);
  stack::top--;
  return s;
}

// Evaluates code; the result, or "!! category id" for an error.
inline std::string evaluate(std::string_view text, cell* result) {
  stack::saved_state saved = stack::save();
  try {
    cell* code = read_block(text);
    context::bind_block(context::global, code, false);
    flow f = interp::do_block(code, result);
    stack::unwind_to(saved);
    return f == flow::normal ? "" : "flow";
  } catch (const language_error&) {
    std::string out =
        "!! " + error::type_name(&error::in_flight) + " " + error::id_name(&error::in_flight);
    stack::unwind_to(saved);
    return out;
  }
}

// A value molded, or the error molding raised.
inline std::string run_mold(const cell* result) {
  stack::saved_state saved = stack::save();
  try {
    std::string s = molded(result);
    stack::unwind_to(saved);
    return s;
  } catch (const language_error&) {
    stack::unwind_to(saved);
    return "!! " + error::type_name(&error::in_flight) + " " + error::id_name(&error::in_flight);
  }
}

// The molded result, or the error.
inline std::string run(std::string_view text) {
  cell result;
  std::string e = evaluate(text, &result);
  return e.empty() ? run_mold(&result) : e;
}

// Values made in C++.
inline cell integer_value(int32_t v) { return cell{type::integer, 0, static_cast<uint32_t>(v), 0}; }
inline cell date_value(int32_t y, int32_t m, int32_t d) {
  cell c{};
  return *date_type::init_cell(&c, y, m, d, false, 0, false, 0, 0);
}
inline cell date_value(int32_t y, int32_t m, int32_t d, double local, int32_t zone_minutes = 0) {
  cell c{};
  uint32_t z = static_cast<uint32_t>(std::abs(zone_minutes));
  return *date_type::init_cell(&c, y, m, d, true, local, zone_minutes < 0, z / 60, z % 60);
}
inline cell tuple_value(std::initializer_list<int> bytes) {
  uint8_t b[12] = {};
  uint32_t n = 0;
  for (int x : bytes) b[n++] = static_cast<uint8_t>(x);
  cell c{};
  return *tuple_type::init_cell(&c, b, n);
}
// "-USD$1234.5": sign, currency, "$", digits with an optional fraction.
inline cell money_value(std::string_view text) {
  bool negative = !text.empty() && text[0] == '-';
  if (negative) text.remove_prefix(1);
  size_t dollar = text.find('$');
  std::string_view code = text.substr(0, dollar);
  std::string_view digits = text.substr(dollar + 1);
  size_t point = digits.find('.');
  std::string_view whole = digits.substr(0, point);
  std::string_view fraction = point == std::string_view::npos ? "" : digits.substr(point + 1);
  cell c{};
  EXPECT_TRUE(money_type::init_cell_from_digits(&c, negative, code, whole, fraction)) << text;
  return c;
}

// Boots the runtime once per process (another suite may have booted it already).
class Scalars : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (context::global) return;
    sysrt::enter_runtime_thread(__builtin_frame_address(0));
    boot::init_runtime();
    library::run_top_level();
    collector::set_active(true);
  }
};

}  // namespace kaz::scalar_test
