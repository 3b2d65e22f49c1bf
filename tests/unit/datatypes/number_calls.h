// Calls actions and natives on number cells built in C++ and answers the molded result, or
// "!! category id" for an error: the number datatypes tested below the language.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>
#include <string>
#include <vector>

#include "core/actions.h"
#include "core/block_storage.h"
#include "core/context.h"
#include "core/error.h"
#include "core/function.h"
#include "core/registry.h"
#include "core/stack.h"
#include "core/string_storage.h"
#include "core/symbol.h"
#include "datatypes/float.h"
#include "datatypes/point.h"
#include "eval/natives.h"
#include "runtime/native_stack.h"
#include "start/boot.h"

namespace kaz::testing {

inline cell I(int32_t v) { return cell{type::integer, 0, static_cast<uint32_t>(v), 0}; }
inline cell C(uint32_t cp) { return cell{type::char_, 0, cp, 0}; }
inline cell F(double d, uint32_t t = type::float_) {
  cell c{t, 0, 0, 0};
  put_double(&c, d);
  return c;
}
inline cell Pc(double fraction) { return F(fraction, type::percent); }
inline cell Tm(double seconds) { return F(seconds, type::time); }
inline cell P(int32_t x, int32_t y) {
  return cell{type::pair, 0, static_cast<uint32_t>(x), static_cast<uint32_t>(y)};
}
inline cell P2(float x, float y) {
  cell c;
  return *point::init_cell(&c, type::point2d, x, y);
}
inline cell P3(float x, float y, float z) {
  cell c;
  return *point::init_cell(&c, type::point3d, x, y, z);
}
inline cell L(bool v) { return cell{type::logic, v ? 1u : 0u, 0, 0}; }
inline cell Dt(uint32_t t) { return cell{type::datatype_, t, 0, 0}; }
inline cell W(const char* name) {
  cell w;
  context::intern_global(symbol::make(name), &w);
  return w;
}
inline cell Issue(const char* name) {
  cell w = W(name);
  set_type(&w, type::issue);
  return w;
}

// A binary! or string! of the bytes (a cell on the C++ stack keeps it alive).
inline cell Bytes(std::string_view bytes, uint32_t t = type::binary) {
  cell c;
  string::init_cell_with_unit(&c, static_cast<uint32_t>(bytes.size()) + 1, 1, t);
  series_buffer* b = memory::buffer_of(c.data2);
  std::memcpy(b->head_rw(), bytes.data(), bytes.size());
  b->tail = b->offset + static_cast<uint32_t>(bytes.size());
  return c;
}

// The molded text of a value.
inline std::string molded(const cell& v, bool all = false) {
  cell buffer;
  string::make_at(&buffer, 16);
  cell* held = stack::push(&buffer);
  cell value = v;
  stack::saved_state saved = stack::save();
  try {
    actions::mold(&value, held, false, all, false, nullptr, 0x7FFFFFFF, 0);
  } catch (const language_error&) {
    stack::unwind_to(saved);
    stack::top--;
    return std::string("<") + registry::name(type_of(&v)) + ">";  // a type not built yet
  }
  std::string s = string::to_utf8(held);
  stack::top--;
  return s;
}

inline std::string formed(const cell& v) {
  cell buffer;
  string::make_at(&buffer, 16);
  cell* held = stack::push(&buffer);
  cell value = v;
  actions::form(&value, held, nullptr, 0x7FFFFFFF);
  std::string s = string::to_utf8(held);
  stack::top--;
  return s;
}

// Runs an entry in a native frame named `name` with the arguments on the stack; `refs` are the
// refinement positions (-1 absent). Answers the result slot or the error.
inline std::string call_entry(native_entry entry, const char* name,
                              std::initializer_list<cell> args, std::vector<int32_t> refs = {},
                              cell* out = nullptr) {
  refs.resize(12, -1);
  stack::saved_state saved = stack::save();
  try {
    cell word = W(name);
    stack::open_native_frame(&word);
    for (const cell& a : args) stack::push(&a);
    flow f = entry(refs.data());
    EXPECT_EQ(f, flow::normal);
    cell result = *stack::arguments;
    stack::unwind_to(saved);
    if (out) *out = result;
    if (type_of(&result) == type::unset) return "unset";
    return molded(result);
  } catch (const language_error&) {
    std::string text =
        "!! " + error::type_name(&error::in_flight) + " " + error::id_name(&error::in_flight);
    stack::unwind_to(saved);
    return text;
  }
}

// An action by slot, its word as the frame name.
inline std::string action(uint32_t s, std::initializer_list<cell> args,
                          std::vector<int32_t> refs = {}, cell* out = nullptr) {
  static const char* const names[] = {
#define ACTION(n, cname, word) word,
#include "core/actions.def"
#undef ACTION
  };
  return call_entry(function::action_table_entry(s), names[s - 1], args, std::move(refs), out);
}

// A native by its word.
inline std::string native(const char* name, std::initializer_list<cell> args,
                          std::vector<int32_t> refs = {}, cell* out = nullptr) {
  static const struct {
    const char* word;
    uint32_t index;
  } table[] = {
#define NATIVE(n, cname, word) {word, n},
#include "eval/natives.def"
#undef NATIVE
  };
  for (const auto& t : table)
    if (std::string_view(t.word) == name)
      return call_entry(function::native_table_entry(t.index), name, args, std::move(refs), out);
  ADD_FAILURE() << "no native " << name;
  return "";
}

using S = slot::id;

// The refinements of round: /to (its scale the second argument) and the six flags.
enum round_flag { even = 1, down = 2, half_down = 3, floor_ = 4, ceiling = 5, half_ceiling = 6 };
inline std::vector<int32_t> round_refs(bool to, const std::vector<int>& flags) {
  std::vector<int32_t> refs(7, -1);
  if (to) refs[0] = 1;
  for (int f : flags) refs[static_cast<size_t>(f)] = 0;
  return refs;
}

// The runtime without the library: datatypes, natives and actions are all these tests use.
class Numbers : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (error::ready()) return;  // another suite of this process booted it
    sysrt::enter_runtime_thread(__builtin_frame_address(0));
    boot::init_runtime();
  }
};

}  // namespace kaz::testing
