#include "support/unitExceptions.h"

#include "support/unitLog.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <execinfo.h>
#include <pthread.h>
#include <sys/mman.h>
#include <ucontext.h>
#include <unistd.h>

namespace wardlark
{

namespace
{

constexpr int kTracedSignals[] = {SIGSEGV, SIGFPE, SIGILL, SIGBUS};
constexpr int kTracedSignalCount = sizeof kTracedSignals / sizeof kTracedSignals[0];
constexpr int kMaxReturnAddresses = 7;
constexpr int kMaxFrames = 64;
// The handler's own frames when the faulting address cannot be found in the walk: the trace
// writer, the handler and the kernel's signal trampoline.
constexpr int kHandlerFrames = 3;
// Room for the handler: the stack walk and the log writer's path and line buffers.
constexpr size_t kAltStackSize = 256 * 1024;
// Faults this close below a thread's stack count as stack overflow even when the guard area
// the system reports is smaller: a large frame can step over a one-page guard.
constexpr uintptr_t kMinGuardWindow = 64 * 1024;

// An alternate signal stack owned by its thread; the previous one comes back when the thread
// ends.
struct TThreadAltStack
{
    void* memory = nullptr;
    size_t mappedSize = 0;
    stack_t previous{};

    TThreadAltStack() = default;
    TThreadAltStack(const TThreadAltStack&) = delete;
    TThreadAltStack& operator=(const TThreadAltStack&) = delete;

