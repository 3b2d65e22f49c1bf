// The hashtable against std::unordered_map and brute force, for every kind.
#include "memory/hashtable.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "memory/collector.h"
#include "memory/murmur3.h"
#include "memory/unicode_units.h"

using namespace kaz;
using namespace kaz::hashtable;

namespace {

std::mt19937 rng(2024);

// A string! cell over a new buffer holding the code points, in the narrowest unit.
cell text(const std::u32string& s, uint32_t type_id = type::string) {
  uint32_t max = 0;
  for (char32_t c : s) max = std::max<uint32_t>(max, c);
  uint32_t unit = unicode::unit_for(max);
  node_t n = memory::alloc_units(uint32_t(s.size()) + 1, unit);
  series_buffer* b = memory::buffer_of(n);
  for (size_t i = 0; i < s.size(); ++i) unicode::put_char(b->head_rw() + i * unit, unit, s[i]);
  b->tail = b->offset + uint32_t(s.size()) * unit;
  return cell{type_id, 0, n, 0};
}
cell integer(int32_t v) { return cell{type::integer, 0, uint32_t(v), 0}; }
cell number(double d) {
  cell c{type::float_, 0, 0, 0};
  put_double(&c, d);
  return c;
}

// Appends a cell to a block; answers its position.
uint32_t append(node_t block, const cell& c) {
  *memory::append_cell(block) = c;
  return memory::buffer_of(block)->length() - 1;
}
cell* cell_at(node_t block, uint32_t p) { return memory::buffer_of(block)->cells_rw() + p; }

std::u32string random_word() {
  std::u32string s;
  size_t n = rng() % 4;
  for (size_t i = 0; i < n; ++i) s += char32_t("aAbB"[rng() % 4]);
  if (rng() % 8 == 0) s += char32_t(0xE9 + (rng() % 2) * (0xC9 - 0xE9));  // é or É
  if (rng() % 16 == 0) s += char32_t(0x1F600);
  return s;
}

// Turns the collector on for a test whose nodes are all reachable from the stack or from
// tables (KAZ_GC_TORTURE then collects between allocations).
struct collecting {
  bool was = collector::active();
  collecting() { collector::set_active(true); }
  ~collecting() { collector::set_active(was); }
};

}  // namespace

TEST(Hashtable, SizesAndPowersOfTwo) {
  EXPECT_EQ(round_up_pow2(0), 0u);
  EXPECT_EQ(round_up_pow2(1), 1u);
  EXPECT_EQ(round_up_pow2(5), 8u);
  EXPECT_EQ(round_up_pow2(1024), 1024u);
  node_t t = create(0, 0, map_block);
  EXPECT_EQ(bucket_count(t), 8u);  // 4 / 0.77 rounds up past 4
  EXPECT_EQ(live_count(t), 0u);
  EXPECT_EQ(bucket_count(create(1000, 0, pointers, 1)), 2048u);
}

TEST(Hashtable, EqualValuesHashAlike) {
  cell a = text(U"Straße"), b = text(U"STRAßE"), c = text(U"straße\U0001F600");
  EXPECT_EQ(hash_value(&a, false), hash_value(&b, false));
  EXPECT_NE(hash_value(&a, true), hash_value(&b, true));
  EXPECT_NE(hash_value(&a, false), hash_value(&c, false));
  // The unit width does not matter: the same text in 1 and 4 bytes a unit.
  cell narrow = text(U"abc");
  cell wide = text(U"abc\U0001F600");
  memory::buffer_of(wide.data2)->tail -= 4;
  EXPECT_EQ(hash_value(&narrow, false), hash_value(&wide, false));
  cell z = number(0.0), nz = number(-0.0);
  EXPECT_EQ(hash_value(&z, false), hash_value(&nz, false));
  cell one = integer(1);
  cell newline = one;
  newline.header |= new_line_flag;
  EXPECT_EQ(hash_value(&one, false), hash_value(&newline, false));
  EXPECT_TRUE(basic_equal(&a, &b, 0));
  EXPECT_FALSE(basic_equal(&a, &b, 2));
  cell none{type::none, 0, 0, 0}, unset{type::unset, 0, 0, 0};
  EXPECT_NE(hash_value(&none, false), hash_value(&unset, false));
}

