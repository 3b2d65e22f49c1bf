// Running Python's standard library as an oracle for codec and conversion tests.
#pragma once

#include <string>

namespace kaz::testing {

// Runs `python3 <args>` (arguments already quoted for the shell) with `input` on its standard
// input and answers its standard output. The test fails when Python cannot run or exits non-zero.
std::string run_python(const std::string& args, const std::string& input = {});

// The path of a file of the source tree, for scripts kept beside the tests.
std::string source_path(const std::string& relative);

}  // namespace kaz::testing
