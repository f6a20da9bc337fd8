#include "support/unitProcesses.h"

#include "support/unitTextRoutines.h"

#include <cctype>
#include <dirent.h>
#include <fstream>

namespace wardlark
{

int CountProgramProcesses(const std::string& name)
{
    const std::string wanted = LowerCase(name);
    DIR* proc = opendir("/proc");
    if (proc == nullptr)
        return 0;
    int count = 0;
    while (const dirent* entry = readdir(proc))
    {
        if (!std::isdigit(static_cast<unsigned char>(entry->d_name[0])))
            continue;
        std::ifstream comm(std::string("/proc/") + entry->d_name + "/comm");
        std::string processName;
        // The kernel cuts names at 15 characters; so is the comparison.
        if (std::getline(comm, processName) && LowerCase(processName) == wanted.substr(0, 15))
            ++count;
    }
    closedir(proc);
    return count;
}

} // namespace wardlark
