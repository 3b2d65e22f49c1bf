#include "runtime/fault_signals.h"

#include <signal.h>
#include <sys/mman.h>
#include <ucontext.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "runtime/console_out.h"
#include "runtime/native_stack.h"
#include "runtime/runtime_error.h"

namespace kaz::sysrt {

uint32_t fault_error_number(int signo, int code, bool at_stack_end) {
  switch (signo) {
    case SIGSEGV:
      if (at_stack_end) return rterr::stack_overflow;
      return code == SEGV_MAPERR || code == SEGV_ACCERR ? rterr::access_violation
                                                         : rterr::segmentation_fault;
    case SIGBUS:
      if (at_stack_end) return rterr::stack_overflow;
      switch (code) {
        case BUS_ADRALN: return rterr::invalid_alignment;
        case BUS_ADRERR: return rterr::non_existent_physical_address;
        case BUS_OBJERR: return rterr::object_specific_hardware_error;
        case BUS_MCEERR_AR: return rterr::hardware_memory_error_ar;
        case BUS_MCEERR_AO: return rterr::hardware_memory_error_ao;
        default: return rterr::bus_error;
      }
    case SIGFPE:
      switch (code) {
        case FPE_INTDIV: return rterr::integer_divide_by_zero;
        case FPE_INTOVF: return rterr::integer_overflow;
        case FPE_FLTDIV: return rterr::float_divide_by_zero;
        case FPE_FLTOVF: return rterr::float_overflow;
        case FPE_FLTUND: return rterr::float_underflow;
        case FPE_FLTRES: return rterr::float_inexact_result;
        case FPE_FLTINV: return rterr::float_invalid_operation;
        case FPE_FLTSUB: return rterr::bounds_exceeded;
        default: return rterr::fpu_error;
      }
    case SIGILL:
      switch (code) {
        case ILL_ILLOPN: return rterr::illegal_operand;
        case ILL_ILLADR: return rterr::illegal_addressing_mode;
        case ILL_ILLTRP: return rterr::illegal_trap;
        case ILL_PRVOPC: return rterr::privileged_instruction;
        case ILL_PRVREG: return rterr::privileged_register;
        case ILL_COPROC: return rterr::coprocessor_error;
        case ILL_BADSTK: return rterr::stack_overflow;
        default: return rterr::illegal_instruction;
      }
    case SIGTRAP:
      return code == TRAP_TRACE ? rterr::single_step : rterr::breakpoint;
    case SIGABRT:
      return rterr::assertion_failed;
    case SIGINT:
      return 0;
    default:
      return rterr::unknown_error;
  }
}

/*
 * The handler runs on the alternate stack and may interrupt anything, the heap included: it
 * formats the report into its own frame, writes it with write(2) and leaves with _exit. The
 * tracked blocks are not freed here (the heap may be the thing that broke); the system takes
 * the whole process back anyway.
 */
namespace {

const int fault_signals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGABRT};

__thread void* alt_stack = nullptr;
__thread size_t alt_stack_size = 0;

uintptr_t fault_pc(void* context) {
  auto* uc = static_cast<ucontext_t*>(context);
#if defined(__x86_64__)
  return static_cast<uintptr_t>(uc->uc_mcontext.gregs[REG_RIP]);
#elif defined(__aarch64__)
  return static_cast<uintptr_t>(uc->uc_mcontext.pc);
#else
  (void)uc;
  return 0;
#endif
}

void on_fault(int signo, siginfo_t* info, void* context) {
  bool at_end = (signo == SIGSEGV || signo == SIGBUS) &&
                near_stack_end(reinterpret_cast<uintptr_t>(info->si_addr));
  uint32_t n = fault_error_number(signo, info->si_code, at_end);
  run_restore_hooks();
  flush_output();
  if (n != 0) {
    char report[160];
    write_direct(report, format_runtime_error_report(report, sizeof report, n, fault_pc(context)));
  }
  _exit(static_cast<int>(n & 0xFF));
}

volatile sig_atomic_t interrupts_armed = 0;
volatile sig_atomic_t wake_fd = -1;

void on_interrupt(int signo) {
  if (interrupts_armed && !interrupt_pending) {
    int saved = errno;
    interrupt_pending = 1;
    if (wake_fd >= 0) {
      char b = 'i';
      ssize_t r = ::write(wake_fd, &b, 1);
      (void)r;
    }
    errno = saved;
    return;
  }
  run_restore_hooks();
  flush_output();
  _exit(static_cast<int>(fault_error_number(signo, 0, false) & 0xFF));
}

}  // namespace

volatile sig_atomic_t interrupt_pending = 0;

void arm_interrupts() { interrupts_armed = 1; }

void set_interrupt_wake_fd(int fd) { wake_fd = fd; }

void install_alt_stack() {
  if (alt_stack) return;
  long min = sysconf(_SC_SIGSTKSZ);
  size_t size = std::max<size_t>(min > 0 ? static_cast<size_t>(min) : 0, size_t(64) << 10);
  void* mem = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mem == MAP_FAILED) return;
  stack_t ss{};
  ss.ss_sp = mem;
  ss.ss_size = size;
  if (sigaltstack(&ss, nullptr) != 0) {
    ::munmap(mem, size);
    return;
  }
  alt_stack = mem;
  alt_stack_size = size;
}

void remove_alt_stack() {
  if (!alt_stack) return;
  stack_t ss{};
  ss.ss_flags = SS_DISABLE;
  sigaltstack(&ss, nullptr);
  ::munmap(alt_stack, alt_stack_size);
  alt_stack = nullptr;
  alt_stack_size = 0;
}

void install_fault_handlers() {
  install_alt_stack();
  struct sigaction sa{};
  sa.sa_sigaction = on_fault;
  sa.sa_flags = SA_SIGINFO | SA_ONSTACK;
  sigemptyset(&sa.sa_mask);
  // A reader that went away must not kill the process while the report is written.
  sigaddset(&sa.sa_mask, SIGPIPE);
  for (int s : fault_signals) sigaddset(&sa.sa_mask, s);
  sigaddset(&sa.sa_mask, SIGINT);
  for (int s : fault_signals) sigaction(s, &sa, nullptr);
  // Interrupts end blocking waits (no SA_RESTART); the readers check the flag.
  struct sigaction si{};
  si.sa_handler = on_interrupt;
  si.sa_flags = SA_ONSTACK;
  sigemptyset(&si.sa_mask);
  sigaction(SIGINT, &si, nullptr);
}

}  // namespace kaz::sysrt
