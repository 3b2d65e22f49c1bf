#include "platform/tool_run.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>

#include "runtime/os_environment.h"

namespace kaz::tool_run {

namespace {

int64_t now_ms() {
  timespec t{};
  ::clock_gettime(CLOCK_MONOTONIC, &t);
  return int64_t(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

struct fd_guard {
  int fd = -1;
  ~fd_guard() { reset(); }
  void reset() {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
};

// SIGPIPE is held back while the tool runs; one raised by a write meanwhile is taken before the
// mask is restored, so it is never delivered.
class sigpipe_hold {
 public:
  sigpipe_hold() {
    sigemptyset(&pipe_only_);
    sigaddset(&pipe_only_, SIGPIPE);
    ::pthread_sigmask(SIG_BLOCK, &pipe_only_, &saved_);
    sigset_t pending;
    ::sigpending(&pending);
    was_pending_ = sigismember(&pending, SIGPIPE) == 1;
  }
  ~sigpipe_hold() {
    sigset_t pending;
    ::sigpending(&pending);
    if (!was_pending_ && sigismember(&pending, SIGPIPE) == 1) {
      timespec zero{};
      while (::sigtimedwait(&pipe_only_, nullptr, &zero) < 0 && errno == EINTR) {
      }
    }
    ::pthread_sigmask(SIG_SETMASK, &saved_, nullptr);
  }
  sigpipe_hold(const sigpipe_hold&) = delete;
  sigpipe_hold& operator=(const sigpipe_hold&) = delete;

 private:
  sigset_t pipe_only_;
  sigset_t saved_;
  bool was_pending_ = false;
};

// The child starts with no signal blocked and the usual dispositions, in a process group of its
// own so that a tool that hangs can be killed with whatever it started.
struct spawn_setup {
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attr;
  spawn_setup(int in_fd, int out_fd) {
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in_fd, 0);
    if (out_fd >= 0)
      posix_spawn_file_actions_adddup2(&actions, out_fd, 1);
    else
      posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    posix_spawnattr_init(&attr);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attr, &none);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int s : {SIGPIPE, SIGINT, SIGQUIT, SIGTERM, SIGHUP, SIGCHLD}) sigaddset(&defaults, s);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setpgroup(&attr, 0);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF |
                                        POSIX_SPAWN_SETPGROUP);
  }
  ~spawn_setup() {
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
  }
  spawn_setup(const spawn_setup&) = delete;
  spawn_setup& operator=(const spawn_setup&) = delete;
};

void kill_and_reap(pid_t pid) {
  ::kill(-pid, SIGKILL);
  ::kill(pid, SIGKILL);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
}

}  // namespace

bool on_path(std::string_view name) {
  if (name.empty()) return false;
  const char* path = ::getenv("PATH");
  std::string_view dirs = path ? path : "/bin:/usr/bin";
  for (;;) {
    size_t colon = dirs.find(':');
    std::string_view dir = dirs.substr(0, colon);
    std::string candidate = dir.empty() ? "." : std::string(dir);
    candidate += '/';
    candidate += name;
    struct stat st{};
    if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
        ::access(candidate.c_str(), X_OK) == 0)
      return true;
    if (colon == std::string_view::npos) return false;
    dirs = dirs.substr(colon + 1);
  }
}

result run(const std::vector<std::string>& argv, std::string_view input, std::string* output,
           int limit_ms, size_t output_cap) {
  if (argv.empty()) return result::failed;
  sigpipe_hold hold;
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) return result::failed;
  fd_guard in_read{ends[0]}, in_write{ends[1]};
  fd_guard out_read, out_write;
  if (output) {
    if (::pipe2(ends, O_CLOEXEC) != 0) return result::failed;
    out_read.fd = ends[0];
    out_write.fd = ends[1];
  }
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = 0;
  {
    spawn_setup setup(in_read.fd, out_write.fd);
    if (::posix_spawnp(&pid, args[0], &setup.actions, &setup.attr, args.data(),
                       sysrt::environment_entries()) != 0)
      return result::failed;
  }
  in_read.reset();
  out_write.reset();
  ::fcntl(in_write.fd, F_SETFL, O_NONBLOCK);
  if (input.empty()) in_write.reset();

  const int64_t deadline = now_ms() + limit_ms;
  size_t sent = 0;
  bool broken = false;  // past the time limit, over the size cap, or the input not all taken
  char chunk[65536];
  while (!broken && (in_write.fd >= 0 || out_read.fd >= 0)) {
    int64_t left = deadline - now_ms();
    if (left <= 0) {
      broken = true;
      break;
    }
    pollfd fds[2];
    nfds_t n = 0;
    if (in_write.fd >= 0) fds[n++] = {in_write.fd, POLLOUT, 0};
    if (out_read.fd >= 0) fds[n++] = {out_read.fd, POLLIN, 0};
    int ready = ::poll(fds, n, static_cast<int>(left));
    if (ready < 0 && errno != EINTR) broken = true;
    if (ready <= 0) continue;
    for (nfds_t i = 0; i < n && !broken; ++i) {
      if (fds[i].revents == 0) continue;
      if (fds[i].fd == in_write.fd) {
        ssize_t w = ::write(in_write.fd, input.data() + sent, input.size() - sent);
        if (w > 0) {
          sent += static_cast<size_t>(w);
          if (sent == input.size()) in_write.reset();
        } else if (w < 0 && errno != EAGAIN && errno != EINTR) {
          broken = true;  // the tool stopped reading before the end
        }
      } else {
        ssize_t r = ::read(out_read.fd, chunk, sizeof chunk);
        if (r > 0) {
          if (output->size() + static_cast<size_t>(r) > output_cap)
            broken = true;
          else
            output->append(chunk, static_cast<size_t>(r));
        } else if (r == 0 || (errno != EAGAIN && errno != EINTR)) {
          out_read.reset();
        }
      }
    }
  }
  in_write.reset();
  out_read.reset();

  int status = 0;
  while (!broken) {
    pid_t w = ::waitpid(pid, &status, WNOHANG);
    if (w == pid) break;
    if (w < 0 && errno != EINTR) return result::failed;  // reaped elsewhere: nothing to wait for
    if (now_ms() >= deadline) {
      broken = true;
      break;
    }
    timespec pause{0, 2 * 1000 * 1000};
    ::nanosleep(&pause, nullptr);
  }
  if (broken) {
    kill_and_reap(pid);
    return result::failed;
  }
  if (!WIFEXITED(status)) return result::failed;
  return WEXITSTATUS(status) == 0 ? result::done : result::refused;
}

}  // namespace kaz::tool_run
