#include "platform/process.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "runtime/fault_signals.h"
#include "runtime/os_environment.h"

namespace kaz::process {

void fd_guard::reset() {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

bool make_pipe(fd_guard& read_end, fd_guard& write_end) {
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) return false;
  read_end.reset();
  write_end.reset();
  read_end.fd = ends[0];
  write_end.fd = ends[1];
  return true;
}

// ---------------------------------------------------------------------------------------------
// SIGPIPE held back.

sigpipe_hold::sigpipe_hold() {
  sigemptyset(&pipe_only_);
  sigaddset(&pipe_only_, SIGPIPE);
  ::pthread_sigmask(SIG_BLOCK, &pipe_only_, &saved_);
  sigset_t pending;
  ::sigpending(&pending);
  was_pending_ = sigismember(&pending, SIGPIPE) == 1;
}

sigpipe_hold::~sigpipe_hold() {
  sigset_t pending;
  ::sigpending(&pending);
  if (!was_pending_ && sigismember(&pending, SIGPIPE) == 1) {
    timespec zero{};
    while (::sigtimedwait(&pipe_only_, nullptr, &zero) < 0 && errno == EINTR) {
    }
  }
  ::pthread_sigmask(SIG_SETMASK, &saved_, nullptr);
}

// ---------------------------------------------------------------------------------------------
// Programs and command lines.

namespace {

bool executable_file(const std::string& path) {
  struct stat st{};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

}  // namespace

bool find_program(std::string_view name, std::string& path) {
  if (name.empty() || name.find('\0') != std::string_view::npos) return false;
  if (name.find('/') != std::string_view::npos) {
    path = name;
    return executable_file(path);
  }
  const char* env = ::getenv("PATH");
  std::string_view dirs = env ? env : "/usr/local/bin:/usr/bin:/bin";
  for (;;) {
    size_t colon = dirs.find(':');
    std::string_view dir = dirs.substr(0, colon);
    path = dir.empty() ? "." : std::string(dir);
    path += '/';
    path += name;
    if (executable_file(path)) return true;
    if (colon == std::string_view::npos) return false;
    dirs = dirs.substr(colon + 1);
  }
}

bool split_words(std::string_view line, std::vector<std::string>& words) {
  words.clear();
  std::string word;
  bool in_word = false;
  size_t i = 0;
  const size_t n = line.size();
  while (i < n) {
    char c = line[i];
    if (c == ' ' || c == '\t' || c == '\n') {
      if (in_word) words.push_back(std::move(word));
      word.clear();
      in_word = false;
      ++i;
      continue;
    }
    if (c == '\\') {
      if (i + 1 >= n) return false;
      if (line[i + 1] != '\n') {
        word += line[i + 1];
        in_word = true;
      }
      i += 2;
      continue;
    }
    in_word = true;
    if (c == '\'') {
      size_t end = line.find('\'', i + 1);
      if (end == std::string_view::npos) return false;
      word.append(line.substr(i + 1, end - i - 1));
      i = end + 1;
      continue;
    }
    if (c == '"') {
      ++i;
      for (;;) {
        if (i >= n) return false;
        char d = line[i];
        if (d == '"') break;
        if (d == '\\' && i + 1 < n) {
          char e = line[i + 1];
          if (e == '$' || e == '`' || e == '"' || e == '\\') {
            word += e;
            i += 2;
            continue;
          }
          if (e == '\n') {
            i += 2;
            continue;
          }
        }
        word += d;
        ++i;
      }
      ++i;
      continue;
    }
    word += c;
    ++i;
  }
  if (in_word) words.push_back(std::move(word));
  return true;
}

// ---------------------------------------------------------------------------------------------
// Starting.

namespace {

struct spawn_setup {
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attr;
  explicit spawn_setup(const launch& l) {
    posix_spawn_file_actions_init(&actions);
    for (int i = 0; i < 3; ++i) {
      const stream& s = l.streams[i];
      if (s.how == stream::kind::fd)
        posix_spawn_file_actions_adddup2(&actions, s.fd, i);
      else if (s.how == stream::kind::null)
        posix_spawn_file_actions_addopen(&actions, i, "/dev/null", i == 0 ? O_RDONLY : O_WRONLY,
                                         0);
    }
#if defined(__GLIBC__) && __GLIBC_PREREQ(2, 34)
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
#endif
    posix_spawnattr_init(&attr);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attr, &none);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int s : {SIGPIPE, SIGINT, SIGQUIT, SIGTERM, SIGHUP, SIGCHLD}) sigaddset(&defaults, s);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
    if (l.own_group) {
      posix_spawnattr_setpgroup(&attr, 0);
      flags |= POSIX_SPAWN_SETPGROUP;
    }
    posix_spawnattr_setflags(&attr, flags);
  }
  ~spawn_setup() {
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
  }
  spawn_setup(const spawn_setup&) = delete;
  spawn_setup& operator=(const spawn_setup&) = delete;
};

std::vector<char*> argv_of(const launch& l) {
  std::vector<char*> args;
  args.reserve(l.argv.size() + 1);
  for (const std::string& a : l.argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  return args;
}

int reap(pid_t pid, int* status) {
  int r;
  while ((r = ::waitpid(pid, status, 0)) < 0 && errno == EINTR) {
  }
  return r;
}

}  // namespace

int spawn(const launch& l, pid_t* pid) {
  if (l.argv.empty()) return EINVAL;
  std::vector<char*> args = argv_of(l);
  spawn_setup setup(l);
  return ::posix_spawn(pid, l.program.c_str(), &setup.actions, &setup.attr, args.data(),
                       sysrt::environment_entries());
}

int spawn_detached(const launch& l, pid_t* pid) {
  if (l.argv.empty()) return EINVAL;
  // Everything the intermediate needs is made before it exists: after fork it only starts
  // the program, writes two numbers and leaves.
  std::vector<char*> args = argv_of(l);
  spawn_setup setup(l);
  char* const* env = sysrt::environment_entries();
  fd_guard report_read, report_write;
  if (!make_pipe(report_read, report_write)) return errno;
  pid_t middle = ::fork();
  if (middle < 0) return errno;
  if (middle == 0) {
    int answer[2] = {0, 0};
    pid_t child = 0;
    answer[0] = ::posix_spawn(&child, l.program.c_str(), &setup.actions, &setup.attr,
                              args.data(), env);
    answer[1] = static_cast<int>(child);
    ssize_t w = ::write(report_write.fd, answer, sizeof answer);
    (void)w;
    ::_exit(0);
  }
  report_write.reset();
  int answer[2] = {EAGAIN, 0};
  size_t got = 0;
  while (got < sizeof answer) {
    ssize_t r = ::read(report_read.fd, reinterpret_cast<char*>(answer) + got, sizeof answer - got);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) break;
    got += static_cast<size_t>(r);
  }
  int status = 0;
  reap(middle, &status);
  if (got < sizeof answer) return EAGAIN;
  *pid = static_cast<pid_t>(answer[1]);
  return answer[0];
}

