#include "engine/unitConsoleRunner.h"
#include "support/unitErrors.h"
#include "testFixtures.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

using namespace wardlark;

namespace
{

constexpr int kLongTimeout = 20000;

struct TRun
{
    int result = 0;
    std::vector<std::string> lines;
    std::string output;
};

TRun RunCommand(const std::string& command, int timeoutMs = kLongTimeout, const std::string& folder = std::string(),
                const std::vector<std::string>& environment = {})
{
    TRun run;
    TMemoryStream output;
    std::atomic<bool> aborted{false};
    run.result = RunConsoleApp(
        command, folder, &output, [&run](const std::string& line) { run.lines.push_back(line); }, environment, aborted,
        timeoutMs);
    run.output = output.AsString();
    return run;
}

// True while a process of `group` other than a zombie exists.
bool GroupIsAlive(int group)
{
    for (const auto& entry : std::filesystem::directory_iterator("/proc"))
    {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        std::ifstream file(entry.path() / "stat");
        std::string stat;
        if (!std::getline(file, stat) || stat.rfind(')') == std::string::npos)
            continue;
        char state = 0;
        int parent = 0;
        int processGroup = 0;
        if (std::sscanf(stat.c_str() + stat.rfind(')') + 1, " %c %d %d", &state, &parent, &processGroup) == 3 &&
            processGroup == group && state != 'Z')
            return true;
    }
    return false;
}

struct TOutputCase
{
    const char* name;
    const char* command;
    std::vector<std::string> lines;
    const char* output; // nullptr: not compared
};

class ConsoleRunnerOutput : public ::testing::TestWithParam<TOutputCase>
{
};

TEST_P(ConsoleRunnerOutput, DeliversLinesAndBytes)
{
    const TOutputCase& c = GetParam();
    const TRun run = RunCommand(c.command);
    EXPECT_EQ(run.result, kConsoleEnded);
    EXPECT_EQ(run.lines, c.lines);
    if (c.output != nullptr)
    {
        EXPECT_EQ(run.output, c.output);
    }
}

std::vector<std::string> Numbers(int count)
{
    std::vector<std::string> lines;
    for (int i = 1; i <= count; ++i)
        lines.push_back(std::to_string(i));
    return lines;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ConsoleRunnerOutput,
    ::testing::Values(
        TOutputCase{"ThreeLines", "printf 'one\\ntwo\\nthree\\n'", {"one", "two", "three"}, "one\ntwo\nthree\n"},
        // CR bytes leave the lines but stay in the captured bytes.
        TOutputCase{"CrLf", "printf 'a\\r\\nb\\r\\n'", {"a", "b"}, "a\r\nb\r\n"},
        // Empty lines count only once a line has been delivered.
        TOutputCase{"LeadingEmptyLines", "printf '\\r\\n\\n\\nx\\n\\ny\\n'", {"x", "", "y"}, nullptr},
        TOutputCase{"LastLineWithoutBreak", "printf 'x\\ny'", {"x", "y"}, "x\ny"},
        TOutputCase{"StandardErrorToo", "echo out; echo err >&2", {"out", "err"}, "out\nerr\n"},
        // Standard input is /dev/null, so a reader ends at once instead of waiting.
        TOutputCase{"StdinIsEmpty", "cat; echo done", {"done"}, "done\n"}, TOutputCase{"Silence", "sleep 0.3", {}, ""},
        // Many rounds of at most 1024 bytes, split lines across chunks.
        TOutputCase{"LongOutput", "seq 1 3000", Numbers(3000), nullptr},
        TOutputCase{"CannotFindProgramStillEnds", "exec 2>/dev/null; no-such-program-wl; echo $?", {"127"}, nullptr}),
    [](const ::testing::TestParamInfo<TOutputCase>& p) { return std::string(p.param.name); });

TEST(ConsoleRunner, RunsInTheGivenFolderOrTheCurrentOne)
{
    test::TTempFolder folder;
    const std::string canonical = std::filesystem::canonical(folder.Path()).string();
    EXPECT_EQ(RunCommand("pwd -P", kLongTimeout, folder.Path()).lines, std::vector<std::string>{canonical});
    EXPECT_EQ(RunCommand("pwd -P").lines, std::vector<std::string>{std::filesystem::current_path().string()});
}

TEST(ConsoleRunner, ExtraEnvironmentAddsAndOverrides)
{
    const std::string path = getenv("PATH") != nullptr ? getenv("PATH") : "";
    const TRun run = RunCommand("echo \"$WL_EXTRA|$HOME|$PATH\"", kLongTimeout, std::string(),
                                {"WL_EXTRA=a=b", "HOME=/wl-home", "NOT_AN_ENTRY", "=nameless"});
    EXPECT_EQ(run.lines, std::vector<std::string>{"a=b|/wl-home|" + path});
    // The override is the only entry of that name.
    EXPECT_EQ(RunCommand("env | grep -c '^HOME='", kLongTimeout, std::string(), {"HOME=/wl-home"}).lines,
              std::vector<std::string>{"1"});
}

TEST(ConsoleRunner, FailureToStartRaisesTheSystemError)
{
    std::atomic<bool> aborted{false};
    try
    {
        RunConsoleApp("echo x", "/nonexistent-wardlark-folder/", nullptr, nullptr, {}, aborted, kLongTimeout);
        FAIL() << "no error raised";
    }
    catch (const EWardlarkError& error)
    {
        EXPECT_EQ(std::string(error.what()), "System Error.  Code: 2.\nNo such file or directory");
    }
}

TEST(ConsoleRunner, CallbackErrorsAreIgnored)
{
    TMemoryStream output;
    std::atomic<bool> aborted{false};
    std::vector<std::string> lines;
    const int result = RunConsoleApp(
        "echo one; echo two", "", &output,
        [&lines](const std::string& line)
        {
            lines.push_back(line);
            throw std::runtime_error("log failed");
        },
        {}, aborted, kLongTimeout);
    EXPECT_EQ(result, kConsoleEnded);
    EXPECT_EQ(lines, (std::vector<std::string>{"one", "two"}));
    EXPECT_EQ(output.AsString(), "one\ntwo\n");
}

struct TStopCase
{
    const char* name;
    const char* command; // prints the shell's process id first
};

class ConsoleRunnerStop : public ::testing::TestWithParam<TStopCase>
{
};

// A command still running at its time-out is stopped with all it started, also processes that
// ignore SIGTERM, and nothing of its process group is left running afterwards.
TEST_P(ConsoleRunnerStop, TimeOutStopsTheWholeGroup)
{
    const TRun run = RunCommand(GetParam().command, 400);
    EXPECT_EQ(run.result, kConsoleTimedOut);
    ASSERT_FALSE(run.lines.empty());
    const int group = std::stoi(run.lines.front());
    EXPECT_FALSE(GroupIsAlive(group));
}

TEST_P(ConsoleRunnerStop, AbortFlagStopsTheWholeGroup)
{
    std::atomic<bool> aborted{false};
    std::promise<int> started;
    std::thread aborter(
        [&]
        {
            started.get_future().wait();
            aborted = true;
        });
    int group = 0;
    const int result = RunConsoleApp(
        GetParam().command, "", nullptr,
        [&](const std::string& line)
        {
            if (group == 0)
            {
                group = std::stoi(line);
                started.set_value(group);
            }
        },
        {}, aborted, kLongTimeout);
    aborter.join();
    EXPECT_EQ(result, kConsoleAborted);
    ASSERT_NE(group, 0);
    EXPECT_FALSE(GroupIsAlive(group));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ConsoleRunnerStop,
    ::testing::Values(TStopCase{"Sleeper", "echo $$; sleep 30"},
                      TStopCase{"IgnoresTermAndForks",
                                "echo $$; trap '' TERM; (trap '' TERM; sleep 30; echo late) & sleep 30 & sleep 30"}),
    [](const ::testing::TestParamInfo<TStopCase>& p) { return std::string(p.param.name); });

TEST(ConsoleRunner, NegativeTimeOutEndsAtOnceAndAbortBeforeStart)
{
    EXPECT_EQ(RunCommand("sleep 30", -1).result, kConsoleTimedOut);
    std::atomic<bool> aborted{true};
    EXPECT_EQ(RunConsoleApp("sleep 30", "", nullptr, nullptr, {}, aborted, kLongTimeout), kConsoleAborted);
}

// The pipe of one running command must not leak into a command another thread starts: the
// leaked write end would also keep the first command's output open.
TEST(ConsoleRunner, PipeDoesNotLeakIntoOtherCommands)
{
    std::atomic<bool> aborted{false};
    std::promise<std::string> firstPipe;
    std::thread first(
        [&]
        {
            bool told = false;
            RunConsoleApp(
                "readlink /proc/$$/fd/1; sleep 1", "", nullptr,
                [&](const std::string& line)
                {
                    if (!told)
                        firstPipe.set_value(line);
                    told = true;
                },
                {}, aborted, kLongTimeout);
        });
    const std::string pipe = firstPipe.get_future().get();
    const TRun second = RunCommand("for f in /proc/$$/fd/*; do readlink \"$f\"; done");
    aborted = true;
    first.join();
    EXPECT_EQ(pipe.rfind("pipe:", 0), 0u) << pipe;
    EXPECT_FALSE(second.lines.empty());
    EXPECT_EQ(std::count(second.lines.begin(), second.lines.end(), pipe), 0);
}

} // namespace
