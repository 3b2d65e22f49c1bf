#include "platform/tool_run.h"

#include "platform/process.h"

namespace kaz::tool_run {

bool on_path(std::string_view name) {
  if (name.find('/') != std::string_view::npos) return false;
  std::string path;
  return process::find_program(name, path);
}

result run(const std::vector<std::string>& argv, std::string_view input, std::string* output,
           int limit_ms, size_t output_cap) {
  if (argv.empty()) return result::failed;
  process::sigpipe_hold hold;
  process::launch l;
  if (!process::find_program(argv[0], l.program)) return result::failed;
  l.argv = argv;
  l.own_group = true;
  process::fd_guard in_read, in_write, out_read, out_write;
  if (!process::make_pipe(in_read, in_write)) return result::failed;
  if (output && !process::make_pipe(out_read, out_write)) return result::failed;
  l.streams[0] = process::stream::of(in_read.fd);
  l.streams[1] = output ? process::stream::of(out_write.fd) : process::stream::null();
  l.streams[2] = process::stream::null();
  process::exchange x;
  if (process::spawn(l, &x.pid) != 0) return result::failed;
  in_read.reset();
  out_write.reset();
  x.input_fd = in_write.release();
  x.input = input;
  x.output_fd = out_read.release();
  x.output = output;
  x.limit_ms = limit_ms;
  x.cap = output_cap;
  x.own_group = true;
  process::outcome o = process::finish(x);
  if (o.how != process::outcome::end::exited || o.signaled || o.input_refused)
    return result::failed;
  return o.status == 0 ? result::done : result::refused;
}

}  // namespace kaz::tool_run
