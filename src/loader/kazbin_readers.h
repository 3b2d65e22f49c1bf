// The two KAZBIN record readers, called by the container reader once the header is read.
#pragma once

#include "loader/kazbin_decoder.h"

namespace kaz::kazbin {

// Decodes every record of the payload (d.in spans it) into d.root.
void read_compact_records(decoder& d);
void read_plain_records(decoder& d);

}  // namespace kaz::kazbin
