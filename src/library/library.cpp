#include "library/library.h"

#include <cstdio>
#include <string_view>

#include "core/context.h"
#include "core/error.h"
#include "core/function.h"
#include "core/interpreter.h"
#include "core/stack.h"
#include "core/symbol.h"
#include "datatypes/block_storage.h"
#include "loader/lexer_transcode.h"
#include "runtime/embedded.h"

namespace kaz::library {

namespace detail {
extern bool defining;
}

namespace {

constexpr std::string_view library_dir = "src/library/";

// A script's code: the values after its `Kaz [...]` header.
void skip_header(cell* code) {
  if (block::rs_length(code) >= 2) {
    cell* head = block::rs_head(code);
    if (type_of(head) == type::word && symbol::spelling(head->data2) == "Kaz" &&
        type_of(head + 1) == type::block)
      code->data1 += 2;
  }
}

void run_file(const embedded_file& f) {
  uint32_t base = stack::index_of(stack::top);
  cell* code = stack::reserve_cell();
  lexer::load_text_block(std::string_view(f.text, f.length), code);
  skip_header(code);
  cell result;
  flow r = interp::do_block(code, &result);
  (void)r;  // an exit at the top level of a library file ends that file
  stack::top = stack::at_index(base);
}

}  // namespace

void run_top_level() {
  // `make` comes first and untyped: the typesets its spec names are made with it.
  {
    uint32_t base = stack::index_of(stack::top);
    cell* spec = stack::reserve_cell();
    lexer::load_text_block("type spec", spec);
    cell make;
    function::make_native(&make, type::action, spec, 1);
    context::put_word_value(context::global, symbol::make("make"), &make);
    stack::top = stack::at_index(base);
  }
  detail::defining = true;
  for (const embedded_file* f = embedded_files; f->path; ++f) {
    if (std::string_view(f->path).substr(0, library_dir.size()) != library_dir) continue;
    try {
      run_file(*f);
    } catch (...) {
      detail::defining = false;
      throw;
    }
  }
  detail::defining = false;
}

}  // namespace kaz::library

#include <fstream>
#include <sstream>

namespace kaz::library {

int run_script(const char* path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "*** cannot open: %s\n", path);
    return 1;
  }
  std::ostringstream text;
  text << in.rdbuf();
  std::string source = text.str();
  uint32_t base = stack::index_of(stack::top);
  cell* code = stack::reserve_cell();
  lexer::load_text_block(source, code);
  skip_header(code);
  cell result;
  flow r = interp::do_block(code, &result);
  (void)r;
  stack::top = stack::at_index(base);
  return 0;
}

}  // namespace kaz::library
