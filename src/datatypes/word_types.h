// Registration of the word family.
#pragma once

namespace kaz::word_type {
void init();        // symbol!, word!, lit-word!, set-word!, get-word!, refinement!
void init_issue();  // issue! (registers later in the fixed order)
}  // namespace kaz::word_type
