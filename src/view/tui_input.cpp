#include "view/tui_input.h"

#include "memory/unicode_utf8.h"

namespace kaz::tui {

namespace {

/*
 * One pass over the buffer. Each parser starts on the byte it is named after and leaves `pos`
 * after the item it read; running out of bytes sets `incomplete`, and the item is read again
 * from its start in the next pass.
 */
struct pass {
  input_decoder& d;
  const input_sink& sink;
  std::vector<uint8_t>& buf;  // the bytes of this pass
  size_t n;
  size_t pos = 0;
  bool incomplete = false;

  uint8_t at(size_t i) const { return buf[i]; }
  // Moves to the next byte; false (and incomplete) when there is none.
  bool advance() {
    ++pos;
    if (pos >= n) {
      incomplete = true;
      return false;
    }
    return true;
  }
  void key(int32_t ch, int32_t named) { sink.key(sink.self, ch, named); }

  // The named key of the bytes after ESC: p0 the first, p1 and p2 the next ones, f the final.
  static int32_t named_key_of(uint8_t p0, uint8_t p1, uint8_t p2, uint8_t f) {
    if (p0 == 'O') {
      if (p1 >= 'P' && p1 <= 'S') return named_key::f1 - (p1 - 'P');
      return 0;
    }
    if (p0 != '[') return 0;
    switch (p1) {
      case 'A': return named_key::up;
      case 'B': return named_key::down;
      case 'C': return named_key::right;
      case 'D': return named_key::left;
      case 'F': return named_key::end;
      case 'H': return named_key::home;
      case 'Z': return named_key::back_tab;
      case '3': return f == '~' ? named_key::delete_ : 0;
      case '5': return f == '~' ? named_key::page_up : 0;
      case '6': return f == '~' ? named_key::page_down : 0;
      case '1':
        if (f != '~') return 0;
        switch (p2) {
          case '5': return named_key::f1 - 4;
          case '7': return named_key::f1 - 5;
          case '8': return named_key::f1 - 6;
          case '9': return named_key::f1 - 7;
          default: return 0;
        }
      case '2':
        if (f != '~') return 0;
        switch (p2) {
          case '0': return named_key::f1 - 8;
          case '1': return named_key::f1 - 9;
          case '3': return named_key::f1 - 10;
          case '4': return named_key::f1 - 11;
          default: return 0;
        }
      default: return 0;
    }
  }

  void mouse_report(bool release, int32_t b, int32_t x, int32_t y) {
    int32_t kind = (b & 3) + ((b & 64) >> 4);
    float fx = float(x - 1), fy = float(y - d.origin_row - 1);
    uint32_t flags = 0;
    if (b & 4) flags |= mouse_flag::shift;
    if (b & 8) flags |= mouse_flag::alt;
    if (b & 16) flags |= mouse_flag::control;
    int32_t rel = release ? 1 : 0;
    if (kind < 3) {
      if (rel != d.last_release && !(b & 32)) {
        d.last_release = rel;
        sink.button(sink.self, kind * 2 + rel + 1, fx, fy, flags);
      } else {
        sink.motion(sink.self, fx, fy, flags | mouse_flag::down);
      }
    } else if (kind == 3) {
      sink.motion(sink.self, fx, fy, flags);
    } else if (kind == 4) {
      sink.wheel(sink.self, 1, fx, fy, flags);
    } else if (kind == 5) {
      sink.wheel(sink.self, -1, fx, fy, flags);
    }
  }

  // ESC "[" ...: parameters, then a final byte. False when the bytes ran out.
  bool csi() {
    size_t start = pos;  // on the "["
    int32_t params[4] = {0, 0, 0, 0};
    int32_t count = 1, current = 0;
    for (;;) {
      if (!advance()) return false;
      uint8_t c = at(pos);
      if (c == '<') {
        continue;
      } else if (c >= '0' && c <= '9') {
        if (current < 100000) current = current * 10 + (c - '0');
      } else if (c == ';') {
        if (count <= 4) params[count - 1] = current;
        current = 0;
        ++count;
      } else if (c >= 0x40 && c <= 0x7E && c != '[') {
        if (count <= 4) params[count - 1] = current;
        if ((c == 'M' || c == 'm') && count == 3) {
          mouse_report(c == 'm', params[0], params[1], params[2]);
        } else if (c == 'R' && count == 2) {
          d.origin_row = params[0] > 0 ? params[0] - 1 : 0;
          d.cursor_column = params[1] > 0 ? params[1] - 1 : 0;
        } else if (c != 'M' && c != 'm' && c != 'R') {
          uint8_t p1 = start + 1 < n ? at(start + 1) : 0;
          uint8_t p2 = start + 2 < n ? at(start + 2) : 0;
          if (int32_t k = named_key_of('[', p1, p2, c)) key(0, k);
        }
        return true;
      } else if (c == 0x1B) {
        --pos;  // abandoned: the ESC starts the next item
        return true;
      }
    }
  }

  // A DCS or OSC string: skipped up to ESC "\".
  bool string_sequence() {
    for (;;) {
      if (!advance()) return false;
      if (at(pos) == 0x1B) {
        if (!advance()) return false;
        if (at(pos) == '\\') return true;
        --pos;
      }
    }
  }

  // At an ESC with at least one byte after it.
  bool escape() {
    if (!advance()) return false;
    uint8_t c = at(pos);
    bool done;
    if (c == 'P' || c == ']') {
      done = string_sequence();
    } else if (c == '[') {
      done = csi();
    } else if (c == 'O') {
      if (!advance()) return false;
      if (int32_t k = named_key_of(c, at(pos), 0, 0)) key(0, k);
      done = true;
    } else {
      done = true;  // Alt with a key: nothing, and the byte after it is read on its own
    }
    if (!done) return false;
    ++pos;
    return true;
  }

  void run() {
    incomplete = false;
    n = buf.size();
    while (pos < n) {
      size_t s = pos;
      uint8_t b = at(s);
      if (b == 0x1B && n > 1) {
        escape();
      } else if (b < 32 || b == 127) {
        key(b == 8 ? 127 : b == 10 ? 13 : b, 0);
        ++pos;
      } else {
        size_t used = 0;
        int32_t cp = unicode::utf8_decode_char(&buf[s], n - s, used);
        if (cp == unicode::utf8_incomplete) {
          incomplete = true;
        } else if (cp < 0 || (cp >= 0xD800 && cp <= 0xDFFF)) {
          key(0xFFFD, 0);
          pos = s + 1;
        } else {
          key(cp, 0);
          pos = s + used;
        }
      }
      if (incomplete) {
        buf.erase(buf.begin(), buf.begin() + std::ptrdiff_t(s));
        return;
      }
    }
    buf.clear();
  }
};

}  // namespace

/*
 * A handler run for an event may start a nested event loop (a further window, or `wait`),
 * which reads and decodes input of its own. So a pass works on the bytes it took at its start;
 * what nested loops append meanwhile is theirs, and only an incomplete item of this pass goes
 * back in front of what they left.
 */
void input_decoder::process(const input_sink& sink) {
  std::vector<uint8_t> work;
  work.swap(bytes);
  pass p{*this, sink, work, 0};
  p.run();
  incomplete = p.incomplete;
  if (!work.empty()) work.insert(work.end(), bytes.begin(), bytes.end()), bytes.swap(work);
  else if (bytes.empty()) bytes.swap(work);  // keeps the buffer's room for the next pass
}

}  // namespace kaz::tui
