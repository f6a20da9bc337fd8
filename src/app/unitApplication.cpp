#include "unitApplication.h"

#include "project/unitGlobalSettings.h"
#include "support/unitExceptions.h"
#include "support/unitKeypoint.h"
#include "support/unitLog.h"
#include "support/unitSystem.h"
#include "support/unitSystemInfo.h"
#include "unitVersion.h"

#include <cstdio>

namespace wardlark
{

namespace
{

constexpr int32_t kLogKeepBytes = 262144;
constexpr int32_t kKeypointCapacity = 1000;
constexpr uint32_t kKeypointFlushMs = 300000;

void PrintUsage()
{
    std::printf("Usage: %s [--version | --help]\n", kProgramName);
}

} // namespace

TApplication::TApplication(std::vector<std::string> arguments) : arguments_(std::move(arguments))
{
    InitializeLog();
    InstallExceptionTrace();
}

TApplication::~TApplication()
{
    if (setUp_)
        FinishKeypoints();
    FinishLog();
    UninstallExceptionTrace();
}

bool TApplication::SetUp()
{
    folders_ = FormDataFolders();
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
    std::printf("%s %s\n", kProgramName, kFullVersionText);
    std::printf("Data folder:   %s\n", folders_.data.c_str());
    std::printf("Shared folder: %s\n", folders_.shared.c_str());
    std::printf("Settings, application log and keypoints are set up; this build does not monitor yet.\n");
    return 0;
}

} // namespace wardlark
