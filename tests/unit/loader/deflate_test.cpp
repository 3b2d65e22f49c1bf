// DEFLATE with gzip and zlib framing: the compressor's exact bytes, round trips both ways with
// Python's zlib, and malformed streams refused.
#include "loader/deflate.h"

#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "../support/python.h"
#include "loader/checksum.h"

namespace {

using namespace kaz;
using deflate::status;
using bytes = std::vector<uint8_t>;

bytes of(std::string_view s) { return bytes(s.begin(), s.end()); }

std::string script() {
  return kaz::testing::source_path("tests/unit/loader/deflate_cases.py");
}

struct record {
  std::string name;
  bytes data;
};

std::vector<record> read_records(const std::string& text) {
  std::vector<record> out;
  std::size_t p = 0;
  while (p < text.size()) {
    std::size_t eol = text.find('\n', p);
    std::istringstream line(text.substr(p, eol - p));
    record r;
    std::size_t size = 0;
    line >> r.name >> size;
    r.data.assign(text.begin() + long(eol + 1), text.begin() + long(eol + 1 + size));
    out.push_back(std::move(r));
    p = eol + 1 + size;
  }
  return out;
}

void write_record(std::string& out, const std::string& name, const bytes& data) {
  out += name + " " + std::to_string(data.size()) + "\n";
  out.append(data.begin(), data.end());
}

using packer = deflate::result (*)(std::span<uint8_t>, std::span<const uint8_t>);
using unpacker = deflate::result (*)(std::span<uint8_t>, std::span<const uint8_t>, std::size_t);

// Packs into a buffer of exactly the bound; checks that a smaller one learns the right size.
bytes pack(packer f, const bytes& in) {
  bytes out(deflate::compressed_bound(in.size()));
  auto r = f(out, in);
  EXPECT_EQ(r.code, status::ok);
  out.resize(r.size);
  if (!out.empty()) {
    bytes small(out.size() - 1);
    auto s = f(small, in);
    EXPECT_EQ(s.code, status::too_small);
    EXPECT_EQ(s.size, out.size());
  }
  return out;
}

// Unpacks the way the natives do: ask for the size with no room, then decode into that much.
deflate::result unpack(unpacker f, const bytes& in, bytes& out,
                       std::size_t limit = deflate::max_output) {
  auto r = f({}, in, limit);
  if (r.code == status::too_small) {
    out.assign(r.size, 0);
    r = f(out, in, limit);
  } else {
    out.clear();
  }
  return r;
}

const char* method_of(const std::string& name) {
  auto slash = name.rfind('/');
  std::string m = name.substr(slash + 1);
  return m.rfind("gzip", 0) == 0 ? "gzip" : m.rfind("zlib", 0) == 0 ? "zlib" : "raw";
}

unpacker unpacker_for(const std::string& method) {
  return method == "gzip" ? deflate::gunzip : method == "zlib" ? deflate::zlib_inflate
                                                               : deflate::inflate;
}

// A stream and what decoding it must answer.
struct stream_case {
  const char* what;
  bytes data;
  status code;
};

// Decodes each case the way the natives do and with room to spare; the good ones give `data`.
void expect_unpacks(unpacker f, std::span<const stream_case> cases, const bytes& data) {
  for (auto& c : cases) {
    bytes out;
    auto r = unpack(f, c.data, out);
    EXPECT_EQ(r.code, c.code) << c.what;
    if (c.code == status::ok) {
      EXPECT_EQ(out, data) << c.what;
    }
    bytes roomy(data.size() + 10);
    EXPECT_EQ(f(roomy, c.data, deflate::max_output).code, c.code) << c.what << ", given room";
  }
}

std::vector<record> test_inputs() { return read_records(kaz::testing::run_python(script() + " inputs")); }

TEST(Deflate, ExactBytesOfShortInputs) {
  EXPECT_EQ(pack(deflate::deflate, {}), (bytes{0x03, 0x00}));
  EXPECT_EQ(pack(deflate::zlib_deflate, {}), (bytes{0x78, 0x01, 0x03, 0x00, 0, 0, 0, 1}));
  EXPECT_EQ(pack(deflate::gzip, {}), (bytes{0x1F, 0x8B, 0x08, 0, 0, 0, 0, 0, 0x04, 0x04, 0x03,
                                             0x00, 0, 0, 0, 0, 0, 0, 0, 0}));
  // Literals only: the same bytes as any fixed-code encoder.
  EXPECT_EQ(pack(deflate::deflate, of("a")), (bytes{0x4B, 0x04, 0x00}));
  EXPECT_EQ(pack(deflate::deflate, of("abc")), (bytes{0x4B, 0x4C, 0x4A, 0x06, 0x00}));
  // Three literals, then one match of the other seven at distance 1.
  EXPECT_EQ(pack(deflate::deflate, of("aaaaaaaaaa")), (bytes{0x4B, 0x4C, 0x4C, 0x84, 0x02, 0x00}));
}

TEST(Deflate, MatchesItsDescriptionByteForByte) {
  auto inputs = test_inputs();
  std::string in;
  for (auto& r : inputs) write_record(in, r.name, r.data);
  auto expected = read_records(kaz::testing::run_python(script() + " reference", in));
  ASSERT_EQ(expected.size(), inputs.size());
  for (std::size_t i = 0; i < inputs.size(); ++i) {
    bytes ours = pack(deflate::deflate, inputs[i].data);
    EXPECT_TRUE(ours == expected[i].data) << inputs[i].name;
    bytes back;
    auto r = unpack(deflate::inflate, ours, back);
    EXPECT_EQ(r.code, status::ok) << inputs[i].name;
    EXPECT_TRUE(back == inputs[i].data) << inputs[i].name;
  }
}

TEST(Deflate, PythonReadsWhatWeWrite) {
  std::string in;
  std::size_t pairs = 0;
  for (auto& r : test_inputs()) {
    struct {
      const char* method;
      packer f;
    } framings[] = {{"raw", deflate::deflate}, {"zlib", deflate::zlib_deflate},
                    {"gzip", deflate::gzip}};
    for (auto& f : framings) {
      write_record(in, r.name, r.data);
      write_record(in, r.name + "/" + f.method, pack(f.f, r.data));
      ++pairs;
    }
  }
  std::istringstream answers(kaz::testing::run_python(script() + " check", in));
  std::string line;
  std::size_t ok = 0;
  while (std::getline(answers, line)) {
    EXPECT_EQ(line.rfind("ok ", 0), 0u) << line;
    ok += line.rfind("ok ", 0) == 0;
  }
  EXPECT_EQ(ok, pairs);
}

TEST(Inflate, ReadsWhatPythonWrites) {
  auto inputs = test_inputs();
  std::string in;
  for (auto& r : inputs) write_record(in, r.name, r.data);
  auto packed = read_records(kaz::testing::run_python(script() + " compress", in));
  ASSERT_GT(packed.size(), inputs.size() * 10);
  std::size_t next = 0;
  for (auto& p : packed) {
    while (p.name.rfind(inputs[next].name + "/", 0) != 0) ++next;
    const bytes& original = inputs[next].data;
    bytes out;
    auto r = unpack(unpacker_for(method_of(p.name)), p.data, out);
    EXPECT_EQ(r.code, status::ok) << p.name;
    EXPECT_EQ(r.size, original.size()) << p.name;
    EXPECT_TRUE(out == original) << p.name;
    EXPECT_EQ(r.used, p.data.size()) << p.name;
  }
}

// Bits for hand-made streams: values least significant bit first, Huffman codes most first.
struct bit_builder {
  bytes out;
  unsigned count = 0;
  bit_builder& put(uint32_t value, unsigned n) {
    for (unsigned i = 0; i < n; ++i, ++count) {
      if (count % 8 == 0) out.push_back(0);
      out.back() |= uint8_t(((value >> i) & 1) << (count % 8));
    }
    return *this;
  }
  bit_builder& code(uint32_t value, unsigned n) {
    for (unsigned i = n; i-- > 0;) put((value >> i) & 1, 1);
    return *this;
  }
  // A final dynamic block header whose code-length code gives length 1 to symbols a and b.
  bit_builder& dynamic(unsigned hlit, unsigned hdist, unsigned a, unsigned b) {
    static const unsigned order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5,
                                       11, 4, 12, 3, 13, 2, 14, 1, 15};
    put(1, 1).put(2, 2).put(hlit, 5).put(hdist, 5).put(15, 4);
    for (unsigned s : order) put(s == a || s == b ? 1 : 0, 3);
    return *this;
  }
};

