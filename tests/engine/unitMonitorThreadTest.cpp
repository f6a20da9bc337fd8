#include "engine/unitMonitorThread.h"
#include "config/unitMonitorOptions.h"
#include "engine/unitInternetCheck.h"
#include "net/unitPingSend.h"
#include "project/unitGlobalSettings.h"
#include "support/unitTextRoutines.h"
#include "testFixtures.h"

#include <arpa/inet.h>
#include <atomic>
#include <netinet/in.h>
#include <regex>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace wardlark;

namespace
{

// A ping client whose requests never get an answer, as during a local outage.
class TSilentPing : public TPINGSend
{
public:
    explicit TSilentPing(std::atomic<int>& calls) : calls_(calls) {}
    bool Ping(const std::string&) override
    {
        ++calls_;
        return false;
    }

private:
    std::atomic<int>& calls_;
};

// Runs workers on a headless loop and collects what they hand back.
class MonitorThread : public ::testing::Test
{
protected:
    void SetUp() override
    {
        SetUpServers("");
        SetInternetCheckPingFactory(nullptr);
        ResetInternetCheckResult();
    }
    void TearDown() override
    {
        SetUpServers("");
        SetInternetCheckPingFactory(nullptr);
        ResetInternetCheckResult();
    }

    std::unique_ptr<TMonitorThread> NewWorker(uint32_t expiryMs = kWorkerExpiryMs)
    {
        auto worker = std::make_unique<TMonitorThread>(loop_, folder_.Path(), expiryMs);
        worker->OnCheckDone = [this](TMonitorThread&, TWardlark& monitor)
        {
            EXPECT_TRUE(loop_.IsMainThread());
            auto copy = std::make_unique<TWardlark>();
            copy->Assign(monitor);
            results_.push_back(std::move(copy));
        };
        worker->OnGetOptions = [this](TMonitorThread&, TOptionsList& options) { options = globals_; };
        return worker;
    }

    static std::unique_ptr<TWardlark> Monitor(int type, const std::string& typeOptions)
    {
        auto monitor = std::make_unique<TWardlark>();
        monitor->AssignNewIdentity();
        monitor->Type = type;
        monitor->DisplayName = "Test monitor";
        monitor->Timeout = 3000;
        monitor->TypeOptions[static_cast<size_t>(type)] = typeOptions;
        return monitor;
    }

    // Checks `monitor` on a fresh worker and returns the handed-back copy.
    const TWardlark& Check(const TWardlark& monitor)
    {
        auto worker = NewWorker();
        const size_t before = results_.size();
        EXPECT_EQ(worker->AssignMonitor(monitor, "", "", "", ""), kAssignAccepted);
        EXPECT_TRUE(loop_.RunUntil([&] { return results_.size() > before; }, 20000));
        return *results_.back();
    }

    std::string LogFile(const TWardlark& monitor) const
    {
        return test::ReadWholeFile(folder_.File("logs/" + LowerCase(monitor.Name) + ".log"));
    }

    static bool HasLine(const TWardlark& monitor, const std::string& text)
    {
        return monitor.LastCheckLog.find(text) != std::string::npos;
    }

