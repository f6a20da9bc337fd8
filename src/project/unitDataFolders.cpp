#include "project/unitDataFolders.h"

#include "support/unitSystem.h"

#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace wardlark
{

namespace
{

constexpr const char* kVendorFolder = "corvex/Wardlark/";

bool FolderExists(const std::string& path)
{
    struct stat info
    {
    };
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string HomeFolder()
{
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/')
        return home;
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
        found->pw_dir != nullptr)
        return found->pw_dir;
    return "/tmp";
}

} // namespace

std::string UserApplicationDataFolder()
{
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg != nullptr && xdg[0] == '/')
        return WithTrailingDelimiter(xdg);
    return WithTrailingDelimiter(HomeFolder()) + ".local/share/";
}

TDataFolders FormDataFolders()
{
    TDataFolders folders;
    folders.program = ProgramFolder();
    folders.data = UserApplicationDataFolder() + kVendorFolder;
    const std::string installed = folders.program + "../share/" + kVendorFolder;
    folders.shared = FolderExists(installed) ? installed : std::string(WARDLARK_SOURCE_RESOURCES);
    return folders;
}

} // namespace wardlark
