// The file layer against a temporary directory: reads and writes with every refinement and
// failure, listings, entries. Values are made and inspected from C++, as the file! datatype
// hands them over.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "core/block_storage.h"
#include "core/context.h"
#include "core/error.h"
#include "core/stack.h"
#include "core/string_storage.h"
#include "library/library.h"
#include "memory/collector.h"
#include "memory/unicode_strings.h"
#include "platform/files.h"
#include "runtime/native_stack.h"
#include "start/boot.h"

namespace kaz::files {
namespace {

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void spit(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

class Files : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!context::global) {
      sysrt::enter_runtime_thread(__builtin_frame_address(0));
      boot::init_runtime();
      library::run_top_level();
      collector::set_active(true);
    }
  }

  void SetUp() override {
    char tmpl[] = "/tmp/kaz-files-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    dir = std::string(tmpl) + "/";
    saved = stack::save();
  }
  void TearDown() override {
    stack::unwind_to(saved);
    std::string cmd = "rm -rf '" + dir + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
  }

  // A file! (or string!) of a path, on the value stack.
  cell* value(const std::string& text, uint32_t type_id = type::file) {
    cell c;
    string::make_at(&c, static_cast<uint32_t>(text.size() + 1), type_id);
    string::append_utf8(c.data2, text);
    return stack::push(&c);
  }
  cell* file(const std::string& name) { return value(dir + name); }
  cell* integer(int32_t n) {
    cell c{type::integer, 0, static_cast<uint32_t>(n), 0};
    return stack::push(&c);
  }

  // What a call raised: "category id", or "" when nothing.
  template <typename F>
  std::string raised(F&& f) {
    stack::saved_state s = stack::save();
    try {
      f();
      return "";
    } catch (const language_error&) {
      stack::unwind_to(s);
      return error::type_name(&error::in_flight) + " " + error::id_name(&error::in_flight);
    }
  }

  // A read's result as text: a string's UTF-8, a binary's bytes, a block's strings joined by |.
  std::string read(const std::string& name, cell* part = nullptr, cell* seek = nullptr,
                   bool binary = false, bool lines = false) {
    cell* out = stack::reserve_cell();
    read_path(file(name), part, seek, binary, lines, out);
    return shown(out);
  }
  std::string shown(cell* v) {
    switch (type_of(v)) {
      case type::binary: {
        unicode::text_range b = unicode::bytes_from_head(v);
        return "#" + std::string(reinterpret_cast<const char*>(b.p), b.count);
      }
      case type::block: {
        std::string s = "[";
        for (int32_t i = 0; i < block::rs_length(v); ++i) {
          cell item = *(block::rs_head(v) + i);
          s += (i ? "|" : "") + string::to_utf8(&item);
        }
        return s + "]";
      }
      default:
        return string::to_utf8(v);
    }
  }

  void write(const std::string& name, cell* data, cell* part = nullptr, cell* seek = nullptr,
             bool binary = false, bool append = false, bool lines = false) {
    write_value(file(name), data, part, seek, binary, append, lines);
  }

  cell* block_of(std::initializer_list<cell*> items) {
    cell b;
    block::init_cell(&b, 4);
    cell* held = stack::push(&b);
    for (cell* i : items) block::append_copy(held, i);
    return held;
  }

  std::string dir;
  stack::saved_state saved;
};

TEST_F(Files, ReadsTextBinaryAndLines) {
  struct row {
    std::string bytes;
    bool binary, lines;
    std::string expected;
  } rows[] = {
      {"", false, false, ""},
      {"", true, false, "#"},
      {"", false, true, "[]"},
      {"a\r\nb\n", false, true, "[a|b]"},
      {"a\n\nb", false, true, "[a||b]"},
      {"a", false, true, "[a]"},
      {"\n", false, true, "[]"},
      {"a\rb\n", false, true, "[a\rb]"},
      {"caf\xC3\xA9\r\n", false, false, "caf\xC3\xA9\r\n"},
      {"\xEF\xBB\xBFx", false, false, "x"},
      {std::string("\x00\xFF\x80", 3), true, false, std::string("#\x00\xFF\x80", 4)},
  };
  for (const row& r : rows) {
    spit(dir + "f", r.bytes);
    EXPECT_EQ(read("f", nullptr, nullptr, r.binary, r.lines), r.expected) << r.bytes;
  }
}

