// The library's routines: C++ entries declared from Kaz (04-routines.kaz, 11-predicates.kaz)
// by their index in the routines table.
#include "library/routines.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "core/block_storage.h"
#include "core/context.h"
#include "core/error.h"
#include "core/function.h"
#include "core/object.h"
#include "core/registry.h"
#include "core/series_cell.h"
#include "core/stack.h"
#include "core/string_storage.h"
#include "core/symbol.h"
#include "core/typeset.h"
#include "datatypes/binary.h"
#include "datatypes/float.h"
#include "datatypes/handle.h"
#include "datatypes/image.h"
#include "datatypes/integer.h"
#include "datatypes/simple_types.h"
#include "datatypes/tuple.h"
#include "eval/natives.h"
#include "eval/trace.h"
#include "library/csv_line.h"
#include "library/csv_scan.h"
#include "library/json_emit.h"
#include "library/json_scan.h"
#include "library/lexer_settings.h"
#include "library/weak_relations.h"
#include "loader/kazbin_routines.h"
#include "loader/lexer_transcode.h"
#include "memory/collector.h"
#include "platform/clipboard.h"
#include "platform/files.h"
#include "platform/image_io.h"
#include "platform/os_info.h"
#include "runtime/build_info.h"
#include "runtime/fire.h"
#include "runtime/os_environment.h"
#include "runtime/runtime_error.h"
#include "runtime/runtime_record.h"

