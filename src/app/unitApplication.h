#pragma once

#include "project/unitDataFolders.h"

#include <string>
#include <vector>

namespace wardlark
{

// The monitoring program as one object: it sets up the process-wide services in the fixed
// start-up order (crash trace, data folders, application log with its banner, keypoints,
// settings), runs the project on the core's own loop until SIGTERM or SIGINT, and takes
// everything down in reverse order.
class TApplication
{
public:
    explicit TApplication(std::vector<std::string> arguments);
    ~TApplication();
    TApplication(const TApplication&) = delete;
    TApplication& operator=(const TApplication&) = delete;

    // Runs the program; returns the process exit code.
    int Run();

private:
    // Forms and creates the data folder, points the log at it and starts keypoints and the
    // settings. Returns false (after telling the user why on stderr) when the data folder
    // cannot be made.
    bool SetUp();
    // Claims the data folder for this process; false when another instance holds it.
    bool ClaimInstance();
    // The headless program: project, scheduler and workers until a termination signal.
    int RunHeadless();

    std::vector<std::string> arguments_;
    TDataFolders folders_;
    bool setUp_ = false;
    int instanceLock_ = -1;
};

} // namespace wardlark
