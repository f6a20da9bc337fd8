#pragma once

#include <string>

namespace wardlark
{

// Where the program keeps its files. Every folder ends with "/".
struct TDataFolders
{
    std::string program; // folder of the running executable
    std::string data;    // per-user data: $XDG_DATA_HOME (else ~/.local/share) + "/corvex/Wardlark/"
    std::string shared;  // report templates and images: the installed share folder, or the
                         // repository's resource folder when run from a build tree
};

// Forms the folders from the environment and the executable's place. Creates nothing.
TDataFolders FormDataFolders();

// The user application-data folder (with "/"): $XDG_DATA_HOME when set and absolute, else the
// home folder (from $HOME or the password database) + ".local/share/".
std::string UserApplicationDataFolder();

} // namespace wardlark
