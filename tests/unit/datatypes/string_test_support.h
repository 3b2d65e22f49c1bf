// Helpers of the string tests: the runtime booted once per process (shared with any other suite
// that boots it), strings made from UTF-8 on the evaluation stack, and their text read back.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "core/actions.h"
#include "core/context.h"
#include "core/registry.h"
#include "core/stack.h"
#include "core/string_storage.h"
#include "memory/collector.h"
#include "runtime/fire.h"
#include "runtime/native_stack.h"
#include "start/boot.h"

namespace kaz::testing {

// Boots the runtime unless a suite that ran before did; every allocation may collect after.
// The global context is kept as a root here, since nothing else may refer to it yet.
inline void boot_runtime_once() {
  if (registry::registered(type::string)) return;
  sysrt::enter_runtime_thread(__builtin_frame_address(0));
  boot::init_runtime();
  collector::add_mark_callback([] { collector::mark_context(&context::global); });
  collector::set_active(true);
}

// Each test starts and ends with the evaluation stack as it found it.
class string_test : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { boot_runtime_once(); }
  void SetUp() override { saved_ = stack::save(); }
  void TearDown() override { stack::unwind_to(saved_); }

  // A new value of the type holding the text, on the stack.
  static cell* text(std::string_view utf8, uint32_t t = type::string) {
    cell* c = stack::reserve_cell();
    string::make_at(c, static_cast<uint32_t>(utf8.size()), t);
    string::append_utf8(c->data2, utf8);
    return c;
  }
  // The same with every character stored in `unit` bytes.
  static cell* wide(std::string_view utf8, uint32_t unit) {
    cell* c = text(utf8);
    string::widen(c->data2, unit);
    return c;
  }
  static cell* value(cell v) { return stack::push(&v); }
  static cell* ch(uint32_t c) { return value(cell{type::char_, 0, c, 0}); }
  static cell* integer(int32_t i) {
    return value(cell{type::integer, 0, static_cast<uint32_t>(i), 0});
  }

  static std::string str(const cell* v) { return string::to_utf8(v); }
  static uint32_t unit_of(const cell* v) { return string::buffer_of(v)->unit(); }

  static std::string molded(const cell* v, bool all = false) {
    cell* out = text("");
    cell copy = *v;
    actions::mold(&copy, out, false, all, false, nullptr, 0x7FFFFFFF, 0);
    return str(out);
  }
  static std::string formed(const cell* v) {
    cell* out = text("");
    cell copy = *v;
    actions::form(&copy, out, nullptr, 0x7FFFFFFF);
    return str(out);
  }

  // The catalogue id of the error the call raises, or "" when it raises none.
  template <class F>
  static std::string error_of(F f) {
    stack::saved_state s = stack::save();
    try {
      f();
    } catch (const language_error& e) {
      stack::unwind_to(s);
      return error_info(e.id).id;
    }
    return "";
  }

 private:
  stack::saved_state saved_{};
};

}  // namespace kaz::testing
