#include "console/line_editor.h"

#include <algorithm>
#include <string>

#include "core/block_storage.h"
#include "core/context.h"
#include "core/error.h"
#include "core/object.h"
#include "core/series_cell.h"
#include "core/stack.h"
#include "core/string_storage.h"
#include "core/symbol.h"
#include "core/word.h"
#include "datatypes/scalar_types.h"
#include "eval/interpreter.h"
#include "eval/natives.h"
#include "memory/char_width.h"
#include "memory/collector.h"
#include "memory/unicode_utf8.h"
#include "platform/terminal.h"
#include "platform/terminal_input.h"
#include "runtime/console_out.h"
#include "runtime/output_hooks.h"

namespace kaz::terminal {

/*
 * The editor draws the prompt and the line from a start position and moves the cursor with
 * relative sequences (up, down, carriage return, forward), keeping track of where the
 * terminal's cursor is. A position counts cells from column 0 of the start row, so its row is
 * position / columns and its column position % columns, exactly as the terminal wraps text:
 * a wide character that would start in the last cell of a row is wrapped whole to the next
 * row, and that skipped cell counts. After text that ends exactly at the end of a row the
 * terminal holds its cursor in the last cell until the next character ("pending wrap"); a
 * carriage return and line feed then make the position where the next row begins real.
 */
namespace {

bool console_q = false;  // the editor runs: standard input and output are a terminal
bool line_mode = false;  // the terminal is in raw mode for this edit

// The bound values (roots): the line whose index is the cursor, the prompt, the history block,
// and the line kept for the next edit (none until init_globals).
cell line;
cell prompt;
cell history;
cell saved_line;
bool roots_registered = false;

int32_t columns = -1;
int32_t rows = -1;
bool full_redraw = true;
bool hide = false;
bool first_refresh = true;
// Between the marks of a bracketed paste: a tab is text, not a completion. The marks come in
// the input, so this outlives one edit (a pasted text of several lines takes several).
bool pasting = false;

int32_t start_column = 0;  // where the prompt begins on the start row
int32_t cursor_at = 0;     // the terminal cursor's position
int32_t line_end_at = 0;   // where the line's text ends
bool pending_wrap = false; // the terminal cursor waits at the end of the row before cursor_at
bool echoed = false;       // one character was written at the end: the cursor follows it

std::string out;  // the text of one redraw, reused

void register_roots() {
  if (roots_registered) return;
  roots_registered = true;
  for (cell* c : {&line, &prompt, &history, &saved_line}) {
    c->header = type::none;
    collector::add_root_cells(c);
  }
}

// ---------------------------------------------------------------------------------------------
// The edited line: a string whose index is the cursor.

uint32_t line_length() { return string::buffer_of(&line)->tail / string::buffer_of(&line)->unit(); }
uint32_t cursor() { return series::index_of(&line); }
uint32_t char_at(uint32_t i) { return string::char_at_absolute(&line, i); }

void clear_text(cell* s) {
  string::buffer_of(s)->tail = 0;
  series::set_index(s, 0);
}

// The whole text of a string-family value (from its buffer's start) into the target string.
void load_text(cell* target, const cell* source) {
  clear_text(target);
  if (!is_any_string(type_of(source))) return;
  cell whole = *source;
  series::set_index(&whole, 0);
  string::append_string(series::node_of(target), &whole);
  series::set_index(target, string::buffer_of(target)->tail / string::buffer_of(target)->unit());
}

// ---------------------------------------------------------------------------------------------
// Output.

void emit_utf8(uint32_t c) {
  uint8_t b[4];
  size_t n = unicode::utf8_append_encoded(c, b);
  out.append(reinterpret_cast<const char*>(b), n);
}

void write_out() {
  tty::write_raw(out);
  out.clear();
}

void emit_move(char final, int32_t n) {
  if (n <= 0) return;
  out += "\x1b[";
  out += std::to_string(n);
  out += final;
}

// Moves the terminal cursor to a position (rows there exist: the text reached them).
void move_to(int32_t target) {
  if (pending_wrap) {
    out += "\r\n";
    pending_wrap = false;
  }
  int32_t dr = target / columns - cursor_at / columns;
  if (dr < 0) emit_move('A', -dr);
  if (dr > 0) emit_move('B', dr);
  out += '\r';
  emit_move('C', target % columns);
  cursor_at = target;
}

// ---------------------------------------------------------------------------------------------
// Widths.

// Cells a character takes on the terminal.
int32_t cell_width(uint32_t c) {
  if (c >= 0x1F300 && c <= 0x1F5FF) return 2;
  int w = unicode::char_width(static_cast<int32_t>(c));
  return w < 0 ? 1 : w;
}

// Places a character of `width` cells at `pos`, as the terminal wraps it.
int32_t advance(int32_t pos, int32_t width) {
  if (width == 2 && pos % columns == columns - 1) ++pos;  // the last cell stays empty
  return pos + width;
}

// Length of an escape sequence starting at index i of the string (ESC, "[" or "(", digits and
// ";", one final character), or 0 when the ESC starts none.
uint32_t escape_sequence_length(const cell* s, uint32_t i, uint32_t end) {
  if (i + 1 >= end) return 0;
  uint32_t c = string::char_at_absolute(s, i + 1);
  if (c != '[' && c != '(') return 0;
  uint32_t k = i + 2;
  while (k < end) {
    uint32_t d = string::char_at_absolute(s, k);
    if (!((d >= '0' && d <= '9') || d == ';')) break;
    ++k;
  }
  return k < end ? k - i + 1 : 0;
}

/*
 * Writes the characters [from, to) of a string into the output and answers the position after
 * them, starting at `pos`. A tab is four spaces; an escape sequence passes through and takes no
 * cell; other control characters show as "?"; hidden text shows one "*" per character.
 */
int32_t line_width(const cell* s, uint32_t from, uint32_t to, int32_t pos, bool hidden) {
  for (uint32_t i = from; i < to; ++i) {
    uint32_t c = string::char_at_absolute(s, i);
    if (hidden) {
      out += '*';
      pos = advance(pos, 1);
    } else if (c == '\t') {
      out += "    ";
      pos += 4;
    } else if (c == 0x1B) {
      uint32_t n = escape_sequence_length(s, i, to);
      if (n == 0) {
        out += '?';
        pos = advance(pos, 1);
      } else {
        for (uint32_t k = 0; k < n; ++k) emit_utf8(string::char_at_absolute(s, i + k));
        i += n - 1;
      }
    } else if (c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0)) {
      out += '?';
      pos = advance(pos, 1);
    } else {
      emit_utf8(c);
      pos = advance(pos, cell_width(c));
    }
  }
  return pos;
}

// The context of system/console, with the index of its `size` field, or 0 when there is none.
node_t size_context(int32_t& k) {
  cell w;
  context::intern_global(symbol::make("system"), &w);
  const cell* sys = context::get_value(&w);
  if (type_of(sys) != type::object) return 0;
  int32_t i = context::find_symbol(object::context_of(sys), symbol::make("console"), true);
  if (i < 0) return 0;
  const cell* con = context::values(object::context_of(sys)) + i;
  if (type_of(con) != type::object) return 0;
  k = context::find_symbol(object::context_of(con), symbol::make("size"), true);
  if (k < 0) return 0;
  return object::context_of(con);
}

}  // namespace

