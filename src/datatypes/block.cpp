// block!: the language's one container of values.
#include "core/actions.h"
#include "core/cycle_guard.h"
#include "core/fire.h"
#include "core/stack.h"
#include "datatypes/block_storage.h"
#include "datatypes/registry.h"
#include "datatypes/series_types.h"
#include "datatypes/string_storage.h"

namespace kaz::block_type {

namespace {

cell* make(cell* proto, cell* spec, uint32_t t) {
  uint32_t st = type_of(spec);
  if (is_any_block(st)) {
    cell* copy = block::copy_cells(spec, false, false);
    *proto = *copy;
    stack::top--;
  } else if (st == type::integer) {
    int32_t n = static_cast<int32_t>(spec->data2);
    block::init_cell(proto, n < 1 ? 1 : static_cast<uint32_t>(n));
  } else {
    cell dt{type::datatype_, t, 0, 0};
    fire(err::script_bad_make_arg, &dt, spec);
  }
  proto->header = t;
  return proto;
}

cell* to(cell* proto, cell* spec, uint32_t t) {
  if (is_any_block(type_of(spec))) return make(proto, spec, t);
  cell v = *spec;
  block::init_cell(proto, 1);
  block::append_copy(proto, &v);
  proto->header = t;
  return proto;
}

bool ends_with_space(node_t out) {
  series_buffer* s = memory::buffer_of(out);
  if (s->length() == 0) return false;
  uint32_t unit = s->unit();
  uint32_t c = string::get_char(s->tail_ptr() - unit, unit);
  return c == '\t' || c == '\n' || c == '\r';
}

int32_t form(cell* b, cell* buffer, cell* part, int32_t limit) {
  cell blk = *b;
  cycle_guard guard(blk.data2);
  if (!guard.entered()) {
    string::append_ascii(buffer->data2, "[...]");
    return limit - 5;
  }
  int32_t n = block::rs_length(&blk);
  for (int32_t i = 0; i < n; ++i) {
    if (part && limit < 1) break;
    if (i > 0 && !ends_with_space(buffer->data2)) {
      string::append_ascii(buffer->data2, " ");
      --limit;
    }
    cell v = *(block::rs_head(&blk) + i);
    limit = actions::form(&v, buffer, part, limit);
    n = block::rs_length(&blk);
  }
  return limit;
}

}  // namespace

int32_t mold_cells(cell* b, cell* buffer, bool only, bool all, bool flat, cell* part,
                   int32_t limit, int32_t indent) {
  cell blk = *b;
  node_t out = buffer->data2;
  bool multi = false;
  int32_t n = block::rs_length(&blk);
  for (int32_t i = 0; i < n; ++i) {
    if (part && limit < 1) return limit;
    cell v = *(block::rs_head(&blk) + i);
    if (!flat && (v.header & new_line_flag)) {
      if (!only && i == 0) {
        ++indent;
        multi = true;
      }
      if (!(only && i == 0)) {
        string::append_ascii(out, "\n");
        --limit;
      }
      for (int32_t k = 0; k < indent; ++k) string::append_ascii(out, "    ");
      limit -= 4 * indent;
    } else if (i > 0) {
      string::append_ascii(out, " ");
      --limit;
    }
    limit = actions::mold(&v, buffer, false, all, flat, part, limit, indent);
    n = block::rs_length(&blk);
  }
  if (multi) {
    --indent;
    string::append_ascii(out, "\n");
    for (int32_t k = 0; k < indent; ++k) string::append_ascii(out, "    ");
    limit -= 1 + 4 * indent;
  }
  return limit;
}

int32_t mold_delimited(cell* b, cell* buffer, const char* open, const char* close, bool only,
                       bool all, bool flat, cell* part, int32_t limit, int32_t indent) {
  cell blk = *b;
  cycle_guard guard(blk.data2);
  if (!guard.entered()) {
    string::append_ascii(buffer->data2, open);
    string::append_ascii(buffer->data2, "...");
    string::append_ascii(buffer->data2, close);
    return limit - 5;
  }
  if (!only) {
    string::append_ascii(buffer->data2, open);
    --limit;
  }
  limit = mold_cells(&blk, buffer, only, all, flat, part, limit, indent);
  if (!only) {
    string::append_ascii(buffer->data2, close);
    --limit;
  }
  return limit;
}

namespace {

int32_t mold(cell* b, cell* buffer, bool only, bool all, bool flat, cell* part, int32_t limit,
             int32_t indent) {
  return mold_delimited(b, buffer, "[", "]", only, all, flat, part, limit, indent);
}

bool number(uint32_t t) { return t == type::integer || t == type::float_ || t == type::percent; }

}  // namespace

int32_t compare_cells(cell* a, cell* b, int32_t op) {
  cell x = *a, y = *b;
  if (x.data2 == y.data2 && x.data1 == y.data1) return 0;
  if (op == 9) return -1;
  if (cycle_guard::contains(x.data2)) return cycle_guard::contains(y.data2) ? 0 : -1;
  int32_t lx = block::rs_length(&x), ly = block::rs_length(&y);
  if (lx < 0) lx = 0;
  if (ly < 0) ly = 0;
  if (lx != ly && (op <= 2 || op == 10 || op == 11 || op == 12)) return 1;
  if (lx == 0 || ly == 0) return lx < ly ? -1 : lx > ly ? 1 : 0;
  cycle_guard gx(x.data2);
  cycle_guard gy(y.data2);
  int32_t n = lx < ly ? lx : ly;
  for (int32_t i = 0; i < n; ++i) {
    cell p = *(block::rs_head(&x) + i);
    cell q = *(block::rs_head(&y) + i);
    uint32_t tp = type_of(&p), tq = type_of(&q);
    if (tp != tq && !(is_any_word(tp) && is_any_word(tq)) && !(number(tp) && number(tq)))
      return tp < tq ? -1 : 1;
    int32_t r = actions::compare_direct(&p, &q, op);
    if (r != 0) return r;
  }
  return lx < ly ? -1 : lx > ly ? 1 : 0;
}

namespace {

int32_t compare(cell* a, cell* b, int32_t op) {
  uint32_t ta = type_of(a), tb = type_of(b);
  if (ta != tb) {
    bool paths = (ta == type::path && tb == type::lit_path) ||
                 (ta == type::lit_path && tb == type::path);
    if (!(paths && (op == 10 || op == 11))) return -2;
  }
  return compare_cells(a, b, op);
}

}  // namespace

void init() {
  registry::add(type::block,
                {.make = make, .to = to, .form = form, .mold = mold, .compare = compare},
                inherited(slot::random, slot::reflect, slot::at, slot::back, slot::clear,
                          slot::head, slot::head_q, slot::index_q, slot::length_q, slot::move,
                          slot::next, slot::pick, slot::poke, slot::remove, slot::reverse,
                          slot::skip, slot::tail, slot::tail_q, slot::modify));
}

}  // namespace kaz::block_type
