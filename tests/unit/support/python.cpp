// Runs python3 through the shell with files for its input and output.
#include "python.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace kaz::testing {

std::string source_path(const std::string& relative) {
  return std::string(KAZ_SOURCE_DIR) + "/" + relative;
}

std::string run_python(const std::string& args, const std::string& input) {
  char in_name[] = "/tmp/kaz-py-in-XXXXXX";
  int fd = mkstemp(in_name);
  if (fd < 0) {
    ADD_FAILURE() << "cannot make a temporary file";
    return {};
  }
  std::string output;
  {
    FILE* f = fdopen(fd, "wb");
    fwrite(input.data(), 1, input.size(), f);
    fclose(f);
    std::string command = "python3 " + args + " < " + in_name;
    FILE* p = popen(command.c_str(), "r");
    if (!p) {
      ADD_FAILURE() << "cannot run: " << command;
    } else {
      char buf[65536];
      std::size_t n;
      while ((n = fread(buf, 1, sizeof buf, p)) > 0) output.append(buf, n);
      int status = pclose(p);
      if (status != 0) ADD_FAILURE() << "python3 failed (" << status << "): " << command;
    }
  }
  unlink(in_name);
  return output;
}

}  // namespace kaz::testing
