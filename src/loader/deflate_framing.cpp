// gzip (RFC 1952) and zlib (RFC 1950) framing around the DEFLATE codec.
#include "loader/checksum.h"
#include "loader/deflate.h"

namespace kaz::deflate {
namespace {

// Output that may run past the capacity: bytes there are counted, not written.
struct framer {
  std::span<uint8_t> out;
  std::size_t pos = 0;

  void put(uint8_t b) {
    if (pos < out.size()) out[pos] = b;
    ++pos;
  }
  void put_le32(uint32_t v) {
    for (int i = 0; i < 4; ++i) put(uint8_t(v >> (8 * i)));
  }
  void put_be32(uint32_t v) {
    for (int i = 3; i >= 0; --i) put(uint8_t(v >> (8 * i)));
  }
  void put_deflated(std::span<const uint8_t> in) {
    auto rest = pos < out.size() ? out.subspan(pos) : std::span<uint8_t>{};
    pos += deflate(rest, in).size;
  }
  result done(std::size_t used) const {
    return {pos <= out.size() ? status::ok : status::too_small, pos, used};
  }
};

uint32_t le32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

uint32_t be32(const uint8_t* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

// gzip header flags.
constexpr uint8_t flag_hcrc = 2, flag_extra = 4, flag_name = 8, flag_comment = 16;

// Skips a zero-terminated field of the header; false when it does not end before `end`.
bool skip_zero_terminated(std::span<const uint8_t> in, std::size_t& p, std::size_t end) {
  for (; p < end; ++p)
    if (in[p] == 0) {
      ++p;
      return true;
    }
  return false;
}

}  // namespace

result gzip(std::span<uint8_t> out, std::span<const uint8_t> in) {
  static const uint8_t header[10] = {0x1F, 0x8B, 0x08, 0x00, 0, 0, 0, 0, 0x04, 0x04};
  framer f{out};
  for (uint8_t b : header) f.put(b);
  f.put_deflated(in);
  f.put_le32(checksum::crc32(in));
  f.put_le32(uint32_t(in.size()));
  return f.done(in.size());
}

result zlib_deflate(std::span<uint8_t> out, std::span<const uint8_t> in) {
  framer f{out};
  f.put(0x78);
  f.put(0x01);
  f.put_deflated(in);
  f.put_be32(checksum::adler32(in));
  return f.done(in.size());
}

/*
 * The trailer's size is only a claim of the input. It is believed as far as the limit, and a
 * too-small output learns it only after the stream has been decoded (counting, not writing) to
 * exactly that many bytes, so no caller allocates for a size the data does not have.
 */
result gunzip(std::span<uint8_t> out, std::span<const uint8_t> in, std::size_t limit) {
  const std::size_t n = in.size();
  const result bad{status::bad_data, 0, 0};
  if (n < 18 || in[0] != 0x1F || in[1] != 0x8B || in[2] != 8 || in[3] >= 32) return bad;
  const uint8_t flags = in[3];
  const std::size_t end = n - 8;
  std::size_t p = 10;
  if (flags & flag_extra) {
    if (end - p < 2) return bad;
    std::size_t extra = std::size_t(in[p]) | std::size_t(in[p + 1]) << 8;
    p += 2;
    if (end - p < extra) return bad;
    p += extra;
  }
  if ((flags & flag_name) && !skip_zero_terminated(in, p, end)) return bad;
  if ((flags & flag_comment) && !skip_zero_terminated(in, p, end)) return bad;
  if (flags & flag_hcrc) {
    if (end - p < 2) return bad;
    uint32_t crc = checksum::crc32(in.first(p)) & 0xFFFF;
    if (crc != (uint32_t(in[p]) | uint32_t(in[p + 1]) << 8)) return bad;
    p += 2;
  }
  auto body = in.subspan(p, end - p);
  const uint32_t crc = le32(&in[end]);
  const std::size_t size = le32(&in[end + 4]);
  if (size > limit) return {status::too_large, 0, 0};

  bool counting = out.size() < size;
  result r = inflate(counting ? std::span<uint8_t>{} : out.first(size), body, size);
  if (r.code == status::too_large) return bad;  // more output than the trailer says
  if (r.code != status::ok && r.code != status::too_small) return r;
  if (r.size != size || r.used != body.size()) return bad;
  if (counting) return {status::too_small, size, n};
  if (checksum::crc32(out.first(size)) != crc) return bad;
  return {status::ok, size, n};
}

result zlib_inflate(std::span<uint8_t> out, std::span<const uint8_t> in, std::size_t limit) {
  const std::size_t n = in.size();
  const result bad{status::bad_data, 0, 0};
  if (n < 6) return bad;
  const uint8_t cmf = in[0], flg = in[1];
  if ((cmf * 256u + flg) % 31 != 0 || (cmf & 15) != 8 || cmf >= 0x80 || (flg & 0x20)) return bad;
  auto body = in.subspan(2, n - 6);
  result r = inflate(out, body, limit);
  if (r.code != status::ok && r.code != status::too_small) return r;
  if (r.used != body.size()) return bad;  // the stream must end at the trailer
  if (r.code == status::too_small) return {status::too_small, r.size, n};
  if (checksum::adler32(out.first(r.size)) != be32(&in[n - 4])) return bad;
  return {status::ok, r.size, n};
}

}  // namespace kaz::deflate
