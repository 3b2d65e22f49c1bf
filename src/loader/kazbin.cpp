// The KAZBIN container: magic, flags, optional LZ compression, and the codec's entries.
#include "loader/kazbin.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <vector>

#include "core/block_storage.h"
#include "core/series_cell.h"
#include "core/stack.h"
#include "core/string_storage.h"
#include "loader/kazbin_decoder.h"
#include "loader/kazbin_encoder.h"
#include "loader/kazbin_format.h"
#include "loader/kazbin_readers.h"
#include "memory/collector.h"
#include "memory/lz_codec.h"
#include "runtime/fire.h"

namespace kaz::kazbin {

bool codec_q = false;

namespace {

// The boot block: the root block's node and the index of literal 0 in it.
node_t boot_root = 0;
uint32_t boot_base = 0;

[[noreturn]] void refuse(bool codec, const cell* source, const char* boot_message) {
  if (codec) {
    cell none{type::none, 0, 0, 0};
    fire(err::script_invalid_data, source ? source : &none);
  }
  std::fputs(boot_message, stdout);
  std::fputs("\n", stdout);
  std::fflush(stdout);
  std::exit(0);
}

// Releases the unpacked buffer however the decode ends.
struct unpacked {
  uint8_t* data = nullptr;
  ~unpacked() {
    if (data) compress::free_buffer(data);
  }
};

/*
 * Compact header: varint root count and payload size, then with the symbol flag varint N and
 * S, N int32 offsets and S bytes of names. Plain header: the same as int32 words. Every count is
 * checked against the bytes left; the cursor's end becomes the payload's end.
 */
void read_header(decoder& d, bool symbols, bool codec, const cell* source) {
  cursor& in = d.in;
  if (!d.compact && in.left() < 8) refuse(codec, source, "Error: Not a Kazbin file!");
  auto count = [&]() {
    uint32_t at = in.pos;
    uint32_t v = d.compact ? in.read_varint() : in.read_int32();
    if (v > 0x7FFFFFFF) in.invalid_at(at);
    return v;
  };
  count();  // the root count: records are read until the payload ends
  uint32_t payload_at = in.pos;
  uint32_t payload = count();
  if (symbols) {
    uint32_t at = in.pos;
    uint32_t n = count();
    uint32_t size = count();
    if (n > in.left() / 4) in.invalid_at(at);
    d.symbol_count = n;
    d.offsets_at = in.pos;
    in.pos += 4 * n;
    if (size > in.left()) in.invalid_at(at);
    d.area_at = in.pos;
    d.area_end = in.pos + size;
    in.pos += size;
    d.check_symbol_table(at);
  }
  if (payload > in.left()) in.invalid_at(payload_at);
  in.end = in.pos + payload;
}

}  // namespace

namespace {

/*
 * A boot image's names from the shared table: the table is checked as a header's is, and what
 * earlier images learnt about its entries is lent to this decode and taken back after it.
 */
class shared_names {
 public:
  shared_names(decoder& d, boot_table* shared) : d_(d), shared_(shared) {
    cursor t{shared->data, 0, shared->length, 0};
    uint32_t at = t.pos;
    uint32_t n = t.read_varint();
    uint32_t size = t.read_varint();
    if (n > t.left() / 4 || size != t.left() - 4 * n) t.invalid_at(at);
    d.table = shared->data;
    d.symbol_count = n;
    d.offsets_at = t.pos;
    d.area_at = t.pos + 4 * n;
    d.area_end = d.area_at + size;
    if (size && shared->data[d.area_end - 1] != 0) t.invalid_at(at);
    d.mapped = std::move(shared->mapped);
    d.globals = std::move(shared->globals);
  }
  ~shared_names() {
    shared_->mapped = std::move(d_.mapped);
    shared_->globals = std::move(d_.globals);
  }
  shared_names(const shared_names&) = delete;
  shared_names& operator=(const shared_names&) = delete;

