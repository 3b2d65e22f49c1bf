#include "datatypes/text_loader.h"

namespace kaz::text_loader {

entries installed{};

}  // namespace kaz::text_loader
