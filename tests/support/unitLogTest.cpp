#include "support/unitLog.h"
#include "support/unitDateRoutines.h"
#include "support/unitSystem.h"
#include "support/unitSystemInfo.h"
#include "unitVersion.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <execinfo.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <pwd.h>
#include <sstream>
#include <sys/file.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace wardlark
{
namespace
{

std::string ReadWholeFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

void WriteWholeFile(const std::string& path, const std::string& content)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << content;
}

// The lines of a log file, each without its CR LF; a last line without CR LF is kept as is.
std::vector<std::string> SplitLines(const std::string& content)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < content.size())
    {
        const size_t end = content.find("\r\n", start);
        if (end == std::string::npos)
        {
            lines.push_back(content.substr(start));
            break;
        }
        lines.push_back(content.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

// True when `text` has the shape `shape`, where '9' stands for any decimal digit and every
// other character for itself.
bool MatchesShape(const std::string& text, const std::string& shape)
{
    if (text.size() != shape.size())
        return false;
    for (size_t i = 0; i < text.size(); ++i)
    {
        if (shape[i] == '9' ? !std::isdigit(static_cast<unsigned char>(text[i])) : text[i] != shape[i])
            return false;
    }
    return true;
}

constexpr const char* kFullStampShape = "99-99-9999 99:99:99 ";
constexpr const char* kTimeStampShape = "99:99:99 ";

bool IsAddress(const std::string& text)
{
    return text.size() >= 8 && text.find_first_not_of("0123456789ABCDEF") == std::string::npos;
}

std::string DateText(const TDateParts& parts)
{
    char text[16];
    std::snprintf(text, sizeof text, "%02d-%02d-%04d", parts.day, parts.month, parts.year);
    return text;
}

class LogTest : public testing::Test
{
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/wardlark-log-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder_ = std::string(pattern) + "/";
        InitializeLog();
    }

    void TearDown() override
    {
        // Later tests must not write into the removed folder.
        InitializeLog();
        std::filesystem::remove_all(folder_);
    }

    std::string folder_;
};

struct TLineFormatCase
{
    bool dateInName;
    bool withUser;
};

class LogLineFormatTest : public LogTest, public testing::WithParamInterface<TLineFormatCase>
{
};

TEST_P(LogLineFormatTest, WritesTimestampTagAndTextWithCrLf)
{
    const TLineFormatCase& param = GetParam();
    const std::string before = DateText(DecodeDateTime(Now()));
    ConfigureDefaultLog(folder_ + "app.log", param.dateInName, param.withUser);
    const std::string fileName = DefaultLogFileName();
    LogMessage("Cannot delete file: /data/report/a.png");
    const std::string after = DateText(DecodeDateTime(Now()));

    if (param.dateInName)
    {
        EXPECT_TRUE(fileName == folder_ + "app(" + before + ").log" || fileName == folder_ + "app(" + after + ").log")
            << fileName;
    }
    else
    {
        EXPECT_EQ(fileName, folder_ + "app.log");
    }

    const std::string content = ReadWholeFile(fileName);
    const std::string shape = param.dateInName ? kTimeStampShape : kFullStampShape;
    ASSERT_GT(content.size(), shape.size()) << content;
    EXPECT_TRUE(MatchesShape(content.substr(0, shape.size()), shape)) << content;
    if (!param.dateInName)
    {
        const std::string date = content.substr(0, 10);
        EXPECT_TRUE(date == before || date == after) << date;
    }
    const std::string userName = CurrentUserName();
    const std::string tag = param.withUser && !userName.empty() ? "(" + userName + ") " : "";
    EXPECT_EQ(content.substr(shape.size()), tag + "Cannot delete file: /data/report/a.png\r\n");
}

INSTANTIATE_TEST_SUITE_P(Forms, LogLineFormatTest,
                         testing::Values(TLineFormatCase{false, true}, TLineFormatCase{false, false},
                                         TLineFormatCase{true, true}, TLineFormatCase{true, false}));

TEST_F(LogTest, UnknownUserGivesNoTag)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to switch to a user without a password entry";
    uid_t unknown = 54321;
    while (getpwuid(unknown) != nullptr)
        ++unknown;
    ASSERT_EQ(chmod(folder_.c_str(), 0777), 0);
    const std::string path = folder_ + "nobody.log";
    EXPECT_EXIT(
        {
            if (setuid(unknown) != 0)
                _exit(2);
            InitializeLog();
            ConfigureDefaultLog(path, false, true);
            LogMessage("line without tag");
            _exit(0);
        },
        testing::ExitedWithCode(0), "");
    const std::string content = ReadWholeFile(path);
    const size_t stamp = std::strlen(kFullStampShape);
    ASSERT_GT(content.size(), stamp) << content;
    EXPECT_TRUE(MatchesShape(content.substr(0, stamp), kFullStampShape)) << content;
    EXPECT_EQ(content.substr(stamp), "line without tag\r\n");
}

