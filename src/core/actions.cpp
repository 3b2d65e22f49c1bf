#include "core/actions.h"

#include "core/function.h"
#include "core/scalar_cell.h"
#include "core/stack.h"
#include "core/string_storage.h"
#include "core/symbol.h"
#include "core/words.h"
#include "runtime/fire.h"

namespace kaz::actions {

namespace {

const char* const action_words[slot::count] = {
#define ACTION(n, cname, word) word,
#include "core/actions.def"
#undef ACTION
};

// The first argument word of each action's spec, for expect-arg.
const char* first_argument(uint32_t s) {
  switch (s) {
    case slot::make:
    case slot::to:
      return "type";
    case slot::random:
    case slot::reflect:
    case slot::form:
    case slot::mold:
    case slot::absolute:
    case slot::complement:
    case slot::copy:
      return "value";
    case slot::add:
    case slot::divide:
    case slot::multiply:
    case slot::remainder:
    case slot::subtract:
    case slot::and_t:
    case slot::or_t:
    case slot::xor_t:
      return "value1";
    case slot::negate:
    case slot::power:
    case slot::even_q:
    case slot::odd_q:
      return "number";
    case slot::round:
      return "n";
    case slot::move:
      return "origin";
    case slot::swap:
      return "series1";
    case slot::create:
    case slot::close:
    case slot::open:
    case slot::open_q:
    case slot::update:
      return "port";
    case slot::delete_:
      return "file";
    case slot::modify:
    case slot::query:
      return "target";
    case slot::read:
      return "source";
    case slot::rename:
      return "from";
    case slot::write:
      return "destination";
    default:
      return "series";
  }
}

}  // namespace

void unsupported(const cell* value, uint32_t s) {
  cell name;
  stack::get_call_name(&name);
  cell dt{type::datatype_, type_of(value), 0, 0};
  cell arg{type::word, 0, symbol::make(first_argument(s)), 0xFFFFFFFF};
  (void)action_words;
  fire(err::script_expect_arg, &name, &dt, &arg);
}

int32_t compare_direct(const cell* a, const cell* b, int32_t op) {
  uint32_t t = type_of(a);
  switch (t) {
    case type::logic:
      if (type_of(b) != type::logic) return -2;
      return static_cast<int32_t>(logic_type::value_of(a)) -
             static_cast<int32_t>(logic_type::value_of(b));
    default:
      break;
  }
  slot_fn::compare f = registry::row(t).compare;
  if (!f) return -2;
  return f(const_cast<cell*>(a), const_cast<cell*>(b), op);
}

bool compare(const cell* a, const cell* b, int32_t op) {
  int32_t r = compare_direct(a, b, op);
  if (r == -2) {
    switch (op) {
      case op::equal:
      case op::strict_equal:
      case op::same:
      case 10:
      case 11:
      case op::find:
        return false;
      case op::not_equal:
        return true;
      default: {
        cell x = *a;
        cell y = *b;
        fire(err::script_invalid_compare, &x, &y);
      }
    }
  }
  switch (op) {
    case op::equal:
    case op::strict_equal:
    case op::same:
    case 10:
    case 11:
    case op::find:
      return r == 0;
    case op::not_equal:
      return r != 0;
    case op::lesser:
      return r < 0;
    case op::lesser_or_equal:
      return r <= 0;
    case op::greater:
      return r > 0;
    case op::greater_or_equal:
      return r >= 0;
    default:
      return r == 0;
  }
}

int32_t form(const cell* value, cell* buffer, cell* part, int32_t limit) {
  slot_fn::form f = registry::row(type_of(value)).form;
  if (!f) unsupported(value, slot::form);
  return f(const_cast<cell*>(value), buffer, part, limit);
}

int32_t mold(const cell* value, cell* buffer, bool only, bool all, bool flat, cell* part,
             int32_t limit, int32_t indent) {
  slot_fn::mold f = registry::row(type_of(value)).mold;
  if (!f) unsupported(value, slot::mold);
  return f(const_cast<cell*>(value), buffer, only, all, flat, part, limit, indent);
}

}  // namespace kaz::actions
