// Helpers for the runtime's tests: capturing standard output, and running code in a child
// process to see how it ends (exit paths, fault reports).
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

namespace kaz::test {

// Reads everything from a descriptor until its end.
inline std::string read_all(int fd) {
  std::string out;
  char buf[4096];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n > 0) {
      out.append(buf, static_cast<size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    return out;
  }
}

// What `body` wrote to standard output (descriptor 1).
inline std::string capture_stdout(const std::function<void()>& body) {
  std::fflush(nullptr);
  FILE* tmp = std::tmpfile();
  int saved = ::dup(1);
  ::dup2(::fileno(tmp), 1);
  body();
  std::fflush(nullptr);
  ::dup2(saved, 1);
  ::close(saved);
  std::fseek(tmp, 0, SEEK_SET);
  std::string out = read_all(::fileno(tmp));
  std::fclose(tmp);
  return out;
}

struct child_end {
  bool exited = false;  // ended by exit (else by a signal)
  int code = -1;        // exit code, or the signal number
  std::string output;   // standard output
};

// Runs `body` in a forked child with standard output captured. A body that returns exits 200.
inline child_end run_in_child(const std::function<void()>& body) {
  std::fflush(nullptr);
  int pipe_fds[2];
  if (::pipe(pipe_fds) != 0) std::abort();
  pid_t pid = ::fork();
  if (pid == 0) {
    ::close(pipe_fds[0]);
    ::dup2(pipe_fds[1], 1);
    ::close(pipe_fds[1]);
    body();
    std::fflush(nullptr);
    ::_exit(200);
  }
  ::close(pipe_fds[1]);
  child_end end;
  end.output = read_all(pipe_fds[0]);
  ::close(pipe_fds[0]);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  end.exited = WIFEXITED(status);
  end.code = end.exited ? WEXITSTATUS(status) : WTERMSIG(status);
  return end;
}

}  // namespace kaz::test
