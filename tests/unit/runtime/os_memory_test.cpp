// Frames from the operating system, and the values thrown when it refuses.
#include "runtime/os_memory.h"

#include <gtest/gtest.h>

#include <cstring>

#include "runtime/throw.h"

namespace kaz::sysrt {
namespace {

TEST(OsMemory, FramesAreZeroedAlignedAndWritable) {
  const size_t bytes = size_t(4) << 20;
  auto* p = static_cast<unsigned char*>(os_virtual_alloc(bytes));
  EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 4096, 0u);
  EXPECT_EQ(p[0], 0);
  EXPECT_EQ(p[bytes - 1], 0);
  std::memset(p, 0xAB, bytes);
  os_virtual_free(p, bytes);
}

TEST(OsMemory, RefusalsAreThrown) {
  EXPECT_EQ(guarded(thrown::os_memory, [] { os_virtual_alloc(size_t(1) << 62); }),
            thrown::os_alloc_failed);
  EXPECT_EQ(guarded(thrown::os_memory, [] { os_virtual_alloc(0); }), thrown::os_alloc_failed);
  auto* unaligned = reinterpret_cast<void*>(uintptr_t(0x1001));
  EXPECT_EQ(guarded(thrown::os_memory, [&] { os_virtual_free(unaligned, 4096); }),
            thrown::os_release_failed);
}

}  // namespace
}  // namespace kaz::sysrt
