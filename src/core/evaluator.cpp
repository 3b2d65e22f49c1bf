#include "core/evaluator.h"

namespace kaz::evaluator {

entries installed{};
cell current_code{};

}  // namespace kaz::evaluator
