// block! searching: find, select and put.
#include <algorithm>

#include "core/actions.h"
#include "core/block_storage.h"
#include "core/symbol.h"
#include "core/typeset.h"
#include "datatypes/block_actions.h"
#include "datatypes/integer.h"
#include "datatypes/series_common.h"
#include "datatypes/simple_types.h"
#include "memory/hashtable.h"
#include "runtime/fire.h"

namespace kaz::block_type {

namespace {

enum class matching : uint8_t { whole, by_type, by_typeset, sequence };

struct matcher {
  cell value;
  matching mode;
  uint32_t length;  // cells a match covers
  int32_t op;

  // Whether the cells from absolute index p of the block match (p + length within the tail).
  bool at(const cell* b, uint32_t p) const {
    switch (mode) {
      case matching::by_type:
        return type_of(block::rs_abs_at(b, p)) == datatype_type::id_of(&value);
      case matching::by_typeset:
        return typeset::has(&value, type_of(block::rs_abs_at(b, p)));
      case matching::whole: {
        cell c = *block::rs_abs_at(b, p);
        return actions::compare(&value, &c, op);
      }
      default:
        for (uint32_t i = 0; i < length; ++i) {
          // Re-read both sides at every step: comparing may run code that changes them.
          if (p + i >= block::absolute_length(b) ||
              value.data1 + i >= block::absolute_length(&value))
            return false;
          cell want = *block::rs_abs_at(&value, value.data1 + i);
          cell c = *block::rs_abs_at(b, p + i);
          if (!actions::compare(&want, &c, op)) return false;
        }
        return true;
    }
  }
};

matcher matcher_for(const cell* value, bool only, int32_t op) {
  matcher m{*value, matching::whole, 1, op};
  if (only) return m;
  uint32_t t = type_of(value);
  if (t == type::datatype_) {
    m.mode = matching::by_type;
  } else if (t == type::typeset) {
    m.mode = matching::by_typeset;
  } else if (is_any_block(t)) {
    m.mode = matching::sequence;
    m.length = block::length_from_head(value);
  }
  return m;
}

// The comparison code of find's refinements.
int32_t find_op(bool case_, bool same) {
  return same ? actions::op::same : case_ ? actions::op::strict_equal : actions::op::find;
}

// hash! blocks answer a forward search for one value from their table. Objects and blocks
// hash by identity, so the table answers for them only under same?.
bool hashed(const cell* series, const matcher& m, const search& how) {
  uint32_t t = type_of(&m.value);
  return type_of(series) == type::hash && series->data3 != 0 && m.mode == matching::whole &&
         !how.last && !how.reverse && !how.match &&
         ((t != type::object && !is_any_block(t)) || m.op == actions::op::same);
}

/*
 * A search for one integer, or one word, under find's own comparison or the strict one: the
 * cells are compared in place (what the datatypes' compare answers for them), and since that
 * runs no code the block is walked without reading it again. From p by step up to stop; -1:
 * not found; -2: not such a search.
 */
int64_t scan_in_place(const cell* series, const matcher& m, int64_t p, int64_t stop,
                      int64_t step, bool anchored) {
  if (m.mode != matching::whole) return -2;
  uint32_t t = type_of(&m.value);
  bool find_op = m.op == actions::op::find;
  if (!(find_op || m.op == actions::op::strict_equal)) return -2;
  const cell* cells = block::rs_abs_at(series, 0);
  auto scan = [&](auto same) -> int64_t {
    for (;;) {
      if (same(cells + p)) return p;
      if (anchored) return -1;
      p += step;
      if (step < 0 ? p < stop : p > stop) return -1;
    }
  };
  if (t == type::integer) {
    uint32_t want = m.value.data2;
    return scan([want](const cell* c) { return type_of(c) == type::integer && c->data2 == want; });
  }
  if (!is_any_word(t)) return -2;
  uint32_t symbol = m.value.data2;
  if (!find_op)  // the same type and spelling
    return scan([t, symbol](const cell* c) { return type_of(c) == t && c->data2 == symbol; });
  // Any word type but issue! with issue! apart, any spelling of the word.
  bool issue = t == type::issue;
  uint32_t want = symbol::resolve(symbol);
  return scan([issue, symbol, want](const cell* c) {
    uint32_t ct = type_of(c);
    return is_any_word(ct) && (ct == type::issue) == issue &&
           (c->data2 == symbol || symbol::resolve(c->data2) == want);
  });
}

}  // namespace

int64_t locate(cell* series, const cell* value, const search& how, uint32_t* length) {
  matcher m = matcher_for(value, how.only, how.op);
  *length = m.length;
  int64_t len = block::absolute_length(series);
  int64_t head = series->data1;
  if (len == 0 || (head >= len && !how.reverse)) return -1;
  if (m.mode == matching::sequence && m.length == 0) return -1;
  int64_t step = 1;
  if (how.skip) {
    if (type_of(how.skip) != type::integer) series::bad_refine_arg("skip", how.skip);
    step = integer_type::value_of(how.skip);
    if (step < 1) fire(err::script_out_of_range, how.skip);
  }
  // The last cell a match may cover.
  int64_t limit = len - 1;
  int64_t count = -1;
  if (how.part) {
    count = series::part_count(series, how.part);
    if (count < 1) return -1;
    limit = std::min(head + count - 1, len - 1);
  }
  int64_t span = m.length;
  int64_t p, stop;
  if (how.reverse || how.last) {
    // Backward, on the grid of records that starts at the head: the last record start at or
    // before the latest position a match may begin.
    int64_t latest = how.reverse ? std::min(head, len) - span : limit - span + 1;
    int64_t d = latest - head;
    p = head + (d >= 0 ? d / step : -((-d + step - 1) / step)) * step;
    stop = how.reverse && count >= 0 ? std::max<int64_t>(head - count, 0) : 0;
    step = -step;
  } else {
    p = head;
    stop = limit - span + 1;
  }
  if (step < 0 ? p < stop : p > stop) return -1;
  if (hashed(series, m, how)) {
    int32_t hit = hashtable::find(series->data3, &m.value, static_cast<int32_t>(p),
                                  static_cast<int32_t>(step), how.op);
    return hit >= 0 && hit <= stop ? hit : -1;
  }
  int64_t found = scan_in_place(series, m, p, stop, step, how.match);
  if (found != -2) return found;
  for (;;) {
    if (p + span <= block::absolute_length(series) && m.at(series, static_cast<uint32_t>(p)))
      return p;
    if (how.match) return -1;
    p += step;
    if (step < 0 ? p < stop : p > stop) return -1;
  }
}

cell* find(cell* series, cell* value, cell* part, bool only, bool case_, bool same, bool,
           cell*, cell* skip, bool last, bool reverse, bool tail, bool match) {
  search how{part, skip, only, last, reverse, match, find_op(case_, same)};
  uint32_t length;
  int64_t at = locate(series, value, how, &length);
  if (at < 0) return &none_value;
  series->data1 = static_cast<uint32_t>(at + (tail ? length : 0));
  return series;
}

cell* select(cell* series, cell* value, cell* part, bool only, bool case_, bool same, bool,
             cell*, cell* skip, bool last, bool reverse) {
  search how{part, skip, only, last, reverse, false, find_op(case_, same)};
  uint32_t length;
  int64_t at = locate(series, value, how, &length);
  // The value after the match: after the whole sequence, except for a hash! searched as one.
  int64_t after = at + (type_of(value) == type::hash ? 1 : length);
  if (at < 0 || after >= block::absolute_length(series)) return &none_value;
  *series = *block::rs_abs_at(series, static_cast<uint32_t>(after));
  return series;
}

// The value after the key is replaced, or the key and the value are appended.
cell* put(cell* series, cell* key, cell* value, bool case_) {
  cell k = *key, v = *value;
  search how;
  how.op = find_op(case_, false);
  uint32_t length;
  int64_t at = locate(series, &k, how, &length);
  if (at < 0) {
    auto index = static_cast<int32_t>(block::length_from_head(series));
    bool owned = series::owned_before(series, series::change::put, &v, index, 2);
    block::append_copy(series, &k);
    block::append_copy(series, &v);
    if (owned) series::owned_after(series, series::change::put, &v, index, 2);
    return value;
  }
  auto index = static_cast<int32_t>(at + 1);
  bool owned = series::owned_before(series, series::change::put, &v, index, 1);
  if (at + 1 < block::absolute_length(series)) {
    const cell* after = block::rs_abs_at(series, static_cast<uint32_t>(at + 1));
    cell old = *after;
    if (actions::compare_direct(&old, &v, actions::op::find) != 0) {
      if (at + 1 < block::absolute_length(series))
        *block::rs_abs_at_rw(series, static_cast<uint32_t>(at + 1)) = v;
      block::hash_spliced(series, static_cast<uint32_t>(at + 1), 1, 1);
    }
  } else {
    block::append_copy(series, &v);
  }
  if (owned) series::owned_after(series, series::change::put, &v, index, 1);
  return value;
}

}  // namespace kaz::block_type
