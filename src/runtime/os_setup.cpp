#include "runtime/os_setup.h"

#include <cstring>

#include "runtime/console_out.h"
#include "runtime/fault_signals.h"
#include "runtime/runtime_record.h"
#include "runtime/tracked_alloc.h"

namespace kaz::sysrt {

void init_os(int argc, char** argv) {
  install_fault_handlers();
  init_args(argc, argv);
}

void init_args(int argc, char** argv) {
  if (argc < 0 || !argv) argc = 0;
  auto** vector = static_cast<char**>(alloc((static_cast<size_t>(argc) + 1) * sizeof(char*)));
  for (int i = 0; i < argc; ++i) {
    const char* arg = argv[i] ? argv[i] : "";
    size_t n = std::strlen(arg) + 1;
    vector[i] = static_cast<char*>(alloc(n));
    std::memcpy(vector[i], arg, n);
  }
  vector[argc] = nullptr;
  runtime.argc = argc;
  runtime.argv = vector;
}

void init_platform() { init_console_out(); }

}  // namespace kaz::sysrt