TEST_F(Files, ReadsPartsAndOffsets) {
  spit(dir + "f", "0123456789");
  struct row {
    int32_t part, seek;  // -1: absent
    std::string expected;
  } rows[] = {
      {3, -1, "012"}, {0, -1, ""},   {20, -1, "0123456789"}, {-1, 4, "456789"},
      {2, 4, "45"},   {-1, 10, ""},  {-1, 99, ""},           {-1, 0, "0123456789"},
      {-5, -1, "0123456789"},
  };
  for (const row& r : rows) {
    cell* part = r.part == -1 ? nullptr : integer(r.part);
    cell* seek = r.seek == -1 ? nullptr : integer(r.seek);
    EXPECT_EQ(read("f", part, seek), r.expected) << r.part << " " << r.seek;
  }
  // A character cut by /part is left out of the text; the bytes are all there in binary.
  spit(dir + "u", "a\xC3\xA9");
  EXPECT_EQ(read("u", integer(2)), "a");
  EXPECT_EQ(read("u", integer(2), nullptr, true), "#a\xC3");
}

TEST_F(Files, ReadsWhatReportsNoSize) {
  // /proc files report a size of 0 and are read to their end.
  cell* out = stack::reserve_cell();
  read_path(value("/proc/self/status"), nullptr, nullptr, false, false, out);
  EXPECT_NE(string::to_utf8(out).find("Name:"), std::string::npos);
  read_path(value("/proc/self/status"), integer(5), integer(1), false, false, out);
  EXPECT_EQ(string::to_utf8(out), "ame:\t");
  // A pipe is read until its writer closes it, /seek bytes skipped.
  std::string fifo = dir + "pipe";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::string big(200000, 'x');
  std::thread writer([&] {
    int fd = ::open(fifo.c_str(), O_WRONLY);
    std::string text = "12" + big;
    for (size_t done = 0; done < text.size();) done += ::write(fd, text.data() + done, text.size() - done);
    ::close(fd);
  });
  read_path(file("pipe"), nullptr, integer(2), false, false, out);
  writer.join();
  EXPECT_EQ(string::to_utf8(out), big);
}

TEST_F(Files, ReadFailures) {
  ::mkdir((dir + "sub").c_str(), 0700);
  spit(dir + "bad", "a\xFF");
  cell* out = stack::reserve_cell();
  struct row {
    std::string name;
    std::string expected;
  } rows[] = {
      {"missing", "access cannot-open"},
      {"sub", "access cannot-open"},  // a directory named as a file
      {"bad", "access invalid-utf8"},
  };
  for (const row& r : rows)
    EXPECT_EQ(raised([&] { read_path(file(r.name), nullptr, nullptr, false, false, out); }),
              r.expected)
        << r.name;
  std::string nul("x\0y", 3);
  EXPECT_EQ(raised([&] { read_path(file(nul), nullptr, nullptr, false, false, out); }),
            "access cannot-open");
  EXPECT_EQ(raised([&] { read_path(file("bad"), value("2", type::string), nullptr, false, false, out); }),
            "script invalid-refine-arg");
}

TEST_F(Files, ListsDirectories) {
  for (const char* d : {"b-dir", "a-dir"}) ::mkdir((dir + d).c_str(), 0700);
  for (const char* f : {"z", "c.txt", "\xFFraw"}) spit(dir + f, "");
  ::symlink((dir + "a-dir").c_str(), (dir + "link").c_str());
  cell* out = stack::reserve_cell();
  read_dir(value(dir), out);
  std::string listed = shown(out);
  EXPECT_EQ(listed.substr(0, listed.rfind('|') + 1), "[a-dir/|b-dir/|c.txt|link/|z|");
  // A name that is not UTF-8 keeps its stray byte FFh as U+DCFF and goes back to the system
  // as it came.
  cell raw = *(block::rs_head(out) + 5);
  unicode::text_range t = unicode::text_from_head(&raw);
  ASSERT_EQ(t.count, 4u);
  EXPECT_EQ(string::get_char(t.p, t.unit), 0xDCFFu);
  std::string path;
  ASSERT_TRUE(os_path(&raw, path));
  EXPECT_EQ(path, "\xFFraw");
  // read of a directory path lists it, whatever the refinements.
  read_path(value(dir + "a-dir/"), integer(1), nullptr, true, false, out);
  EXPECT_EQ(shown(out), "[]");
  // "." and ".." are directories by their text.
  char cwd[4096];
  ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
  ASSERT_EQ(::chdir((dir + "a-dir").c_str()), 0);
  read_path(value(".."), nullptr, nullptr, false, false, out);
  EXPECT_EQ(block::rs_length(out), 6);
  read_path(value("."), nullptr, nullptr, false, false, out);
  EXPECT_EQ(shown(out), "[]");
  ASSERT_EQ(::chdir(cwd), 0);
  EXPECT_EQ(raised([&] { read_dir(file("none/"), out); }), "access cannot-open");
}

TEST_F(Files, DirectoryPaths) {
  struct row {
    const char* path;
    bool dir;
  } rows[] = {{"a/", true},  {".", true},   {"..", true}, {"a/.", true}, {"a/..", true},
              {"a.", false}, {"a..", false}, {"", false}, {"a", false},  {".a", false}};
  for (const row& r : rows) EXPECT_EQ(dir_path_q(r.path), r.dir) << r.path;
}