TEST(Inflate, RefusesMalformedStreams) {
  stream_case cases[] = {
      {"reserved block type", {0x07}, status::reserved_block},
      {"stored block", {0x01, 0x03, 0x00, 0xFC, 0xFF, 'a', 'b', 'c'}, status::ok},
      {"stored NLEN mismatch", {0x01, 0x03, 0x00, 0x00, 0x00, 'a', 'b', 'c'}, status::nlen_mismatch},
      {"stored past the input", {0x01, 0x05, 0x00, 0xFA, 0xFF, 'a', 'b'}, status::stored_overrun},
      {"stored header cut", {0x01, 0x05}, status::truncated},
      {"empty input", {}, status::truncated},
      {"no final block", {0x02, 0x00}, status::truncated},
      {"literal/length symbol 286", bit_builder().put(3, 3).code(0xC6, 8).out,
       status::bad_symbol},
      {"distance symbol 30",
       bit_builder().put(3, 3).code(0x30 + 'a', 8).code(1, 7).code(30, 5).out,
       status::bad_symbol},
      {"distance before the output",
       bit_builder().put(3, 3).code(0x30 + 'a', 8).code(1, 7).code(1, 5).code(0, 7).out,
       status::distance_too_far},
      {"distance into an empty output", bit_builder().put(3, 3).code(1, 7).code(0, 5).out,
       status::distance_too_far},
      {"over-subscribed code-length code",
       bit_builder().put(1, 1).put(2, 2).put(0, 5).put(0, 5).put(0, 4)
           .put(1, 3).put(1, 3).put(1, 3).put(1, 3).out,
       status::bad_code_lengths},
      {"incomplete code-length code",
       bit_builder().put(1, 1).put(2, 2).put(0, 5).put(0, 5).put(0, 4)
           .put(0, 3).put(0, 3).put(0, 3).put(1, 3).out,
       status::bad_code_lengths},
      {"too many literal/length codes", bit_builder().dynamic(30, 0, 0, 18).out,
       status::bad_code_lengths},
      {"too many distance codes", bit_builder().dynamic(0, 30, 0, 18).out,
       status::bad_code_lengths},
      // Symbol 0 has code 0 and symbol 16 or 18 code 1.
      {"repeat with nothing before", bit_builder().dynamic(0, 0, 0, 16).code(1, 1).put(0, 2).out,
       status::bad_code_lengths},
      {"repeat past the code lengths",
       bit_builder().dynamic(0, 0, 0, 18).code(1, 1).put(127, 7).code(1, 1).put(127, 7).out,
       status::bad_code_lengths},
      {"no end-of-block code",
       bit_builder().dynamic(0, 0, 0, 18).code(1, 1).put(127, 7).code(1, 1).put(109, 7).out,
       status::bad_code_lengths},
  };
  for (auto& c : cases) {
    bytes out(64);
    auto r = deflate::inflate(out, c.data);
    EXPECT_EQ(r.code, c.code) << c.what;
  }
}

