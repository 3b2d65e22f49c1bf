// The scanning core of load-csv: one pass over the text, each value copied straight into a new
// string.
#include "library/csv_scan.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "core/block_storage.h"
#include "core/stack.h"
#include "core/string_storage.h"
#include "datatypes/scalar_types.h"
#include "datatypes/simple_types.h"
#include "memory/unicode_units.h"
#include "runtime/fire.h"

namespace kaz::library::csv {

namespace {

struct options {
  std::vector<uint32_t> delimiter;
  uint32_t quote;
  bool flat, header, strict, ignore_empty;
};

template <typename T>
class reader {
 public:
  reader(const T* text, size_t length, const options& o) : p_(text), n_(length), o_(o) {}

  int32_t run(cell* out) {
    if (n_ == 0) return 0;
    cell* line = stack::reserve_cell();
    cell* value = stack::reserve_cell();
    uint32_t width = 4;
    int32_t expected = -1;  // values per line, from the first line counted
    for (uint32_t record = 0;; ++record) {
      if (o_.flat) {
        *line = *out;
      } else {
        block::init_cell(line, width);
      }
      int32_t count = 0;
      for (;;) {
        if (int32_t bad = read_value(value)) return bad;
        block::append_copy(line, value);
        ++count;
        size_t d = delimiter_at(pos_);
        if (d == 0) break;
        pos_ += d;
      }
      if (o_.ignore_empty && count > 0 && string::length_from_head(value) == 0) {
        block::set_tail_at(line, block::absolute_length(line) - 1);
        --count;
      }
      if (!(o_.header && record == 0)) {
        if (expected < 0) expected = count;
        else if (o_.strict && count != expected) return -1;
      }
      if (!o_.flat) {
        block::append_copy(out, line);
        width = std::max<uint32_t>(4, static_cast<uint32_t>(count));
      }
      if (pos_ >= n_) break;
      line_break();
      if (pos_ >= n_) break;  // a line end at the very end starts no record
    }
    return 0;
  }

 private:
  bool line_break_at(size_t i) const { return i < n_ && (p_[i] == '\n' || p_[i] == '\r'); }

  void line_break() {
    if (p_[pos_] == '\r' && pos_ + 1 < n_ && p_[pos_ + 1] == '\n') ++pos_;
    ++pos_;
    ++line_;
  }

  // The delimiter's length when it stands whole at i, else 0.
  size_t delimiter_at(size_t i) const {
    const std::vector<uint32_t>& d = o_.delimiter;
    if (n_ - i < d.size()) return 0;
    for (size_t k = 0; k < d.size(); ++k)
      if (uint32_t(p_[i + k]) != d[k]) return 0;
    return d.size();
  }

  // A value at pos_ into the cell; answers 0, or the line of a malformed quoted value.
  int32_t read_value(cell* out) {
    if (pos_ < n_ && uint32_t(p_[pos_]) == o_.quote) return read_quoted(out);
    size_t start = pos_;
    uint32_t first = o_.delimiter[0];
    while (pos_ < n_) {
      uint32_t c = p_[pos_];
      if (c == '\n' || c == '\r') break;
      if (c == first && delimiter_at(pos_)) break;
      ++pos_;
    }
    copy_range(out, start, pos_);
    return 0;
  }