    test::TTempFolder folder_;
    THeadlessLoop loop_;
    TOptionsList globals_;
    std::vector<std::unique_ptr<TWardlark>> results_;
};

TEST_F(MonitorThread, RecordProblemsEndTheCheckBeforeAnyTypeCheck)
{
    const struct
    {
        const char* name;
        int enabled;
        int type;
        int status;
        const char* reason;
    } cases[] = {
        {"", 1, mtCustom, msConfigError, "Monitor name is not specified."},
        {"Disabled", 0, mtCustom, msConfigError, "Monitor is disabled."},
        {"Strange", 1, 42, msFailure, "Unknown monitor type."},
    };
    for (const auto& c : cases)
    {
        auto monitor = Monitor(mtCustom, "Host=127.0.0.1\r\nPort=1\r\nCheckInet=TRUE");
        monitor->DisplayName = c.name;
        monitor->Enabled = c.enabled;
        monitor->Type = c.type;
        const TWardlark& result = Check(*monitor);
        EXPECT_EQ(result.Status, c.status) << c.reason;
        EXPECT_EQ(result.Reason, c.reason);
        EXPECT_FALSE(HasLine(result, "Connecting")) << result.LastCheckLog;
        EXPECT_FALSE(HasLine(result, "Internet")) << result.LastCheckLog;
        EXPECT_TRUE(result.LastCheckLog.ends_with("|Operation failed.")) << result.LastCheckLog;
        EXPECT_EQ(result.InProgress, 0);
    }
}

TEST_F(MonitorThread, LogLinesCarryKindIndentAndTime)
{
    const TWardlark& result = Check(*Monitor(mtConsole, "CommandLine=printf 'one\\ntwo\\r\\nthree\\n'"));
    EXPECT_EQ(result.Status, msOK);
    EXPECT_EQ(result.Reason, "Application successfully executed.");
    EXPECT_GE(result.ResponseTime, 0);
    EXPECT_NE(result.LastCheckTick, 0u);
    // Debug lines reach the log file but not the short log kept in the monitor.
    const std::string file = LogFile(result);
    EXPECT_TRUE(
        std::regex_search(file, std::regex("\r\n3\\|2\\|[0-9]{2}:[0-9]{2}:[0-9]{2}\\|one\r\n3\\|2\\|[^|]+\\|two\r\n"
                                           "3\\|2\\|[^|]+\\|three\r\n")))
        << file;
    EXPECT_FALSE(HasLine(result, "|one"));
    EXPECT_TRUE(std::regex_search(result.LastCheckLog, std::regex("^0\\|0\\|[0-9:]{8}\\|Launching printf")))
        << result.LastCheckLog;
    EXPECT_TRUE(result.LastCheckLog.ends_with("|Operation complete."));
}

TEST_F(MonitorThread, CustomCheckAgainstOpenAndClosedPorts)
{
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(listener, 16), 0);
    socklen_t length = sizeof address;
    getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    const std::string openPort = std::to_string(ntohs(address.sin_port));

    const TWardlark& open = Check(*Monitor(mtCustom, "Host=127.0.0.1\r\nPort=" + openPort));
    EXPECT_EQ(open.Status, msOK);
    EXPECT_EQ(open.Reason, "Connection established.");
    EXPECT_TRUE(HasLine(open, "|Connecting to 127.0.0.1:" + openPort));
    close(listener); // the port is closed now

    const TWardlark& closed = Check(*Monitor(mtCustom, "Host=127.0.0.1\r\nPort=" + openPort));
    EXPECT_EQ(closed.Status, msFailure);
    EXPECT_EQ(closed.Reason, "Socket error 111: Connection refused");

    const TWardlark& noHost = Check(*Monitor(mtCustom, "Host=  \r\nPort=80"));
    EXPECT_EQ(noHost.Status, msConfigError);
    EXPECT_EQ(noHost.Reason, "Host is not specified.");
}

TEST_F(MonitorThread, PingCheck)
{
    const TWardlark& local = Check(*Monitor(mtPing, "Host=localhost"));
    EXPECT_FALSE(HasLine(local, "Resolving")) << local.LastCheckLog;
    EXPECT_TRUE(local.Status == msOK) << local.LastCheckLog;
    EXPECT_TRUE(
        std::regex_search(local.Reason, std::regex("^Reply from 127\\.0\\.0\\.1: bytes=32 time=[0-9]+ms TTL=[0-9]+$")))
        << local.Reason;

    const TWardlark& v6 = Check(*Monitor(mtPing, "Host=::1\r\nPacketSize=100"));
    EXPECT_EQ(v6.Status, msOK) << v6.LastCheckLog;
    EXPECT_TRUE(HasLine(v6, "|Pinging ::1 with 100 bytes of data:"));

    const TWardlark& unknown = Check(*Monitor(mtPing, "Host=no-such-host.invalid"));
    EXPECT_EQ(unknown.Status, msFailure);
    EXPECT_EQ(unknown.Reason, "Host \"no-such-host.invalid\" not found.");
    EXPECT_TRUE(HasLine(unknown, "Resolving the host name \"no-such-host.invalid\"."));
    EXPECT_FALSE(HasLine(unknown, "Pinging"));
}

