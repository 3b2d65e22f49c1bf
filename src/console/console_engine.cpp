#include "console/console_engine.h"

#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <string>

#include "console/console_access.h"
#include "console/line_editor.h"
#include "core/actions.h"
#include "core/block_storage.h"
#include "core/context.h"
#include "core/error.h"
#include "core/exit_in_flight.h"
#include "core/series_cell.h"
#include "core/string_storage.h"
#include "core/symbol.h"
#include "core/word.h"
#include "datatypes/scalar_types.h"
#include "datatypes/simple_types.h"
#include "loader/lexer_hooks.h"
#include "loader/lexer_transcode.h"
#include "memory/char_width.h"
#include "runtime/fire.h"
#include "runtime/os_environment.h"
#include "runtime/runtime_record.h"

namespace kaz::console {

namespace {

// Set when the script of the command line could not be read: the console then ends with
// status 1 (or, with --catch, goes on to the prompt).
bool script_failed = false;

bool is_space(char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t'; }

void set_none(cell* c) { c->header = type::none; }

void make_text(cell* out, std::string_view utf8, uint32_t type_id = type::string) {
  string::make_at(out, static_cast<uint32_t>(utf8.size() + 1), type_id);
  string::append_utf8(series::node_of(out), utf8);
}

void set_word(cell* out, std::string_view spelling) {
  context::intern_global(symbol::make(spelling), out);
}

// Empties a string from its head on.
void clear_string(const cell* s) {
  string::remove_part(series::node_of(s), series::index_of(s), string::length_from_head(s));
}

void print_error_in_flight() {
  cell e = error::in_flight;
  cell* held = stack::push(&e);
  print_value(held);
  stack::top = held;
}

// Removes n cells at a position from the head of a block.
void remove_cells(const cell* b, uint32_t at, uint32_t n) {
  uint32_t len = block::length_from_head(b);
  if (at >= len) return;
  if (n > len - at) n = len - at;
  cell* head = block::rs_abs_at_rw(b, series::index_of(b));
  for (uint32_t i = at; i + n < len; ++i) head[i] = head[i + n];
  block::set_tail_at(b, series::index_of(b) + len - n);
}

std::string argument_text(const cell* args, uint32_t i) {
  const cell* c = block::rs_abs_at(args, series::index_of(args) + i);
  if (!is_any_string(type_of(c))) return {};
  cell v = *c;
  return string::to_utf8(&v);
}

// Reads a whole file as UTF-8 text into a new string; raises the access errors of reading.
void read_text_file(const cell* file, cell* out) {
  std::string path = string::to_utf8(file);
  // The errors name the file as text: file! values do not form yet.
  cell name;
  string::make_at(&name, static_cast<uint32_t>(path.size() + 1));
  string::append_utf8(series::node_of(&name), path);
  std::string bytes;
  if (!read_file_bytes(path, bytes)) fire(err::access_cannot_open, &name);
  std::string_view text(bytes);
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  string::make_at(out, static_cast<uint32_t>(text.size() + 1));
  if (string::append_utf8(series::node_of(out), text) < text.size()) fire(err::access_invalid_utf8, &name);
}

// The length in bytes of the options and the script name at the head of the argument text,
// with the white space after them.
size_t argument_prefix(std::string_view t) {
  size_t p = 0;
  auto skip_space = [&] {
    while (p < t.size() && is_space(t[p])) ++p;
  };
  skip_space();
  for (;;) {
    std::string_view sw;
    if (t.substr(p, 2) == "--") {
      size_t j = p + 2;
      while (j < t.size() && !is_space(t[j])) ++j;
      sw = t.substr(p + 2, j - p - 2);
      p = j;
    } else if (t.substr(p, 3) == "\"--") {
      size_t j = t.find('"', p + 3);
      size_t end = j == std::string_view::npos ? t.size() : j;
      sw = t.substr(p + 3, end - p - 3);
      p = j == std::string_view::npos ? t.size() : j + 1;
    } else {
      break;
    }
    skip_space();
    if (sw.empty()) break;  // a lone "--" ends the options
  }
  // The script name: quoted as a whole when the command line quoted it (it held a blank),
  // else up to the next blank; a quote inside an unquoted name is one of its characters.
  if (p < t.size() && t[p] == '"') {
    size_t j = p + 1;
    while (j < t.size() && !(t[j] == '"' && (j + 1 == t.size() || is_space(t[j + 1])))) ++j;
    p = j < t.size() ? j + 1 : t.size();
  } else {
    while (p < t.size() && !is_space(t[p])) ++p;
  }
  skip_space();
  return p;
}

size_t utf8_characters(std::string_view t) {
  size_t n = 0;
  for (char c : t)
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++n;
  return n;
}

void set_options_path() {
  std::string cwd;
  if (!sysrt::get_current_dir(cwd)) return;
  if (cwd.empty() || cwd.back() != '/') cwd += '/';
  cell* held = stack::reserve_cell();
  make_text(held, cwd, type::file);
  if (cell* path = system_field_rw("options", "path")) *path = *held;
  stack::top = held;
}

// The script's directory becomes the current one, as change-dir does.
void enter_script_dir(const cell* file) {
  std::string path = string::to_utf8(file);
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return;
  std::string dir = path.substr(0, slash + 1);
  if (dir == "./") return;
  if (!sysrt::set_current_dir(dir)) {
    cell* held = stack::reserve_cell();
    make_text(held, dir, type::file);
    fire(err::access_cannot_open, held);
  }
  set_options_path();
}

bool catch_q() {
  const cell* c = console_field("catch?");
  return c && type_of(c) == type::logic && logic_type::value_of(c) != 0;
}

void run_prompt(bool banner) {
  cell r;
  flow f = call_with_value(banner ? "system/console/run" : "system/console/run/no-banner",
                           nullptr, &r);
  (void)f;  // the loop ends only through quit
}

// Where the loaded script's `Kaz` word is (case-sensitive), or -1.
int32_t header_word_index(const cell* code) {
  uint32_t n = block::length_from_head(code);
  for (uint32_t i = 0; i + 1 < n; ++i) {
    const cell* c = block::rs_abs_at(code, series::index_of(code) + i);
    if (type_of(c) == type::word && symbol::spelling(word::symbol_of(c)) == "Kaz") return int32_t(i);
  }
  return -1;
}

// Runs the script text; answers false when it could not run or ended in an error.
bool run_script(const cell* source) {
  std::string text = string::to_utf8(source);
  size_t at = std::string::npos;
  for (size_t p = text.find("Kaz"); p != std::string::npos; p = text.find("Kaz", p + 1)) {
    size_t q = p + 3;
    if (text.compare(q, 7, "/System") == 0) q += 7;
    while (q < text.size() && is_space(text[q])) ++q;
    if (q < text.size() && text[q] == '[') {
      at = p;
      break;
    }
  }
  if (at == std::string::npos) {
    print_text("*** Error: Kaz header not found!");
    return false;
  }
  cell* code = stack::reserve_cell();
  try {
    lexer::load_text_block(std::string_view(text).substr(at), code);
  } catch (const language_error&) {
    print_error_in_flight();
    return false;
  }
  int32_t k = header_word_index(code);
  const cell* header =
      k < 0 ? nullptr : block::rs_abs_at(code, series::index_of(code) + uint32_t(k) + 1);
  if (!header || type_of(header) != type::block) {
    print_text(text.find("Kaz/System") != std::string::npos
                   ? "*** Error: contains Kaz/System code which requires compilation!"
                   : "*** Error: not a Kaz program!");
    return false;
  }
  cell expander;
  context::intern_global(symbol::make("expand-directives"), &expander);
  if (uint32_t t = type_of(context::get_value(&expander)); t == type::function || t == type::native || t == type::action || t == type::routine) {
    cell expanded;
    if (call_with_value("_expand-script", code, &expanded) != flow::normal) return false;
    if (is_word(&expanded, "halt-request")) return false;  // the error is printed
    if (type_of(&expanded) == type::error) {
      print_value(stack::push(&expanded));
      return false;
    }
    if (type_of(&expanded) == type::block) *code = expanded;
    k = header_word_index(code);
    if (k < 0) return false;
  }
  cell body = *code;
  series::set_index(&body, series::index_of(&body) + uint32_t(k) + 2);
  cell* held = stack::push(&body);
  cell result;
  flow f = call_with_value("system/console/try-do", held, &result);
  if (f != flow::normal) return false;
  if (type_of(&result) == type::error) {
    cell* r = stack::push(&result);
    print_value(r);
    return false;
  }
  return true;
}

// The marker before a result: system/console/result evaluated under try/all.
void result_marker(cell* out) {
  flow f = call_with_value("_result-marker", nullptr, out);
  if (f != flow::normal || !is_any_string(type_of(out))) make_text(out, "==");
}

// Prints a command's result: molded (a float formed), cut to the console's width.
void print_result(const cell* value) {
  const cell* size = console_field("size");
  int32_t width = size && type_of(size) == type::pair ? pair_type::x_of(size) : 80;
  int32_t limit = width - 3;
  if (limit < 1) limit = 1;
  cell* text = stack::reserve_cell();
  string::make_at(text, 64);
  if (type_of(value) == type::float_)
    actions::form(value, text, nullptr, limit + 5);
  else
    actions::mold(value, text, false, false, false, nullptr, limit + 5, 0);
  // The cut is in terminal cells, not characters: a wide character (CJK, emoji) takes two, so
  // a line of them cut by its character count ran to twice the console's width.
  uint32_t length = string::length_from_head(text);
  uint32_t at = series::index_of(text);
  auto cells = [&](uint32_t i) {
    int w = unicode::char_width(int32_t(string::char_at_absolute(text, at + i)));
    return w < 0 ? 1 : w;
  };
  int32_t columns = 0;
  for (uint32_t i = 0; i < length && columns <= limit; ++i) columns += cells(i);
  if (columns > limit) {
    const cell* prompt = console_field("prompt");
    int32_t prompt_length =
        prompt && is_any_string(type_of(prompt)) ? int32_t(string::length_from_head(prompt)) : 0;
    int32_t room = limit - prompt_length - 1;
    uint32_t keep = 0;
    for (int32_t used = 0; keep < length && used + cells(keep) <= room; ++keep) used += cells(keep);
    string::remove_part(series::node_of(text), at + keep, length - keep);
    string::append_ascii(series::node_of(text), "...");
  }
  cell* marker = stack::reserve_cell();
  result_marker(marker);
  cell* line = stack::reserve_cell();
  string::make_at(line, string::length_from_head(marker) + string::length_from_head(text) + 2);
  string::append_string(series::node_of(line), marker);
  string::append_code_point(series::node_of(line), ' ');
  string::append_string(series::node_of(line), text);
  print_value(line);
}

void set_mode(std::string_view m) {
  cell w;
  set_word(&w, m);
  if (cell* mode = console_field_rw("mode")) *mode = w;
}

void clear_buffer() {
  if (const cell* buffer = console_field("buffer"); buffer && is_any_string(type_of(buffer)))
    clear_string(buffer);
}

}  // namespace

void read_argument(cell* a) {
  set_none(a);
  script_failed = false;
  const cell* sargs = system_field("script", "args");
  const cell* args = system_field("options", "args");
  if (!sargs || type_of(sargs) == type::none || !args || type_of(args) != type::block) return;
  cell list = *args;
  cell* held = stack::push(&list);
  uint32_t i = 0;
  while (i < block::length_from_head(held)) {
    std::string s = argument_text(held, i);
    if (s.compare(0, 2, "--") != 0) break;
    if (i > 0 && argument_text(held, i - 1) == "--") break;
    std::string lower = s;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower == "--catch") {
      remove_cells(held, i, 1);
      if (cell* c = console_field_rw("catch?")) *c = cell{type::logic, 1, 0, 0};
      continue;
    }
    ++i;
  }
  if (i >= block::length_from_head(held)) return;
  cell* file = stack::reserve_cell();
  make_text(file, argument_text(held, i), type::file);
  cell* source = stack::reserve_cell();
  try {
    read_text_file(file, source);
    if (cell* script = system_field_rw("options", "script")) *script = *file;
    remove_cells(held, 0, i + 1);
    if ((sargs = system_field("script", "args")) && is_any_string(type_of(sargs))) {
      cell text = *sargs;
      std::string t = string::to_utf8(&text);
      string::remove_part(series::node_of(&text), series::index_of(&text),
                          static_cast<uint32_t>(utf8_characters(t.substr(0, argument_prefix(t)))));
    }
    enter_script_dir(file);
  } catch (const language_error&) {
    print_error_in_flight();
    script_failed = true;
    stack::top = held;
    return;
  }
  *a = *source;
  stack::top = held;
}

void launch_engine(cell* a) {
  stack::saved_state saved = stack::save();
  cell* source = stack::reserve_cell();
  read_argument(source);
  if (type_of(source) == type::none) {
    if (!script_failed) {
      run_prompt(true);
    } else if (catch_q()) {
      run_prompt(false);
    } else {
      exit_with(1);
    }
  } else {
    bool ok = run_script(source);
    if (catch_q()) run_prompt(false);
    if (!ok) exit_with(1);
  }
  stack::unwind_to(saved);
  a->header = type::unset;
}

namespace {

// The engine's working fields, made anew when code at the prompt set them to other values: the
// console must go on taking lines (quit among them).
void repair_fields() {
  if (const cell* d = console_field("delimiters"); d && type_of(d) != type::block) {
    cell* fresh = stack::reserve_cell();
    block::init_cell(fresh, 10);
    if (cell* field = console_field_rw("delimiters")) *field = *fresh;
    stack::top = fresh;
  }
  if (const cell* b = console_field("buffer"); b && type_of(b) != type::string) {
    cell* fresh = stack::reserve_cell();
    string::make_at(fresh, 256);
    if (cell* field = console_field_rw("buffer")) *field = *fresh;
    stack::top = fresh;
  }
}

}  // namespace

void eval_command(cell* a) {
  cell line = *a;
  cell* held = stack::push(&line);
  a->header = type::unset;
  repair_fields();
  const cell* mode = console_field("mode");
  bool mono = !mode || is_word(mode, "mono");
  // The "q" of Ctrl-C or Ctrl-D quits on a continuation line too: appended to the open input
  // it became part of the code.
  if (terminal::take_quit_key() && !mono) {
    clear_buffer();
    set_mode("mono");
    mono = true;
  }
  if (mono) {
    if (const cell* d = console_field("delimiters"); d && type_of(d) == type::block)
      block::clear_from_head(d);
  }
  uint32_t length = string::length_from_head(held);
  if (length == 0 && mono) {
    stack::top = held;
    return;
  }
  if (cell* cue = console_field_rw("cue")) set_none(cue);
  if (length > 0 && string::char_at_absolute(held, series::index_of(held) + length - 1) == 27) {
    clear_buffer();
    set_mode("mono");
    print_text("(escape)");
    stack::top = held;
    return;
  }
  const cell* buffer = console_field("buffer");
  if (!buffer) {
    stack::top = held;
    return;
  }
  cell b = *buffer;
  string::append_string(series::node_of(&b), held);
  string::append_code_point(series::node_of(&b), '\n');
  cell complete;
  flow f = call_with_value("system/console/check-delimiters", &b, &complete);
  bool ok = f == flow::normal && type_of(&complete) == type::logic && logic_type::value_of(&complete) != 0;
  const cell* d = console_field("delimiters");
  if (ok && d && type_of(d) == type::block && block::rs_length(d) > 0) {
    uint32_t open = 0;
    const cell* last = block::rs_tail(d) - 1;
    if (type_of(last) == type::char_) open = char_type::code_of(last);
    cell* cue = stack::reserve_cell();
    string::make_at(cue, 8);
    string::append_code_point(series::node_of(cue), open);
    string::append_ascii(series::node_of(cue), "    ");
    if (cell* field = console_field_rw("cue")) *field = *cue;
    set_mode("other");
  } else {
    do_command(held);
    set_mode("mono");
    a->header = type::unset;
  }
  stack::top = held;
}

void do_command(cell* a) {
  stack::saved_state saved = stack::save();
  a->header = type::unset;
  const cell* buffer = console_field("buffer");
  if (!buffer || !is_any_string(type_of(buffer))) return;
  cell b = *buffer;
  std::string text = string::to_utf8(&b);
  cell* code = stack::reserve_cell();
  try {
    lexer::load_text_block(text, code);
  } catch (const language_error&) {
    stack::unwind_to(saved);
    print_error_in_flight();
    clear_buffer();
    return;
  }
  if (block::rs_length(code) > 0) {
    cell* result = stack::reserve_cell();
    flow f = call_with_value("system/console/try-do", code, result);
    if (f == flow::normal) {
      if (type_of(result) == type::error) {
        print_value(result);
        print_text("");
      } else if (type_of(result) != type::unset) {
        try {
          print_result(result);
        } catch (const language_error&) {
          stack::unwind_to(saved);
          print_error_in_flight();
        }
      }
    }
  }
  stack::unwind_to(saved);
  clear_buffer();
}

void transcode_trace(cell* a) {
  stack::saved_state saved = stack::save();
  cell text = a[0];
  cell* callback = stack::push(&a[1]);
  lexer::scan_options options;
  options.trace = callback;
  cell* out = stack::reserve_cell();
  try {
    lexer::transcode(&text, -1, options, out);
    cell loaded = *out;
    stack::unwind_to(saved);
    *a = loaded;
  } catch (const exit_in_flight& e) {
    stack::unwind_to(saved);
    if (e.status == flow::throw_)
      *a = stack::flow_value;
    else
      a->header = type::unset;
  } catch (const language_error&) {
    stack::unwind_to(saved);
    error::in_flight.header = type::unset;
    set_word(a, "stop");
  }
}

void fill_options(cell* a) {
  a->header = type::unset;
  const sysrt::runtime_record& rt = sysrt::runtime;
  if (const cell* args = system_field("options", "args"); args && type_of(args) == type::none) {
    cell* list = stack::reserve_cell();
    block::init_cell(list, uint32_t(rt.argc > 1 ? rt.argc : 1));
    for (int i = 1; i < rt.argc; ++i) {
      cell* s = stack::reserve_cell();
      make_text(s, rt.argv[i]);
      block::append_copy(list, s);
      stack::top = s;
    }
    if (cell* field = system_field_rw("options", "args")) *field = *list;
    stack::top = list;
  }
  if (const cell* sargs = system_field("script", "args");
      sargs && type_of(sargs) == type::none && rt.argc > 1) {
    std::string joined;
    for (int i = 1; i < rt.argc; ++i) {
      std::string_view s = rt.argv[i];
      if (i > 1) joined += ' ';
      bool quote = s.empty() || s.find_first_of(" \t\r\n") != std::string_view::npos;
      if (quote) joined += '"';
      joined += s;
      if (quote) joined += '"';
    }
    cell* s = stack::reserve_cell();
    make_text(s, joined);
    if (cell* field = system_field_rw("script", "args")) *field = *s;
    stack::top = s;
  }
  if (const cell* cache = system_field("options", "cache"); cache && type_of(cache) == type::none) {
    std::string dir;
    if (const char* x = std::getenv("XDG_CACHE_HOME"); x && *x == '/')
      dir = x;
    else if (const char* h = std::getenv("HOME"); h && *h == '/')
      dir = std::string(h) + "/.cache";
    else
      dir = "/tmp";
    if (dir.back() != '/') dir += '/';
    cell* s = stack::reserve_cell();
    make_text(s, dir, type::file);
    if (cell* field = system_field_rw("options", "cache")) *field = *s;
    stack::top = s;
  }
  if (const cell* path = system_field("options", "path"); path && type_of(path) == type::none)
    set_options_path();
}

}  // namespace kaz::console
