// Running child processes: finding a program, splitting a command line into words, starting the
// child with its three standard streams set, and one poll loop that feeds its input, drains its
// output and error and waits for it, so that no child is ever left unreaped.
#pragma once

#include <sys/types.h>

#include <csignal>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kaz::process {

// A descriptor closed when it goes out of scope.
struct fd_guard {
  int fd = -1;
  fd_guard() = default;
  explicit fd_guard(int f) : fd(f) {}
  ~fd_guard() { reset(); }
  fd_guard(const fd_guard&) = delete;
  fd_guard& operator=(const fd_guard&) = delete;
  void reset();
  int release() {
    int f = fd;
    fd = -1;
    return f;
  }
};

// A pipe whose two ends are closed on exec; false when it cannot be made.
bool make_pipe(fd_guard& read_end, fd_guard& write_end);

// SIGPIPE is held back while it lives; one raised by a write meanwhile is taken before the mask
// is restored, so a child that stops reading never ends this process.
class sigpipe_hold {
 public:
  sigpipe_hold();
  ~sigpipe_hold();
  sigpipe_hold(const sigpipe_hold&) = delete;
  sigpipe_hold& operator=(const sigpipe_hold&) = delete;

 private:
  sigset_t pipe_only_;
  sigset_t saved_;
  bool was_pending_ = false;
};

// The executable a program name stands for: a name holding "/" is taken as it is, any other is
// looked up in PATH's directories. False when there is no such executable file.
bool find_program(std::string_view name, std::string& path);

/*
 * Splits a command line into words as the shell does: blanks separate words; a backslash keeps
 * the next character (a backslash before a line end removes both); single quotes keep
 * everything up to the next single quote; double quotes keep everything up to the next double
 * quote but for a backslash before $ ` " \ or a line end. False when a quote is left open or
 * the line ends in a backslash.
 */
bool split_words(std::string_view line, std::vector<std::string>& words);

// What a child's standard stream is: the parent's own, /dev/null, or a descriptor of ours.
struct stream {
  enum class kind : uint8_t { inherit, null, fd };
  kind how = kind::null;
  int fd = -1;
  static stream inherited() { return {kind::inherit, -1}; }
  static stream null() { return {kind::null, -1}; }
  static stream of(int f) { return {kind::fd, f}; }
};

struct launch {
  std::string program;             // the executable's path (no PATH search here)
  std::vector<std::string> argv;   // argv[0] included
  stream streams[3];               // standard input, output and error
  bool own_group = false;          // in a process group of its own, else in ours
};

/*
 * Starts the child with no signal blocked and the usual dispositions, only its three standard
 * descriptors open, the process environment and current directory. Answers 0 and the child's
 * id, or the errno of the failure (ENOENT when the program is missing).
 */
int spawn(const launch& l, pid_t* pid);

/*
 * Starts the child without keeping it as ours: an intermediate process starts it and leaves at
 * once, so the system reaps it when it ends and it is never a zombie here. Answers 0 and the
 * program's id, or an errno.
 */
int spawn_detached(const launch& l, pid_t* pid);

/*
 * The exchange with a started child. The descriptors are the parent's ends (or -1): the input
 * end is written from `input` and closed once all of it was taken or the child stopped taking
 * it; the output and error ends are read into their strings to their end. The exchange owns
 * them and closes them all before it returns.
 */
struct exchange {
  pid_t pid = 0;
  int input_fd = -1;
  std::string_view input;
  int output_fd = -1;
  std::string* output = nullptr;
  int error_fd = -1;
  std::string* error = nullptr;
  int limit_ms = -1;            // -1: no time limit
  size_t cap = SIZE_MAX;        // the most bytes a capture may hold
  bool own_group = false;       // a kill takes the child's process group with it
  // Ctrl-C reaches the child (the terminal sends it to the whole foreground group; it is sent
  // on when it did not come from there); a second one kills the child.
  bool interruptible = false;
};

struct outcome {
  enum class end : uint8_t {
    exited,       // the child ended on its own (status holds how)
    interrupted,  // it ended after Ctrl-C, or was killed by a second one
    over_limit,   // killed: past the time limit or over the cap
    failed,       // the wait itself failed; the child was killed
  };
  end how = end::failed;
  int status = -1;              // the exit code, or 128 + the signal that ended the child
  bool signaled = false;        // ended by a signal
  bool input_refused = false;   // the child stopped reading before the end of its input
};

// Runs the exchange to its end: every pipe at its end and the child reaped.
outcome finish(exchange& x);

}  // namespace kaz::process
