// The plain KAZBIN reader: records of 32-bit words.
#include "loader/kazbin_readers.h"

namespace kaz::kazbin {

void read_plain_records(decoder& d) {
  if (!d.in.at_end()) d.in.invalid();
}

}  // namespace kaz::kazbin
