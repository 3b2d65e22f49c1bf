// The evaluation thread's stack and the native depth guard.
#include "runtime/native_stack.h"

#include <gtest/gtest.h>

#include "runtime/fire.h"

namespace kaz::sysrt {
namespace {

TEST(NativeStack, EvalThreadHasItsLargeStack) {
  struct seen {
    thread_stack bounds;
    uintptr_t limit;
    uintptr_t local;
  } s{};
  uintptr_t limit_before = native_stack_limit;
  uintptr_t low_before = current_thread_stack().low;
  int result = run_on_eval_thread(
      [](void* p) {
        auto* s = static_cast<seen*>(p);
        int here = 0;
        s->bounds = current_thread_stack();
        s->limit = native_stack_limit;
        s->local = reinterpret_cast<uintptr_t>(&here);
        return 7;
      },
      &s);
  EXPECT_EQ(result, 7);
  EXPECT_GE(s.bounds.high - s.bounds.low, eval_stack_bytes);
  EXPECT_GT(s.local, s.limit);
  EXPECT_LT(s.local, s.bounds.base);
  EXPECT_LE(s.bounds.base, s.bounds.high);
  EXPECT_GT(s.limit, s.bounds.low);
  // This thread's own settings (another suite of the process may have made them) are untouched.
  EXPECT_EQ(native_stack_limit, limit_before);
  EXPECT_EQ(current_thread_stack().low, low_before);
}

volatile int no_end = 1 << 30;

__attribute__((noinline)) int recurse_with_guard(int depth) {
  check_native_stack();
  volatile char pad[256];
  pad[0] = static_cast<char>(depth);
  if (depth > no_end) return 0;
  return recurse_with_guard(depth + 1) + pad[0];
}

// Deep recursion raises the catchable stack-overflow error well before the stack's end, and the
// thread goes on afterwards.
TEST(NativeStack, DepthGuardRaisesACatchableError) {
  int result = run_on_eval_thread(
      [](void*) {
        int caught = 0;
        for (int round = 0; round < 2; ++round) {
          try {
            recurse_with_guard(0);
          } catch (const language_error& e) {
            if (e.id == err::internal_stack_overflow) ++caught;
          }
        }
        return caught;
      },
      nullptr, size_t(8) << 20);
  EXPECT_EQ(result, 2);
}

TEST(NativeStack, FaultAddressesNearTheEndCountAsOverflow) {
  run_on_eval_thread(
      [](void*) {
        thread_stack b = current_thread_stack();
        EXPECT_TRUE(near_stack_end(b.low - 1));
        EXPECT_TRUE(near_stack_end(b.low));
        EXPECT_FALSE(near_stack_end(b.low + (1 << 20)));
        EXPECT_FALSE(near_stack_end(16));
        return 0;
      },
      nullptr, size_t(8) << 20);
  EXPECT_FALSE(near_stack_end(16));
}

}  // namespace
}  // namespace kaz::sysrt
