// The I/O actions of file! and url! hand their work to the installed services with the right
// arguments, and raise not-done while no service is installed.
#include <gtest/gtest.h>

#include <string>

#include "core/block_storage.h"
#include "core/context.h"
#include "core/error.h"
#include "core/registry.h"
#include "core/stack.h"
#include "core/string_storage.h"
#include "core/symbol.h"
#include "datatypes/url.h"
#include "runtime/fire.h"
#include "start/boot.h"

namespace kaz {
namespace {

// What the fake services were called with.
struct call_log {
  std::string service, target, method, headers, body;
  bool binary = false, lines = false, open = false;
} last;

std::string text(const cell* v) { return v ? string::to_utf8(v) : "-"; }
std::string describe(const cell* v) {
  if (!v) return "-";
  if (type_of(v) == type::block) return "block of " + std::to_string(block::rs_length(v));
  return text(v);
}

bool answer = true;

void install() {
  url::services.url_request = [](uint32_t method, const cell* u, const cell* headers,
                                 const cell* body, bool binary, bool lines, bool, cell* out) {
    last = {"request", text(u), std::string(symbol::spelling(method)), describe(headers),
            describe(body), binary, lines};
    *out = cell{type::integer, 0, 7, 0};
    return answer;
  };
  url::services.to_port = [](const cell* u, bool open, bool, bool, bool, bool, const cell*,
                             cell* out) {
    last = {"port", text(u)};
    last.open = open;
    *out = cell{type::integer, 0, 8, 0};
  };
  url::services.read_path = [](const cell* f, const cell*, const cell*, bool binary, bool lines,
                               cell* out) {
    last = {"read", text(f)};
    last.binary = binary;
    last.lines = lines;
    *out = cell{type::integer, 0, 9, 0};
  };
  url::services.write_file = [](const cell* f, const cell* data, const cell*, const cell*,
                                bool binary, bool, bool) {
    last = {"write", text(f), "", "", describe(data), binary};
  };
  url::services.delete_file = [](const cell* f) {
    last = {"delete", text(f)};
    return true;
  };
}

class UrlServices : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!context::global) boot::init_runtime();
  }
  void SetUp() override {
    saved_ = stack::save();
    last = {};
    answer = true;
    install();
  }
  void TearDown() override {
    url::services = {};
    stack::unwind_to(saved_);
  }
  // A new value of the string family on the evaluation stack.
  static cell* text_value(uint32_t t, const char* s) {
    cell* c = stack::reserve_cell();
    string::make_at(c, 16, t);
    string::append_ascii(c->data2, s);
    return c;
  }
  static cell* word(const char* s) {
    cell w{type::word, 0, symbol::make(s), 0xFFFFFFFF};
    return stack::push(&w);
  }
  // The error id raised by f, or "" when none was.
  template <class F>
  static std::string raised(F f) {
    try {
      f();
    } catch (const language_error& e) {
      return error_info(e.id).id;
    }
    return "";
  }
  stack::saved_state saved_{};
};

cell* write_url(cell* u, cell* data) {
  return registry::row(type::url).write(u, data, false, false, false, false, nullptr, nullptr,
                                        nullptr, nullptr);
}

TEST_F(UrlServices, HttpWriteFormsTheRequest) {
  cell* u = text_value(type::url, "http://example.com");
  cell* body = text_value(type::string, "data");
  write_url(u, body);
  EXPECT_EQ(last.service, "request");
  EXPECT_EQ(last.method, "post");
  EXPECT_EQ(last.headers, "-");
  EXPECT_EQ(last.body, "data");
  EXPECT_EQ(type_of(u), type::integer);

  u = text_value(type::url, "https://example.com");
  cell* spec = block::push_only(3);
  block::append_copy(spec, word("put"));
  block::append_copy(spec, block::push_only(1));
  block::append_copy(spec, text_value(type::string, "x"));
  write_url(u, spec);
  EXPECT_EQ(last.method, "put");
  EXPECT_EQ(last.headers, "block of 0");
  EXPECT_EQ(last.body, "x");

  u = text_value(type::url, "http://example.com");
  write_url(u, block::push_only(1));
  EXPECT_EQ(last.method, "get");
  EXPECT_EQ(last.body, "-");
}

TEST_F(UrlServices, HttpWithoutAnswerIsNoConnect) {
  answer = false;
  cell* u = text_value(type::url, "http://example.com");
  EXPECT_EQ(raised([&] {
              registry::row(type::url).read(u, nullptr, nullptr, false, false, false, nullptr);
            }),
            "no-connect");
  EXPECT_EQ(last.method, "get");
}

TEST_F(UrlServices, OtherSchemesGoThroughAPort) {
  cell* u = text_value(type::url, "ftp://example.com");
  registry::row(type::url).open(u, false, true, false, false, nullptr);
  EXPECT_EQ(last.service, "port");
  EXPECT_EQ(last.target, "ftp://example.com");
  EXPECT_TRUE(last.open);
}

TEST_F(UrlServices, FileActionsHandOver) {
  cell* f = text_value(type::file, "dir/a.txt");
  registry::row(type::file).read(f, nullptr, nullptr, true, false, false, nullptr);
  EXPECT_EQ(last.service, "read");
  EXPECT_EQ(last.target, "dir/a.txt");
  EXPECT_TRUE(last.binary);
  EXPECT_EQ(type_of(f), type::integer);

  f = text_value(type::file, "b.txt");
  cell* data = text_value(type::string, "content");
  registry::row(type::file).write(f, data, false, false, false, false, nullptr, nullptr, nullptr,
                                  nullptr);
  EXPECT_EQ(last.service, "write");
  EXPECT_EQ(last.body, "content");
  EXPECT_EQ(type_of(f), type::unset);

  f = text_value(type::file, "c.txt");
  registry::row(type::file).delete_(f);
  EXPECT_EQ(last.service, "delete");
  EXPECT_EQ(type_of(f), type::logic);
  EXPECT_EQ(f->data1, 1u);
}

TEST_F(UrlServices, NothingInstalledIsNotDone) {
  url::services = {};
  cell* f = text_value(type::file, "a");
  EXPECT_EQ(raised([&] { registry::row(type::file).query(f); }), "not-done");
  EXPECT_EQ(raised([&] { registry::row(type::file).rename(f, f); }), "not-done");
  cell* u = text_value(type::url, "http://x");
  EXPECT_EQ(raised([&] {
              registry::row(type::url).read(u, nullptr, nullptr, false, false, false, nullptr);
            }),
            "not-done");
}

TEST_F(UrlServices, FileOsPathIsItsText) {
  EXPECT_EQ(file::to_os_path(text_value(type::file, "/home/u/a b.txt")), "/home/u/a b.txt");
}

}  // namespace
}  // namespace kaz
