#include "unitApplication.h"

#include "project/unitGlobalSettings.h"
#include "project/unitProject.h"
#include "support/unitDateRoutines.h"
#include "support/unitExceptions.h"
#include "support/unitKeypoint.h"
#include "support/unitLog.h"
#include "support/unitMainThread.h"
#include "support/unitSystem.h"
#include "support/unitSystemInfo.h"
#include "unitVersion.h"

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <thread>
#include <unistd.h>

namespace wardlark
{

namespace
{

constexpr int32_t kLogKeepBytes = 262144;
constexpr int32_t kKeypointCapacity = 1000;
constexpr uint32_t kKeypointFlushMs = 300000;

void PrintUsage()
{
    std::printf("Usage: %s [--headless] [--version | --help]\n"
                "Monitors the servers and services of the monitor list in its data folder until it is\n"
                "stopped with SIGTERM or Ctrl+C; prints one line per finished check.\n",
                kProgramName);
}

// One line per finished check: time, monitor name, status text, reason, response time.
void PrintCheckLine(const TWardlark& monitor)
{
    std::printf("%s  %s  %s  %s  %d ms\n", FormatDateTime("yyyy-mm-dd hh:nn:ss", Now()).c_str(),
                monitor.DisplayName.c_str(), MonitorStatusText(monitor.Status).c_str(), monitor.Reason.c_str(),
                monitor.ResponseTime);
    std::fflush(stdout);
}

} // namespace

TApplication::TApplication(std::vector<std::string> arguments) : arguments_(std::move(arguments))
{
    InitializeLog();
    InstallExceptionTrace();
}

TApplication::~TApplication()
{
    if (instanceLock_ >= 0)
        close(instanceLock_);
    if (setUp_)
        FinishKeypoints();
    FinishLog();
    UninstallExceptionTrace();
}

bool TApplication::SetUp()
{
    // The service-control layer answers whether the watchdog service runs; until the service
    // exists nothing runs it, so the hand-over files cannot apply yet.
    folders_ = FormDataFolders(arguments_, [] { return false; });
    if (folders_.endAtOnce)
    {
        std::fprintf(stderr, "%s: the watchdog service runs this program for user %s; ending.\n", kProgramName,
                     folders_.userName.c_str());
        return false;
    }
    if (!ForceDirectories(folders_.data))
    {
        std::fprintf(stderr, "%s: cannot create the data folder %s\n", kProgramName, folders_.data.c_str());
        return false;
    }
    ConfigureDefaultLog(folders_.data + "assertions.dat", false, true);
    TrimLogFile(kLogKeepBytes);
    LogStartupBanner();
    // Keypoints first, so that a damaged settings file leaves its trace.
    InitKeypoints(folders_.data + "keypoints.dat", kKeypointCapacity, kKeypointFlushMs);
    LoadGlobalSettings(folders_.data);
    setUp_ = true;
    return true;
}

int TApplication::Run()
{
    if (!arguments_.empty() && arguments_[0] == "--version")
    {
        std::printf("%s %s\n", kProgramName, kFullVersionText);
        return 0;
    }
    if (!arguments_.empty() && (arguments_[0] == "--help" || arguments_[0] == "-h"))
    {
        PrintUsage();
        return 0;
    }
    if (!SetUp())
        return 1;
    if (!ClaimInstance())
    {
        std::fprintf(stderr, "%s is already running on the data folder %s\n", kProgramName, folders_.data.c_str());
        return 1;
    }
    return RunHeadless();
}

bool TApplication::ClaimInstance()
{
    instanceLock_ = open((folders_.data + "wardlark.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    return instanceLock_ >= 0 && flock(instanceLock_, LOCK_EX | LOCK_NB) == 0;
}

int TApplication::RunHeadless()
{
    // Termination signals are taken by one thread of their own; every other thread, the
    // workers included, inherits the blocked mask.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    THeadlessLoop loop;
    std::thread signalThread(
        [&loop, signals]
        {
            int received = 0;
            sigwait(&signals, &received);
            loop.Queue([&loop] { loop.Quit(); });
        });

    std::printf("%s %s\n", kProgramName, kFullVersionText);
    std::printf("Data folder:   %s\n", folders_.data.c_str());
    std::printf("Shared folder: %s\n", folders_.shared.c_str());
    {
        TProject project(loop, folders_.data, GlobalOptions());
        project.OnCheckResult = PrintCheckLine;
        project.ApplyConnectionSettings();
        project.LoadMonitors();
        project.LoadMaintenances();
        project.LoadReports();
        int enabled = 0;
        for (int i = 0; i < project.Monitors().Count(); ++i)
            enabled += project.Monitors().Monitor(i)->Enabled != 0 ? 1 : 0;
        std::printf("Monitoring %d of %d monitors (%d maintenance windows); stop with SIGTERM or Ctrl+C.\n", enabled,
                    project.Monitors().Count(), project.Maintenances().Count());
        if (project.Monitors().Count() == 0)
            std::printf("The monitor list %swardlarks.dat is empty or missing.\n", folders_.data.c_str());
        std::fflush(stdout);
        LogMessage("Headless monitoring started");
        loop.Run();
        std::printf("Stopping.\n");
        std::fflush(stdout);
    }
    LogMessage("Headless monitoring stopped");
    loop.Shutdown();
    // Wake the signal thread if no signal ended the run.
    pthread_kill(signalThread.native_handle(), SIGTERM);
    signalThread.join();
    return 0;
}

} // namespace wardlark
