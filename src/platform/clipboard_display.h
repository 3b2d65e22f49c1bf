// The desktop's clipboard, reached through the display's command-line tools: wl-copy and
// wl-paste under Wayland, xclip under X. Text travels as UTF-8, a list of files as a
// text/uri-list, an image as image/png. Each call runs the tools afresh, each run bounded to a
// short wait.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kaz::clipboard::display {

enum class tools { none, wayland, x11 };

// wl-copy and wl-paste when WAYLAND_DISPLAY is set and both are on PATH, or else xclip when
// DISPLAY is set and it is on PATH; none otherwise. Looked up on each use, since the
// environment may change.
tools find();

struct content {
  enum class kind { failed, empty, text, files, image } what = kind::failed;
  std::string text;                // UTF-8 as the tool gave it, or the image's encoded bytes
  std::vector<std::string> files;  // absolute system paths
};

// A list of local files when that is offered, otherwise text, otherwise an image (PNG, then
// JPEG, then GIF data); empty when the clipboard offers none of them (or holds empty text),
// failed when a tool cannot run or does not answer in time.
content read(tools with);

// Each answers whether the tool took the whole value. Paths must be absolute.
bool write_text(tools with, std::string_view utf8);
bool write_files(tools with, const std::vector<std::string>& paths);
bool write_png(tools with, std::string_view png);
bool clear(tools with);

}  // namespace kaz::clipboard::display
