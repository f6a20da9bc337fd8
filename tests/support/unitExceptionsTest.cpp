#include "support/unitExceptions.h"
#include "support/unitLog.h"

#include <gtest/gtest.h>

#include <cctype>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace wardlark
{
namespace
{

// Volatile operands keep the compiler from seeing (and removing or trapping) the faults.
int* volatile gNullPointer = nullptr;
volatile int gZero = 0;
volatile int gOne = 1;
volatile int gNeverDepth = -1;
volatile int gSink = 0;

// The faulting functions are left uninstrumented so that the sanitizer builds fault for real
// instead of reporting the mistake themselves.
[[gnu::noinline, gnu::no_sanitize("address", "undefined")]] void WriteThroughNull()
{
    *gNullPointer = 1;
}

[[gnu::noinline]] void CrashByAccessViolation()
{
    WriteThroughNull();
    gSink = 1;
}

[[gnu::noinline, gnu::no_sanitize("address", "undefined")]] int Divide(int dividend, int divisor)
{
    return dividend / divisor;
}

[[gnu::noinline]] void CrashByDivision()
{
    gSink = Divide(gOne, gZero);
}

[[gnu::noinline, gnu::no_sanitize("address", "undefined")]] int Recurse(int depth)
{
    volatile char frame[512];
    frame[0] = static_cast<char>(depth);
    if (depth == gNeverDepth)
        return 0;
    return Recurse(depth + 1) + frame[0];
}

[[gnu::noinline]] void CrashByStackOverflow()
{
    gSink = Recurse(0);
}

[[gnu::noinline]] void CrashByStackOverflowOnThread()
{
    std::thread worker(
        []
        {
            InstallThreadAltStack();
            gSink = Recurse(0);
        });
    worker.join();
}

[[gnu::noinline]] void CrashByRaisedBusError()
{
    raise(SIGBUS);
    gSink = 1;
}

uintptr_t Address(void (*function)())
{
    return reinterpret_cast<uintptr_t>(function);
}

uintptr_t Address(int (*function)(int))
{
    return reinterpret_cast<uintptr_t>(function);
}

uintptr_t Address(int (*function)(int, int))
{
    return reinterpret_cast<uintptr_t>(function);
}

// How far into a function an address may lie and still count as inside it.
constexpr uintptr_t kFunctionReach = 512;

struct TCrashCase
{
    const char* name;
    void (*crash)();
    int signalNumber;
    const char* text;
    uintptr_t faultingFunction; // 0: not checked
    uintptr_t callingFunction;  // 0: not checked
};

std::ostream& operator<<(std::ostream& out, const TCrashCase& crashCase)
{
    return out << crashCase.name;
}

std::vector<TCrashCase> CrashCases()
{
    return {
        {"AccessViolation", CrashByAccessViolation, SIGSEGV, "Access violation", Address(WriteThroughNull),
         Address(CrashByAccessViolation)},
        {"DivisionByZero", CrashByDivision, SIGFPE, "Devision by zero", Address(Divide), Address(CrashByDivision)},
        {"StackOverflow", CrashByStackOverflow, SIGSEGV, "Stack overflow", Address(Recurse), Address(Recurse)},
        {"StackOverflowOnThread", CrashByStackOverflowOnThread, SIGSEGV, "Stack overflow", Address(Recurse),
         Address(Recurse)},
        {"UnnamedSignal", CrashByRaisedBusError, SIGBUS, "", 0, 0},
    };
}

std::string ReadWholeFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

bool Inside(uintptr_t address, uintptr_t function)
{
    return address >= function && address < function + kFunctionReach;
}

void PrepareChild()
{
    // The crashes are expected: no core files.
    rlimit noCore{0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
    prctl(PR_SET_DUMPABLE, 0);
}

class ExceptionTraceDeathTest : public testing::TestWithParam<TCrashCase>
{
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/wardlark-trace-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder_ = std::string(pattern) + "/";
        path_ = folder_ + "assertions.dat";
        InitializeLog();
        ConfigureDefaultLog(path_, false, false);
    }

    void TearDown() override
    {
        InitializeLog();
        std::filesystem::remove_all(folder_);
    }

    std::string folder_;
    std::string path_;
};

TEST_P(ExceptionTraceDeathTest, WritesOneLineAndDiesOfTheSignal)
{
    const TCrashCase& crashCase = GetParam();
    EXPECT_EXIT(
        {
            PrepareChild();
            InstallExceptionTrace();
            crashCase.crash();
        },
        testing::KilledBySignal(crashCase.signalNumber), "");

    // "dd-mm-yyyy hh:nn:ss text[address, address, ...]" and CR LF, once.
    const std::string content = ReadWholeFile(path_);
    const std::string stampShape = "99-99-9999 99:99:99 ";
    ASSERT_GT(content.size(), stampShape.size()) << content;
    for (size_t i = 0; i < stampShape.size(); ++i)
    {
        ASSERT_TRUE(stampShape[i] == '9' ? std::isdigit(static_cast<unsigned char>(content[i])) != 0
                                         : content[i] == stampShape[i])
            << content;
    }
    const std::string trace = content.substr(stampShape.size());
    const size_t open = trace.find('[');
    ASSERT_NE(open, std::string::npos) << content;
    ASSERT_GE(trace.size(), open + 4) << content;
    ASSERT_EQ(trace.substr(trace.size() - 3), "]\r\n") << content;
    EXPECT_EQ(trace.substr(0, open), crashCase.text);

    std::vector<uintptr_t> addresses;
    const std::string list = trace.substr(open + 1, trace.size() - open - 4);
    for (size_t start = 0; start <= list.size();)
    {
        size_t end = list.find(", ", start);
        if (end == std::string::npos)
            end = list.size();
        const std::string address = list.substr(start, end - start);
        ASSERT_TRUE(address.size() >= 8 && address.find_first_not_of("0123456789ABCDEF") == std::string::npos)
            << content;
        addresses.push_back(static_cast<uintptr_t>(std::stoull(address, nullptr, 16)));
        start = end + 2;
    }
    // The faulting address and seven return addresses: every case crashes deeper than that.
    ASSERT_EQ(addresses.size(), 8u) << content;
    if (crashCase.faultingFunction != 0)
    {
        EXPECT_TRUE(Inside(addresses[0], crashCase.faultingFunction)) << content;
    }
    // The handler's own frames are skipped: the first return address is in the faulting code's
    // caller.
    if (crashCase.callingFunction != 0)
    {
        EXPECT_TRUE(Inside(addresses[1], crashCase.callingFunction)) << content;
    }
}

INSTANTIATE_TEST_SUITE_P(Faults, ExceptionTraceDeathTest, testing::ValuesIn(CrashCases()),
                         [](const testing::TestParamInfo<TCrashCase>& caseInfo)
                         { return std::string(caseInfo.param.name); });

using ExceptionTraceUninstallDeathTest = ExceptionTraceDeathTest;

TEST_F(ExceptionTraceUninstallDeathTest, UninstalledTraceWritesNothing)
{
    EXPECT_EXIT(
        {
            PrepareChild();
            InstallExceptionTrace();
            UninstallExceptionTrace();
            CrashByAccessViolation();
        },
        // The previous handler decides how the process ends; a sanitizer's exits with a status.
        [](int status) { return WIFSIGNALED(status) || (WIFEXITED(status) && WEXITSTATUS(status) != 0); }, "");
    EXPECT_EQ(ReadWholeFile(path_), "");
}

} // namespace
} // namespace wardlark
