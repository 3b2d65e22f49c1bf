// The KAZBIN reader under libFuzzer: any bytes decoded as the codec decodes them, as a whole
// file and, to reach the records sooner, as a compact or plain payload behind a valid header.
// What decodes is molded (plain and /all) and formed, encoded again in both layouts, decoded
// back and compared with the first decoding.
// Language errors are expected; crashes, sanitizer reports and hangs are not.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "core/actions.h"
#include "core/context.h"
#include "core/stack.h"
#include "core/string_storage.h"
#include "loader/kazbin.h"
#include "memory/collector.h"
#include "memory/series.h"
#include "runtime/cell.h"
#include "runtime/fire.h"
#include "start/boot.h"

namespace {

using namespace kaz;

cell binary_of(const uint8_t* data, size_t size) {
  node_t node = memory::alloc_bytes(static_cast<uint32_t>(size));
  series_buffer* s = memory::buffer_of(node);
  if (size) std::memcpy(s->head_rw(), data, size);
  s->tail = s->offset + static_cast<uint32_t>(size);
  return cell{type::binary, 0, node, 0};
}

// Decodes; on success encodes the value in both layouts and decodes each again, comparing
// the result with `first` when given.
void decode(const uint8_t* data, size_t size, int rounds, const cell* first = nullptr) {
  cell* saved_top = stack::top;
  try {
    cell bytes = binary_of(data, size);
    cell value;
    kazbin::codec_decode(&bytes, &value);
    cell* held_value = stack::push(&value);
    for (int way = 0; way < 3; ++way) {
      cell text;
      string::make_at(&text, 16);
      cell* held = stack::push(&text);
      cell v = *held_value;
      if (way < 2)
        actions::mold(&v, held, false, way == 1, false, nullptr, 1 << 20, 0);
      else
        actions::form(&v, held, nullptr, 1 << 20);
      stack::top--;
    }
    if (first) {
      cell a = *first, b = *held_value;
      (void)actions::compare_direct(&a, &b, actions::op::equal);
    }
    for (bool compact : {true, false}) {
      if (rounds == 0) break;
      cell again;
      cell v = *held_value;
      kazbin::codec_encode(&v, compact, &again);
      series_buffer* s = memory::buffer_of(again.data2);
      std::vector<uint8_t> copy(s->head(), s->tail_ptr());
      decode(copy.data(), copy.size(), rounds - 1, held_value);
    }
  } catch (const language_error&) {
  }
  stack::top = saved_top;
}

// A container around a payload: compact or plain, without a symbol table.
std::vector<uint8_t> wrapped(const uint8_t* payload, size_t size, bool compact) {
  std::vector<uint8_t> d = {'K', 'A', 'Z', 'B', 'I', 'N', 2, uint8_t(compact ? 1 : 0)};
  auto put32 = [&](uint32_t v) {
    for (int k = 0; k < 4; ++k) d.push_back(uint8_t(v >> (8 * k)));
  };
  if (compact) {
    d.push_back(1);
    for (uint32_t v = static_cast<uint32_t>(size); ; v >>= 7) {
      d.push_back(uint8_t((v & 0x7F) | (v >= 0x80 ? 0x80 : 0)));
      if (v < 0x80) break;
    }
  } else {
    put32(1);
    put32(static_cast<uint32_t>(size));
  }
  d.insert(d.end(), payload, payload + size);
  return d;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool booted = [] {
    boot::init_runtime();
    collector::set_active(true);
    return true;
  }();
  (void)booted;
  if (size == 0 || size > (1u << 20)) return 0;
  switch (data[0] % 3) {
    case 0:
      decode(data + 1, size - 1, 1);
      break;
    default: {
      std::vector<uint8_t> d = wrapped(data + 1, size - 1, data[0] % 3 == 1);
      decode(d.data(), d.size(), 1);
    }
  }
  return 0;
}
