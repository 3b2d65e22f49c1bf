#include "platform/call.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "runtime/fire.h"
#include "datatypes/binary.h"
#include "core/registry.h"
#include "core/string_storage.h"
#include "memory/unicode_strings.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/utf8_repair.h"
#include "runtime/fault_signals.h"

namespace kaz::os {

namespace {

// The most bytes one stream may capture: what a string of 4-byte characters can still hold.
constexpr size_t capture_cap = size_t(1) << 29;

// ---------------------------------------------------------------- the command

// The text in single quotes for the shell.
std::string shell_quoted(std::string_view text) {
  std::string q = "'";
  for (char c : text) {
    if (c == '\'')
      q += "'\\''";
    else
      q += c;
  }
  q += '\'';
  return q;
}

void through_shell(process::launch& l, const std::string& line) {
  l.program = "/bin/sh";
  l.argv = {"sh", "-c", line};
}

/*
 * What to start: with /shell the line goes to /bin/sh -c. Otherwise a string! is split into
 * words and its first word looked up on PATH, and a file! names the program itself; a program
 * that is not there (a shell built-in, a keyword) runs through the shell after all. False for
 * a command that has no words at all.
 */
bool plan_command(const call_request& r, const std::string& given, process::launch& l,
                  std::string& shell_line, bool& ran_shell) {
  bool is_file = type_of(r.command) == type::file;
  // A file! without a directory is first the program of that name in the current directory,
  // then one on PATH.
  std::string text = given, found;
  if (is_file && given.find('/') == std::string::npos && process::find_program("./" + given, found))
    text = found;
  shell_line = is_file ? shell_quoted(text) : text;
  ran_shell = true;
  if (r.shell) {
    through_shell(l, shell_line);
    return true;
  }
  std::vector<std::string> words;
  if (is_file) {
    words.push_back(text);
  } else if (!process::split_words(text, words)) {
    through_shell(l, shell_line);  // an open quote: the shell says what is wrong
    return true;
  }
  if (words.empty()) return false;
  if (!process::find_program(words[0], l.program)) {
    through_shell(l, shell_line);
    return true;
  }
  ran_shell = false;
  l.argv = std::move(words);
  return true;
}

// ---------------------------------------------------------------- the streams

// A file! target: the file opened for appending, created when missing; -1 when it cannot be.
int open_append(const cell* file) {
  std::string path;
  if (!files::os_path(file, path)) return -1;
  return ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
}

// A file! input: the file opened for reading; -1 when it cannot be (a directory included).
int open_input(const cell* file) {
  std::string path;
  if (!files::os_path(file, path)) return -1;
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat st{};
  if (fd >= 0 && (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode))) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// The bytes an input value sends: a string as UTF-8, a binary as it is, both from their heads.
std::string input_bytes(const cell* v) {
  if (type_of(v) == type::binary) {
    unicode::text_range b = unicode::bytes_from_head(v);
    return std::string(reinterpret_cast<const char*>(b.p), b.count);
  }
  return string::to_utf8(v);
}

// One output or error target: a file appended to, or a pipe whose bytes are captured.
struct target {
  process::fd_guard child_end;   // the child's descriptor
  process::fd_guard parent_end;  // the end read here, for a capture
  std::string captured;
  bool capture = false;
};

// Sets up a target; false when a capture pipe cannot be made.
bool prepare_target(const cell* v, target& t) {
  if (!v) return true;
  if (type_of(v) == type::file) {
    t.child_end.fd = open_append(v);  // a file that cannot be opened takes nothing
    return true;
  }
  t.capture = true;
  return process::make_pipe(t.parent_end, t.child_end);
}

process::stream stream_of(const process::fd_guard& fd, bool redirected, bool console) {
  if (fd.fd >= 0) return process::stream::of(fd.fd);
  if (!redirected && console) return process::stream::inherited();
  return process::stream::null();
}

// Adds captured bytes at the target's head: raw for a binary!, decoded from UTF-8 for text.
void add_captured(cell* into, const std::string& bytes) {
  if (bytes.empty()) return;
  cell value;
  if (type_of(into) == type::binary) {
    binary::init_cell(&value, static_cast<uint32_t>(bytes.size()));
    binary::append_bytes(&value, reinterpret_cast<const uint8_t*>(bytes.data()),
                         static_cast<uint32_t>(bytes.size()));
  } else {
    std::string text = utf8_repair::repaired(bytes);
    value = cell{type::string, 0,
                 unicode::utf8_load_new(reinterpret_cast<const uint8_t*>(text.data()),
                                        text.size()),
                 0};
  }
  slot_fn::insert insert = registry::row(type_of(into)).insert;
  insert(into, &value, -1, false, 1, false);
}

// The terminal's settings while a waited child may change them: put back afterwards.
struct terminal_keeper {
  termios saved{};
  bool kept = false;
  terminal_keeper() {
    kept = ::isatty(STDIN_FILENO) && ::tcgetpgrp(STDIN_FILENO) == ::getpgrp() &&
           ::tcgetattr(STDIN_FILENO, &saved) == 0;
  }
  ~terminal_keeper() {
    if (kept) ::tcsetattr(STDIN_FILENO, TCSANOW, &saved);
  }
  terminal_keeper(const terminal_keeper&) = delete;
  terminal_keeper& operator=(const terminal_keeper&) = delete;
};

// A program that vanished or has no interpreter line after all: the shell may still run it.
bool shell_may_run(int error) { return error == ENOENT || error == ENOEXEC; }

}  // namespace

int32_t call(const call_request& r) {
  std::string text;
  if (type_of(r.command) == type::file) {
    if (!files::os_path(r.command, text)) return -1;
  } else {
    text = string::to_utf8(r.command);
    if (text.find('\0') != std::string::npos) return -1;
  }
  if (text.empty()) return 0;
  process::launch l;
  std::string shell_line;
  bool ran_shell = false;
  if (!plan_command(r, text, l, shell_line, ran_shell)) return 0;

  process::sigpipe_hold hold;
  process::fd_guard in_child, in_parent;
  std::string to_send;
  if (r.input) {
    if (type_of(r.input) == type::file) {
      in_child.fd = open_input(r.input);
      if (in_child.fd < 0) return -1;
    } else {
      if (!process::make_pipe(in_child, in_parent)) return -1;
      to_send = input_bytes(r.input);
    }
  }
  target out_t, err_t;
  if (!prepare_target(r.output, out_t) || !prepare_target(r.error, err_t)) return -1;
  l.streams[0] = stream_of(in_child, r.input, r.console);
  l.streams[1] = stream_of(out_t.child_end, r.output, r.console);
  l.streams[2] = stream_of(err_t.child_end, r.error, r.console);

  const bool waits = r.wait || r.console || r.input || r.output || r.error;
  pid_t pid = 0;
  if (!waits) {
    l.own_group = true;  // runs alongside: Ctrl-C at the prompt is not for it
    int e = process::spawn_detached(l, &pid);
    if (e != 0 && shell_may_run(e) && !ran_shell) {
      through_shell(l, shell_line);
      e = process::spawn_detached(l, &pid);
    }
    return e == 0 ? static_cast<int32_t>(pid) : -1;
  }

  terminal_keeper terminal;
  int e = process::spawn(l, &pid);
  if (e != 0 && shell_may_run(e) && !ran_shell) {
    through_shell(l, shell_line);
    e = process::spawn(l, &pid);
  }
  if (e != 0) return -1;
  in_child.reset();
  out_t.child_end.reset();
  err_t.child_end.reset();

  process::exchange x;
  x.pid = pid;
  x.input_fd = in_parent.release();
  x.input = to_send;
  x.output_fd = out_t.parent_end.release();
  x.output = &out_t.captured;
  x.error_fd = err_t.parent_end.release();
  x.error = &err_t.captured;
  x.cap = capture_cap;
  x.interruptible = true;
  process::outcome o = process::finish(x);

  if (o.how == process::outcome::end::over_limit) fire(err::internal_no_memory);
  if (out_t.capture) add_captured(r.output, out_t.captured);
  if (err_t.capture) add_captured(r.error, err_t.captured);
  // Left pending for the evaluation to halt.
  if (o.how == process::outcome::end::interrupted) sysrt::interrupt_pending = 1;
  return o.status;
}

}  // namespace kaz::os
