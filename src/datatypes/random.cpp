// The generator: a 624-word twister on signed words. Every right shift copies the sign bit, the
// seeding fills the state without twisting, and the first draw after a seed is word 0 tempered;
// the outputs therefore always have bit 31 clear.
#include "datatypes/random.h"

#include <sys/random.h>

#include <cerrno>
#include <cstring>

#include "datatypes/simple_types.h"
#include "runtime/fire.h"

namespace kaz::random {

namespace {

constexpr int32_t state_size = 624;
constexpr int32_t shift_size = 397;

int32_t state[state_size];
int32_t index = state_size;

// The twist of one word with its successor and its partner.
int32_t twist(int32_t word, int32_t successor, int32_t partner) {
  int32_t y = static_cast<int32_t>((static_cast<uint32_t>(word) & 0x80000000u) |
                                   (static_cast<uint32_t>(successor) & 0x7FFFFFFFu));
  int32_t mixed = partner ^ (y >> 1);
  if (y & 1) mixed ^= static_cast<int32_t>(0x9908B0DFu);
  return mixed;
}

void regenerate() {
  for (int32_t i = 0; i < state_size - 1; ++i)
    state[i] = twist(state[i], state[i + 1], state[(i + shift_size) % state_size]);
  state[state_size - 1] = twist(state[state_size - 1], state[0], state[shift_size - 1]);
  index = 0;
}

}  // namespace

void init() { seed(19650218); }

void seed(uint32_t s) {
  state[0] = static_cast<int32_t>(s);
  for (int32_t i = 1; i < state_size; ++i) {
    int32_t w = state[i - 1];
    uint32_t mixed = static_cast<uint32_t>(w ^ (w >> 30));
    state[i] = static_cast<int32_t>(1812433253u * mixed + static_cast<uint32_t>(i));
  }
  index = 0;
}

int32_t next() {
  if (index >= state_size) regenerate();
  int32_t y = state[index++];
  y ^= y >> 11;
  y ^= static_cast<int32_t>((static_cast<uint32_t>(y) << 7) & 0x9D2C5680u);
  y ^= static_cast<int32_t>((static_cast<uint32_t>(y) << 15) & 0xEFC60000u);
  y ^= y >> 18;
  return y;
}

int32_t secure_next() {
  uint8_t bytes[4];
  size_t got = 0;
  while (got < sizeof bytes) {
    ssize_t n = getrandom(bytes + got, sizeof bytes - got, 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      fire(err::internal_feature_na);
    }
    got += static_cast<size_t>(n);
  }
  uint32_t v = uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 |
               uint32_t(bytes[3]) << 24;
  return static_cast<int32_t>(v & 0x7FFFFFFFu);
}

int32_t next_in_range(int32_t n, bool secure) {
  if (n == 0) return 0;
  auto draw = [secure] { return secure ? secure_next() : next(); };
  if (n == INT32_MIN) return -1 - draw();
  int32_t m = n < 0 ? -n : n;
  // Draws at or above the largest multiple of m would favour the low results.
  int32_t limit = (INT32_MAX / m) * m;
  int32_t d;
  do d = draw();
  while (d >= limit);
  int32_t r = d % m + 1;
  return n < 0 ? -r : r;
}

const cell* logic_value(cell* value, bool seed_q, bool secure, bool) {
  if (seed_q) {
    seed(logic_type::value_of(value));
    value->header = type::unset;
    return value;
  }
  int32_t d = secure ? secure_next() : next();
  value->data1 = d > 0x3FFFFFFF ? 1 : 0;
  return value;
}

}  // namespace kaz::random