 private:
  decoder& d_;
  boot_table* shared_;
};

void decode_with(const uint8_t* data, uint32_t length, node_t root, bool codec,
                 const cell* source, boot_table* shared) {
  if (length < fixed_header || std::memcmp(data, magic, sizeof magic) != 0)
    refuse(codec, source, "Error: Not a Kazbin file!");
  uint8_t flags = data[7];
  // A codec decode works on its own copy: the caller's series may move while values are made.
  // Boot data stays put.
  std::vector<uint8_t> copy;
  unpacked packed;
  decoder d;
  d.root = root;
  d.root_base = memory::buffer_of(root)->length();
  d.codec = codec;
  d.compact = flags & flag::compact;
  if (flags & flag::compressed) {
    uint32_t size = 0;
    packed.data = compress::unpack(data + fixed_header, length - fixed_header, &size);
    if (!packed.data) refuse(codec, source, "Error: Kazbin compressed data corrupted!");
    d.in = cursor{packed.data, 0, size, fixed_header};
  } else if (codec) {
    copy.assign(data, data + length);
    d.in = cursor{copy.data(), fixed_header, length, 0};
  } else {
    d.in = cursor{data, fixed_header, length, 0};
  }
  read_header(d, flags & flag::symbols, codec, source);
  std::optional<shared_names> names;
  if (shared && !codec && d.compact && !(flags & flag::symbols)) names.emplace(d, shared);
  if (!d.compact && !codec && d.symbol_count) d.map_all_symbols();
  if (d.compact)
    read_compact_records(d);
  else
    read_plain_records(d);
}

}  // namespace

void decode(const uint8_t* data, uint32_t length, node_t root, bool codec, const cell* source) {
  decode_with(data, length, root, codec, source, nullptr);
}

void decode_boot(const uint8_t* data, uint32_t length, node_t root, bool keep_base,
                 boot_table* shared) {
  // The collector is off while boot data is decoded, and back as it was however the decode ends.
  struct collector_off {
    bool was_active = collector::active();
    collector_off() { collector::set_active(false); }
    ~collector_off() { collector::set_active(was_active); }
  };
  node_t saved_root = boot_root;
  uint32_t saved_base = boot_base;
  codec_q = false;
  {
    collector_off off;
    boot_root = root;
    boot_base = memory::buffer_of(root)->length();
    decode_with(data, length, root, false, nullptr, shared);
  }
  if (keep_base) {
    boot_root = saved_root;
    boot_base = saved_base;
  }
}

const cell* literal_cell(uint32_t n) {
  if (!boot_root || boot_base + n >= memory::buffer_of(boot_root)->length()) return nullptr;
  return memory::buffer_of(boot_root)->cells() + boot_base + n;
}

namespace {

void to_binary(const std::vector<uint8_t>& bytes, cell* out) {
  auto n = static_cast<uint32_t>(bytes.size());
  node_t node = memory::alloc_bytes(n);
  series_buffer* s = memory::buffer_of(node);
  std::memcpy(s->head_rw(), bytes.data(), n);
  s->tail = s->offset + n;
  *out = cell{type::binary, 0, node, 0};
}

void encode_with(const cell* value, bool plain, cell* out) {
  codec_q = true;
  encoder e(plain);
  if (plain)
    write_plain_value(e, value);
  else
    write_compact_value(e, value);
  to_binary(e.container(), out);
}

// The names met by the boot images written so far (only its symbol members are used).
encoder boot_names(false);

}  // namespace

void encode(const cell* value, cell* out) { encode_with(value, true, out); }
void encode_cp(const cell* value, cell* out) { encode_with(value, false, out); }

std::vector<uint8_t> encode_boot(const cell* value) {
  codec_q = true;
  encoder e(false);
  e.table_apart = true;
  auto trade = [&] {
    std::swap(e.symbol_index, boot_names.symbol_index);
    std::swap(e.offsets, boot_names.offsets);
    std::swap(e.area, boot_names.area);
  };
  trade();
  try {
    write_compact_value(e, value);
  } catch (...) {
    trade();
    throw;
  }
  trade();
  return e.container();
}

std::vector<uint8_t> boot_symbol_table() { return boot_names.table(); }

void codec_encode(const cell* value, bool compact, cell* out) {
  encode_with(value, !compact, out);
}

void codec_decode(const cell* payload, cell* out) {
  cell source = *payload;
  std::vector<uint8_t> bytes;
  uint32_t t = type_of(&source);
  if (t == type::binary) {
    series_buffer* s = memory::buffer_of(series::node_of(&source));
    uint32_t head = series::index_of(&source) < s->length() ? series::index_of(&source) : s->length();
    bytes.assign(s->head() + head, s->tail_ptr());
  } else if (t == type::file) {
    std::ifstream f(string::to_utf8(&source), std::ios::binary);
    if (!f) fire(err::access_cannot_open, &source);
    bytes.assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
  } else {
    fire(err::script_invalid_data, &source);
  }
  if (bytes.size() <= 10 || bytes.size() > 0x7FFFFFFF) fire(err::script_invalid_data, &source);
  codec_q = true;
  cell* block = block::push_only(4);
  uint32_t at = stack::index_of(block);
  decode(bytes.data(), static_cast<uint32_t>(bytes.size()), series::node_of(block), true, &source);
  cell result = *stack::at_index(at);
  stack::top = stack::at_index(at);
  if (block::absolute_length(&result) == 1)
    *out = *block::rs_abs_at(&result, 0);
  else
    *out = result;
}

}  // namespace kaz::kazbin
