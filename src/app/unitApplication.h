#pragma once

#include "project/unitDataFolders.h"

#include <string>
#include <vector>

namespace wardlark
{

// The monitoring program as one object: it sets up the process-wide services in the fixed
// start-up order (crash trace, data folders, application log with its banner, keypoints)
// and takes them down in reverse order when it is destroyed.
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
    // Forms and creates the data folder, points the log at it and starts keypoints.
    // Returns false (after telling the user why on stderr) when the data folder cannot be made.
    bool SetUp();

    std::vector<std::string> arguments_;
    TDataFolders folders_;
    bool setUp_ = false;
};

} // namespace wardlark
