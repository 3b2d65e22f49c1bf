// Evaluation, binding and non-local natives, and the function makers.
#include <initializer_list>
#include <string_view>

#include "core/actions.h"
#include "core/block_storage.h"
#include "core/context.h"
#include "core/error.h"
#include "core/function.h"
#include "core/object.h"
#include "core/registry.h"
#include "core/series_cell.h"
#include "core/symbol.h"
#include "core/truth.h"
#include "core/word.h"
#include "core/words.h"
#include "datatypes/map.h"
#include "eval/interpreter.h"
#include "eval/leaf_values.h"
#include "eval/natives.h"
#include "eval/trace.h"
#include "loader/lexer_transcode.h"
#include "runtime/fire.h"

namespace kaz::natives {

namespace {

inline cell* arg(uint32_t i) { return stack::arguments + i; }
inline bool has(const int32_t* refs, uint32_t k) { return refs[k] >= 0; }
inline cell* ref_arg(const int32_t* refs, uint32_t k) {
  return stack::arguments + static_cast<uint32_t>(refs[k]);
}

void set_unset() {
  stack::arguments->header = type::unset;
  stack::top = stack::arguments + 1;
}

bool is_word_like(uint32_t t) {
  return t == type::word || t == type::set_word || t == type::get_word || t == type::lit_word;
}

// Makes a function! from spec and body into the result slot.
void make_function(cell* spec, cell* body) {
  cell s = *spec;
  cell b = *body;
  block::rs_head(&s);
  block::rs_head(&b);
  uint32_t flags = kaz::function::validate_spec(&s);
  cell f;
  kaz::function::make_value(&f, &s, &b, 0, 0, flags);
  stack::set_result_only(&f);
}

}  // namespace

namespace {

flow do_value_of(const int32_t* refs);

// Calls the library function `name` in a function frame with the given arguments (null: none!);
// its result is left in the result slot.
flow call_library(std::string_view name_text, std::initializer_list<const cell*> args) {
  cell name;
  context::intern_global(symbol::make(name_text), &name);
  cell fn = *context::get_value(&name);
  if (type_of(&fn) != type::function) fire(err::script_no_value, &name);
  stack::open_interpreted_function_frame(&name);
  for (const cell* a : args) {
    if (a)
      stack::push(a);
    else
      stack::push_none();
  }
  flow f = interp::call_with_arguments(&fn, &name);
  if (f != flow::normal) {
    stack::close_frame_dropping();
    return f;
  }
  stack::close_frame_to_result();
  stack::top = stack::arguments + 1;
  return flow::normal;
}

// A script file or URL runs through the library's do-file (no trace callback, the /args value).
flow do_file(const cell* source, const cell* args) {
  return call_library("do-file", {source, nullptr, args});
}

// The preprocessor's expand-directives over a block (changed in place); the expanded block is
// left in the result slot.
flow expand_directives(const cell* code) { return call_library("expand-directives", {code}); }

// Text to do is loaded into a block, kept in the result slot while it runs.
void load_into_result(const cell* text) {
  cell* out = stack::reserve_cell();
  lexer::transcode(text, -1, lexer::scan_options{}, out);
  *stack::arguments = *out;
  stack::top = stack::arguments + 1;
}

}  // namespace

flow do_(const int32_t* refs) {
  if (!has(refs, 3)) return do_value_of(refs);
  cell callback = *ref_arg(refs, 3);
  stack::set_body_bit();
  bool started = trace::start(&callback);
  flow f;
  try {
    f = do_value_of(refs);
  } catch (...) {
    if (started) trace::stop();
    throw;
  }
  if (started) trace::stop();
  return f;
}

namespace {

flow do_value_of(const int32_t* refs) {
  cell value = *arg(0);
  uint32_t t = type_of(&value);
  if (t == type::string) {
    load_into_result(&value);
    value = *arg(0);
    t = type::block;
  }
  bool code_block = t == type::block || t == type::paren || t == type::hash;
  if (has(refs, 0) && code_block) {  // /expand
    // A hash! is expanded as the block it holds, then indexed again.
    cell code = value;
    if (t == type::hash) set_type(&code, type::block);
    flow f = expand_directives(&code);
    if (f != flow::normal) return f;
    if (t == type::hash) {
      block::hash_changed(&value);
      *arg(0) = value;
    }
    value = *arg(0);
    t = type_of(&value);
  }
  if (has(refs, 2)) {  // /next position
    cell word = *ref_arg(refs, 2);
    if (!code_block) fire(err::script_invalid_arg, &value);
    uint32_t index = series::index_of(&value);
    flow f = interp::eval_next(&value, index);
    if (f != flow::normal) return f;
    cell moved = value;
    moved.data1 = index;
    context::set_value(&word, &moved);
    stack::top = stack::arguments + 1;
    return flow::normal;
  }
  switch (t) {
    case type::block:
    case type::paren:
    case type::hash:
      return interp::eval_block(&value, true);
    case type::error:
      error::raise(&value);
    case type::file:
    case type::url:
      return do_file(&value, has(refs, 1) ? ref_arg(refs, 1) : nullptr);
    default: {
      flow f = interp::do_value(&value);
      if (f != flow::normal) return f;
      *stack::arguments = *stack::last_value();
      stack::top = stack::arguments + 1;
      return flow::normal;
    }
  }
}

}  // namespace

namespace {

// The block reduce or compose made is the result; with /into (refinement number `into`) its values
// are inserted into the target, which is the result.
flow answer_made_block(const cell* made, const int32_t* refs, int into) {
  cell r = *made;
  if (!has(refs, into)) {
    stack::set_result_only(&r);
    return flow::normal;
  }
  cell out = *ref_arg(refs, into);
  int32_t n = block::rs_length(&r);
  for (int32_t i = 0; i < n; ++i) {
    cell v = *(block::rs_head(&r) + i);
    block::insert_value(&out, &v, true, false);
  }
  stack::set_result_only(&out);
  return flow::normal;
}

}  // namespace

flow reduce(const int32_t* refs) {
  cell value = *arg(0);
  if (type_of(&value) != type::block) {
    if (has(refs, 0)) {
      cell out = *ref_arg(refs, 0);
      block::insert_value(&out, &value, true, false);
      stack::set_result_only(&out);
    }
    return flow::normal;
  }
  int32_t len = block::rs_length(&value);
  cell* result = block::push_only(len > 0 ? static_cast<uint32_t>(len) : 1);
  uint32_t result_index = stack::index_of(result);
  interp::cursor c(&value);
  while (!c.at_tail()) {
    uint32_t mark = stack::index_of(stack::top);
    flow f = interp::eval_operand(c, false);
    if (f != flow::normal) return f;
    c.refresh();
    cell v = *stack::last_value();
    stack::top = stack::at_index(mark);
    block::append_copy(stack::at_index(result_index), &v);
  }
  cell r = *stack::at_index(result_index);
  return answer_made_block(&r, refs, 0);
}

namespace {

flow compose_into(cell* target, const cell* source, bool deep, bool only) {
  cell src = *source;
  for (int32_t i = 0; i < block::rs_length(&src); ++i) {
    cell v = *(block::rs_head(&src) + i);
    uint32_t t = type_of(&v);
    if (t == type::paren) {
      if (block::rs_length(&v) <= 0) continue;
      flow f = interp::eval_block(&v, false);
      if (f != flow::normal) return f;
      cell r = *stack::last_value();
      stack::top--;
      uint32_t rt = type_of(&r);
      if (rt == type::unset) continue;
      if (rt == type::block && !only) {
        int32_t n = block::rs_length(&r);
        for (int32_t k = 0; k < n; ++k) {
          cell x = *(block::rs_head(&r) + k);
          block::append_copy(target, &x);
        }
        continue;
      }
      block::append_copy(target, &r);
    } else if (t == type::block && deep) {
      cell* nested = block::push_only(static_cast<uint32_t>(block::rs_length(&v) + 1));
      uint32_t ni = stack::index_of(nested);
      flow f = compose_into(nested, &v, deep, only);
      if (f != flow::normal) return f;
      cell made = *stack::at_index(ni);
      made.header = v.header;
      stack::top = stack::at_index(ni);
      block::append_copy(target, &made);
    } else {
      block::append_copy(target, &v);
    }
  }
  return flow::normal;
}

}  // namespace

flow compose(const int32_t* refs) {
  cell value = *arg(0);
  if (type_of(&value) != type::block) {
    cell expected{type::datatype_, type::block, 0, 0};
    cell got{type::datatype_, type_of(&value), 0, 0};
    fire(err::script_expect_val, &expected, &got);
  }
  bool deep = has(refs, 0);
  bool only = has(refs, 1);
  cell* result = block::push_only(static_cast<uint32_t>(block::rs_length(&value) + 1));
  uint32_t ri = stack::index_of(result);
  flow f = compose_into(result, &value, deep, only);
  if (f != flow::normal) return f;
  cell r = *stack::at_index(ri);
  return answer_made_block(&r, refs, 2);
}

flow get(const int32_t* refs) {
  cell w = *arg(0);
  uint32_t t = type_of(&w);
  if (is_any_path(t)) {
    cell code;
    block::init_cell(&code, 1);
    cell* holder = stack::push(&code);
    cell gp = w;
    gp.header = (gp.header & ~type_mask) | type::get_path;
    block::append_copy(holder, &gp);
    interp::cursor c(holder);
    c.pos = 1;
    flow f = interp::eval_path(c, &gp, false, true, has(refs, 1));
    if (f != flow::normal) return f;
    stack::set_result_only(stack::last_value());
    return flow::normal;
  }
  if (t == type::object || t == type::error || t == type::port) {
    node_t ctx = object::context_of(&w);
    uint32_t n = context::size(ctx);
    cell* result = block::push_only(n ? n : 1);
    uint32_t ri = stack::index_of(result);
    for (uint32_t i = 0; i < n; ++i) {
      cell v = context::values(ctx)[i];
      block::append_copy(stack::at_index(ri), &v);
    }
    stack::set_result_only(stack::at_index(ri));
    return flow::normal;
  }
  const cell* v = context::get_value(&w);
  if (type_of(v) == type::unset && !has(refs, 0)) fire(err::script_no_value, &w);
  stack::set_result_only(v);
  return flow::normal;
}

// A block of a map's live keys and values, in order, pushed on the stack.
static cell* live_pairs(const cell* m) {
  node_t entries = map::entries_of(m);
  uint32_t n = memory::buffer_of(entries)->length();
  cell* out = block::push_only(n ? n : 1);
  for (uint32_t i = 0; i + 1 < n; i += 2) {
    cell key = memory::buffer_of(entries)->cells()[i];
    cell value = memory::buffer_of(entries)->cells()[i + 1];
    if (value.header == 0) continue;  // a removed pair
    block::append_copy(out, &key);
    block::append_copy(out, &value);
  }
  return out;
}

flow set(const int32_t* refs) {
  cell target = *arg(0);
  cell value = *arg(1);
  bool any = has(refs, 0);
  bool only = has(refs, 2);
  bool some = has(refs, 3);
  uint32_t t = type_of(&target);
  if (type_of(&value) == type::unset && !any) fire(err::script_need_value, &target);
  if (is_any_word(t)) {
    context::set_value(&target, &value);
  } else if (t == type::block) {
    int32_t n = block::rs_length(&target);
    cell spread_value = value;
    if (!only && type_of(&value) == type::map) spread_value = *live_pairs(&value);
    bool spread = !only && is_any_block(type_of(&spread_value));
    for (int32_t i = 0; i < n; ++i) {
      const cell* w = block::rs_head(&target) + i;
      if (!is_word_like(type_of(w))) fire(err::script_invalid_arg, w);
      if (spread && !any) {
        if (i < block::rs_length(&spread_value) &&
            type_of(block::rs_head(&spread_value) + i) == type::unset)
          fire(err::script_need_value, w);
      }
    }
    for (int32_t i = 0; i < n; ++i) {
      cell w = *(block::rs_head(&target) + i);
      cell v;
      if (spread) {
        if (i < block::rs_length(&spread_value))
          v = *(block::rs_head(&spread_value) + i);
        else
          v.header = type::none;
      } else {
        v = value;
      }
      if (some && type_of(&v) == type::none) continue;
      context::set_value(&w, &v);
    }
  } else if (is_any_path(t)) {
    cell code;
    block::init_cell(&code, 2);
    cell* holder = stack::push(&code);
    cell sp = target;
    sp.header = (sp.header & ~type_mask) | type::set_path;
    block::append_copy(holder, &sp);
    cell quoted = value;
    block::append_copy(holder, &quoted);
    cell h = *holder;
    interp::cursor c(&h);
    // The value is taken literally: evaluate the set-path with the value already pushed.
    stack::push(&value);
    c.pos = 1;
    flow f = interp::eval_path(c, &sp, true, false, has(refs, 1));
    if (f != flow::normal) return f;
  } else if (t == type::object || t == type::error) {
    object::set_values(&target, &value, any, only, some);
  }
  stack::set_result_only(&value);
  return flow::normal;
}

flow unset(const int32_t*) {
  cell target = *arg(0);
  cell none{type::unset, 0, 0, 0};
  if (type_of(&target) == type::word) {
    context::set_value(&target, &none);
  } else {
    for (int32_t i = 0; i < block::rs_length(&target); ++i) {
      cell w = *(block::rs_head(&target) + i);
      if (type_of(&w) == type::word) context::set_value(&w, &none);
    }
  }
  set_unset();
  return flow::normal;
}

flow value_q(const int32_t*) {
  cell v = *arg(0);
  bool result;
  if (is_word_like(type_of(&v))) {
    const cell* value = nullptr;
    if (word::context_of(&v) && word::index_of(&v) != word::unbound_index) {
      const cell* vals = context::values(word::context_of(&v));
      if (vals) value = vals + word::index_of(&v);
    }
    result = value && type_of(value) != type::unset;
  } else {
    result = type_of(&v) != type::unset;
  }
  cell r{type::logic, result ? 1u : 0u, 0, 0};
  stack::set_result_only(&r);
  return flow::normal;
}

flow bind(const int32_t* refs) {
  cell target = *arg(0);
  cell ctx_value = *arg(1);
  node_t ctx = 0;
  uint32_t ct = type_of(&ctx_value);
  if (is_any_word(ct)) {
    ctx = word::context_of(&ctx_value);
  } else if (ct == type::object || ct == type::error || ct == type::port ||
             ct == type::function) {
    ctx = ctx_value.data1;
  }
  if (!ctx) fire(err::script_not_in_context, &ctx_value);
  if (type_of(&target) == type::block) {
    if (has(refs, 0)) {
      cell* copy = block::copy_cells(&target, true, true);
      target = *copy;
    }
    context::bind_block(ctx, &target, ct == type::object);
    stack::set_result_only(&target);
    return flow::normal;
  }
  context::bind_word(ctx, &target);
  stack::set_result_only(&target);
  return flow::normal;
}

flow in(const int32_t*) {
  cell obj = *arg(0);
  cell w = *arg(1);
  if (type_of(&w) == type::refinement) set_type(&w, type::word);
  node_t ctx = function::is_any_function(type_of(&obj)) ? function::context_of(&obj)
                                                        : object::context_of(&obj);
  if (context::bind_word(ctx, &w) < 0) {
    stack::arguments->header = type::none;
  } else {
    *stack::arguments = w;
  }
  stack::top = stack::arguments + 1;
  return flow::normal;
}

flow construct(const int32_t* refs) {
  cell spec = *arg(0);
  cell proto;
  if (has(refs, 0)) proto = *ref_arg(refs, 0);
  cell made;
  object::construct(&made, &spec, has(refs, 0) ? &proto : nullptr, has(refs, 1));
  stack::set_result_only(&made);
  return flow::normal;
}

flow context_q(const int32_t*) {
  cell w = *arg(0);
  if (word::context_of(&w) == 0) fire(err::script_not_defined, &w);
  stack::set_result_only(context::owner_cell(word::context_of(&w)));
  return flow::normal;
}

flow try_(const int32_t* refs) {
  cell body = *arg(0);
  bool all = has(refs, 0);
  cell name;
  words::global_word(words::sym.try_, &name);
  stack::saved_state saved = stack::save();
  cell saved_code = interp::current_code;
  bool saved_tracing = trace::tracing;
  if (all)
    stack::open_try_all_frame(&name);
  else
    stack::open_try_frame(&name);
  flow f;
  try {
    f = interp::eval_block(&body, true);
  } catch (const language_error&) {
    stack::unwind_to(saved);
    interp::current_code = saved_code;
    trace::tracing = saved_tracing;
    cell e = error::in_flight;
    error::in_flight.header = type::unset;
    error::caught(&e, has(refs, 1));  // /keep
    stack::set_result_only(&e);
    return flow::normal;
  }
  if (f == flow::normal) {
    stack::close_frame_to_result();
    stack::top = stack::arguments + 1;
    return flow::normal;
  }
  stack::close_frame_dropping();
  if (all) {
    // Every exit stops here; its value is the result.
    if (f == flow::exit || f == flow::continue_)
      set_unset();
    else
      stack::set_result_only(&stack::flow_value);
    return flow::normal;
  }
  return f;
}

flow catch_(const int32_t* refs) {
  cell body = *arg(0);
  bool named = has(refs, 0);
  cell names{type::none, 0, 0, 0};
  if (named) names = *ref_arg(refs, 0);
  stack::open_catch_frame(body_name());
  flow f = interp::eval_block(&body, true);
  if (f != flow::throw_) {
    if (f != flow::normal) {
      stack::close_frame_dropping();
      return f;
    }
    stack::close_frame_to_result();
    stack::top = stack::arguments + 1;
    return flow::normal;
  }
  stack::close_frame_dropping();
  bool match = !named;
  if (named && is_any_word(type_of(&stack::flow_name))) {
    uint32_t thrown = symbol::resolve(word::symbol_of(&stack::flow_name));
    if (type_of(&names) == type::block) {
      for (int32_t i = 0; i < block::rs_length(&names); ++i) {
        const cell* w = block::rs_head(&names) + i;
        if (type_of(w) != type::word) {
          cell part;
          words::global_word(words::sym.name, &part);
          fire(err::script_invalid_refine_arg, &part, &names);
        }
        if (symbol::resolve(word::symbol_of(w)) == thrown) match = true;
      }
    } else if (symbol::resolve(word::symbol_of(&names)) == thrown) {
      match = true;
    }
  }
  if (!match) {
    // On toward an outer catch, when there is one; with none, the error is the throw's own.
    if (!stack::find_catch_frame(stack::current_frame())) {
      cell v = stack::flow_value;
      cell made;
      error::create(&made, err::throw_throw, &v, nullptr, nullptr);
      cell* e = stack::push(&made);
      *error::field_rw(e, error::field::where) = interp::throw_where;
      *error::field_rw(e, error::field::near) = interp::throw_near;
      error::raise(e);
    }
    return flow::throw_;
  }
  cell caught = stack::flow_value;
  stack::set_result_only(&caught);
  if (trace::tracing) [[unlikely]] trace::fire(trace::event::catch_, nullptr, 0, nullptr, &caught);
  return flow::normal;
}

flow throw_(const int32_t* refs) {
  cell value = *arg(0);
  if (!stack::find_catch_frame(stack::current_frame())) fire(err::throw_throw, &value);
  stack::get_call_name(&interp::throw_where);
  interp::throw_near = interp::current_code;
  if (trace::tracing) [[unlikely]] trace::fire(trace::event::throw_, nullptr, 0, nullptr, &value);
  stack::flow_value = value;
  if (has(refs, 0))
    stack::flow_name = *ref_arg(refs, 0);
  else
    stack::flow_name.header = type::none;
  return flow::throw_;
}

flow break_(const int32_t* refs) {
  if (!stack::find_loop_frame()) fire(err::throw_break);
  if (has(refs, 0))
    stack::flow_value = *ref_arg(refs, 0);
  else
    stack::flow_value.header = type::unset;
  return flow::break_;
}

flow continue_(const int32_t*) {
  if (!stack::find_loop_frame()) fire(err::throw_continue);
  return flow::continue_;
}

flow exit_(const int32_t*) {
  if (!stack::find_body_frame(false)) fire(err::throw_return);
  return flow::exit;
}

flow return_(const int32_t*) {
  cell value = *arg(0);
  if (!stack::find_body_frame(false)) fire(err::throw_return);
  stack::flow_value = value;
  return flow::return_;
}

flow func(const int32_t*) {
  make_function(arg(0), arg(1));
  return flow::normal;
}

flow function(const int32_t*) {
  cell spec = *arg(0);
  cell body = *arg(1);
  cell new_spec;
  kaz::function::collect_locals(&spec, &body, &new_spec);
  cell* kept = stack::push(&new_spec);
  make_function(kept, &body);
  return flow::normal;
}

flow does(const int32_t*) {
  cell body = *arg(0);
  cell* spec = block::push_only(1);
  make_function(spec, &body);
  return flow::normal;
}

flow has(const int32_t*) {
  cell vars = *arg(0);
  cell body = *arg(1);
  cell* spec = block::push_only(static_cast<uint32_t>(block::rs_length(&vars) + 1));
  cell local{type::refinement, 0, words::sym.local, 0xFFFFFFFF};
  block::append_copy(spec, &local);
  block::append_cells(spec, &vars);
  make_function(spec, &body);
  return flow::normal;
}

}  // namespace kaz::natives

namespace kaz::natives {

flow apply(const int32_t* refs) {
  cell target = *stack::arguments;
  cell args = *(stack::arguments + 1);
  bool all = refs[0] >= 0;
  bool safer = refs[1] >= 0;
  cell name;
  cell fn;
  const cell* path = nullptr;
  cell p;
  uint32_t t = type_of(&target);
  if (t == type::path) {
    p = target;
    path = &p;
    if (block::rs_length(&p) <= 0) fire(err::script_empty_path);
    name = *block::rs_head(&p);
    if (type_of(&name) != type::word) fire(err::script_word_first, &target);
    fn = *context::get_value(&name);
  } else if (is_any_word(t)) {
    name = target;
    set_type(&name, type::word);
    fn = *context::get_value(&name);
  } else {
    fn = target;
    words::global_word(words::sym.applied, &name);
  }
  if (!kaz::function::is_any_function(type_of(&fn))) fire(err::script_invalid_arg, &target);
  stack::top = stack::arguments + 2;
  flow f = interp::apply(&fn, &name, &args, all, safer, path, 1);
  if (f != flow::normal) return f;
  stack::set_result_only(stack::last_value());
  return flow::normal;
}

}  // namespace kaz::natives
