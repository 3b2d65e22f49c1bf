// The url! datatype's port service: url-parser/parse-url, then make port! from its object.
#include "library/url_port.h"

#include "core/context.h"
#include "core/exit_in_flight.h"
#include "core/object.h"
#include "core/registry.h"
#include "core/stack.h"
#include "core/symbol.h"
#include "datatypes/port.h"
#include "datatypes/url.h"
#include "eval/interpreter.h"
#include "runtime/fire.h"

namespace kaz::url_port {

namespace {

// url-parser/parse-url of the url: its parts object, or none! when it is no valid URL.
cell parsed(const cell* url) {
  cell parser_name;
  context::intern_global(symbol::make("url-parser"), &parser_name);
  cell parser = *context::get_value(&parser_name);
  if (type_of(&parser) != type::object) fire(err::script_no_value, &parser_name);
  cell name;
  context::intern_global(symbol::make("parse-url"), &name);
  int32_t i = context::find_symbol(object::context_of(&parser), symbol::make("parse-url"), true);
  cell fn;
  fn.header = type::none;
  if (i >= 0) fn = context::values(object::context_of(&parser))[i];
  if (type_of(&fn) != type::function) fire(err::script_no_value, &name);
  cell u = *url;
  stack::open_interpreted_function_frame(&name);
  stack::push(&u);
  flow f = interp::call_with_arguments(&fn, &name);
  if (f != flow::normal) {
    stack::close_frame_dropping();
    raise_exit(f);
  }
  cell result = *stack::arguments;
  stack::close_frame_dropping();
  return result;
}

void to_port(const cell* url, bool open, bool new_, bool read, bool write, bool seek,
             const cell* allow, cell* out) {
  cell u = *url;
  cell* spec = stack::push(&u);
  *spec = parsed(&u);
  if (type_of(spec) != type::object) fire(err::script_invalid_arg, &u);
  cell* port = stack::reserve_cell();
  port->header = type::datatype_;
  port->data1 = type::port;
  registry::row(type::port).make(port, spec, type::port);
  if (open) port_type::open_port(port, new_, read, write, seek, allow, port);
  *out = *port;
  stack::top = spec;
}

}  // namespace

void init() { url::services.to_port = to_port; }

}  // namespace kaz::url_port