TEST_F(LogTest, ConfigureChoosesFolder)
{
    // Missing parents are created.
    ConfigureDefaultLog(folder_ + "a/b/first.dat", false, false);
    EXPECT_EQ(DefaultLogFileName(), folder_ + "a/b/first.dat");
    EXPECT_TRUE(std::filesystem::is_directory(folder_ + "a/b"));

    // A bare name keeps the current folder.
    ConfigureDefaultLog("second.txt", false, false);
    EXPECT_EQ(DefaultLogFileName(), folder_ + "a/b/second.txt");

    // A folder that cannot be created falls back to the program folder.
    WriteWholeFile(folder_ + "plain", "x");
    ConfigureDefaultLog(folder_ + "plain/sub/third.log", false, false);
    EXPECT_EQ(DefaultLogFileName(), ProgramFolder() + "third.log");

    // With no folder configured yet, a bare name goes to the program folder.
    InitializeLog();
    ConfigureDefaultLog("fourth.log", false, false);
    EXPECT_EQ(DefaultLogFileName(), ProgramFolder() + "fourth.log");
}

TEST_F(LogTest, NothingIsWrittenWithoutFileOrAfterFinish)
{
    LogMessage("before configuration");
    EXPECT_EQ(DefaultLogFileName(), "");

    const std::string path = folder_ + "finished.log";
    ConfigureDefaultLog(path, false, false);
    FinishLog();
    LogMessage("after finish");
    ConfigureDefaultLog(folder_ + "other.log", false, false);
    EXPECT_FALSE(FileExists(path));
    EXPECT_FALSE(FileExists(folder_ + "other.log"));
}

TEST_F(LogTest, TwoThreadsWriteWholeLines)
{
    const std::string path = folder_ + "threads.log";
    ConfigureDefaultLog(path, false, false);
    constexpr int kLinesPerThread = 300;
    const auto writer = [](char letter)
    {
        for (int i = 0; i < kLinesPerThread; ++i)
            LogMessage(std::string(300, letter) + " #" + std::to_string(i));
    };
    std::thread first(writer, 'A');
    std::thread second(writer, 'B');
    first.join();
    second.join();

    const std::vector<std::string> lines = SplitLines(ReadWholeFile(path));
    ASSERT_EQ(lines.size(), 2u * kLinesPerThread);
    const size_t stamp = std::strlen(kFullStampShape);
    int next[2] = {0, 0};
    for (const std::string& line : lines)
    {
        ASSERT_GT(line.size(), stamp + 300) << line;
        ASSERT_TRUE(MatchesShape(line.substr(0, stamp), kFullStampShape)) << line;
        const char letter = line[stamp];
        ASSERT_TRUE(letter == 'A' || letter == 'B') << line;
        const int writerIndex = letter == 'A' ? 0 : 1;
        // Each thread's lines arrive whole and in its own order.
        EXPECT_EQ(line.substr(stamp), std::string(300, letter) + " #" + std::to_string(next[writerIndex]++));
    }
}

struct TLockedCase
{
    int holdMs;
    bool lineArrives;
};

class LogLockedFileTest : public LogTest, public testing::WithParamInterface<TLockedCase>
{
};

TEST_P(LogLockedFileTest, WaitsBrieflyForALockedFile)
{
    const std::string path = folder_ + "locked.log";
    ConfigureDefaultLog(path, false, false);
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(flock(fd, LOCK_EX), 0);
    const int holdMs = GetParam().holdMs;
    std::thread holder(
        [fd, holdMs]
        {
            SleepMs(holdMs);
            flock(fd, LOCK_UN);
        });
    LogMessage("written past the lock");
    holder.join();
    close(fd);
    const bool arrived = ReadWholeFile(path).find("written past the lock\r\n") != std::string::npos;
    EXPECT_EQ(arrived, GetParam().lineArrives);
}

INSTANTIATE_TEST_SUITE_P(Holds, LogLockedFileTest, testing::Values(TLockedCase{50, true}, TLockedCase{300, false}));

