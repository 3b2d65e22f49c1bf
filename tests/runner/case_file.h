// Reader of Kaz script test files: tables of cases, each some code and what it must give.
#pragma once

#include <string>
#include <vector>

namespace kaz::testing {

// One case of a script test file.
struct script_case {
  int line = 0;                   // line of the case's first code line
  std::string code;               // Kaz source, lines joined with "\n"
  std::vector<std::string> output;  // expected printed lines ("-> ")
  bool has_result = false;        // "== " given
  std::string result;             // expected molded result
  bool has_error = false;         // "!! " given
  std::string error_type;         // expected error category word
  std::string error_id;           // expected error id word
};

// A parsed file, or the first format error found in it.
struct case_file {
  std::vector<script_case> cases;
  std::string error;  // empty when the file is well formed
};

// Parses the text of a case file; `name` only labels format errors.
case_file parse_case_file(const std::string& text, const std::string& name);

}  // namespace kaz::testing