TEST(Inflate, EveryTruncationIsAnError) {
  std::string text;
  for (int i = 0; i < 200; ++i) text += "line " + std::to_string(i * 7919 % 1000) + " of text\n";
  bytes data = of(text);
  bytes packed = pack(deflate::deflate, data);
  bytes out(data.size());
  for (std::size_t n = 0; n < packed.size(); ++n) {
    bytes cut(packed.begin(), packed.begin() + long(n));
    EXPECT_NE(deflate::inflate(out, cut).code, status::ok) << n;
  }
  bytes z = pack(deflate::zlib_deflate, data), g = pack(deflate::gzip, data);
  for (std::size_t n = 0; n < z.size(); ++n)
    EXPECT_NE(deflate::zlib_inflate(out, std::span(z).first(n)).code, status::ok) << n;
  for (std::size_t n = 0; n < g.size(); ++n)
    EXPECT_NE(deflate::gunzip(out, std::span(g).first(n)).code, status::ok) << n;
}

TEST(Inflate, OutputIsBounded) {
  bytes zeros(1 << 20, 0);
  bytes packed = pack(deflate::deflate, zeros);
  EXPECT_LT(packed.size(), zeros.size() / 100);
  auto r = deflate::inflate({}, packed);
  EXPECT_EQ(r.code, status::too_small);
  EXPECT_EQ(r.size, zeros.size());
  bytes out(100);
  EXPECT_EQ(deflate::inflate(out, packed, 1000).code, status::too_large);
  EXPECT_EQ(deflate::inflate(out, packed, zeros.size()).code, status::too_small);
  bytes g = pack(deflate::gzip, zeros), z = pack(deflate::zlib_deflate, zeros);
  EXPECT_EQ(deflate::gunzip(out, g, 1000).code, status::too_large);
  EXPECT_EQ(deflate::zlib_inflate(out, z, 1000).code, status::too_large);
}

