// Debugging aids of the collector: poisoning of dead memory and the heap verifier.
#pragma once

#include <cstdint>
#include <cstring>

#if defined(__SANITIZE_ADDRESS__)
#define KAZ_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KAZ_ASAN 1
#endif
#endif

#ifdef KAZ_ASAN
#include <sanitizer/asan_interface.h>
#endif

namespace kaz::memory::check {

// Freed and abandoned buffers can be filled with these bytes, so that a stale pointer reads
// garbage at once instead of yesterday's values. Filling costs programs that churn big series a
// tenth of their time, so it is on only where stale reads are hunted: in sanitizer builds,
// whenever the heap verifier runs (torture too), and with KAZ_GC_POISON=1 (the test suite's
// setting). Builds with NDEBUG leave it out.
constexpr uint8_t freed_byte = 0xDD;
constexpr uint8_t abandoned_byte = 0xDB;

extern bool poison_on;
bool poisoning();
void set_poisoning(bool on);

inline void fill(void* at, uint64_t bytes, uint8_t byte) {
#ifndef NDEBUG
  if (poison_on && bytes) std::memset(at, byte, bytes);
#else
  (void)at, (void)bytes, (void)byte;
#endif
}

// Under AddressSanitizer free frame space is unreadable until it is allocated.
inline void hide(const void* at, uint64_t bytes) {
#ifdef KAZ_ASAN
  ASAN_POISON_MEMORY_REGION(at, bytes);
#else
  (void)at, (void)bytes;
#endif
}
inline void expose(const void* at, uint64_t bytes) {
#ifdef KAZ_ASAN
  ASAN_UNPOISON_MEMORY_REGION(at, bytes);
#else
  (void)at, (void)bytes;
#endif
}

// Whether the verifier runs after each collection: in sanitizer builds, under torture, or
// when KAZ_GC_VERIFY=1 (it walks the whole heap, so normal builds skip it). Turning it on
// turns poisoning on.
bool verifying();
void set_verifying(bool on);

// Walks every frame, big series, fixed series and node; prints what is wrong and aborts.
void verify_heap();

}  // namespace kaz::memory::check
