// Hardware faults end the program with the runtime error report of their number.
#include "runtime/fault_signals.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <regex>

#include "runtime/native_stack.h"
#include "runtime/runtime_error.h"
#include "test_support.h"

namespace kaz::sysrt {
namespace {

TEST(FaultSignals, SignalsMapToTheTable) {
  struct row {
    int signo, code;
    bool at_end;
    uint32_t n;
  };
  const row rows[] = {
      {SIGSEGV, SEGV_MAPERR, false, 1},  {SIGSEGV, SEGV_ACCERR, false, 1},
      {SIGSEGV, SEGV_MAPERR, true, 19},  {SIGSEGV, SI_USER, false, 32},
      {SIGBUS, BUS_ADRALN, false, 2},    {SIGBUS, BUS_ADRERR, false, 27},
      {SIGBUS, BUS_OBJERR, false, 28},   {SIGBUS, BUS_MCEERR_AR, false, 29},
      {SIGBUS, BUS_MCEERR_AO, false, 30}, {SIGBUS, SI_USER, false, 34},
      {SIGBUS, BUS_ADRERR, true, 19},    {SIGFPE, FPE_INTDIV, false, 13},
      {SIGFPE, FPE_INTOVF, false, 14},   {SIGFPE, FPE_FLTDIV, false, 7},
      {SIGFPE, FPE_FLTOVF, false, 10},   {SIGFPE, FPE_FLTUND, false, 12},
      {SIGFPE, FPE_FLTRES, false, 8},    {SIGFPE, FPE_FLTINV, false, 9},
      {SIGFPE, FPE_FLTSUB, false, 5},    {SIGFPE, SI_USER, false, 33},
      {SIGILL, ILL_ILLOPC, false, 17},   {SIGILL, ILL_ILLOPN, false, 23},
      {SIGILL, ILL_ILLADR, false, 24},   {SIGILL, ILL_ILLTRP, false, 25},
      {SIGILL, ILL_PRVOPC, false, 15},   {SIGILL, ILL_PRVREG, false, 31},
      {SIGILL, ILL_COPROC, false, 26},   {SIGILL, ILL_BADSTK, false, 19},
      {SIGTRAP, TRAP_BRKPT, false, 3},   {SIGTRAP, TRAP_TRACE, false, 4},
      {SIGABRT, SI_TKILL, false, 98},    {SIGINT, SI_KERNEL, false, 0},
      {SIGUSR1, SI_USER, false, 99},
  };
  for (const row& r : rows)
    EXPECT_EQ(fault_error_number(r.signo, r.code, r.at_end), r.n)
        << "signal " << r.signo << " code " << r.code;
}

std::regex report_of(int n, const char* message) {
  return std::regex("\n\\*\\*\\* Runtime Error " + std::to_string(n) + ": " + message +
                    "\n\\*\\*\\* at: [0-9A-F]{8}h\n");
}

// Faults that a C++ program can really make, each in a child process with the handlers on.
volatile uintptr_t low_address = 16;
volatile int no_end = 1 << 30;

__attribute__((noinline)) void write_to_low_address() {
  *reinterpret_cast<volatile int*>(low_address) = 1;
}

__attribute__((noinline)) int recurse_without_guard(int depth) {
  volatile char pad[512];
  pad[0] = static_cast<char>(depth);
  if (depth > no_end) return 0;
  return recurse_without_guard(depth + 1) + pad[0];
}

TEST(FaultSignals, RealFaultsAreReported) {
  struct row {
    const char* name;
    void (*fault)();
    int n;
    const char* message;
  };
  const row rows[] = {
      {"null page write", [] { write_to_low_address(); }, 1, "access violation"},
      {"stack overflow",
       [] {
         run_on_eval_thread([](void*) { return recurse_without_guard(0); }, nullptr,
                            size_t(1) << 20);
       },
       19, "stack error or overflow"},
      {"abort", [] { std::abort(); }, 98, "assertion failed"},
  };
  for (const row& r : rows) {
    auto end = test::run_in_child([&] {
      install_fault_handlers();
      r.fault();
    });
    EXPECT_TRUE(end.exited) << r.name;
    EXPECT_EQ(end.code, r.n) << r.name;
    EXPECT_TRUE(std::regex_match(end.output, report_of(r.n, r.message)))
        << r.name << ": " << end.output;
  }
}

#if defined(__x86_64__)
__attribute__((noinline)) int divide(int a, int b) {
  int q;
  // The division itself, out of reach of the compiler's and the sanitizer's checks.
  asm volatile("cltd; idivl %2" : "=a"(q) : "a"(a), "r"(b) : "edx");
  return q;
}

TEST(FaultSignals, IntegerDivideByZeroIsReported) {
  auto end = test::run_in_child([] {
    install_fault_handlers();
    divide(1, 0);
  });
  EXPECT_EQ(end.code, 13);
  EXPECT_TRUE(std::regex_match(end.output, report_of(13, "integer divide by zero"))) << end.output;
}
#endif

// The fault's address is the faulting instruction's, as an offset into the executable.
TEST(FaultSignals, ReportAddressIsInsideTheExecutable) {
  auto a = test::run_in_child([] {
    install_fault_handlers();
    write_to_low_address();
  });
  auto b = test::run_in_child([] {
    install_fault_handlers();
    write_to_low_address();
  });
  EXPECT_EQ(a.output, b.output);
  std::smatch m;
  ASSERT_TRUE(std::regex_search(a.output, m, std::regex("at: ([0-9A-F]{8})h")));
  uint32_t offset = static_cast<uint32_t>(std::stoul(m[1].str(), nullptr, 16));
  uint32_t function = report_address(code_address(&write_to_low_address));
  EXPECT_GE(offset, function);
  EXPECT_LT(offset, function + 512);
}

TEST(FaultSignals, InterruptEndsQuietly) {
  auto end = test::run_in_child([] {
    install_fault_handlers();
    ::raise(SIGINT);
  });
  EXPECT_TRUE(end.exited);
  EXPECT_EQ(end.code, 0);
  EXPECT_EQ(end.output, "");
}

}  // namespace
}  // namespace kaz::sysrt
