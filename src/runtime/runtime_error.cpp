#include "runtime/runtime_error.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "runtime/print_items.h"
#include "runtime/runtime_record.h"
#include "runtime/tracked_alloc.h"

namespace kaz::sysrt {

const char* runtime_error_message(uint32_t n) {
  switch (n) {
#define RUNTIME_ERROR(number, cname, message) \
  case number:                                \
    return message;
#include "runtime/runtime_errors.def"
#undef RUNTIME_ERROR
    default:
      return "unknown error code!";
  }
}

uint32_t report_address(uintptr_t address) {
  if (address == 0) return 0;
  return static_cast<uint32_t>(address - runtime.load_address);
}

/*
 * The report is formatted by hand, without stdio or the heap, because the fault handlers print
 * it from a signal handler: only plain stores into the caller's buffer happen here.
 */
namespace {

struct report_writer {
  char* at;
  char* end;

  void text(const char* s) {
    while (*s && at < end) *at++ = *s++;
  }
  void decimal(uint32_t n) {
    char digits[10];
    int k = 0;
    do {
      digits[k++] = static_cast<char>('0' + n % 10);
      n /= 10;
    } while (n != 0);
    while (k > 0 && at < end) *at++ = digits[--k];
  }
  void hex8(uint32_t n) {
    for (int shift = 28; shift >= 0 && at < end; shift -= 4)
      *at++ = "0123456789ABCDEF"[(n >> shift) & 0xF];
  }
};

}  // namespace

size_t format_runtime_error_report(char* buf, size_t room, uint32_t n, uintptr_t address) {
  report_writer w{buf, buf + room};
  w.text("\n*** Runtime Error ");
  w.decimal(n);
  w.text(": ");
  w.text(runtime_error_message(n));
  w.text("\n*** at: ");
  w.hex8(report_address(address));
  w.text("h\n");
  return static_cast<size_t>(w.at - buf);
}

namespace {

constexpr int max_restore_hooks = 4;
restore_hook restore_hooks[max_restore_hooks];
volatile sig_atomic_t restore_hook_count = 0;

}  // namespace

void add_restore_hook(restore_hook hook) {
  for (int i = 0; i < restore_hook_count; ++i)
    if (restore_hooks[i] == hook) return;
  if (restore_hook_count == max_restore_hooks) return;
  restore_hooks[restore_hook_count] = hook;
  restore_hook_count = restore_hook_count + 1;
}

void run_restore_hooks() {
  for (int i = restore_hook_count - 1; i >= 0; --i) restore_hooks[i]();
}

void on_exit() {
  run_restore_hooks();
  free_all();
}

void quit_with_code(uint32_t n, uintptr_t address) {
  if (n != 0) {
    prin_list({item::text("\n*** Runtime Error "), item::integer(static_cast<int32_t>(n)),
               item::text(": "), item::text(runtime_error_message(n))});
    prin_list({item::text("\n*** at: "), item::hex(report_address(address)), item::text("h\n")});
  }
  on_exit();
  std::fflush(nullptr);
  std::exit(static_cast<int>(n & 0xFF));
}

__attribute__((noinline)) void no_case_matched() {
  quit_with_code(rterr::no_case_match, KAZ_ERROR_SITE());
}

__attribute__((noinline)) void no_switch_matched() {
  quit_with_code(rterr::no_switch_match, KAZ_ERROR_SITE());
}

}  // namespace kaz::sysrt