const cell* console_size_field() {
  int32_t k = 0;
  node_t ctx = size_context(k);
  return ctx == 0 ? nullptr : context::values(ctx) + k;
}

cell* console_size_field_rw() {
  int32_t k = 0;
  node_t ctx = size_context(k);
  return ctx == 0 ? nullptr : context::values_rw(ctx) + k;
}

namespace {

void update_size() {
  if (const cell* size = console_size_field(); size && type_of(size) == type::pair) {
    columns = pair_type::x_of(size);
    rows = pair_type::y_of(size);
  }
  tty::window_size ws = tty::query_size();
  if (ws.known) {
    columns = ws.columns;
    rows = ws.rows;
    if (cell* size = console_size_field_rw()) *size = cell{type::pair, 0, uint32_t(columns), uint32_t(rows)};
  }
  if (columns <= 0) {
    columns = 80;
    if (const cell* size = console_size_field(); size && type_of(size) == type::pair)
      console_size_field_rw()->data2 = 80;
  }
}

// ---------------------------------------------------------------------------------------------
// Redraw.

// Places the cursor at position c of a line that ends at e.
void set_cursor(int32_t c, int32_t e) {
  if (echoed) {
    echoed = false;
    cursor_at = e;
    pending_wrap = e % columns == 0 && e > 0;
  }
  // A wide character at the cursor that cannot start in the last cell begins the next row.
  if (c % columns == columns - 1 && cursor() < line_length() && !hide &&
      cell_width(char_at(cursor())) == 2)
    ++c;
  if (c != cursor_at || pending_wrap) move_to(c);
  write_out();
}

void refresh_line() {
  if (first_refresh) {
    first_refresh = false;
    int32_t row, column;
    if (tty::query_cursor(row, column))
      start_column = column;
    else
      start_column = 0;
    if (start_column >= columns) start_column = 0;
    cursor_at = start_column;
    pending_wrap = false;
    full_redraw = true;
  } else if (full_redraw) {
    move_to(start_column);
    out += "\x1b[J";
  }
  size_t moves = out.size();
  uint32_t prompt_end = string::buffer_of(&prompt)->tail / string::buffer_of(&prompt)->unit();
  int32_t p = line_width(&prompt, series::index_of(&prompt), prompt_end, start_column, false);
  int32_t c = line_width(&line, 0, cursor(), p, hide);
  int32_t e = line_width(&line, cursor(), line_length(), c, hide);
  line_end_at = e;
  if (full_redraw) {
    cursor_at = e;
    pending_wrap = e % columns == 0 && e > start_column;
  } else {
    out.resize(moves);  // the screen shows the text already: only the cursor moves
  }
  set_cursor(c, e);
}

// ---------------------------------------------------------------------------------------------
// History.

// Adds the line, from its head, at the head of the history unless hidden, empty, or the same
// as the newest entry.
void add_history() {
  series::set_index(&line, 0);
  if (hide || line_length() == 0 || type_of(&history) != type::block) return;
  if (block::rs_length(&history) > 0) {
    cell newest = *block::rs_head(&history);
    if (is_any_string(type_of(&newest)) &&
        string::compare_strings(&line, &newest, 2, false) == 0)
      return;
  }
  cell entry = line;
  block::insert_value(&history, &entry, false, false);
}

// The line := history entry h (0 is the newest), cursor at its end.
void recall_history(int32_t h) {
  if (type_of(&history) != type::block || h < 0 || h >= block::rs_length(&history)) {
    clear_text(&line);
    return;
  }
  cell entry = *(block::rs_head(&history) + h);
  load_text(&line, &entry);
}

// ---------------------------------------------------------------------------------------------
// Completion.

// The completion function, kaz-complete-ctx/complete-input, or null.
bool completion_function(cell* out_fn) {
  cell w;
  context::intern_global(symbol::make("kaz-complete-ctx"), &w);
  const cell* ctx = context::get_value(&w);
  if (type_of(ctx) != type::object) return false;
  int32_t i = context::find_symbol(object::context_of(ctx), symbol::make("complete-input"), true);
  if (i < 0) return false;
  *out_fn = context::values(object::context_of(ctx))[i];
  return type_of(out_fn) == type::function;
}

// Asks for the completions of the word before the cursor; answers how many strings came back
// (0: nothing changes). An error inside completion counts as no completion.
int32_t complete() {
  cell fn;
  if (!completion_function(&fn)) return 0;
  stack::saved_state saved = stack::save();
  cell result;
  try {
    cell name;
    context::intern_global(symbol::make("complete-input"), &name);
    stack::open_interpreted_function_frame(&name);
    stack::push(&line);
    cell yes{type::logic, 1, 0, 0};
    stack::push(&yes);
    flow status = interp::call_with_arguments(&fn, &name);
    result = stack::arguments[0];
    stack::unwind_to(saved);
    if (status != flow::normal) return 0;
  } catch (const language_error&) {
    stack::unwind_to(saved);
    error::in_flight.header = type::unset;
    return 0;
  }
  if (type_of(&result) != type::block) return 0;
  int32_t n = block::rs_length(&result);
  if (n == 0) return 0;
  cell first = *block::rs_head(&result);
  if (!is_any_string(type_of(&first))) return 0;  // no line to go on with: the line stays
  cell* held = stack::push(&result);  // kept alive while the strings are copied
  if (n == 1) {
    load_text(&line, &first);
    if (series::index_of(&first) <= line_length()) series::set_index(&line, series::index_of(&first));
  } else {
    // The line to go on with waits for the next edit; this one lists the candidates.
    load_text(&saved_line, &first);
    if (series::index_of(&first) <= series::index_of(&saved_line))
      series::set_index(&saved_line, series::index_of(&first));
    clear_text(&line);
    for (int32_t i = 1; i < n; ++i) {
      cell entry = *(block::rs_head(held) + i);
      if (is_any_string(type_of(&entry))) string::append_string(series::node_of(&line), &entry);
      string::append_code_point(series::node_of(&line), ' ');
    }
    series::set_index(&line, line_length());
  }
  stack::top = held;
  refresh_line();
  return n;
}

// ---------------------------------------------------------------------------------------------
// Editing.

void insert_at_cursor(uint32_t c) {
  if (cursor() == line_length()) {
    // Typing at the end writes only the new character.
    string::insert_char(series::node_of(&line), cursor(), c);
    line_width(&line, cursor(), cursor() + 1, 0, hide);
    write_out();
    echoed = true;
    full_redraw = false;
  } else {
    string::insert_char(series::node_of(&line), cursor(), c);
  }
  series::set_index(&line, cursor() + 1);
  refresh_line();
}

void remove_at_cursor(uint32_t n) { string::remove_part(series::node_of(&line), cursor(), n); }

bool quit_key = false;  // the last edit ended with replace_with_q

void replace_with_q() {
  quit_key = true;
  clear_text(&line);
  string::append_ascii(series::node_of(&line), "q");
  series::set_index(&line, 0);
}

// Moves the cursor to column 0 of the line's last row, where the line feed that ends the edit
// goes.
void leave_line() {
  // A text that fills its last row exactly ends there, not on the row after it, which the
  // terminal has not made yet: the line feed that follows makes it.
  int32_t last = line_end_at > 0 && line_end_at % columns == 0 ? line_end_at - 1 : line_end_at;
  int32_t target = (last / columns) * columns;
  if (pending_wrap && target / columns == (cursor_at - 1) / columns) {
    out += '\r';  // the cursor waits at that row's end: back to its start, no wrap
    pending_wrap = false;
    cursor_at = target;
  } else {
    move_to(target);
  }
  write_out();
}

// After a resize the terminal may have re-wrapped the text: the start row is taken to be as
// many rows above the cursor as the text before it fills at the new width, and all is redrawn.
void on_resize() {
  int32_t at = pending_wrap ? cursor_at - 1 : cursor_at;
  update_size();
  out += '\r';
  emit_move('A', at / columns);
  cursor_at = 0;
  pending_wrap = false;
  if (start_column >= columns) start_column = 0;
  full_redraw = true;
  refresh_line();
}

// The line kept after a completion that listed candidates becomes the line, cursor and all.
void take_saved_line() {
  load_text(&line, &saved_line);
  series::set_index(&line, std::min(series::index_of(&saved_line), line_length()));
  clear_text(&saved_line);
}

void edit_line() {
  if (type_of(&history) == type::block) series::set_index(&history, 0);
  int32_t h = -1;
  int32_t count = type_of(&history) == type::block ? block::rs_length(&history) : 0;
  update_size();
  if (type_of(&saved_line) != type::string) init_globals();
  if (string::buffer_of(&saved_line)->tail > 0) take_saved_line();
  first_refresh = true;
  echoed = false;
  refresh_line();
  for (;;) {
    full_redraw = true;
    int32_t k = tty::read_key();
    switch (k) {
      case 9: {  // TAB: complete, or insert the tab when nothing completes (or hidden input)
        int32_t n = hide || pasting ? 0 : complete();
        if (n > 1) {
          // The candidates stay on their rows and the same edit goes on below them, with the
          // line to go on with: an edit that ended here gave `ask` an empty answer, and an
          // open string an empty line nobody typed.
          leave_line();
          tty::write_raw("\n", 1);  // output processing makes it a new line
          take_saved_line();
          first_refresh = true;
          refresh_line();
        }
        if (n == 0) insert_at_cursor('\t');
        break;
      }
      case 13:  // Enter
        leave_line();
        add_history();
        clear_text(&saved_line);
        return;
      case 8:
      case 127:  // Backspace
        if (cursor() > 0) {
          series::set_index(&line, cursor() - 1);
          remove_at_cursor(1);
          if (cursor() == line_length()) full_redraw = false;
          refresh_line();
          if (!full_redraw) {
            tty::write_raw("\x1b[J", 3);
          }
        }
        break;
      case tty::key::left:
      case 2:
        if (cursor() > 0) {
          series::set_index(&line, cursor() - 1);
          full_redraw = false;
          refresh_line();
        }
        break;
      case tty::key::right:
      case 6:
        if (cursor() < line_length()) {
          series::set_index(&line, cursor() + 1);
          full_redraw = false;
          refresh_line();
        }
        break;
      case tty::key::up:
      case 16:
        if (h >= count - 1) {
          clear_text(&line);
        } else {
          ++h;
          recall_history(h);
        }
        refresh_line();
        break;
      case tty::key::down:
      case 14:
        if (h < 0) {
          clear_text(&line);
        } else {
          recall_history(h);
          --h;
        }
        refresh_line();
        break;
      case tty::key::home:
      case 1:
        series::set_index(&line, 0);
        refresh_line();
        break;
      case tty::key::end:
      case 5:
        series::set_index(&line, line_length());
        refresh_line();
        break;
      case tty::key::delete_:
        if (cursor() < line_length()) {
          remove_at_cursor(1);
          refresh_line();
        }
        break;
      case 11:  // Ctrl-K
        if (cursor() < line_length()) {
          remove_at_cursor(line_length() - cursor());
          refresh_line();
        }
        break;
      case 4:  // Ctrl-D
        if (cursor() < line_length()) {
          remove_at_cursor(1);
          refresh_line();
        } else if (line_length() == 0) {
          leave_line();
          replace_with_q();
          return;
        }
        break;
      case 3:  // Ctrl-C, or an interrupt signal
      case tty::key::interrupted:
        leave_line();
        replace_with_q();
        return;
      case 27:  // Esc: the line, cancelled
        leave_line();
        clear_text(&saved_line);
        {
          uint32_t at = cursor();
          string::append_code_point(series::node_of(&line), 27);
          series::set_index(&line, at);
        }
        return;
      case tty::key::resized:
        on_resize();
        break;
      case tty::key::paste_start:
        pasting = true;
        break;
      case tty::key::paste_end:
        pasting = false;
        break;
      case tty::key::end_of_input:
        leave_line();
        clear_text(&line);
        return;
      default:
        if (k > 31 && k != 127) insert_at_cursor(static_cast<uint32_t>(k));
        break;
    }
  }
}

}  // namespace

