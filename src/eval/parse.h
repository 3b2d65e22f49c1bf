// The parse dialect: matching an input series against a block of grammar rules.
#pragma once

#include <cstdint>

#include "core/stack.h"
#include "runtime/cell.h"

namespace kaz::parse {

/*
 * Runs the rules over the input (binary!, any-block! or any-string!, from its index) with the
 * comparison operation (0, or 2 for /case), an absolute limit index (-1: none) and a trace
 * callback (null: none). The result is pushed on the evaluation stack: logic! success, or the
 * block a top-level `collect` without target gathered. A non-local exit out of a paren or the
 * callback is returned with nothing pushed. Errors leave the parse stacks as they were.
 */
flow process_rules(const cell* input, const cell* rules, int32_t op, int32_t limit,
                   const cell* callback);

// Makes the rule and input stacks (start-up, after the natives table).
void init();

}  // namespace kaz::parse