TEST(Inflate, DamagedStreamsNeverWritePastTheOutput) {
  std::mt19937 rng(12);
  std::string text;
  for (int i = 0; i < 300; ++i) text += "word" + std::to_string(rng() % 50) + " ";
  bytes good = read_records(kaz::testing::run_python(
      "-c \"import sys,zlib; d=sys.stdin.buffer.read(); c=zlib.compressobj(9,8,-15); "
      "p=c.compress(d)+c.flush(); sys.stdout.buffer.write(b'x %d\\n' % len(p) + p)\"",
      text))[0].data;
  ASSERT_EQ(good[0] & 6, 4);  // a dynamic block
  std::size_t done = 0;
  for (int i = 0; i < 20000; ++i) {
    bytes data = good;
    if (i % 2) {
      data.resize(rng() % 300);
      for (auto& b : data) b = uint8_t(rng());
    } else {
      for (int k = 1 + rng() % 3; k > 0; --k) data[rng() % data.size()] ^= uint8_t(1 << rng() % 8);
    }
    bytes out(rng() % 2 ? text.size() : 16);
    auto r = deflate::inflate(out, data);
    EXPECT_LE(r.used, data.size());
    if (r.code == status::ok) {
      EXPECT_LE(r.size, out.size());
    }
    done += r.code == status::ok;
  }
  EXPECT_LT(done, 20000u);
}

TEST(Gzip, AlwaysWrapsItsInput) {
  bytes looks_packed = {0x1F, 0x8B, 0x08, 0x00, 'k', 'a', 'z'};
  bytes g = pack(deflate::gzip, looks_packed);
  EXPECT_GT(g.size(), looks_packed.size() + 17);
  bytes back;
  EXPECT_EQ(unpack(deflate::gunzip, g, back).code, status::ok);
  EXPECT_EQ(back, looks_packed);
}

