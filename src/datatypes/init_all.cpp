// Registers every datatype of the runtime in the fixed order, parents before children.
#include "core/context.h"
#include "core/error.h"
#include "core/object.h"
#include "core/registry.h"
#include "core/symbol.h"
#include "core/typeset.h"
#include "datatypes/binary.h"
#include "datatypes/event.h"
#include "datatypes/function_types.h"
#include "datatypes/handle.h"
#include "datatypes/image.h"
#include "datatypes/map.h"
#include "datatypes/port.h"
#include "datatypes/scalar_types.h"
#include "datatypes/series_types.h"
#include "datatypes/simple_types.h"
#include "datatypes/url.h"
#include "datatypes/vector.h"
#include "datatypes/word_types.h"

namespace kaz::registry {

namespace {

// A datatype whose actions are not built yet: its name and parent only.
void name_only(uint32_t id) { add(id, {}); }

}  // namespace

void init_all() {
  datatype_type::init();
  unset_type::init();
  none_type::init();
  logic_type::init();
  series::init();
  block_type::init();
  string_type::init();
  binary::init();
  integer_type::init();
  word_type::init();  // symbol!, word!, lit-word!, set-word!, get-word!, refinement!
  name_only(type::context);
  char_type::init();
  function_types::init();  // native!, action!, op!
  path_types::init_paths();
  function_types::init_function();
  path_types::init_paren();
  word_type::init_issue();
  url::init();
  file::init();
  object::init();
  bitset_type::init();
  triple_type::init();
  float_type::init();
  typeset::init();
  error::init_type();
  vector::init();
  map::init();
  hash_type::init();
  pair_type::init();
  percent_type::init();
  tuple_type::init();
  time_type::init();
  tag_type::init();
  email_type::init();
  handle_type::init();
  date_type::init();
  port_type::init();
  money_type::init();
  ref_type::init();
  point2d_type::init();
  point3d_type::init();
  image::init();
  // event! registers later, from the library's top level, through this routine.
  event_type::declare_init_routine();
}

}  // namespace kaz::registry

namespace kaz::registry {

void make_name_words() {
  for (uint32_t id = 1; id <= highest_id(); ++id) {
    if (!registered(id)) continue;
    cell dt{type::datatype_, id, 0, 0};
    context::put_word_value(context::global, symbol::make(name(id)), &dt);
  }
  // event! registers later, from the library: its word is made here, in its place among the
  // datatype names, and gets its value then. external! holds it, so it is made by id.
  cell event_word;
  context::intern_global(symbol::make("event!"), &event_word);
  cell external;
  typeset::clear(&external);
  typeset::add(&external, type::event);
  context::put_word_value(context::global, symbol::make("external!"), &external);
}

}  // namespace kaz::registry
