// The scanning loop over the input of one lexer state.
#pragma once

#include "loader/lexer_state.h"

namespace kaz::lexer {

// Scans tokens from the state's position until the input ends or the mode stops; raises the
// "missing" error for anything left open at the end.
void scan_tokens(lexer_state& s);

}  // namespace kaz::lexer
