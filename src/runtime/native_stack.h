// The native stack of the thread that evaluates: a large reserved stack of its own, the bounds
// the depth guard and the fault handlers check, and the guard itself.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kaz::sysrt {

// The evaluation thread's stack reservation: deep recursion in Kaz code is native recursion.
constexpr size_t eval_stack_bytes = size_t(512) << 20;

/*
 * Runs body(arg) on a new thread with a stack of `stack_bytes`, set up as a runtime thread
 * (alternate signal stack, stack bounds, depth guard), waits for it and answers what body
 * answered. When no such thread can be made (a tight address-space limit), body runs on the
 * calling thread instead, set up the same way.
 */
int run_on_eval_thread(int (*body)(void*), void* arg, size_t stack_bytes = eval_stack_bytes);

// Sets up the calling thread as a runtime thread, and undoes it. `base` is the frame above
// which the thread keeps nothing of the runtime's (the caller's own frame address).
void enter_runtime_thread(const void* base);
void leave_runtime_thread();

// Bounds of the calling runtime thread's stack ([low, high); both 0 on any other thread), and
// the frame address where its runtime code began: the base of the collector's stack scan.
struct thread_stack {
  uintptr_t low;
  uintptr_t high;
  uintptr_t base;
};
thread_stack current_thread_stack();

// True when a fault address lies on or just below the end of the calling thread's stack: the
// stack ran over. Safe in a signal handler.
bool near_stack_end(uintptr_t address);

// Below this address the calling thread's stack counts as exhausted; 0 on threads that never
// set one. It leaves room enough to build and raise the error and unwind to a `try`.
extern __thread uintptr_t native_stack_limit;

// Raises the catchable stack-overflow error.
[[noreturn]] void native_stack_overflow();

// The depth guard: code that recurses on the native stack (the evaluator, molding, comparing,
// copying) calls it once per level.
inline void check_native_stack() {
  if (reinterpret_cast<uintptr_t>(__builtin_frame_address(0)) < native_stack_limit)
      [[unlikely]]
    native_stack_overflow();
}

}  // namespace kaz::sysrt
