// Every unit test runs with freed memory poisoned, so that a stale read shows at once.
#include <gtest/gtest.h>

#include "memory/heap_check.h"

namespace {

struct poisoned_heap : ::testing::Environment {
  void SetUp() override { kaz::memory::check::set_poisoning(true); }
};

// Set up when the tests start, after every static initializer has run.
[[maybe_unused]] ::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(new poisoned_heap);

}  // namespace