void init() {
  register_roots();
  tty::init();
  tty::init_input();
  console_q = tty::interactive();
  if (console_q) update_size();
}

void init_globals() {
  register_roots();
  if (type_of(&saved_line) == type::string) return;
  string::make_at(&saved_line, 1);
}

void setup(const cell* l, const cell* h) {
  register_roots();
  line = *l;
  history = *h;
  line_mode = console_q && tty::enter_raw_mode();
}

bool take_quit_key() {
  bool was = quit_key;
  quit_key = false;
  return was;
}

bool edit(const cell* p, bool hidden) {
  quit_key = false;
  if (!line_mode) {
    hide = false;
    // A terminal the editor cannot drive (TERM=dumb) still shows the prompt and hides what
    // hidden input types; redirected input gets neither.
    bool typed = tty::input_is_terminal() && tty::output_is_terminal();
    if (typed && is_any_string(type_of(p))) {
      cell shown = *p;
      tty::write_raw(string::to_utf8(&shown));
    }
    bool quiet = typed && hidden && tty::enter_no_echo_mode();
    bool got = stdin_readline(&line) || !tty::input_ended();
    if (quiet) {
      tty::leave_raw_mode();
      tty::write_raw("\n", 1);
    }
    return got;
  }
  prompt = *p;
  hide = hidden;
  // A prompt of several lines: the lines before its last are written once, and the edit
  // happens after the last (a line feed measured as a character showed as "?").
  uint32_t from = series::index_of(&prompt), end = string::absolute_length(&prompt);
  for (uint32_t i = end; i > from; --i) {
    if (string::char_at_absolute(&prompt, i - 1) != '\n') continue;
    for (uint32_t k = from; k < i; ++k) {
      uint32_t c = string::char_at_absolute(&prompt, k);
      emit_utf8(c);  // output processing stays on: a line feed starts a new line
    }
    write_out();
    series::set_index(&prompt, i);
    break;
  }
  tty::write_raw("\x1b[?2004h", 8);  // pasted text comes between marks
  edit_line();
  tty::write_raw("\x1b[?2004l", 8);
  tty::leave_raw_mode();
  line_mode = false;
  hide = false;
  sysrt::call_print_hooks(sysrt::unit_text{"", 0, 1}, true);
  return !(tty::input_ended() && line_length() == 0);
}

bool stdin_readline(cell* l) {
  bool any = false;
  for (;;) {
    int32_t c = tty::read_char();
    if (c < 0 && c != tty::key::interrupted) return any;
    if (c == tty::key::interrupted) {
      clear_text(l);
      string::append_ascii(series::node_of(l), "q");
      quit_key = true;
      return true;
    }
    any = true;
    if (c == '\n') return true;
    string::append_code_point(series::node_of(l), static_cast<uint32_t>(c));
  }
}

}  // namespace kaz::terminal
