// Lists of files as the desktop exchanges them: text/uri-list, one file:// URI per line with
// every byte outside the unreserved set and "/" percent-encoded.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kaz::uri_list {

// The list of absolute system paths, each line ended by CR LF.
std::string from_paths(const std::vector<std::string>& paths);

/*
 * The system paths of a list into `paths`. Lines may end in CR LF or LF; empty lines and
 * comments ("#") are skipped. False when an entry is not a local file URI ("file:" followed
 * by "///", "//localhost/" or "/"), holds a bad or NUL escape, or the list names no file.
 */
bool to_paths(std::string_view list, std::vector<std::string>& paths);

}  // namespace kaz::uri_list