TEST(Gzip, HeaderAndTrailerAreChecked) {
  bytes data = of("gzip framing checks, gzip framing checks");
  bytes g = pack(deflate::gzip, data);
  bytes body(g.begin() + 10, g.end() - 8);
  bytes trailer(g.end() - 8, g.end());
  auto with_header = [&](bytes header) {
    header.insert(header.end(), body.begin(), body.end());
    header.insert(header.end(), trailer.begin(), trailer.end());
    return header;
  };
  auto changed = [&](std::size_t at, uint8_t value) {
    bytes c = g;
    c[at] = value;
    return c;
  };
  bytes base = {0x1F, 0x8B, 0x08, 0, 0, 0, 0, 0, 0, 3};
  auto flagged = [&](uint8_t flags, bytes extra) {
    bytes h = base;
    h[3] = flags;
    h.insert(h.end(), extra.begin(), extra.end());
    return h;
  };
  bytes hcrc = base;
  hcrc[3] = 2;
  uint32_t crc = checksum::crc32(hcrc);
  hcrc.push_back(uint8_t(crc));
  hcrc.push_back(uint8_t(crc >> 8));
  bytes bad_hcrc = hcrc;
  bad_hcrc.back() ^= 1;
  bytes trailing = g;
  trailing.insert(trailing.end() - 8, 0);
  bytes size_lie = changed(g.size() - 4, uint8_t(g[g.size() - 4] + 1));
  bytes size_short = changed(g.size() - 4, uint8_t(g[g.size() - 4] - 1));
  bytes huge_size = g;
  huge_size[g.size() - 1] = 0x80;
  bytes name_unended = flagged(8, {'n', 'a', 'm', 'e', 1, 2, 3, 4});
  name_unended.insert(name_unended.end(), trailer.begin(), trailer.end());

  stream_case cases[] = {
      {"plain", g, status::ok},
      {"extra, name and comment", with_header(flagged(4 | 8 | 16, {3, 0, 'x', 'y', 'z', 'n', 0, 'c', 0})),
       status::ok},
      {"header CRC", with_header(hcrc), status::ok},
      {"wrong header CRC", with_header(bad_hcrc), status::bad_data},
      {"extra field past the data", with_header(flagged(4, {0xFF, 0x7F})), status::bad_data},
      {"name without its end", name_unended, status::bad_data},
      {"reserved flag", changed(3, 0x20), status::bad_data},
      {"method 7", changed(2, 7), status::bad_data},
      {"magic", changed(1, 0x8C), status::bad_data},
      {"too short", bytes(g.begin(), g.begin() + 17), status::bad_data},
      {"wrong CRC", changed(g.size() - 8, uint8_t(g[g.size() - 8] ^ 1)), status::bad_data},
      {"size larger than the data", size_lie, status::bad_data},
      {"size smaller than the data", size_short, status::bad_data},
      {"size beyond any series", huge_size, status::too_large},
      {"bytes between stream and trailer", trailing, status::bad_data},
  };
  expect_unpacks(deflate::gunzip, cases, data);
}

TEST(Zlib, HeaderAndTrailerAreChecked) {
  bytes data = of("zlib framing checks, zlib framing checks");
  bytes z = pack(deflate::zlib_deflate, data);
  auto changed = [&](std::size_t at, uint8_t value, std::size_t at2 = 0, uint8_t value2 = 0) {
    bytes c = z;
    if (at2) c[at2] = value2;
    c[at] = value;
    return c;
  };
  bytes trailing = z;
  trailing.insert(trailing.end() - 4, 0);
  stream_case cases[] = {
      {"plain", z, status::ok},
      {"other valid header", changed(1, 0x9C), status::ok},
      {"header check", changed(1, 0x02), status::bad_data},
      {"method 7", changed(0, 0x77, 1, 0x09), status::bad_data},
      {"window beyond 32K", changed(0, 0x88, 1, 0x1C), status::bad_data},
      {"preset dictionary", changed(1, 0x20), status::bad_data},
      {"wrong Adler-32", changed(z.size() - 1, uint8_t(z.back() ^ 1)), status::bad_data},
      {"bytes between stream and trailer", trailing, status::bad_data},
      {"too short", bytes(z.begin(), z.begin() + 5), status::bad_data},
  };
  expect_unpacks(deflate::zlib_inflate, cases, data);
}

}  // namespace
