// The headless program end to end: a data folder prepared the way another program would
// write it is monitored, and SIGTERM ends the run in order.
#include "config/unitMonitorOptions.h"
#include "config/unitWardlark.h"
#include "reports/unitMaintenance.h"
#include "reports/unitStatistics.h"
#include "support/unitTextRoutines.h"
#include "testFixtures.h"

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

using namespace wardlark;

namespace
{

using Clock = std::chrono::steady_clock;

std::unique_ptr<TWardlark> TcpMonitor(const std::string& name, int port)
{
    auto monitor = std::make_unique<TWardlark>();
    monitor->AssignNewIdentity();
    monitor->DisplayName = name;
    monitor->Type = mtCustom;
    monitor->Interval = 1000;
    TOptionsList options;
    options.WriteString(mo::kHost, "127.0.0.1");
    options.WriteInteger(mo::kPort, port);
    monitor->TypeOptions[mtCustom] = options.Text();
    return monitor;
}

class HeadlessProgram : public ::testing::Test
{
protected:
    void SetUp() override
    {
        listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ASSERT_EQ(bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        ASSERT_EQ(listen(listener_, 64), 0);
        socklen_t length = sizeof address;
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        dataFolder_ = home_.Path() + "corvex/Wardlark/";
        std::filesystem::create_directories(dataFolder_);
    }
    void TearDown() override { close(listener_); }

    // Starts the program on the prepared folder with its output going to a file.
    pid_t Start(const std::string& outputFile)
    {
        const std::string environment = "XDG_DATA_HOME=" + home_.Path();
        std::vector<std::string> entries{environment, "HOME=" + home_.Path(), "PATH=/usr/bin:/bin"};
        std::vector<char*> envp;
        for (auto& entry : entries)
            envp.push_back(entry.data());
        envp.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, 2, (outputFile + ".err").c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        char program[] = WARDLARK_BINARY;
        char* argv[] = {program, nullptr};
        pid_t pid = -1;
        EXPECT_EQ(posix_spawn(&pid, program, &actions, nullptr, argv, envp.data()), 0);
        posix_spawn_file_actions_destroy(&actions);
        return pid;
    }

    static bool WaitFor(const std::function<bool()>& done, int timeoutMs)
    {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (Clock::now() < deadline)
        {
            if (done())
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return done();
    }

    test::TTempFolder home_;
    std::string dataFolder_;
    int listener_ = -1;
    int port_ = 0;
};

TEST_F(HeadlessProgram, MonitorsAForeignListAndStopsInOrder)
{
    TWardlarkList list(true);
    TWardlark* up = static_cast<TWardlark*>(list.Add(TcpMonitor("Loopback up", port_)));
    TWardlark* paused = static_cast<TWardlark*>(list.Add(TcpMonitor("Loopback paused", port_)));
    list.SaveToFile(dataFolder_ + "wardlarks.dat", 1, 0);
    const std::string upUin = LowerCase(up->Name);
    const std::string pausedUin = LowerCase(paused->Name);
    {
        // A window that is active all day, every day, for the second monitor.
        TMaintenanceList windows(true);
        auto window = std::make_unique<TMaintenance>();
        window->Name = "window";
        window->StartDate = 40000; // in 2009
        window->Recurrence = rcDaily;
        window->DailyMode = dmEveryDay;
        window->StartTime = 0;
        window->EndTime = 86399.0 / 86400.0;
        window->SetMonitors(paused->Name);
        windows.Add(std::move(window));
        windows.SaveToFile(dataFolder_ + "maintenances.dat", 1, 0);
    }
    const std::string dataBefore = test::ReadWholeFile(dataFolder_ + "wardlarks.dat");

    const std::string output = home_.File("output.txt");
    const pid_t pid = Start(output);
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(WaitFor(
        [&] { return test::ReadWholeFile(output).find("Connection established.") != std::string::npos; }, 10000))
        << test::ReadWholeFile(output) << test::ReadWholeFile(output + ".err");
    // Let results and the coalesced save land.
    ASSERT_TRUE(WaitFor([&] { return test::ReadWholeFile(dataFolder_ + "wardlarks.dat") != dataBefore; }, 5000));

    // A second instance on the same data folder is refused.
    const pid_t second = Start(home_.File("second.txt"));
    int secondStatus = 0;
    waitpid(second, &secondStatus, 0);
    EXPECT_EQ(WEXITSTATUS(secondStatus), 1);
    EXPECT_NE(test::ReadWholeFile(home_.File("second.txt.err")).find("already running"), std::string::npos);

    const auto stopStart = Clock::now();
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
    const auto stopMs = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - stopStart).count();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_LT(stopMs, 2000);

    // Statistics: started (0), then results (4) or maintenance (9), and stopped (1) last.
    const auto kinds = [this](const std::string& uin)
    {
        TStatistics statistics;
        statistics.SetFolder(dataFolder_ + "stats/");
        statistics.SelectMonitor(uin);
        std::vector<int> found;
        TStatRecord record;
        for (int32_t i = 0; statistics.RecordAt(i, record); ++i)
            found.push_back(record.Kind);
        return found;
    };
    const std::vector<int> upKinds = kinds(up->Name);
    ASSERT_GE(upKinds.size(), 3u);
    EXPECT_EQ(upKinds.front(), seStarted);
    EXPECT_EQ(upKinds[1], seOK);
    EXPECT_EQ(upKinds.back(), seStopped);
    const std::vector<int> pausedKinds = kinds(paused->Name);
    ASSERT_GE(pausedKinds.size(), 3u);
    EXPECT_EQ(pausedKinds.front(), seStarted);
    EXPECT_EQ(pausedKinds[1], seMaintenance);
    EXPECT_EQ(pausedKinds.back(), seStopped);
    EXPECT_NE(test::ReadWholeFile(dataFolder_ + "logs/" + upUin + ".log").find("|Connection established."),
              std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dataFolder_ + "logs/" + pausedUin + ".log"));

    TWardlarkList saved(true);
    ASSERT_EQ(saved.LoadFromFile(dataFolder_ + "wardlarks.dat", 1, 0), 2);
    const auto* savedPaused = static_cast<TWardlark*>(saved.FindByName(paused->Name));
    ASSERT_NE(savedPaused, nullptr);
    EXPECT_EQ(savedPaused->Status, msMaintenance);
    EXPECT_EQ(savedPaused->Reason, "Scheduled maintenance");
    EXPECT_NE(test::ReadWholeFile(output).find("Loopback up  OK  Connection established."), std::string::npos)
        << test::ReadWholeFile(output);
}

} // namespace
