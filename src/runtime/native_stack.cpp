#include "runtime/native_stack.h"

#include <pthread.h>

#include <algorithm>

#include "runtime/fault_signals.h"
#include "runtime/fire.h"

namespace kaz::sysrt {

__thread uintptr_t native_stack_limit = 0;

namespace {

__thread uintptr_t stack_low = 0;
__thread uintptr_t stack_high = 0;
__thread uintptr_t stack_base = 0;

constexpr size_t guard_bytes = size_t(1) << 20;   // no-access zone below a thread's stack
constexpr size_t min_headroom = size_t(256) << 10;
constexpr size_t max_headroom = size_t(32) << 20;

// Room kept below the depth guard's limit: a sixteenth of the stack, within bounds.
size_t headroom(size_t stack_size) {
  return std::clamp(stack_size / 16, min_headroom, max_headroom);
}

void note_stack_bounds() {
  pthread_attr_t attr;
  if (pthread_getattr_np(pthread_self(), &attr) != 0) return;
  void* addr = nullptr;
  size_t size = 0;
  if (pthread_attr_getstack(&attr, &addr, &size) == 0 && addr && size > 2 * min_headroom) {
    stack_low = reinterpret_cast<uintptr_t>(addr);
    stack_high = stack_low + size;
    native_stack_limit = stack_low + headroom(size);
  }
  pthread_attr_destroy(&attr);
}

struct thread_start {
  int (*body)(void*);
  void* arg;
  int result;
};

void* eval_thread_main(void* p) {
  auto* start = static_cast<thread_start*>(p);
  enter_runtime_thread(__builtin_frame_address(0));
  start->result = start->body(start->arg);
  leave_runtime_thread();
  return nullptr;
}

}  // namespace

void enter_runtime_thread(const void* base) {
  install_alt_stack();
  note_stack_bounds();
  stack_base = reinterpret_cast<uintptr_t>(base);
}

void leave_runtime_thread() {
  native_stack_limit = 0;
  stack_low = stack_high = stack_base = 0;
  remove_alt_stack();
}

thread_stack current_thread_stack() { return {stack_low, stack_high, stack_base}; }

bool near_stack_end(uintptr_t address) {
  if (stack_low == 0) return false;
  return address < stack_low + 4096 && address + guard_bytes >= stack_low;
}

void native_stack_overflow() { fire(err::internal_stack_overflow); }

int run_on_eval_thread(int (*body)(void*), void* arg, size_t stack_bytes) {
  thread_start start{body, arg, 0};
  pthread_attr_t attr;
  pthread_t thread;
  bool made = pthread_attr_init(&attr) == 0;
  if (made) {
    made = pthread_attr_setstacksize(&attr, stack_bytes) == 0 &&
           pthread_attr_setguardsize(&attr, guard_bytes) == 0 &&
           pthread_create(&thread, &attr, eval_thread_main, &start) == 0;
    pthread_attr_destroy(&attr);
  }
  if (made) {
    pthread_join(thread, nullptr);
    return start.result;
  }
  eval_thread_main(&start);
  return start.result;
}

}  // namespace kaz::sysrt