// A name hashes as MurmurHash3 of its bytes with A-Z folded to a-z, and only those: every byte
// value, in each position of a four-byte block and in the tail.
TEST(Hashtable, NameHashFoldsAsciiLettersOnly) {
  for (uint32_t b = 0; b < 256; ++b) {
    for (uint32_t len : {1u, 4u, 7u}) {
      for (uint32_t at = 0; at < len; ++at) {
        uint8_t name[8] = {'k', 'A', 'z', 'Q', '-', 0xC3, 'Z'};
        name[at] = static_cast<uint8_t>(b);
        uint8_t folded[8];
        for (uint32_t i = 0; i < len; ++i)
          folded[i] = name[i] >= 'A' && name[i] <= 'Z' ? name[i] | 0x20 : name[i];
        ASSERT_EQ(hash_name(name, len), murmur3(folded, len, seed())) << b << " at " << at;
      }
    }
  }
}

// map!: random puts, removals and growth, checked against std::unordered_map with exact
// (strict-equal?) keys.
TEST(Hashtable, MapMatchesUnorderedMap) {
  collecting on;
  node_t block = memory::alloc_cells(4);
  node_t t = create(0, block, map_block);
  std::unordered_map<std::u32string, int32_t> want;
  for (int step = 0; step < 6000; ++step) {
    std::u32string k = random_word();
    int action = rng() % 10;
    if (action < 6) {  // put
      int32_t v = int32_t(rng());
      uint32_t p = append(block, text(k));
      append(block, integer(v));
      uint32_t kept = put_value(t, p);
      if (kept != p) {  // the key was there: the value goes to its pair
        memory::buffer_of(block)->tail -= 32;
        *cell_at(block, kept + 1) = integer(v);
      }
      want[k] = v;
    } else if (action < 8) {  // remove
      cell key = text(k);
      int32_t p = find(t, &key, 0, 1, 2);
      if (p >= 0) remove_value(t, uint32_t(p));
      EXPECT_EQ(p >= 0, want.erase(k) == 1) << step;
    } else {  // look up
      cell key = text(k);
      int32_t p = find(t, &key, 0, 1, 2);
      auto hit = want.find(k);
      ASSERT_EQ(p >= 0, hit != want.end()) << step;
      if (p >= 0) {
        EXPECT_EQ(int32_t(cell_at(block, uint32_t(p) + 1)->data2), hit->second);
      }
    }
  }
  EXPECT_EQ(live_count(t), want.size());
  for (auto& [k, v] : want) {
    cell key = text(k);
    int32_t p = find(t, &key, 0, 1, 2);
    ASSERT_GE(p, 0);
    EXPECT_EQ(int32_t(cell_at(block, uint32_t(p) + 1)->data2), v);
  }
}

// Of several case variants of a key, a case-insensitive lookup answers the one inserted first,
// whatever the seed put them in the probe sequence.
TEST(Hashtable, CaseInsensitiveLookupAnswersTheFirstVariant) {
  collecting on;
  for (int order = 0; order < 2; ++order) {
    node_t block = memory::alloc_cells(8);
    node_t t = create(0, block, map_block);
    std::u32string first = order ? U"ABC" : U"abc", second = order ? U"abc" : U"ABC";
    for (auto& k : {first, second, std::u32string(U"Abc")}) {
      uint32_t p = append(block, text(k));
      append(block, integer(int32_t(p)));
      EXPECT_EQ(put_value(t, p), p);  // strict-equal? tells them apart
    }
    cell probe = text(U"aBC");
    EXPECT_EQ(find(t, &probe, 0, 1, 0), 0);
    EXPECT_EQ(find(t, &probe, 0, 1, 2), -1);
    cell exact = text(second);
    EXPECT_EQ(find(t, &exact, 0, 1, 2), 2);
    remove_value(t, 0);  // the first is gone: the next one answers
    EXPECT_EQ(find(t, &probe, 0, 1, 0), 2);
  }
}

TEST(Hashtable, MapIndexingMergesDuplicateKeys) {
  collecting on;
  node_t block = memory::alloc_cells(8);
  int32_t pairs[][2] = {{1, 10}, {2, 20}, {1, 30}, {3, 40}, {2, 50}};
  for (auto& p : pairs) {
    append(block, integer(p[0]));
    append(block, integer(p[1]));
  }
  node_t t = create(5, block, map_block);
  ASSERT_EQ(memory::buffer_of(block)->length(), 6u);
  int32_t expect[] = {1, 30, 2, 50, 3, 40};
  for (uint32_t i = 0; i < 6; ++i) EXPECT_EQ(int32_t(cell_at(block, i)->data2), expect[i]);
  EXPECT_EQ(live_count(t), 3u);
}

