#include "runtime/boot.h"

#include <cstdlib>

namespace kaz::boot {

int main(int argc, char** argv) {
  (void)argc;
  (void)argv;
  std::exit(0);
}

}  // namespace kaz::boot
