// The lexer's hooks into the library's settings (system/lexer).
#pragma once

namespace kaz::library {

// Installs them; at start-up, before any scan asks.
void install_lexer_settings();

}  // namespace kaz::library