// hash!: every find against a brute-force scan of the block, with start, skip, /last and
// /reverse, through insertions (growth, duplicate chains) and removals (rebuild).
TEST(Hashtable, HashBlockMatchesBruteForce) {
  collecting on;
  node_t block = memory::alloc_cells(4);
  node_t t = create(0, block, hash_block);
  auto brute = [&](const cell& key, int32_t s, int32_t k, int32_t op, bool last, bool reverse) {
    int32_t n = int32_t(memory::buffer_of(block)->length());
    int32_t best = -1;
    uint32_t ak = uint32_t(k < 0 ? -k : k == 0 ? 1 : k);
    for (int32_t p = 0; p < n; ++p) {
      if (!basic_equal(cell_at(block, uint32_t(p)), &key, op)) continue;
      int64_t d = int64_t(s) - p - 1;
      if (!last && !reverse && p >= s && (p - s) % int32_t(ak) == 0 && best < 0) best = p;
      if (last && p >= s && ((d % ak) + ak) % ak == 0) best = p;
      if (reverse && p < s && d % ak == 0) best = p;
    }
    return best;
  };
  for (int step = 0; step < 3000; ++step) {
    int action = rng() % 10;
    if (action < 5) {
      uint32_t p = rng() % 3 ? append(block, integer(int32_t(rng() % 40)))
                             : append(block, text(random_word()));
      bool rebuilt;
      put_value(t, p, &rebuilt);
    } else if (action < 6 && memory::buffer_of(block)->length() > 0) {
      // Remove a value anywhere: the block closes up and the table is built again.
      series_buffer* s = memory::buffer_of(block);
      uint32_t n = s->length(), p = rng() % n;
      cell* c = s->cells_rw();
      std::memmove(c + p, c + p + 1, (n - p - 1) * sizeof(cell));
      s->tail -= sizeof(cell);
      rebuild(t);
    } else {
      cell key = rng() % 3 ? integer(int32_t(rng() % 40)) : text(random_word());
      int32_t n = int32_t(memory::buffer_of(block)->length());
      int32_t s = n ? int32_t(rng() % (n + 1)) : 0;
      int32_t k = int32_t(rng() % 3) + 1;
      int32_t op = rng() % 2 ? 0 : 2;
      bool last = rng() % 4 == 0, reverse = !last && rng() % 4 == 0;
      ASSERT_EQ(find(t, &key, s, k, op, last, reverse), brute(key, s, k, op, last, reverse))
          << "step " << step << " start " << s << " skip " << k;
    }
  }
}

// hash!: the table follows edits of its block (insertions, removals and overwrites anywhere,
// rotations) without being built again; every find is checked against a scan of the block,
// with small values so that duplicate chains are long.
TEST(Hashtable, HashBlockFollowsEditsInPlace) {
  collecting on;
  node_t block = memory::alloc_cells(4);
  node_t t = create(0, block, hash_block);
  auto length = [&] { return memory::buffer_of(block)->length(); };
  auto value = [&] { return rng() % 4 ? integer(int32_t(rng() % 12)) : text(random_word()); };
  auto scan = [&](const cell& key, uint32_t s, int32_t op) {
    for (uint32_t p = s; p < length(); ++p)
      if (basic_equal(cell_at(block, p), &key, op)) return int32_t(p);
    return -1;
  };
  for (int step = 0; step < 6000; ++step) {
    int action = int(rng() % 8);
    uint32_t n = length();
    uint32_t at = n ? uint32_t(rng() % (n + 1)) : 0;
    if (action < 2) {  // insert k values at `at`
      uint32_t k = uint32_t(rng() % 4) + 1;
      for (uint32_t i = 0; i < k; ++i) memory::append_cell(block);
      cell* c = memory::buffer_of(block)->cells_rw();
      std::memmove(c + at + k, c + at, (n - at) * sizeof(cell));
      for (uint32_t i = 0; i < k; ++i) c[at + i] = value();
      splice_values(t, at, 0, k);
    } else if (action < 4 && at < n) {  // remove up to k values at `at`
      uint32_t k = std::min(uint32_t(rng() % 4) + 1, n - at);
      series_buffer* s = memory::buffer_of(block);
      std::memmove(s->cells_rw() + at, s->cells() + at + k, (n - at - k) * sizeof(cell));
      s->tail -= k * sizeof(cell);
      splice_values(t, at, k, 0);
    } else if (action < 5 && at < n) {  // overwrite one value
      memory::buffer_of(block)->cells_rw()[at] = value();
      splice_values(t, at, 1, 1);
    } else if (action < 6 && n > 2) {  // rotate a range
      uint32_t first = uint32_t(rng() % (n - 2));
      uint32_t last = first + 2 + uint32_t(rng() % (n - first - 1));
      uint32_t middle = first + 1 + uint32_t(rng() % (last - first - 1));
      cell* c = memory::buffer_of(block)->cells_rw();
      std::rotate(c + first, c + middle, c + last);
      rotate_values(t, first, middle, last);
    } else {
      cell key = value();
      uint32_t s = n ? uint32_t(rng() % (n + 1)) : 0;
      int32_t op = rng() % 2 ? 0 : 2;
      ASSERT_EQ(find(t, &key, int32_t(s), 1, op), scan(key, s, op)) << "step " << step;
    }
  }
}

