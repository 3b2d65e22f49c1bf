// The library built into the executable as KAZBIN images must give start-up exactly the values
// that lexing its source files gives: same values, new-line markers and global bindings.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include "../support/session.h"
#include "loader/kazbin.h"
#include "runtime/embedded.h"

namespace kaz {
namespace {

std::string read_source(const std::string& rel) {
  std::ifstream f(std::string(KAZ_SOURCE_DIR) + "/" + rel, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

// The first place where two blocks' words are bound differently ("" when nowhere).
std::string binding_difference(const cell* a, const cell* b, int depth = 0) {
  if (depth > 64) return "";
  int32_t n = block::rs_length(a);
  if (n != block::rs_length(b)) return "length";
  for (int32_t i = 0; i < n; ++i) {
    const cell* x = block::rs_abs_at(a, a->data1 + uint32_t(i));
    const cell* y = block::rs_abs_at(b, b->data1 + uint32_t(i));
    uint32_t t = type_of(x);
    if (t != type_of(y)) return "type at " + std::to_string(i);
    if (is_any_word(t) && (x->data1 != y->data1 || x->data3 != y->data3 || x->data2 != y->data2))
      return "word " + testing::molded(x) + " at " + std::to_string(i) + ": " +
             std::to_string(x->data1) + "/" + std::to_string(x->data3) + " against " +
             std::to_string(y->data1) + "/" + std::to_string(y->data3);
    if (is_any_block(t)) {
      std::string d = binding_difference(x, y, depth + 1);
      if (!d.empty()) return d;
    }
  }
  return "";
}

TEST(BootImage, EveryLibraryFileDecodesToWhatItsSourceLexesTo) {
  testing::boot();
  std::set<std::string> imaged;
  kazbin::boot_table names;
  names.data = boot_symbol_table;
  names.length = static_cast<uint32_t>(boot_symbol_table_length);
  for (const boot_image* f = boot_images; f->path; ++f) {
    SCOPED_TRACE(f->path);
    imaged.insert(f->path);
    stack::saved_state saved = stack::save();
    cell* lexed = stack::reserve_cell();
    lexer::load_text_block(read_source(f->path), lexed);
    cell* root = block::push_only(1);
    kazbin::decode_boot(f->data, static_cast<uint32_t>(f->length), root->data2, true, &names);
    ASSERT_EQ(block::rs_length(root), 1);
    const cell* decoded = block::rs_head(root);
    EXPECT_EQ(testing::molded(lexed, true), testing::molded(decoded, true));
    EXPECT_EQ(binding_difference(lexed, decoded), "");
    stack::unwind_to(saved);
  }
  // No library file is left out.
  for (const char* dir : {"src/library", "src/console", "src/view"}) {
    std::filesystem::path p = std::filesystem::path(KAZ_SOURCE_DIR) / dir;
    if (!std::filesystem::exists(p)) continue;
    for (const auto& e : std::filesystem::directory_iterator(p)) {
      if (e.path().extension() == ".kaz") {
        EXPECT_TRUE(imaged.count(std::string(dir) + "/" + e.path().filename().string()))
            << e.path();
      }
    }
  }
}

}  // namespace
}  // namespace kaz
