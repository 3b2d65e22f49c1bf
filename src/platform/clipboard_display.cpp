#include "platform/clipboard_display.h"

#include <cstdlib>

#include "platform/tool_run.h"
#include "platform/uri_list.h"

namespace kaz::clipboard::display {

namespace {

constexpr int limit_ms = 2000;             // a tool that takes longer is taken to hang
constexpr size_t output_cap = 64u << 20;  // the most a read takes in

constexpr std::string_view uri_list_type = "text/uri-list";

bool set(const char* variable) {
  const char* v = ::getenv(variable);
  return v && *v;
}

using args = std::vector<std::string>;

args paste(tools with, std::string_view type) {
  if (with == tools::wayland) return {"wl-paste", "--no-newline", "--type", std::string(type)};
  return {"xclip", "-selection", "clipboard", "-o", "-t", std::string(type)};
}

args copy(tools with, std::string_view type) {
  if (with == tools::wayland) return {"wl-copy", "--type", std::string(type)};
  return {"xclip", "-selection", "clipboard", "-i", "-t", std::string(type)};
}

std::vector<std::string_view> lines_of(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!line.empty()) lines.push_back(line);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
  }
  return lines;
}

bool has_type(const std::vector<std::string_view>& offered, std::string_view type) {
  for (std::string_view o : offered)
    if (o == type) return true;
  return false;
}

// The type to ask text in, among those offered; empty when none is text. Wayland's paste
// tool picks the best text type itself when asked for "text".
std::string_view text_type(tools with, const std::vector<std::string_view>& offered) {
  if (with == tools::wayland) {
    for (std::string_view o : offered)
      if (o.substr(0, 5) == "text/" || o == "UTF8_STRING" || o == "STRING" || o == "TEXT")
        return "text";
    return {};
  }
  for (std::string_view t : {"UTF8_STRING", "text/plain;charset=utf-8", "text/plain", "STRING"})
    if (has_type(offered, t)) return t;
  return {};
}

}  // namespace

tools find() {
  if (set("WAYLAND_DISPLAY") && tool_run::on_path("wl-copy") && tool_run::on_path("wl-paste"))
    return tools::wayland;
  if (set("DISPLAY") && tool_run::on_path("xclip")) return tools::x11;
  return tools::none;
}

content read(tools with) {
  using tool_run::result;
  content got;
  std::string types;
  args list = with == tools::wayland
                  ? args{"wl-paste", "--list-types"}
                  : args{"xclip", "-selection", "clipboard", "-o", "-t", "TARGETS"};
  result r = tool_run::run(list, {}, &types, limit_ms, output_cap);
  if (r == result::failed) return got;
  got.what = content::kind::empty;
  if (r == result::refused) return got;  // nothing is offered
  std::vector<std::string_view> offered = lines_of(types);

  // Files first: a file manager offers their names as text too.
  if (has_type(offered, uri_list_type)) {
    std::string list;
    r = tool_run::run(paste(with, uri_list_type), {}, &list, limit_ms, output_cap);
    if (r == result::failed) {
      got.what = content::kind::failed;
      return got;
    }
    if (r == result::done && uri_list::to_paths(list, got.files)) {
      got.what = content::kind::files;
      return got;
    }
    got.files.clear();  // other URIs: read as text
  }
  std::string_view type = text_type(with, offered);
  if (type.empty() && has_type(offered, uri_list_type)) type = uri_list_type;
  bool image = false;
  for (std::string_view t : {"image/png", "image/jpeg", "image/gif"})
    if (type.empty() && has_type(offered, t)) {
      type = t;
      image = true;
    }
  if (type.empty()) return got;
  r = tool_run::run(paste(with, type), {}, &got.text, limit_ms, output_cap);
  if (r == result::failed) {
    got.text.clear();
    got.what = content::kind::failed;
  } else if (r == result::done && !got.text.empty()) {
    got.what = image ? content::kind::image : content::kind::text;
  } else {
    got.text.clear();
  }
  return got;
}

bool write_text(tools with, std::string_view utf8) {
  std::string_view type = with == tools::wayland ? "text/plain;charset=utf-8" : "UTF8_STRING";
  return tool_run::run(copy(with, type), utf8, nullptr, limit_ms, 0) == tool_run::result::done;
}

bool write_files(tools with, const std::vector<std::string>& paths) {
  return tool_run::run(copy(with, uri_list_type), uri_list::from_paths(paths), nullptr, limit_ms,
                       0) == tool_run::result::done;
}

bool write_png(tools with, std::string_view png) {
  return tool_run::run(copy(with, "image/png"), png, nullptr, limit_ms, 0) ==
         tool_run::result::done;
}

bool clear(tools with) {
  args clearing = with == tools::wayland ? args{"wl-copy", "--clear"} : copy(with, "UTF8_STRING");
  return tool_run::run(clearing, {}, nullptr, limit_ms, 0) == tool_run::result::done;
}

}  // namespace kaz::clipboard::display
