// The plain KAZBIN writer: records of 32-bit words.
#include "loader/kazbin_encoder.h"

namespace kaz::kazbin {

void write_plain_value(encoder&, const cell* value) { no_codec(type_of(value)); }

}  // namespace kaz::kazbin
