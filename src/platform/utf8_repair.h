// Bytes from outside (a child's output, the environment, a server's headers) made valid UTF-8
// rather than refused: such text cannot be asked for again in another form.
#pragma once

#include <string>
#include <string_view>

namespace kaz::utf8_repair {

// The bytes with each malformed sequence (its longest valid beginning) replaced by U+FFFD.
std::string repaired(std::string_view bytes);

}  // namespace kaz::utf8_repair
