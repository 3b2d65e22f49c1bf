#include "case_file.h"

#include <sstream>

namespace kaz::testing {

/*
 * A case file is read line by line. Lines starting with ";;" are comments. Every other line is
 * code until a marker line ends the case:
 *   "== text"       the result, molded, is text
 *   "!! type id"    evaluation raises the error of that category and id
 *   "-> text"       one line the case prints (several lines in order)
 *   "--"            the code must run without error; nothing else is checked
 * Marker lines directly after one another belong to the same case; the next code line starts a
 * new case. Blank lines between cases are dropped; code left without a marker is a format error.
 */
namespace {

bool starts_with(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

std::string trim_right(std::string s) {
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.pop_back();
  return s;
}

bool is_blank(const std::string& s) { return s.find_first_not_of(" \t\r") == std::string::npos; }

}  // namespace

case_file parse_case_file(const std::string& text, const std::string& name) {
  case_file file;
  std::istringstream in(text);
  std::string raw;
  int line_no = 0;
  script_case current;
  bool in_markers = false;  // the current case has had a marker line already

  auto fail = [&](int line, const std::string& what) {
    file.error = name + ":" + std::to_string(line) + ": " + what;
  };
  auto finish = [&]() {
    // Trailing blank lines belong to nobody.
    while (!current.code.empty() && current.code.back() == '\n') current.code.pop_back();
    file.cases.push_back(std::move(current));
    current = script_case{};
    in_markers = false;
  };

  while (std::getline(in, raw)) {
    ++line_no;
    std::string line = trim_right(raw);
    if (starts_with(line, ";;")) continue;
    bool marker = line == "--" || starts_with(line, "== ") || line == "==" ||
                  starts_with(line, "!! ") || starts_with(line, "-> ") || line == "->";
    if (!marker) {
      if (in_markers) finish();
      if (current.code.empty() && is_blank(line)) continue;
      if (current.code.empty()) current.line = line_no;
      current.code += raw;
      current.code += '\n';
      continue;
    }
    if (!in_markers && is_blank(current.code)) {
      fail(line_no, "marker without code before it");
      return file;
    }
    in_markers = true;
    if (line == "--") continue;
    if (starts_with(line, "->")) {
      current.output.push_back(line.size() > 3 ? raw.substr(3) : std::string());
    } else if (starts_with(line, "==")) {
      if (current.has_result || current.has_error) {
        fail(line_no, "a case has one result or one error");
        return file;
      }
      current.has_result = true;
      current.result = line.size() > 3 ? line.substr(3) : std::string();
    } else {
      if (current.has_result || current.has_error) {
        fail(line_no, "a case has one result or one error");
        return file;
      }
      std::istringstream words(line.substr(3));
      current.has_error = true;
      words >> current.error_type >> current.error_id;
      std::string extra;
      if (current.error_id.empty() || (words >> extra)) {
        fail(line_no, "an error marker is \"!! type id\"");
        return file;
      }
    }
  }
  if (in_markers) {
    finish();
  } else if (!is_blank(current.code)) {
    fail(current.line, "code without a marker after it");
    return file;
  }
  return file;
}

}  // namespace kaz::testing