TEST_F(LogTest, TrimKeepsTheLastBytes)
{
    const std::string path = folder_ + "assertions.dat";
    ConfigureDefaultLog(path, false, true);
    for (const size_t size : {size_t{300000}, size_t{262145}, size_t{262144}, size_t{1000}})
    {
        SCOPED_TRACE(size);
        std::string content(size, '\0');
        for (size_t i = 0; i < size; ++i)
            content[i] = static_cast<char>('a' + (i * 7 + i / 26) % 26);
        WriteWholeFile(path, content);
        TrimLogFile(262144);
        const std::string expected = size > 262144 ? content.substr(size - 262144) : content;
        EXPECT_EQ(ReadWholeFile(path), expected);
        // The replacement leaves no temporary file behind.
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder_), std::filesystem::directory_iterator()),
                  1);
    }
}

TEST_F(LogTest, TrimWithoutFileDoesNothing)
{
    ConfigureDefaultLog(folder_ + "missing.log", false, true);
    TrimLogFile(10);
    EXPECT_FALSE(FileExists(folder_ + "missing.log"));
}

uintptr_t ParseAddress(const std::string& text)
{
    return static_cast<uintptr_t>(std::stoull(text, nullptr, 16));
}

std::vector<std::string> SplitAddresses(const std::string& text)
{
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= text.size())
    {
        const size_t end = text.find(", ", start);
        parts.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos)
            break;
        start = end + 2;
    }
    return parts;
}

struct TStackPair
{
    std::string text;
    void* walk[12] = {};
    int walkCount = 0;
    void* returnAddress = nullptr;
};

// Calls CallStackText and walks the stack itself, so that both views of the same frames can be
// compared.
[[gnu::noinline]] TStackPair CallStackFromHere()
{
    TStackPair pair;
    pair.walkCount = backtrace(pair.walk, 12);
    pair.text = CallStackText();
    pair.returnAddress = __builtin_return_address(0);
    // Keeps the calls from becoming tail calls.
    asm volatile("" : : "r"(pair.text.data()) : "memory");
    return pair;
}

TEST(CallStackTextTest, ListsTheCallersReturnAddresses)
{
    const TStackPair pair = CallStackFromHere();
    const std::vector<std::string> addresses = SplitAddresses(pair.text);
    ASSERT_GE(addresses.size(), 3u) << pair.text;
    EXPECT_LE(addresses.size(), 7u);
    for (const std::string& address : addresses)
        EXPECT_TRUE(IsAddress(address)) << pair.text;
    // The walk of the test itself, from the frame of CallStackFromHere on (a sanitizer's walker
    // may add frames of its own in front).
    const auto* found = std::find(pair.walk, pair.walk + pair.walkCount, pair.returnAddress);
    ASSERT_NE(found, pair.walk + pair.walkCount);
    const auto own = found - pair.walk;
    ASSERT_GE(own, 1);
    ASSERT_GE(pair.walkCount, own + 2);
    // The first address lies in the calling function, close to the test's own walk there; the
    // next ones are the same callers the test's walk sees.
    const uintptr_t first = ParseAddress(addresses[0]);
    const auto here = reinterpret_cast<uintptr_t>(pair.walk[own - 1]);
    EXPECT_LT(first > here ? first - here : here - first, 4096u) << pair.text; // instrumented builds spread code
    EXPECT_EQ(ParseAddress(addresses[1]), reinterpret_cast<uintptr_t>(pair.walk[own]));
    EXPECT_EQ(ParseAddress(addresses[2]), reinterpret_cast<uintptr_t>(pair.walk[own + 1]));
}

TEST(FormatLogAddressTest, PadsToEightUpperCaseDigits)
{
    char text[20];
    EXPECT_EQ(std::string(text, FormatLogAddress(0x45a1c3, text)), "0045A1C3");
    EXPECT_EQ(std::string(text, FormatLogAddress(0, text)), "00000000");
    EXPECT_EQ(std::string(text, FormatLogAddress(0xDEADBEEF, text)), "DEADBEEF");
    if constexpr (sizeof(uintptr_t) == 8)
    {
        EXPECT_EQ(std::string(text, FormatLogAddress(static_cast<uintptr_t>(0x7FFF0012ABCDull), text)), "7FFF0012ABCD");
    }
}

// --- Start-up banner ---------------------------------------------------------------------

struct TTextCase
{
    const char* input;
    const char* expected;
};

class ProcessorTextTest : public testing::TestWithParam<TTextCase>
{
};

