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

  // Runs each case as the console runs a command: inside system/console/try-do, under its
  // try/all and its catch of the console's throws (halt, an uncaught throw). An error! that
  // try-do answers counts as raised, as the console prints it.
  void use_console_frames(bool on) { console_frames_ = on; }

 private:
  std::string boot_error_;  // set when the library failed to load
  bool console_frames_ = false;
};

}  // namespace kaz::testing