namespace kaz::library {

namespace {

inline cell* arg(cell* a, uint32_t i) { return a + i; }

void set_logic(cell* a, bool v) {
  a->header = type::logic;
  a->data1 = v ? 1 : 0;
}
void set_integer(cell* a, int32_t v) {
  a->header = type::integer;
  a->data2 = static_cast<uint32_t>(v);
}

// expect-arg naming the running routine, the value's datatype and its first argument.
[[noreturn]] void expect_first_arg(const cell* value) {
  cell name;
  stack::get_call_name(&name);
  cell dt{type::datatype_, type_of(value), 0, 0};
  cell w;
  function::spec_word_at(0, &w);
  fire(err::script_expect_arg, &name, &dt, &w);
}

void quit_return(cell* a) {
  sysrt::on_exit();
  std::exit(integer_type::value_of(a) & 255);
}

void set_quiet(cell* a) {
  if (!is_any_word(type_of(a))) expect_first_arg(a);
  cell word = *a;
  cell value = *arg(a, 1);
  context::set_value(&word, &value, false);
  *a = value;
}

void set_slot_quiet(cell* a) {
  uint32_t t = type_of(a);
  if (!(t == type::block || t == type::paren || is_any_path(t))) expect_first_arg(a);
  if (block::rs_length(a) > 0) *block::rs_head_rw(a) = *arg(a, 1);
  *a = *arg(a, 1);
}

void shift(cell* a, int mode) {
  int32_t data = integer_type::value_of(a);
  int32_t bits = integer_type::value_of(arg(a, 1));
  uint32_t b = bits < 0 ? 0 : bits > 31 ? 32 : static_cast<uint32_t>(bits);
  int32_t r;
  switch (mode) {
    case 0:  // arithmetic right
      r = b >= 32 ? (data < 0 ? -1 : 0) : data >> b;
      break;
    case 1:  // left
      r = b >= 32 ? 0 : static_cast<int32_t>(static_cast<uint32_t>(data) << b);
      break;
    default:  // logical right
      r = b >= 32 ? 0 : static_cast<int32_t>(static_cast<uint32_t>(data) >> b);
      break;
  }
  set_integer(a, r);
}
void shift_right(cell* a) { shift(a, 0); }
void shift_left(cell* a) { shift(a, 1); }
void shift_logical(cell* a) { shift(a, 2); }

void last_lf_q(cell* a) { set_logic(a, natives::last_line_end()); }

void get_current_dir(cell* a) {
  std::string path;
  if (!sysrt::get_current_dir(path)) path = "/";
  if (path.empty() || path.back() != '/') path += '/';
  string::make_at(a, static_cast<uint32_t>(path.size() + 1));
  string::append_utf8(series::node_of(a), path);
}

void set_current_dir(cell* a) {
  std::string path;
  if (!files::os_path(a, path) || !sysrt::set_current_dir(path)) fire(err::access_cannot_open, a);
  *a = *a;
}

void create_dir(cell* a) {
  if (!files::make_dir(a) && errno != EEXIST) fire(err::access_no_create, a);
  a->header = type::unset;
}

void exists_q(cell* a) { set_logic(a, files::exists_q(a)); }

// The system's description: name, arch, version (3 bytes) and build, in that order.
void os_info(cell* a) {
  system_info::description d = system_info::describe();
  // Built on the stack, where the collector sees it (a routine without arguments has its
  // result slot above the stack's top).
  uint32_t base = stack::index_of(stack::top);
  cell* info = stack::reserve_cell();
  object::make_empty_at(info, 4);
  cell* v = stack::reserve_cell();
  string::make_at(v, static_cast<uint32_t>(d.name.size() + 1));
  string::append_utf8(series::node_of(v), d.name);
  context::put_word_value(object::context_of(info), symbol::make("name"), v);
  context::intern_global(symbol::make(d.arch), v);
  context::put_word_value(object::context_of(info), symbol::make("arch"), v);
  tuple_type::init_cell(v, d.version, 3);
  context::put_word_value(object::context_of(info), symbol::make("version"), v);
  *v = cell{type::integer, 0, static_cast<uint32_t>(d.build), 0};
  context::put_word_value(object::context_of(info), symbol::make("build"), v);
  *a = *info;
  stack::top = stack::at_index(base);
}

// as-color, as-ipv4 and as-rgba refuse the first negative component.
void check_components(cell* a, uint32_t count) {
  for (uint32_t i = 0; i < count; ++i)
    if (integer_type::value_of(arg(a, i)) < 0) fire(err::script_invalid_arg, arg(a, i));
}

void as_color(cell* a) {
  check_components(a, 3);
  uint8_t bytes[3] = {static_cast<uint8_t>(integer_type::value_of(a)),
                      static_cast<uint8_t>(integer_type::value_of(arg(a, 1))),
                      static_cast<uint8_t>(integer_type::value_of(arg(a, 2)))};
  tuple_type::init_cell(a, bytes, 3);
}

// The bytes, lowest first, of the 32-bit word a | b << 8 | c << 16 | d << 24: a component above
// 255 carries into the next byte.
void as_ipv4(cell* a) {
  check_components(a, 4);
  uint32_t word = 0;
  for (uint32_t i = 0; i < 4; ++i) word |= static_cast<uint32_t>(integer_type::value_of(arg(a, i))) << (8 * i);
  uint8_t bytes[4] = {static_cast<uint8_t>(word), static_cast<uint8_t>(word >> 8),
                      static_cast<uint8_t>(word >> 16), static_cast<uint8_t>(word >> 24)};
  tuple_type::init_cell(a, bytes, 4);
}

// Characters of the UTF-8 bytes from start's position to pos's, both in start's buffer: the
// bytes that begin a character (none of the form 10xxxxxx).
void count_chars(cell* a) {
  series_buffer* buf = binary::buffer_of(a);
  uint32_t size = buf->used_bytes();
  uint32_t from = std::min(series::index_of(a), size), to = std::min(series::index_of(arg(a, 1)), size);
  int32_t n = 0;
  for (const uint8_t* p = buf->head() + from; p < buf->head() + to; ++p) n += (*p & 0xC0) != 0x80;
  set_integer(a, n);
}

void collect_calls(cell* a) { stack::collect_calls(a); }

void read_clipboard(cell* a) { clipboard::read(a); }
void write_clipboard(cell* a) { set_logic(a, clipboard::write(a)); }

void stack_size_q(cell* a) { set_integer(a, static_cast<int32_t>(stack::top - stack::bottom)); }

void pick_stack(cell* a) {
  int32_t idx = integer_type::value_of(a);
  int32_t size = static_cast<int32_t>(stack::top - stack::bottom);
  if (idx > 0 && idx < size)
    *a = *(stack::bottom + (idx - 1));
  else
    a->header = type::none;
}

void frame_index_q(cell* a) {
  set_integer(a, static_cast<int32_t>(stack::arguments - stack::bottom));
}

// Whether the code that called the library is traced (library functions themselves run untraced).
void tracing_q(cell* a) { set_logic(a, trace::traced()); }

// `trace true` and `trace false` inside a traced evaluation resume and pause its events; with no
// callback installed nothing changes.
void set_tracing(cell* a) {
  trace::switch_to(type_of(a) == type::logic && logic_type::value_of(a) != 0);
  a->header = type::unset;
}

// The process arguments as a block of strings, the program first.
void command_args(cell* a) {
  int n = sysrt::runtime.argc;
  block::init_cell(a, n > 0 ? static_cast<uint32_t>(n) : 1);
  for (int i = 0; i < n && sysrt::runtime.argv[i]; ++i) {
    std::string_view text = sysrt::runtime.argv[i];
    cell s;
    string::make_at(&s, static_cast<uint32_t>(text.size() + 1));
    files::append_os_name(series::node_of(&s), text);
    block::append_copy(a, &s);
  }
}

void null_handle(cell* a) { handle_type::init_cell(a, 0, handle_type::class_::null); }

// The build's data: [built commit branch tag ahead date message], built and date as text for
// the library to load, the commit and tag as words, none for what the build did not record.
void build_info_block(cell* a) {
  block::init_cell(a, 7);
  auto text = [a](std::string_view t) {
    cell v{type::none, 0, 0, 0};
    if (!t.empty()) {
      string::make_at(&v, static_cast<uint32_t>(t.size() + 1));
      string::append_utf8(series::node_of(&v), t);
    }
    block::append_copy(a, &v);
  };
  auto word = [a](std::string_view t) {
    cell v{type::none, 0, 0, 0};
    if (!t.empty()) v = cell{type::word, 0, symbol::make(t), 0};
    block::append_copy(a, &v);
  };
  // __DATE__ is "Mmm dd yyyy" (the day padded with a space), __TIME__ "hh:mm:ss".
  std::string built = build_info::built;
  std::string when;
  if (built.size() >= 20) {
    std::string day = built.substr(4, 2);
    if (day[0] == ' ') day.erase(0, 1);
    when = day + "-" + built.substr(0, 3) + "-" + built.substr(7, 4) + "/" + built.substr(12, 8);
  }
  text(when);
  word(build_info::commit);
  text(build_info::branch);
  word(build_info::tag);
  cell ahead{type::integer, 0, static_cast<uint32_t>(std::atoi(build_info::ahead)), 0};
  block::append_copy(a, &ahead);
  text(build_info::date);
  text(build_info::message);
}

void write_stdout(cell* a) {
  cell data = *a;
  files::write_value(nullptr, &data, nullptr, nullptr, false, false, false);
  a->header = type::unset;
}

// Type predicates: a datatype, or the typeset a global word holds at call time.
template <uint32_t T>
void is_type(cell* a) {
  set_logic(a, type_of(a) == T);
}

void in_typeset(cell* a, const char* word) {
  cell w;
  context::intern_global(symbol::make(word), &w);
  const cell* ts = context::get_value(&w);
  set_logic(a, type_of(ts) == type::typeset && typeset::has(ts, type_of(a)));
}

#define KAZ_TYPESET_PREDICATE(cname, word) \
  void cname(cell* a) { in_typeset(a, word); }
KAZ_TYPESET_PREDICATE(any_list_q, "any-list!")
KAZ_TYPESET_PREDICATE(any_block_q, "any-block!")
KAZ_TYPESET_PREDICATE(any_function_q, "any-function!")
KAZ_TYPESET_PREDICATE(any_object_q, "any-object!")
KAZ_TYPESET_PREDICATE(any_path_q, "any-path!")
KAZ_TYPESET_PREDICATE(any_string_q, "any-string!")
KAZ_TYPESET_PREDICATE(any_word_q, "any-word!")
KAZ_TYPESET_PREDICATE(series_q, "series!")
KAZ_TYPESET_PREDICATE(number_q, "number!")
KAZ_TYPESET_PREDICATE(immediate_q, "immediate!")
KAZ_TYPESET_PREDICATE(scalar_q, "scalar!")
KAZ_TYPESET_PREDICATE(all_word_q, "all-word!")
KAZ_TYPESET_PREDICATE(any_point_q, "any-point!")
KAZ_TYPESET_PREDICATE(planar_q, "planar!")
#undef KAZ_TYPESET_PREDICATE

// Whether the caller runs under the interpreter: an interpreted frame below the routine's own.
void interpreted_q(cell* a) {
  bool found = false;
  for (call_frame* f = stack::frame_top - 2; f >= stack::frame_bottom; --f) {
    if (f->header & frame_flag::interpreted) {
      found = true;
      break;
    }
  }
  set_logic(a, found);
}

void gc_active_q(cell* a) { set_logic(a, collector::active()); }
void gc_series_cycles(cell* a) { set_integer(a, static_cast<int32_t>(collector::stats().cycles)); }
void gc_nodes_cycles(cell* a) {
  set_integer(a, static_cast<int32_t>(collector::stats().node_moves));
}

void set_float_options(cell* a) {
  float_type::pretty_print_q = !(type_of(a) == type::none || (type_of(a) == type::logic && logic_type::value_of(a) != 1));
  a->header = type::unset;
}

// The object over the global context (class -1), also the global context's owner.
void system_words(cell* a) {
  a->header = type::object;
  a->data1 = context::global;
  a->data2 = 0xFFFFFFFF;
  a->data3 = 0;
  *context::owner_cell_rw(context::global) = *a;
}

// system/catalog/errors: the catalogue the runtime raises and forms errors from (one object per
// category: code, type, then one field per id holding its message template).
void error_catalog(cell* a) { *a = *error::catalog(); }

// The folder for cached files: $XDG_CACHE_HOME/kaz/, else ~/.cache/kaz/ (not created here).
void cache_dir(cell* a) {
  std::string dir;
  if (!sysrt::get_env("XDG_CACHE_HOME", dir) || dir.empty() || dir[0] != '/') {
    std::string home;
    if (!sysrt::get_env("HOME", home) || home.empty()) home = "/tmp";
    dir = home + (home.back() == '/' ? "" : "/") + ".cache";
  }
  if (dir.back() != '/') dir += '/';
  dir += "kaz/";
  string::make_at(a, static_cast<uint32_t>(dir.size() + 1));
  string::append_utf8(series::node_of(a), dir);
  set_type(a, type::file);
}

// The image codecs' encode (img where) in each format, and their shared decode (data).
template <uint32_t format>
void image_encode(cell* a) {
  image_os::encode_value(a, format, a);
}
void image_decode(cell* a) { image_os::decode_value(a, a); }

struct routine_row {
  uint32_t index;
  routine_entry entry;
  int32_t result;
};

}  // namespace

void init_routines() {
  static const routine_row rows[] = {
      {routine_index::quit_return, quit_return, -1},
      {routine_index::set_quiet, set_quiet, -1},
      {routine_index::set_slot_quiet, set_slot_quiet, -1},
      {routine_index::shift_right, shift_right, -1},
      {routine_index::shift_left, shift_left, -1},
      {routine_index::shift_logical, shift_logical, -1},
      {routine_index::last_lf_q, last_lf_q, type::logic},
      {routine_index::get_current_dir, get_current_dir, -1},
      {routine_index::set_current_dir, set_current_dir, -1},
      {routine_index::create_dir, create_dir, -1},
      {routine_index::exists_q, exists_q, type::logic},
      {routine_index::os_info, os_info, -1},
      {routine_index::as_color, as_color, -1},
      {routine_index::as_ipv4, as_ipv4, -1},
      {routine_index::as_rgba, as_ipv4, -1},
      {routine_index::count_chars, count_chars, type::integer},
      {routine_index::stack_size_q, stack_size_q, type::integer},
      {routine_index::pick_stack, pick_stack, -1},
      {routine_index::frame_index_q, frame_index_q, type::integer},
      {routine_index::collect_calls, collect_calls, -1},
      {routine_index::tracing_q, tracing_q, type::logic},
      {routine_index::read_clipboard, read_clipboard, -1},
      {routine_index::write_clipboard, write_clipboard, type::logic},
      {routine_index::write_stdout, write_stdout, -1},
      {routine_index::command_args, command_args, -1},
      {routine_index::set_tracing, set_tracing, -1},
      {routine_index::null_handle, null_handle, -1},
      {routine_index::interpreted_q, interpreted_q, type::logic},
      {routine_index::gc_active_q, gc_active_q, type::logic},
      {routine_index::gc_series_cycles, gc_series_cycles, type::integer},
      {routine_index::gc_nodes_cycles, gc_nodes_cycles, type::integer},
      {routine_index::set_float_options, set_float_options, -1},
      {routine_index::system_words, system_words, -1},
      {routine_index::error_catalog, error_catalog, -1},
      {routine_index::cache_dir, cache_dir, -1},
      {routine_index::build_info, build_info_block, -1},
      // Datatype predicates, 101 on, in their start-up order.
      {101, is_type<type::bitset>, type::logic},
      {102, is_type<type::binary>, type::logic},
      {103, is_type<type::block>, type::logic},
      {104, is_type<type::char_>, type::logic},
      {105, is_type<type::email>, type::logic},
      {106, is_type<type::file>, type::logic},
      {107, is_type<type::float_>, type::logic},
      {108, is_type<type::get_path>, type::logic},
      {109, is_type<type::get_word>, type::logic},
      {110, is_type<type::hash>, type::logic},
      {111, is_type<type::integer>, type::logic},
      {112, is_type<type::issue>, type::logic},
      {113, is_type<type::lit_path>, type::logic},
      {114, is_type<type::lit_word>, type::logic},
      {115, is_type<type::logic>, type::logic},
      {116, is_type<type::map>, type::logic},
      {117, is_type<type::none>, type::logic},
      {118, is_type<type::pair>, type::logic},
      {119, is_type<type::paren>, type::logic},
      {120, is_type<type::path>, type::logic},
      {121, is_type<type::percent>, type::logic},
      {122, is_type<type::refinement>, type::logic},
      {123, is_type<type::set_path>, type::logic},
      {124, is_type<type::set_word>, type::logic},
      {125, is_type<type::string>, type::logic},
      {126, is_type<type::tag>, type::logic},
      {127, is_type<type::time>, type::logic},
      {128, is_type<type::typeset>, type::logic},
      {129, is_type<type::tuple>, type::logic},
      {130, is_type<type::unset>, type::logic},
      {131, is_type<type::url>, type::logic},
      {132, is_type<type::word>, type::logic},
      {133, is_type<type::image>, type::logic},
      {134, is_type<type::date>, type::logic},
      {135, is_type<type::money>, type::logic},
      {136, is_type<type::ref>, type::logic},
      {137, is_type<type::point2d>, type::logic},
      {138, is_type<type::point3d>, type::logic},
      {139, is_type<type::handle>, type::logic},
      {140, is_type<type::error>, type::logic},
      {141, is_type<type::action>, type::logic},
      {142, is_type<type::native>, type::logic},
      {143, is_type<type::datatype_>, type::logic},
      {144, is_type<type::function>, type::logic},
      {145, is_type<type::object>, type::logic},
      {146, is_type<type::op>, type::logic},
      {147, is_type<type::routine>, type::logic},
      {148, is_type<type::vector>, type::logic},
      // Typeset predicates.
      {149, any_list_q, type::logic},
      {150, any_block_q, type::logic},
      {151, any_function_q, type::logic},
      {152, any_object_q, type::logic},
      {153, any_path_q, type::logic},
      {154, any_string_q, type::logic},
      {155, any_word_q, type::logic},
      {156, series_q, type::logic},
      {157, number_q, type::logic},
      {158, immediate_q, type::logic},
      {159, scalar_q, type::logic},
      {160, all_word_q, type::logic},
      {161, any_point_q, type::logic},
      {162, planar_q, type::logic},
      {routine_index::hold_sources_weakly, relations::hold_sources_weakly, -1},
      {routine_index::encode_bmp, image_encode<0>, -1},
      {routine_index::encode_png, image_encode<1>, -1},
      {routine_index::encode_gif, image_encode<2>, -1},
      {routine_index::encode_jpeg, image_encode<3>, -1},
      {routine_index::encode_tiff, image_encode<4>, -1},
      {routine_index::decode_image, image_decode, -1},
      {kazbin::encode_star_routine, kazbin::encode_star, -1},
      {kazbin::decode_routine, kazbin::decode_payload, -1},
      {json::scan_routine, json::scan, type::block},
      {json::emit_routine, json::emit, type::string},
      {csv::scan_routine, csv::scan, type::integer},
      {csv::line_routine, csv::write_line, type::string},
  };
  for (const routine_row& r : rows) function::register_routine(r.index, r.entry, r.result);
  install_lexer_settings();
}

}  // namespace kaz::library