// ---------------------------------------------------------------------------------------------
// The exchange.

namespace {

int64_t now_ms() {
  timespec t{};
  ::clock_gettime(CLOCK_MONOTONIC, &t);
  return int64_t(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

// A descriptor that becomes readable when the child ends, or -1 on systems without one (the
// loop then looks every few milliseconds).
int open_pidfd(pid_t pid) {
#ifdef SYS_pidfd_open
  long fd = ::syscall(SYS_pidfd_open, pid, 0);
  if (fd >= 0) {
    ::fcntl(static_cast<int>(fd), F_SETFD, FD_CLOEXEC);
    return static_cast<int>(fd);
  }
#else
  (void)pid;
#endif
  return -1;
}

void note_status(int status, outcome& o) {
  if (WIFSIGNALED(status)) {
    o.signaled = true;
    o.status = 128 + WTERMSIG(status);
  } else {
    o.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
}

// Whether the terminal sent its interrupt to this whole process group (and so to the child).
bool interrupt_from_terminal() {
  pid_t fg = ::tcgetpgrp(STDIN_FILENO);
  return fg > 0 && fg == ::getpgrp();
}

}  // namespace

outcome finish(exchange& x) {
  outcome o;
  fd_guard in{x.input_fd}, out{x.output_fd}, err{x.error_fd};
  x.input_fd = x.output_fd = x.error_fd = -1;
  fd_guard child_end{open_pidfd(x.pid)};
  if (in.fd >= 0) {
    ::fcntl(in.fd, F_SETFL, ::fcntl(in.fd, F_GETFL) | O_NONBLOCK);
    if (x.input.empty()) in.reset();
  }

  // SIGINT stays blocked on this thread but while the loop sleeps in ppoll, so an interrupt it
  // takes is never missed between looking at the flag and going to sleep.
  sigset_t interrupt_only, awake;
  sigemptyset(&interrupt_only);
  sigaddset(&interrupt_only, SIGINT);
  ::pthread_sigmask(SIG_BLOCK, &interrupt_only, &awake);
  sigset_t sleeping = awake;
  sigdelset(&sleeping, SIGINT);

  const int64_t deadline = x.limit_ms >= 0 ? now_ms() + x.limit_ms : -1;
  bool reaped = false, kill_it = false;
  int interrupts = 0;
  size_t sent = 0;
  char chunk[65536];
  while (!kill_it && (!reaped || in.fd >= 0 || out.fd >= 0 || err.fd >= 0)) {
    if (x.interruptible && sysrt::interrupt_pending) {
      sysrt::interrupt_pending = 0;
      if (++interrupts == 1) {
        o.how = outcome::end::interrupted;
        if (!reaped && !interrupt_from_terminal()) ::kill(x.pid, SIGINT);
      } else {
        kill_it = true;
        break;
      }
    }
    if (!reaped && child_end.fd < 0) {
      int status = 0;
      if (::waitpid(x.pid, &status, WNOHANG) == x.pid) {
        reaped = true;
        note_status(status, o);
        continue;
      }
    }
    pollfd fds[4];
    nfds_t n = 0;
    if (in.fd >= 0) fds[n++] = {in.fd, POLLOUT, 0};
    if (out.fd >= 0) fds[n++] = {out.fd, POLLIN, 0};
    if (err.fd >= 0) fds[n++] = {err.fd, POLLIN, 0};
    if (!reaped && child_end.fd >= 0) fds[n++] = {child_end.fd, POLLIN, 0};
    int64_t wait_ms = -1;
    if (deadline >= 0) {
      wait_ms = deadline - now_ms();
      if (wait_ms <= 0) {
        o.how = outcome::end::over_limit;
        kill_it = true;
        break;
      }
    }
    if (!reaped && child_end.fd < 0 && (wait_ms < 0 || wait_ms > 5)) wait_ms = 5;
    // The interrupt handler may run on another thread, which leaves this one asleep: look at
    // the flag now and then.
    if (x.interruptible && (wait_ms < 0 || wait_ms > 100)) wait_ms = 100;
    timespec ts{wait_ms / 1000, (wait_ms % 1000) * 1000000};
    int ready = ::ppoll(fds, n, wait_ms >= 0 ? &ts : nullptr, &sleeping);
    if (ready < 0) {
      if (errno == EINTR) continue;
      o.how = outcome::end::failed;
      kill_it = true;
      break;
    }
    for (nfds_t i = 0; i < n; ++i) {
      if (fds[i].revents == 0) continue;
      int fd = fds[i].fd;
      if (fd == in.fd) {
        ssize_t w = ::write(in.fd, x.input.data() + sent, x.input.size() - sent);
        if (w > 0) {
          sent += static_cast<size_t>(w);
          if (sent == x.input.size()) in.reset();
        } else if (w < 0 && errno != EAGAIN && errno != EINTR) {
          o.input_refused = true;  // the child closed its input before the end
          in.reset();
        }
      } else if (fd == child_end.fd) {
        int status = 0;
        if (reap(x.pid, &status) == x.pid) note_status(status, o);
        reaped = true;
        child_end.reset();
      } else {
        fd_guard& pipe = fd == out.fd ? out : err;
        std::string* into = fd == out.fd ? x.output : x.error;
        ssize_t r = ::read(fd, chunk, sizeof chunk);
        if (r > 0) {
          if (into->size() + static_cast<size_t>(r) > x.cap) {
            o.how = outcome::end::over_limit;
            kill_it = true;
            break;
          }
          into->append(chunk, static_cast<size_t>(r));
        } else if (r == 0 || (errno != EAGAIN && errno != EINTR)) {
          pipe.reset();
        }
      }
    }
  }
  in.reset();
  out.reset();
  err.reset();
  if (!reaped) {
    if (kill_it) {
      if (x.own_group) ::kill(-x.pid, SIGKILL);
      ::kill(x.pid, SIGKILL);
    }
    int status = 0;
    if (reap(x.pid, &status) == x.pid) note_status(status, o);
  }
  if (o.how == outcome::end::failed && !kill_it) o.how = outcome::end::exited;
  if (kill_it && interrupts > 1) o.how = outcome::end::interrupted;
  // The terminal's interrupt also ends the child: when the loop saw the child end first, the
  // signal is still pending here (blocked on this thread) or was taken by another thread
  // after the last look at the flag. It is the interrupt all the same.
  if (x.interruptible && interrupts == 0) {
    sigset_t pending;
    sigemptyset(&pending);
    ::sigpending(&pending);
    if (sysrt::interrupt_pending || sigismember(&pending, SIGINT) == 1)
      o.how = outcome::end::interrupted;
  }
  ::pthread_sigmask(SIG_SETMASK, &awake, nullptr);
  return o;
}

}  // namespace kaz::process
