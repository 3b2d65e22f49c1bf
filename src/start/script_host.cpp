#include "start/script_host.h"

#include "console/console_access.h"
#include "core/actions.h"
#include "core/context.h"
#include "core/error.h"
#include "core/stack.h"
#include "core/string_storage.h"
#include "eval/interpreter.h"
#include "library/library.h"
#include "loader/lexer_transcode.h"
#include "memory/collector.h"
#include "memory/unicode_utf8.h"
#include "runtime/native_stack.h"
#include "runtime/output_hooks.h"
#include "start/boot.h"

namespace kaz::testing {

namespace {

std::string* captured = nullptr;  // where printed text goes while a case runs

void append_units(std::string& out, const sysrt::unit_text& t) {
  const uint8_t* units = static_cast<const uint8_t*>(t.data);
  size_t count = t.bytes / t.unit;
  size_t at = out.size();
  out.resize(at + unicode::utf8_size_of_units(units, count, t.unit, false));
  unicode::utf8_encode_units(units, count, t.unit, reinterpret_cast<uint8_t*>(out.data() + at),
                             out.size() - at, false);
}

void capture_hook(const sysrt::unit_text& text, bool line_end) {
  if (!captured) return;
  append_units(*captured, text);
  if (line_end) *captured += '\n';
}

std::string formed_or_molded(const cell* v, bool mold) {
  cell buffer;
  string::make_at(&buffer, 16);
  cell* held = stack::push(&buffer);
  cell value = *v;
  if (mold)
    actions::mold(&value, held, false, false, false, nullptr, 0x7FFFFFFF, 0);
  else
    actions::form(&value, held, nullptr, 0x7FFFFFFF);
  std::string s = string::to_utf8(held);
  stack::top--;
  return s;
}

}  // namespace

script_host::script_host() {
  sysrt::enter_runtime_thread(__builtin_frame_address(0));
  boot::init_runtime();
  try {
    boot::run_library();
  } catch (const language_error&) {
    cell e = error::in_flight;
    boot_error_ = formed_or_molded(&e, false);
  }
  sysrt::remove_output_hooks(sysrt::print_string_by_unit, nullptr);
  sysrt::add_output_hooks(capture_hook, nullptr);
}

case_result script_host::run(const std::string& source) {
  case_result r;
  if (!boot_error_.empty()) {
    r.raised = true;
    r.error_type = "internal";
    r.error_id = "boot";
    r.error_text = "the library did not load:\n" + boot_error_;
    return r;
  }
  captured = &r.output;
  stack::saved_state saved = stack::save();
  try {
    cell* code = stack::reserve_cell();
    lexer::load_text_block(source, code);
    cell result;
    flow f = console_frames_ ? console::call_with_value("system/console/try-do", code, &result)
                             : interp::do_block(code, &result);
    if (f == flow::normal && console_frames_ && type_of(&result) == type::error) {
      cell* e = stack::push(&result);
      r.raised = true;
      r.error_type = error::type_name(e);
      r.error_id = error::id_name(e);
      r.error_text = formed_or_molded(e, false);
    } else if (f != flow::normal) {
      r.raised = true;
      r.error_type = "throw";
      r.error_id = "flow";
      r.error_text = "a non-local exit left the case";
    } else {
      r.result = formed_or_molded(&result, true);
    }
  } catch (const language_error&) {
    cell e = error::in_flight;
    stack::unwind_to(saved);
    r.raised = true;
    r.error_type = error::type_name(&e);
    r.error_id = error::id_name(&e);
    r.error_text = formed_or_molded(&e, false);
  }
  stack::unwind_to(saved);
  captured = nullptr;
  return r;
}

}  // namespace kaz::testing