TEST_F(MonitorThread, ConsoleTimeOutAndAbort)
{
    auto slowMonitor = Monitor(mtConsole, "CommandLine=sleep 5");
    TWardlark& slow = *slowMonitor;
    slow.Timeout = 300;
    const TWardlark& timedOut = Check(slow);
    EXPECT_EQ(timedOut.Reason, "Operation timed out.");

    slow.Timeout = 20000;
    auto worker = NewWorker();
    ASSERT_EQ(worker->AssignMonitor(slow, "", "", "", ""), kAssignAccepted);
    EXPECT_EQ(worker->AssignMonitor(slow, "", "", "", ""), kAssignBusy);
    EXPECT_EQ(worker->MonitorUIN(), slow.Name);
    loop_.RunUntil([] { return false; }, 200);
    worker->Abort();
    EXPECT_EQ(worker->AssignMonitor(slow, "", "", "", ""), kAssignBusy);
    ASSERT_TRUE(
        loop_.RunUntil([&] { return !results_.empty() && results_.back()->Reason == "Aborted by the user."; }, 5000));
    EXPECT_TRUE(loop_.RunUntil([&] { return worker->State() == wsIdle; }, 2000));
}

// A worker destroyed on the main thread while it waits for its OnCheckDone must not deadlock,
// and the event it queued must not run afterwards.
TEST_F(MonitorThread, DestroyedWhileWaitingForTheMainThread)
{
    auto worker = NewWorker();
    ASSERT_EQ(worker->AssignMonitor(*Monitor(mtConsole, "CommandLine=true"), "", "", "", ""), kAssignAccepted);
    std::this_thread::sleep_for(std::chrono::milliseconds(300)); // the loop does not run: the worker waits
    worker.reset();
    loop_.RunUntil([] { return false; }, 50);
    EXPECT_TRUE(results_.empty());
}

TEST_F(MonitorThread, IdleWorkerExpires)
{
    auto worker = NewWorker(200);
    EXPECT_TRUE(loop_.RunUntil([&] { return worker->State() == wsExpired; }, 5000));
    EXPECT_EQ(worker->AssignMonitor(*Monitor(mtConsole, "CommandLine=true"), "", "", "", ""), kAssignExpired);
}

TEST_F(MonitorThread, InternetCheckWithoutServersAssumesTheInternetIsUp)
{
    const TWardlark& result = Check(*Monitor(mtCustom, "Host=127.0.0.1\r\nPort=1\r\nCheckInet=TRUE"));
    EXPECT_EQ(result.Status, msFailure);
    EXPECT_TRUE(HasLine(result, "2|2|"));
    EXPECT_TRUE(HasLine(result, "|Always accessible servers are not specified.\r\n0|2|"));
    EXPECT_TRUE(HasLine(result, "|Assuming that the Internet is available."));
}

TEST_F(MonitorThread, InternetCheckSeesAnOutage)
{
    std::atomic<int> pings{0};
    SetInternetCheckPingFactory([&pings] { return std::make_unique<TSilentPing>(pings); });
    SetUpServers("192.0.2.10\r\n  \r\n192.0.2.11");
    for (const bool alerts : {true, false})
    {
        ResetInternetCheckResult();
        globals_.WriteBool(gs::kICFAlerts, alerts);
        const TWardlark& result = Check(*Monitor(mtCustom, "Host=127.0.0.1\r\nPort=1\r\nCheckInet=TRUE"));
        EXPECT_EQ(result.Status, alerts ? msInetFailure : msInetFailureQuiet);
        EXPECT_EQ(result.Reason, "Internet connection is not available.");
        EXPECT_TRUE(HasLine(result, "0|2|"));
        EXPECT_TRUE(HasLine(result, "|Pinging 192.0.2.11 with 32 bytes of data:"));
    }
    EXPECT_EQ(pings, 4); // two servers each time; the blank line is dropped
}

TEST_F(MonitorThread, SimultaneousFailuresShareOneRoundOfPings)
{
    std::atomic<int> pings{0};
    SetInternetCheckPingFactory([&pings] { return std::make_unique<TSilentPing>(pings); });
    SetUpServers("192.0.2.10");
    auto first = NewWorker();
    auto second = NewWorker();
    const auto monitor = Monitor(mtCustom, "Host=127.0.0.1\r\nPort=1\r\nCheckInet=TRUE");
    ASSERT_EQ(first->AssignMonitor(*monitor, "", "", "", ""), kAssignAccepted);
    ASSERT_EQ(second->AssignMonitor(*monitor, "", "", "", ""), kAssignAccepted);
    ASSERT_TRUE(loop_.RunUntil([&] { return results_.size() == 2; }, 20000));
    EXPECT_EQ(pings, 1);
    for (const auto& result : results_)
        EXPECT_EQ(result->Status, msInetFailureQuiet) << result->LastCheckLog;
}

} // namespace
