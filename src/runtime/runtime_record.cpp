#include "runtime/runtime_record.h"

// The ELF header of the executable, placed by the linker at its load address.
extern "C" const char __ehdr_start[];

namespace kaz::sysrt {

runtime_record runtime = {
    .argc = 0,
    .argv = nullptr,
    .boot_data = nullptr,
    .load_address = reinterpret_cast<uintptr_t>(__ehdr_start),
    .tracked = {nullptr, nullptr},
};

}  // namespace kaz::sysrt