TEST(Hashtable, HashBlockDuplicatesShareAChain) {
  collecting on;
  node_t block = memory::alloc_cells(8);
  for (int v : {5, 7, 5, 5, 9, 5}) append(block, integer(v));
  node_t t = create(6, block, hash_block);
  EXPECT_EQ(live_count(t), 3u);  // 5, 7 and 9: one bucket each
  cell five = integer(5);
  EXPECT_EQ(find(t, &five, 0, 2), 0);
  EXPECT_EQ(find(t, &five, 1, 2), 3);  // start 1, every 2nd: 1, 3, 5
  EXPECT_EQ(find(t, &five, 1, 2, 0, true), 2);  // /last: (start - p - 1) a multiple of 2
  EXPECT_EQ(find(t, &five, 0, 1, 0, true), 5);
  EXPECT_EQ(find(t, &five, 5, 1, 0, false, true), 3);
  remove_value(t, 0);
  EXPECT_EQ(find(t, &five, 0, 1), 2);
  for (uint32_t p : {2, 3, 5}) remove_value(t, p);
  EXPECT_EQ(find(t, &five, 0, 1), -1);
  EXPECT_EQ(live_count(t), 2u);
}

TEST(Hashtable, PointerTableMatchesUnorderedMap) {
  node_t t = create(0, 0, pointers, 2);
  std::unordered_map<node_t, uint32_t> want;
  std::vector<node_t> keys;
  for (int i = 0; i < 300; ++i) keys.push_back(memory::alloc_bytes(16));
  for (int step = 0; step < 20000; ++step) {
    node_t k = keys[rng() % keys.size()];
    int action = rng() % 3;
    if (action == 0) {
      cell* v = put_pointer(t, k);
      if (!want.count(k)) {
        EXPECT_EQ(type_of(v), uint32_t(type::unset));
        EXPECT_EQ(type_of(v + 1), uint32_t(type::unset));
      }
      uint32_t x = rng();
      *v = integer(int32_t(x));
      want[k] = x;
    } else if (action == 1) {
      EXPECT_EQ(remove_pointer(t, k), want.erase(k) == 1);
    } else {
      cell* v = get_pointer(t, k);
      ASSERT_EQ(v != nullptr, want.count(k) == 1);
      if (v) {
        EXPECT_EQ(v->data2, want[k]);
      }
    }
  }
  EXPECT_EQ(live_count(t), want.size());
  size_t seen = 0;
  each_pointer(t, [](node_t, cell*, void* n) { ++*static_cast<size_t*>(n); }, &seen);
  EXPECT_EQ(seen, want.size());
}

