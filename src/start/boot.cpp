#include "start/boot.h"

#include <cfenv>
#include <cstdlib>
#include <new>

#include "console/console_routines.h"
#include "console/console_start.h"
#include "core/actions.h"
#include "core/context.h"
#include "core/error.h"
#include "core/ownership.h"
#include "core/registry.h"
#include "core/stack.h"
#include "core/symbol.h"
#include "core/words.h"
#include "datatypes/map.h"
#include "datatypes/random.h"
#include "eval/action_dispatch.h"
#include "eval/interpreter.h"
#include "eval/natives.h"
#include "eval/parse.h"
#include "eval/trace.h"
#include "library/builtin_words.h"
#include "library/library.h"
#include "library/routines.h"
#include "library/url_port.h"
#include "loader/lexer_transcode.h"
#include "memory/collector.h"
#include "memory/hashtable.h"
#include "memory/resources.h"
#include "memory/series.h"
#include "platform/files.h"
#include "platform/http.h"
#include "runtime/native_stack.h"
#include "runtime/os_setup.h"
#include "runtime/output_hooks.h"
#include "runtime/runtime_error.h"
#include "runtime/runtime_record.h"
#include "runtime/throw.h"
#include "runtime/tracked_alloc.h"
#include "view/tui_routines.h"
#include "view/view_routines.h"

/*
 * The start-up spine, the one place that knows every layer. Every step below has its fixed
 * place: each relies on the state left by the steps before it. The layers beneath meet here:
 * each registers its entries (routines, the evaluator's and the loader's entry points) in a
 * table of the layer beneath, so that no layer includes one above it.
 */
namespace kaz::boot {

uint32_t booting_q = 0;

namespace {

// The head of the run on the evaluation thread: the module set-up that precedes all values.
void init_modules() {
  collector::set_stack_base(reinterpret_cast<const void*>(sysrt::current_thread_stack().base));
}

}  // namespace

void run_library() {
  library::make_builtin_words();
  collector::set_active(true);
  booting_q = 0;
  // The library's top level in file order (its boot images), then the console's definitions.
  library::run_top_level();
}

namespace {

// The library's and the console's top level, then the console itself: a script of the command
// line, or the prompt.
void run_top_level() {
  run_library();
  console::launch();
}

// Everything that runs on the evaluation thread, inside the outermost region: a value thrown
// that nothing else accepts ends here (the quit marker quietly, anything else as error 95).
int run(void*) {
  try {
    init_modules();
    init_runtime();
    run_top_level();
  } catch (const language_error&) {
    error::report_uncaught();  // printed; exit code -2
  } catch (const sysrt::thrown_value& t) {
    sysrt::top_catch(t.value);
  } catch (const std::bad_alloc&) {
    sysrt::quit_with_code(sysrt::rterr::out_of_memory, sysrt::code_address(&run));
  } catch (...) {
    sysrt::top_catch(sysrt::thrown::catch_all);
  }
  sysrt::quit_with_code(0, 0);
}

}  // namespace

int main(int argc, char** argv) {
  // Floating point: every exception masked, round to nearest, double precision.
  std::fesetenv(FE_DFL_ENV);
  // The runtime record starts with an empty tracked list and knows the load address.
  sysrt::init_os(argc, argv);
  // The evaluator runs on a thread with a large stack; this thread waits for it.
  int code = sysrt::run_on_eval_thread(run, nullptr);
  sysrt::quit_with_code(static_cast<uint32_t>(code), 0);
}

void init_runtime() {
  booting_q = 1;
  sysrt::init_output_hooks();
  sysrt::init_platform();
  files::init();  // the file! datatype's I/O services
  http::init();  // the url! datatype's HTTP requests
  url_port::init();  // and its ports of other schemes
  random::init();  // seed 19650218
  memory::init();  // the node table, the first node frame and the first series frame
  memory::resources::init();
  registry::init_all();  // parents first, in the fixed order
  actions::init_table();
  symbol::init();
  context::init();  // the global context, 4,000 slots
  // The case tables are built at compile time.
  registry::make_name_words();
  words::init();
  natives::init();
  // The routines table: each layer above the evaluator adds its C++ entries.
  library::init_routines();
  view::init_routines();
  tui::init_routines();
  console::init_routines();
  parse::init();
  ownership::init();
  // The tables compare and resolve as the value model does.
  hashtable::set_equality([](const cell* a, const cell* b, int32_t op) {
    return actions::compare(a, b, op);
  });
  hashtable::set_symbol_resolver(symbol::resolve);
  hashtable::set_map_key_normalizer([](cell* key) { map::normalize_key(key, key); });
  stack::init();
  lexer::install_text_loader();  // conversions from text read as the lexer does
  interp::init();  // also gives the layers beneath it the evaluator's entry points
  trace::init();
  error::init();
}

void cleanup_runtime() {
  memory::free_all();
  sysrt::free_all();
}

}  // namespace kaz::boot