  int32_t read_quoted(cell* out) {
    int32_t opened = line_;
    size_t start = ++pos_;
    bool doubled = false;
    for (;;) {
      if (pos_ >= n_) return opened;  // never closed
      uint32_t c = p_[pos_];
      if (c == o_.quote) {
        if (pos_ + 1 < n_ && uint32_t(p_[pos_ + 1]) == o_.quote) {
          doubled = true;
          pos_ += 2;
          continue;
        }
        break;
      }
      if (c == '\n' || (c == '\r' && !(pos_ + 1 < n_ && p_[pos_ + 1] == '\n'))) ++line_;
      ++pos_;
    }
    size_t end = pos_++;
    if (pos_ < n_ && !line_break_at(pos_) && !delimiter_at(pos_)) return line_;
    if (!doubled) {
      copy_range(out, start, end);
      return 0;
    }
    chars_.clear();
    uint32_t widest = 0;
    for (size_t i = start; i < end; ++i) {
      uint32_t c = p_[i];
      if (c == o_.quote) ++i;  // the first of two
      chars_.push_back(c);
      widest = std::max(widest, c);
    }
    uint32_t unit = unicode::unit_for(widest);
    string::init_cell_with_unit(out, static_cast<uint32_t>(chars_.size()), unit);
    series_buffer* b = string::buffer_of(out);
    uint8_t* at = b->data_rw() + b->tail;
    for (size_t i = 0; i < chars_.size(); ++i) string::put_char(at + i * unit, unit, chars_[i]);
    b->tail += static_cast<uint32_t>(chars_.size() * unit);
    return 0;
  }

  // A new string! of the text's characters from `from` up to `to`.
  void copy_range(cell* out, size_t from, size_t to) {
    size_t n = to - from;
    uint32_t unit = 1;
    if (sizeof(T) > 1) {
      uint32_t widest = 0;
      for (size_t i = from; i < to; ++i) widest = std::max<uint32_t>(widest, p_[i]);
      unit = unicode::unit_for(widest);
    }
    string::init_cell_with_unit(out, static_cast<uint32_t>(n), unit);
    series_buffer* b = string::buffer_of(out);
    string::copy_units(reinterpret_cast<const uint8_t*>(p_ + from), sizeof(T),
                       b->data_rw() + b->tail, unit, n);
    b->tail += static_cast<uint32_t>(n * unit);
  }

  const T* p_;
  size_t n_;
  const options& o_;
  size_t pos_ = 0;
  int32_t line_ = 1;
  std::vector<uint32_t> chars_;
};

template <typename T>
int32_t read_all(cell* out, const string::text& t, const options& o) {
  // The text is copied out of collector memory: making the values may move its buffer.
  std::vector<T> copy(t.length);
  if (t.length) std::memcpy(copy.data(), t.p, size_t(t.length) * sizeof(T));
  reader<T> r(copy.data(), copy.size(), o);
  return r.run(out);
}

bool flag(const cell* v) { return type_of(v) == type::logic && logic_type::value_of(v) != 0; }

}  // namespace

void scan(cell* a) {
  if (type_of(&a[0]) != type::string) fire(err::script_invalid_arg, &a[0]);
  if (type_of(&a[3]) != type::block) fire(err::script_invalid_arg, &a[3]);
  if (type_of(&a[2]) != type::char_) fire(err::script_invalid_arg, &a[2]);
  options o;
  if (type_of(&a[1]) == type::char_) {
    o.delimiter.push_back(char_type::code_of(&a[1]));
  } else if (type_of(&a[1]) == type::string) {
    string::text d = string::text_of(&a[1]);
    for (uint32_t i = 0; i < d.length; ++i) o.delimiter.push_back(d.at(i));
  }
  if (o.delimiter.empty()) fire(err::script_invalid_arg, &a[1]);
  o.quote = char_type::code_of(&a[2]);
  // A line break or the quote in the delimiter would split lines or values where none are.
  for (uint32_t c : o.delimiter)
    if (c == '\n' || c == '\r' || c == o.quote) fire(err::script_invalid_arg, &a[1]);
  o.flat = flag(&a[4]);
  o.header = flag(&a[5]);
  o.strict = flag(&a[6]);
  o.ignore_empty = flag(&a[7]);
  uint32_t base = stack::index_of(stack::top);
  cell* out = stack::push(&a[3]);
  string::text t = string::text_of(&a[0]);
  int32_t status;
  switch (t.unit) {
    case 1: status = read_all<uint8_t>(out, t, o); break;
    case 2: status = read_all<uint16_t>(out, t, o); break;
    default: status = read_all<uint32_t>(out, t, o); break;
  }
  stack::top = stack::at_index(base);
  *a = cell{type::integer, 0, static_cast<uint32_t>(status), 0};
}

}  // namespace kaz::library::csv
