// Runs Kaz script test files: every case is evaluated in one runtime per file, in order.
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "case_file.h"
#include "start/script_host.h"

namespace {

bool read_file(const char* path, std::string& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream s;
  s << in.rdbuf();
  out = s.str();
  return true;
}

std::string joined(const std::vector<std::string>& lines) {
  std::string s;
  for (const auto& l : lines) s += l + "\n";
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  bool parse_only = false;
  bool console_frames = false;  // cases run as console commands
  int failures = 0;
  int files = 0;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--parse-only") {
      parse_only = true;
      continue;
    }
    if (arg == "--console-frames") {
      console_frames = true;
      continue;
    }
    ++files;
    std::string text;
    if (!read_file(argv[i], text)) {
      std::fprintf(stderr, "%s: cannot read\n", argv[i]);
      ++failures;
      continue;
    }
    auto file = kaz::testing::parse_case_file(text, arg);
    if (!file.error.empty()) {
      std::fprintf(stderr, "%s\n", file.error.c_str());
      ++failures;
      continue;
    }
    if (parse_only) continue;
    kaz::testing::script_host host;
    host.use_console_frames(console_frames);
    for (const auto& c : file.cases) {
      auto got = host.run(c.code);
      std::string problem;
      if (c.has_error) {
        if (!got.raised)
          problem = "expected error " + c.error_type + " " + c.error_id + ", got " + got.result;
        else if (got.error_type != c.error_type || got.error_id != c.error_id)
          problem = "expected error " + c.error_type + " " + c.error_id + ", got " + got.error_type +
                    " " + got.error_id + "\n" + got.error_text;
      } else if (got.raised) {
        problem = "unexpected error:\n" + got.error_text;
      } else if (c.has_result && got.result != c.result) {
        problem = "expected == " + c.result + "\n     got == " + got.result;
      }
      if (problem.empty() && !c.output.empty() && got.output != joined(c.output))
        problem = "expected output:\n" + joined(c.output) + "got output:\n" + got.output;
      if (!problem.empty()) {
        ++failures;
        std::fprintf(stderr, "%s:%d: FAIL\n%s\n%s\n\n", arg.c_str(), c.line, c.code.c_str(),
                     problem.c_str());
      }
    }
  }
  if (files == 0) {
    std::fprintf(stderr, "usage: kaz-script-runner [--parse-only] [--console-frames] file.kaz...\n");
    return 2;
  }
  return failures == 0 ? 0 : 1;
}