TEST_P(ProcessorTextTest, NamesModelAndClock)
{
    EXPECT_EQ(ProcessorTextFrom(GetParam().input), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    CpuInfo, ProcessorTextTest,
    testing::Values(
        TTextCase{"processor\t: 0\nvendor_id\t: GenuineIntel\nmodel name\t: Intel(R) Xeon(R) CPU @ 2.20GHz\n"
                  "cpu MHz\t\t: 2199.998\n\nprocessor\t: 1\nmodel name\t: Other\ncpu MHz\t\t: 800.000\n",
                  "Intel(R) Xeon(R) CPU @ 2.20GHz 2200 MHz"},
        TTextCase{"model name\t: AMD EPYC 7B13\ncpu MHz\t\t: 2449.4\n", "AMD EPYC 7B13 2449 MHz"},
        TTextCase{"model name\t: Virtual CPU\n", "Virtual CPU"},
        TTextCase{"processor\t: 0\nBogoMIPS\t: 50.00\nCPU part\t: 0xd0c\n", "Unknown"}, TTextCase{"", "Unknown"}));

class MemoryTextTest : public testing::TestWithParam<TTextCase>
{
};

TEST_P(MemoryTextTest, GroupsKibibytes)
{
    EXPECT_EQ(MemoryTextFrom(GetParam().input), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    MemInfo, MemoryTextTest,
    testing::Values(TTextCase{"MemTotal:       16318040 kB\nMemFree:         1234567 kB\nSwapCached:  12 kB\n"
                              "SwapTotal:       2097148 kB\n",
                              "16,318,040 Kb (Page File: 2,097,148 Kb)"},
                    TTextCase{"MemTotal: 999 kB\nSwapTotal: 1000 kB\n", "999 Kb (Page File: 1,000 Kb)"},
                    TTextCase{"MemTotal: 1000000 kB\n", "1,000,000 Kb (Page File: 0 Kb)"},
                    TTextCase{"", "0 Kb (Page File: 0 Kb)"}));

TEST(SystemTextTest, NamesKernelAndDistribution)
{
    EXPECT_EQ(SystemTextFrom("6.1.0-18-amd64", "NAME=\"Debian GNU/Linux\"\nPRETTY_NAME=\"Debian GNU/Linux 12 "
                                               "(bookworm)\"\nVERSION_ID=\"12\"\n"),
              "Linux 6.1.0-18-amd64 (Debian GNU/Linux 12 (bookworm))");
    EXPECT_EQ(SystemTextFrom("6.6.0", "PRETTY_NAME=Alpine\n"), "Linux 6.6.0 (Alpine)");
    EXPECT_EQ(SystemTextFrom("6.6.0", "PRETTY_NAME='Single quoted'\n"), "Linux 6.6.0 (Single quoted)");
    EXPECT_EQ(SystemTextFrom("6.6.0", "PRETTY_NAME=\"Say \\\"hi\\\" \\\\o/\"\n"), "Linux 6.6.0 (Say \"hi\" \\o/)");
    EXPECT_EQ(SystemTextFrom("6.6.0", "NAME=Nameless\n"), "Linux 6.6.0");
}

TEST_F(LogTest, BannerIsOneEntryInOrder)
{
    const std::string path = folder_ + "assertions.dat";
    ConfigureDefaultLog(path, false, false);
    LogStartupBanner();
    const std::string content = ReadWholeFile(path);
    const size_t stamp = std::strlen(kFullStampShape);
    ASSERT_GT(content.size(), stamp) << content;
    EXPECT_TRUE(MatchesShape(content.substr(0, stamp), kFullStampShape)) << content;
    const std::vector<std::string> lines = SplitLines(content.substr(stamp));
    ASSERT_EQ(lines.size(), 12u) << content;
    const std::vector<std::string> fixedLines = {"",
                                                 "",
                                                 "== Application Info ===========",
                                                 std::string("Wardlark ") + kVersionText,
                                                 "Build: " + std::to_string(kVersionBuild),
                                                 "== System Info ================"};
    for (size_t i = 0; i < fixedLines.size(); ++i)
        EXPECT_EQ(lines[i], fixedLines[i]);
    EXPECT_EQ(lines[6].rfind("CPU: ", 0), 0u) << lines[6];
    EXPECT_GT(lines[6].size(), 5u);
    EXPECT_EQ(lines[7].rfind("Memory: ", 0), 0u) << lines[7];
    EXPECT_NE(lines[7].find(" Kb (Page File: "), std::string::npos) << lines[7];
    EXPECT_EQ(lines[8].rfind("OS: Linux ", 0), 0u) << lines[8];
    EXPECT_EQ(lines[9], "===============================");
    EXPECT_EQ(lines[10], "");
    EXPECT_EQ(lines[11], "");
    // Blank lines close the entry: the banner's own two and the line end.
    EXPECT_EQ(content.substr(content.size() - 6), "\r\n\r\n\r\n");
}

} // namespace
} // namespace wardlark
