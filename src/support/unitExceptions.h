#pragma once

#include <mutex>

namespace wardlark
{

// The exception trace: fatal signals (invalid memory access, arithmetic faults, illegal
// instructions, bus errors, stack overflow) leave one line in the application log
// (unitLog.h) before the process ends as it would have without the trace. The line reads
//
//   <name>[<faulting address>, <return address>, ...]
//
// with the name of the fault ("Access violation", "Devision by zero", "Stack overflow", ...;
// empty for faults without a name), the address of the faulting instruction and up to seven
// return addresses of the interrupted code, each as at least eight upper-case hexadecimal
// digits. C++ exceptions are not traced.
//
// Thread safety: all functions may be called from any thread. A trace holds
// ExceptionTraceLock(), so traces and log lines from different threads follow one another.

// Installs the handlers of SIGSEGV, SIGFPE, SIGILL and SIGBUS (remembering the previous ones)
// and gives the calling thread an alternate signal stack, so that a stack overflow can still be
// traced. Returns true when the trace is installed (also when it already was). Never raises.
bool InstallExceptionTrace();

// Restores the handlers that InstallExceptionTrace replaced; later faults are not traced. The
// alternate stacks stay until their threads end. Never raises.
void UninstallExceptionTrace();

// Gives the calling thread its own alternate signal stack and records the bounds of its stack,
// which a stack overflow on that thread needs to be traced and named. Every thread that may
// fault calls it once when it starts; the stack is freed (and the previous alternate stack
// restored) when the thread ends. Returns true on success or when the thread already has one.
// Never raises.
bool InstallThreadAltStack();

// The lock that orders log writes against exception traces; always taken before any log
// destination's lock. Recursive, so that a fault taken while its own thread writes a log line
// can still write its trace.
std::recursive_mutex& ExceptionTraceLock();

} // namespace wardlark