TEST_F(Files, WritesValues) {
  cell* text = value("a\nb\xC3\xA9", type::string);
  cell* one = integer(1);
  cell* x = value("x", type::string);
  struct row {
    cell* data;
    bool binary, lines;
    std::string expected;
  } rows[] = {
      {text, false, false, "a\nb\xC3\xA9"},
      {text, true, false, "a\nb\xC3\xA9"},
      {block_of({one, x}), false, true, "1\nx\n"},
      {x, false, true, "x\n"},
      {block_of({one, integer(2)}), false, false, "[1 2]"},
  };
  for (const row& r : rows) {
    write("out", r.data, nullptr, nullptr, r.binary, false, r.lines);
    EXPECT_EQ(slurp(dir + "out"), r.expected);
  }
}

TEST_F(Files, WritesPartsOffsetsAndAppends) {
  cell* text = value("hello", type::string);
  write("f", text);
  write("f", value("HE", type::string), nullptr, integer(0));
  EXPECT_EQ(slurp(dir + "f"), "HEllo");  // positioned: overwrites, never truncates
  write("f", value("LO", type::string), nullptr, integer(3));
  EXPECT_EQ(slurp(dir + "f"), "HElLO");
  write("f", value("!", type::string), nullptr, nullptr, false, true);
  EXPECT_EQ(slurp(dir + "f"), "HElLO!");
  write("f", value("!", type::string), nullptr, integer(0), false, true);  // append wins
  EXPECT_EQ(slurp(dir + "f"), "HElLO!!");
  write("f", text, integer(2));
  EXPECT_EQ(slurp(dir + "f"), "he");  // a plain write truncates
  write("f", text, integer(0));
  EXPECT_EQ(slurp(dir + "f"), "");
  write("f", text);
  write("f", text, integer(-1));
  EXPECT_EQ(slurp(dir + "f"), "hello");  // a negative count writes nothing
  write("f", block_of({integer(1), integer(2), integer(3)}), integer(2), nullptr, false, false, true);
  EXPECT_EQ(slurp(dir + "f"), "1\n2\n");
  EXPECT_EQ(raised([&] { write("f", text, value("2", type::string)); }), "script invalid-refine-arg");
  EXPECT_EQ(raised([&] { write("f", text, nullptr, value("2", type::string)); }),
            "script invalid-refine-arg");
  ::mkdir((dir + "d").c_str(), 0700);
  EXPECT_EQ(raised([&] { write("d", text); }), "access cannot-open");
  EXPECT_EQ(raised([&] { write("d/", text); }), "access cannot-open");
  EXPECT_EQ(raised([&] { write("no/such", text); }), "access cannot-open");
  // A long text crosses the encoder's chunks whole.
  std::string long_text;
  for (int i = 0; i < 40000; ++i) long_text += "\xE2\x82\xAC";
  write("f", value(long_text, type::string));
  EXPECT_EQ(slurp(dir + "f"), long_text);
}

TEST_F(Files, Entries) {
  spit(dir + "a", "1");
  spit(dir + "b", "2");
  ::mkdir((dir + "d").c_str(), 0700);
  spit(dir + "d/in", "");
  EXPECT_FALSE(rename_file(file("a"), file("b")));  // never replaces
  EXPECT_EQ(slurp(dir + "b"), "2");
  EXPECT_TRUE(rename_file(file("a"), file("c")));
  EXPECT_TRUE(rename_file(file("c"), file("d/c")));  // moves across directories
  EXPECT_FALSE(rename_file(file("missing"), file("x")));
  EXPECT_FALSE(delete_file(file("d/")));  // not empty
  EXPECT_TRUE(delete_file(file("d/in")));
  EXPECT_TRUE(delete_file(file("d/c")));
  EXPECT_FALSE(delete_file(file("d")));  // a directory is deleted through its "/" path
  EXPECT_TRUE(delete_file(file("d/")));
  EXPECT_FALSE(delete_file(file("d/")));
  EXPECT_TRUE(make_dir(file("n")));
  EXPECT_FALSE(make_dir(file("n")));
  EXPECT_FALSE(make_dir(file("x/y/")));
  EXPECT_TRUE(exists_q(file("n")));
  EXPECT_TRUE(exists_q(file("n/")));
  EXPECT_TRUE(exists_q(file("b")));
  EXPECT_FALSE(exists_q(file("b/")));
  EXPECT_FALSE(exists_q(file(std::string("b\0", 2))));
  cell* out = stack::reserve_cell();
  query_file(file("missing"), out);
  EXPECT_EQ(type_of(out), type::none);
  query_file(file("b/"), out);
  EXPECT_EQ(type_of(out), type::none);
  query_file(file("b"), out);
  EXPECT_EQ(type_of(out), type::date);
  query_file(file("n/"), out);
  EXPECT_EQ(type_of(out), type::date);
}

}  // namespace
}  // namespace kaz::files
