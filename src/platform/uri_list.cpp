#include "platform/uri_list.h"

namespace kaz::uri_list {

namespace {

bool plain_byte(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         c == '-' || c == '.' || c == '_' || c == '~' || c == '/';
}

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The path part of a local file URI from its "/", still encoded; empty when the entry is not
// one (another scheme, or another host).
std::string_view local_part(std::string_view uri) {
  auto starts = [&](std::string_view p) { return uri.substr(0, p.size()) == p; };
  if (starts("file:///")) return uri.substr(7);
  if (starts("file://localhost/")) return uri.substr(16);
  if (starts("file://")) return {};
  if (starts("file:/")) return uri.substr(5);
  return {};
}

bool decode(std::string_view encoded, std::string& out) {
  out.clear();
  for (size_t i = 0; i < encoded.size(); ++i) {
    char c = encoded[i];
    if (c == '%') {
      if (i + 2 >= encoded.size()) return false;
      int hi = hex_value(encoded[i + 1]), lo = hex_value(encoded[i + 2]);
      if (hi < 0 || lo < 0 || (hi == 0 && lo == 0)) return false;
      out += static_cast<char>(hi * 16 + lo);
      i += 2;
    } else {
      out += c;
    }
  }
  return true;
}

}  // namespace

std::string from_paths(const std::vector<std::string>& paths) {
  static constexpr char digits[] = "0123456789ABCDEF";
  std::string list;
  for (const std::string& path : paths) {
    list += "file://";
    for (unsigned char c : path) {
      if (plain_byte(c)) {
        list += static_cast<char>(c);
      } else {
        list += '%';
        list += digits[c >> 4];
        list += digits[c & 15];
      }
    }
    list += "\r\n";
  }
  return list;
}

bool to_paths(std::string_view list, std::vector<std::string>& paths) {
  paths.clear();
  while (!list.empty()) {
    size_t end = list.find('\n');
    std::string_view line = list.substr(0, end);
    list = end == std::string_view::npos ? std::string_view() : list.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line[0] == '#') continue;
    std::string_view part = local_part(line);
    std::string path;
    if (part.empty() || !decode(part, path)) return false;
    paths.push_back(std::move(path));
  }
  return !paths.empty();
}

}  // namespace kaz::uri_list
