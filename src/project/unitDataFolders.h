#pragma once

#include <functional>
#include <string>
#include <vector>

namespace wardlark
{

// Where the program keeps its files. Every folder ends with "/".
struct TDataFolders
{
    std::string program;    // folder of the running executable
    std::string data;       // per-user data: user application-data folder + "corvex/Wardlark/"
    std::string shared;     // report templates and images: common application-data folder +
                            // "corvex/Wardlark/", else the installed share folder, else the
                            // repository's resource folder when run from a build tree
    std::string userName;   // the user the data belongs to (the installing user in service mode)
    bool endAtOnce = false; // another user's service owns this program: the program must end
};

// The user application-data folder (with "/"): the registry value "AppData" under
// "Software\corvex\Wardlark" of the current user when present and not empty, else
// $XDG_DATA_HOME when set and absolute, else the home folder + ".local/share/".
std::string UserApplicationDataFolder();

// Forms the folders. The service hand-over files beside the executable ("Wardlark.usr":
// the installing user's name, "Wardlark.dir": that user's application-data folder) apply
// when the ".usr" text is not empty, differs from the current user and the service runs
// (`isServiceRunning`): with "/service" as the first argument the data folder moves to the
// ".dir" folder; otherwise the program must end unless another instance of it runs.
// Creates nothing.
TDataFolders FormDataFolders(const std::vector<std::string>& arguments, const std::function<bool()>& isServiceRunning);

} // namespace wardlark
