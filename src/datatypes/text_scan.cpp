#include "datatypes/text_loader.h"
#include "datatypes/text_scan.h"

#include <string>

#include "core/string_storage.h"
#include "datatypes/simple_types.h"

namespace kaz::scalar {

bool scan_text_as(const cell* text, uint32_t wanted, cell* out) {
  std::string utf8 = string::to_utf8(text);
  // A first pass only classifies, so that a syntax error is not raised from here.
  lexer::scan_options check;
  check.scan = true;
  check.one = true;
  cell kind;
  text_loader::scan_utf8(utf8, check, &kind);
  if (type_of(&kind) != type::datatype_ || datatype_type::id_of(&kind) != wanted) return false;
  lexer::scan_options load;
  load.one = true;
  text_loader::scan_utf8(utf8, load, out);
  return type_of(out) == wanted;
}

}  // namespace kaz::scalar
