#include "library/library.h"

#include <cstdio>
#include <string_view>

#include "core/block_storage.h"
#include "core/context.h"
#include "core/error.h"
#include "core/function.h"
#include "core/object.h"
#include "core/series_cell.h"
#include "core/stack.h"
#include "core/symbol.h"
#include "core/word.h"
#include "eval/interpreter.h"
#include "loader/kazbin.h"
#include "loader/lexer_transcode.h"
#include "memory/collector.h"
#include "memory/cycle_guard.h"
#include "runtime/embedded.h"
#include "runtime/fire.h"

namespace kaz::library {

namespace {
node_t lib_context = 0;  // the library's own copy of the global context
}

namespace {

constexpr std::string_view library_dir = "src/library/";
constexpr std::string_view view_dir = "src/view/";        // the View layer, after the library
constexpr std::string_view console_dir = "src/console/";  // evaluated after the View layer

// A script's code: the values after its `Kaz [...]` header.
void skip_header(cell* code) {
  if (block::rs_length(code) >= 2) {
    const cell* head = block::rs_head(code);
    if (type_of(head) == type::word && symbol::spelling(word::symbol_of(head)) == "Kaz" &&
        type_of(head + 1) == type::block)
      series::set_index(code, series::index_of(code) + 2);
  }
}

void run_file(const boot_image& f, kazbin::boot_table& names) {
  uint32_t base = stack::index_of(stack::top);
  cell* root = block::push_only(1);
  kazbin::decode_boot(f.data, static_cast<uint32_t>(f.length), series::node_of(root), true,
                      &names);
  // The build wrote the file's values as one block.
  if (block::rs_length(root) != 1 || type_of(block::rs_head(root)) != type::block)
    fire(err::script_invalid_data, root);
  cell* code = stack::reserve_cell();
  *code = *block::rs_head(root);
  skip_header(code);
  cell result;
  flow r = interp::do_block(code, &result);
  (void)r;  // an exit at the top level of a library file ends that file
  stack::top = stack::at_index(base);
}

}  // namespace

namespace {

// Marks a library block (and the blocks inside it) as library code, and binds the words it holds
// that are bound to the global context to the library's own copy of it.
void adopt_block(cell* b, node_t lib) {
  cycle_guard guard(series::node_of(b));
  if (!guard.entered()) return;
  memory::set_series_flags(series::node_of(b), series_flag::library);
  // Nothing here allocates: the cells stay where they are.
  cell* head = block::rs_head_rw(b);
  for (int32_t i = 0, n = block::rs_length(b); i < n; ++i) {
    cell* v = head + i;
    uint32_t t = type_of(v);
    if (is_any_word(t) && word::context_of(v) == context::global) {
      v->data1 = lib;
    } else if (is_any_block(t)) {
      cell nested = *v;
      adopt_block(&nested, lib);
    }
  }
}

// Marks every library function reachable from a value (through objects) as built in.
void adopt_value(cell* v, node_t lib) {
  uint32_t t = type_of(v);
  if (t == type::function) {
    v->header |= function_flag::builtin;
    cell body = function::extra_cells(v)[extra::body];
    if (type_of(&body) == type::block) adopt_block(&body, lib);
    context::owner_cell_rw(function::context_of(v))->header |= function_flag::builtin;
  } else if (t == type::object) {
    cycle_guard guard(object::context_of(v));
    if (!guard.entered()) return;
    node_t ctx = object::context_of(v);
    for (uint32_t i = 0; i < context::size(ctx); ++i) adopt_value(context::values_rw(ctx) + i, lib);
  }
}

// After the top level: the library's functions run on a copy of the global context as it stands
// now, so a user who redefines `print` or `append` does not break the library.
void seal_library() {
  node_t lib = context::clone(context::global, 0);
  collector::add_root_node(&lib_context);
  lib_context = lib;
  uint32_t n = context::size(context::global);
  for (uint32_t i = 0; i < n; ++i) context::values_rw(lib)[i] = context::values(context::global)[i];
  for (uint32_t i = 0; i < n; ++i) {
    adopt_value(context::values_rw(context::global) + i, lib);
    context::values_rw(lib)[i] = context::values(context::global)[i];
  }
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
  function::declaring_routines = true;
  kazbin::boot_table names;
  names.data = boot_symbol_table;
  names.length = static_cast<uint32_t>(boot_symbol_table_length);
  for (std::string_view dir : {library_dir, view_dir, console_dir}) {
    for (const boot_image* f = boot_images; f->path; ++f) {
      if (std::string_view(f->path).substr(0, dir.size()) != dir) continue;
      try {
        run_file(*f, names);
      } catch (...) {
        function::declaring_routines = false;
        throw;
      }
    }
  }
  function::declaring_routines = false;
  seal_library();
}

}  // namespace kaz::library