TEST(Hashtable, SymbolsAndTheirCaseVariants) {
  collecting on;
  node_t block = memory::alloc_cells(4);
  node_t t = create(0, block, symbols);
  auto sym = [&](const char* s, bool any = false) {
    return find_symbol(t, reinterpret_cast<const uint8_t*>(s), uint32_t(std::strlen(s)), any);
  };
  uint32_t print = sym("print");
  EXPECT_EQ(print, 1u);
  EXPECT_EQ(sym("print"), print);
  uint32_t upper = sym("PRINT");
  EXPECT_EQ(upper, 2u);
  EXPECT_EQ(int32_t(cell_at(block, upper - 1)->data1), int32_t(print));  // alias: first spelling
  EXPECT_EQ(int32_t(cell_at(block, print - 1)->data1), -1);
  uint32_t mixed = sym("Print");
  EXPECT_EQ(cell_at(block, mixed - 1)->data1, print);  // not PRINT: the canonical one
  EXPECT_EQ(sym("pRINT", true), print);
  EXPECT_EQ(memory::buffer_of(block)->length(), 3u);
  EXPECT_EQ(sym("", false), 4u);
  EXPECT_EQ(sym("", false), 4u);
  // Many symbols: the table grows and every one stays found.
  std::vector<std::string> names;
  for (int i = 0; i < 5000; ++i) names.push_back("w" + std::to_string(i));
  for (auto& n : names) sym(n.c_str());
  for (size_t i = 0; i < names.size(); ++i) ASSERT_EQ(sym(names[i].c_str()), 5 + i);
  // The name is kept NUL-terminated, its tail before the NUL.
  series_buffer* name = memory::buffer_of(cell_at(block, print - 1)->data3);
  EXPECT_EQ(name->used_bytes(), 5u);
  EXPECT_EQ(name->head()[5], 0);
}

TEST(Hashtable, ContextWords) {
  collecting on;
  // Symbols 1 and 3 are spellings of one word (a resolver maps 3 to 1).
  set_symbol_resolver([](uint32_t s) { return s == 3 ? 1u : s; });
  node_t words = memory::alloc_cells(4);
  node_t ctx = memory::alloc_cells(2);
  node_t t = create(0, words, symbols);
  int32_t index = 99;
  EXPECT_EQ(find_in_context(t, 3, false, ctx, &index), -1);
  EXPECT_EQ(index, 0);
  EXPECT_EQ(find_in_context(t, 1, false), -1);
  EXPECT_EQ(find_in_context(t, 1, true), 0);
  EXPECT_EQ(find_in_context(t, 1, false, ctx, &index), -1);
  EXPECT_EQ(index, 1);
  EXPECT_EQ(find_in_context(t, 1, true), 1);  // the exact spelling first
  EXPECT_EQ(find_in_context(t, 3, true), 0);
  cell* w = cell_at(words, 1);
  EXPECT_EQ(type_of(w), uint32_t(type::word));
  EXPECT_EQ(w->data1, ctx);
  EXPECT_EQ(w->data3, 1u);
  for (uint32_t s = 10; s < 2000; ++s) find_in_context(t, s, false, ctx, &index);
  for (uint32_t s = 10; s < 2000; ++s) ASSERT_EQ(find_in_context(t, s, false), int32_t(s - 8));
  // A copy of the word block indexes the same words.
  node_t t2 = copy(t, memory::copy_series(memory::buffer_of(words)));
  EXPECT_EQ(find_in_context(t2, 1999, false), 1991);
  set_symbol_resolver(nullptr);
}

// Tables survive collections that move every buffer, their keys and positions intact.
TEST(Hashtable, TablesSurviveCollections) {
  collecting on;
  node_t block = memory::alloc_cells(4);
  node_t map = create(0, block, map_block);
  node_t ptrs = create(0, 0, pointers, 1);
  std::vector<node_t> keys(200);  // roots: node ids held off the stack may be renumbered
  for (auto& k : keys) collector::add_root_node(&k);
  for (int i = 0; i < 200; ++i) {
    uint32_t p = append(block, text(U"key" + std::u32string(1, char32_t('a' + i % 26)) +
                                    std::u32string(i / 26 + 1, U'x')));
    append(block, integer(i));
    put_value(map, p);
    keys[size_t(i)] = memory::alloc_bytes(16);
    put_pointer(ptrs, keys[size_t(i)])->data2 = uint32_t(i);
  }
  collector::collect();
  collector::collect();
  for (int i = 0; i < 200; ++i) {
    cell k = text(U"KEY" + std::u32string(1, char32_t('A' + i % 26)) +
                  std::u32string(i / 26 + 1, U'X'));
    int32_t p = find(map, &k, 0, 1, 0);
    ASSERT_GE(p, 0) << i;
    EXPECT_EQ(int32_t(cell_at(block, uint32_t(p) + 1)->data2), i);
    cell* v = get_pointer(ptrs, keys[size_t(i)]);
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->data2, uint32_t(i));
  }
  for (auto& k : keys) collector::remove_root_node(&k);
}
