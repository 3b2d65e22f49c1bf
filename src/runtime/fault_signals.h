// Hardware faults: the signals a fault raises end the program with a runtime error report.
#pragma once

#include <csignal>
#include <cstdint>

namespace kaz::sysrt {

// Installs the handlers (process-wide) and an alternate signal stack for the calling thread.
void install_fault_handlers();

// The alternate signal stack of the calling thread, so that a fault from an exhausted stack can
// still be reported. Installing twice on one thread keeps the first.
void install_alt_stack();
void remove_alt_stack();

/*
 * Interrupts (SIGINT). Until the console arms them, an interrupt ends the program quietly, as
 * before. Once armed, an interrupt only sets `interrupt_pending` and writes a byte to the wake
 * descriptor (so a reader waiting on input wakes at once); the evaluator polls the flag and
 * halts the running evaluation. A second interrupt while the first is still pending (code that
 * never reaches a poll) ends the program quietly.
 */
extern volatile sig_atomic_t interrupt_pending;
void arm_interrupts();
void set_interrupt_wake_fd(int fd);

// The runtime error number for a signal, its si_code, and whether the fault address lies at the
// end of the thread's stack. 0 means a quiet exit with code 0 (an interrupt from the keyboard).
uint32_t fault_error_number(int signo, int code, bool at_stack_end);

}  // namespace kaz::sysrt
