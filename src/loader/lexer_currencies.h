// The currency codes money! values name, in the order of the boot data's currency list.
#pragma once

#include <cstdint>
#include <string_view>

namespace kaz::lexer {

constexpr uint32_t boot_currency_count = 170;
extern const char* const boot_currencies[boot_currency_count];

// The 1-based index of a 3-letter code (any case) in the live currency list (the library's hook
// when set, else the boot list), or -1.
int32_t currency_index(std::string_view code);

}  // namespace kaz::lexer
