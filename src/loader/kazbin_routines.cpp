#include "loader/kazbin_routines.h"

#include "datatypes/simple_types.h"
#include "loader/kazbin.h"

namespace kaz::kazbin {

void encode_star(cell* arguments) {
  cell value = arguments[0];
  bool compact = type_of(&arguments[1]) == type::logic && logic_type::value_of(&arguments[1]) != 0;
  codec_encode(&value, compact, arguments);
}

void decode_payload(cell* arguments) {
  cell payload = arguments[0];
  codec_decode(&payload, arguments);
}

}  // namespace kaz::kazbin