    ~TThreadAltStack()
    {
        if (memory == nullptr)
            return;
        sigaltstack(&previous, nullptr);
        munmap(memory, mappedSize);
    }
};

thread_local TThreadAltStack tAltStack;
// Bounds of the calling thread's stack, read by the handler to recognise a stack overflow.
thread_local uintptr_t tStackLow = 0;
thread_local uintptr_t tGuardWindow = 0;
// Set while this thread writes a trace: a fault inside the trace is not traced again.
thread_local bool tTracing = false;

std::atomic<bool> gTraceInstalled{false};
uintptr_t gPageSize = 4096;

std::mutex& InstallLock()
{
    static std::mutex* lock = new std::mutex;
    return *lock;
}

// Guarded by InstallLock().
bool gHandlersInstalled = false;
struct sigaction gPreviousActions[kTracedSignalCount];

bool IsStackOverflow(const siginfo_t* info)
{
    const uintptr_t low = tStackLow;
    if (low == 0)
        return false;
    const auto address = reinterpret_cast<uintptr_t>(info->si_addr);
    // A page of slack above the recorded bottom: the main thread's bounds are an estimate.
    return address < low + gPageSize && address + tGuardWindow >= low;
}

// The name of a fault; empty when it has none. Codes are only trusted when the kernel sent the
// signal (si_code > 0), not when someone raised it.
const char* FaultText(int signalNumber, const siginfo_t* info)
{
    const bool fromKernel = info != nullptr && info->si_code > 0;
    switch (signalNumber)
    {
    case SIGSEGV:
        return fromKernel && IsStackOverflow(info) ? "Stack overflow" : "Access violation";
    case SIGFPE:
        if (!fromKernel)
            return "";
        switch (info->si_code)
        {
        case FPE_INTDIV:
            return "Devision by zero";
        case FPE_INTOVF:
            return "Integer overflow";
        case FPE_FLTDIV:
            return "Float devision by zero";
        case FPE_FLTOVF:
            return "Float overflow";
        case FPE_FLTUND:
            return "Float underflow";
        case FPE_FLTRES:
            return "Float inexact result";
        case FPE_FLTINV:
            return "Float invalid operation";
        case FPE_FLTSUB:
            return "Array bounds exceeded";
        default:
            return "";
        }
    case SIGILL:
        return fromKernel && info->si_code == ILL_PRVOPC ? "Priveleged instruction" : "";
    default:
        return "";
    }
}

// The address of the interrupted instruction, from the context the kernel saved.
uintptr_t FaultAddress(const void* context)
{
    if (context == nullptr)
        return 0;
    const auto* user = static_cast<const ucontext_t*>(context);
#if defined(__x86_64__)
    return static_cast<uintptr_t>(user->uc_mcontext.gregs[REG_RIP]);
#elif defined(__i386__)
    return static_cast<uintptr_t>(user->uc_mcontext.gregs[REG_EIP]);
#elif defined(__aarch64__)
    return static_cast<uintptr_t>(user->uc_mcontext.pc);
#else
    (void)user;
    return 0;
#endif
}

// Builds the trace line in a fixed buffer (no heap: the fault may have come from inside the
// allocator) and hands it to the log.
[[gnu::noinline]] void WriteTrace(int signalNumber, const siginfo_t* info, const void* context) noexcept
{
    char line[256];
    size_t length = 0;
    const auto add = [&](const char* text, size_t count)
    {
        if (count > sizeof line - length)
            count = sizeof line - length;
        std::memcpy(line + length, text, count);
        length += count;
    };
    char address[20];

    const char* text = FaultText(signalNumber, info);
    add(text, std::strlen(text));
    add("[", 1);
    const uintptr_t faultAddress = FaultAddress(context);
    add(address, FormatLogAddress(faultAddress, address));

    // The walk runs through this function, the handler and the signal trampoline into the
    // interrupted frame, which the unwinder reports at the faulting address itself; the
    // return addresses of the interrupted code follow it.
    void* frames[kMaxFrames];
    const int count = backtrace(frames, kMaxFrames);
    int first = kHandlerFrames + 1;
    for (int i = 0; i < count; ++i)
    {
        if (faultAddress != 0 && reinterpret_cast<uintptr_t>(frames[i]) == faultAddress)
        {
            first = i + 1;
            break;
        }
    }
    for (int i = first; i < count && i < first + kMaxReturnAddresses; ++i)
    {
        add(", ", 2);
        add(address, FormatLogAddress(reinterpret_cast<uintptr_t>(frames[i]), address));
    }
    add("]", 1);

    try
    {
        std::lock_guard guard(ExceptionTraceLock());
        WriteLogLineFromSignal(line, length);
    }
    catch (...)
    {
    }
}

void TraceSignal(int signalNumber, siginfo_t* info, void* context)
{
    const int savedErrno = errno;
    if (!tTracing && gTraceInstalled.load())
    {
        tTracing = true;
        WriteTrace(signalNumber, info, context);
        tTracing = false;
    }
    // The process ends as it would have without the trace: the default action (a core dump)
    // runs when the handler returns and the signal, now pending, is unblocked.
    struct sigaction defaultAction = {};
    defaultAction.sa_handler = SIG_DFL;
    sigemptyset(&defaultAction.sa_mask);
    sigaction(signalNumber, &defaultAction, nullptr);
    raise(signalNumber);
    errno = savedErrno;
}

} // namespace

std::recursive_mutex& ExceptionTraceLock()
{
    // Never destroyed: the handler may run while static objects are torn down at exit.
    static std::recursive_mutex* lock = new std::recursive_mutex;
    return *lock;
}

bool InstallThreadAltStack()
{
    if (tAltStack.memory != nullptr)
        return true;
    const long pageSize = sysconf(_SC_PAGESIZE);
    const size_t page = pageSize > 0 ? static_cast<size_t>(pageSize) : 4096u;
    // One inaccessible page below the stack turns an overflow of the handler itself into a
    // clean fault instead of a write into a neighbouring mapping.
    const size_t mappedSize = kAltStackSize + page;
    void* memory = mmap(nullptr, mappedSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED)
        return false;
    mprotect(memory, page, PROT_NONE);
    stack_t stack{};
    stack.ss_sp = static_cast<char*>(memory) + page;
    stack.ss_size = kAltStackSize;
    stack.ss_flags = 0;
    stack_t previous{};
    if (sigaltstack(&stack, &previous) != 0)
    {
        munmap(memory, mappedSize);
        return false;
    }
    tAltStack.memory = memory;
    tAltStack.mappedSize = mappedSize;
    tAltStack.previous = previous;

    pthread_attr_t attributes;
    if (pthread_getattr_np(pthread_self(), &attributes) == 0)
    {
        void* stackAddress = nullptr;
        size_t stackSize = 0;
        size_t guardSize = 0;
        if (pthread_attr_getstack(&attributes, &stackAddress, &stackSize) == 0)
        {
            pthread_attr_getguardsize(&attributes, &guardSize);
            tStackLow = reinterpret_cast<uintptr_t>(stackAddress);
            tGuardWindow = guardSize > kMinGuardWindow ? guardSize : kMinGuardWindow;
        }
        pthread_attr_destroy(&attributes);
    }
    return true;
}

bool InstallExceptionTrace()
{
    try
    {
        std::lock_guard guard(InstallLock());
        InstallThreadAltStack();
        if (gHandlersInstalled)
            return true;
        const long pageSize = sysconf(_SC_PAGESIZE);
        gPageSize = pageSize > 0 ? static_cast<uintptr_t>(pageSize) : 4096u;
        // The first walk loads the unwinder's library; the handler must not be the first.
        void* warmUp[4];
        backtrace(warmUp, 4);

        struct sigaction action = {};
        action.sa_sigaction = TraceSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_SIGINFO | SA_ONSTACK;
        for (int i = 0; i < kTracedSignalCount; ++i)
        {
            if (sigaction(kTracedSignals[i], &action, &gPreviousActions[i]) != 0)
            {
                for (int j = 0; j < i; ++j)
                    sigaction(kTracedSignals[j], &gPreviousActions[j], nullptr);
                return false;
            }
        }
        gHandlersInstalled = true;
        gTraceInstalled = true;
        return true;
    }
    catch (...)
    {
        return false;
    }
}

void UninstallExceptionTrace()
{
    try
    {
        std::lock_guard guard(InstallLock());
        if (!gHandlersInstalled)
            return;
        gTraceInstalled = false;
        for (int i = 0; i < kTracedSignalCount; ++i)
            sigaction(kTracedSignals[i], &gPreviousActions[i], nullptr);
        gHandlersInstalled = false;
    }
    catch (...)
    {
    }
}

} // namespace wardlark
