// A runtime that evaluates source text case by case and reports what each case gave;
// the script test runner and the benchmarks drive the language through it.
#pragma once

#include <string>

namespace kaz::testing {

// What evaluating one piece of source text gave.
struct case_result {
  bool raised = false;      // an error escaped the evaluation
  std::string result;       // the result, molded (when not raised)
  std::string error_type;   // the error's category word
  std::string error_id;     // the error's id word
  std::string error_text;   // the error, formed as the console prints it
  std::string output;       // everything printed while evaluating
};

// Starts the runtime once; every run shares its global context.
class script_host {
 public:
  script_host();
  case_result run(const std::string& source);

 private:
  std::string boot_error_;  // set when the library failed to load
};

}  // namespace kaz::testing
