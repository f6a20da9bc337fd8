#include "project/unitDataFolders.h"

#include "project/unitRegistry.h"
#include "support/unitProcesses.h"
#include "support/unitStreams.h"
#include "support/unitSystem.h"

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace wardlark
{

namespace
{

constexpr const char* kVendorFolder = "corvex/Wardlark/";
constexpr const char* kRegistryKey = "Software\\corvex\\Wardlark";
constexpr int kHandOverAttempts = 10;
constexpr int kHandOverDelayMs = 100;

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

// The first line of a hand-over file, or empty when it is missing or unreadable.
std::string ReadHandOver(const std::string& path)
{
    if (!FileExists(path))
        return {};
    try
    {
        TMemoryStream content;
        content.LoadFromFile(path, kHandOverAttempts, kHandOverDelayMs);
        std::string text = content.AsString();
        const size_t end = text.find_first_of("\r\n");
        return end == std::string::npos ? text : text.substr(0, end);
    }
    catch (...)
    {
        return {};
    }
}

} // namespace

std::string UserApplicationDataFolder()
{
    const std::string overridden = ReadRegistryString(TRegistryHive::CurrentUser, kRegistryKey, "AppData");
    if (!overridden.empty())
        return WithTrailingDelimiter(overridden);
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg != nullptr && xdg[0] == '/')
        return WithTrailingDelimiter(xdg);
    return WithTrailingDelimiter(HomeFolder()) + ".local/share/";
}

TDataFolders FormDataFolders(const std::vector<std::string>& arguments, const std::function<bool()>& isServiceRunning)
{
    TDataFolders folders;
    folders.program = ProgramFolder();
    folders.userName = CurrentUserName();
    std::string userData = UserApplicationDataFolder();

    const std::string stem = folders.program + ExtractFileName(ProgramPath());
    const std::string handOverUser = ReadHandOver(stem + ".usr");
    const std::string handOverFolder = ReadHandOver(stem + ".dir");
    if (!handOverUser.empty() && handOverUser != folders.userName && isServiceRunning && isServiceRunning())
    {
        if (!arguments.empty() && arguments[0] == "/service")
        {
            folders.userName = handOverUser;
            userData = handOverFolder.empty() ? std::string() : WithTrailingDelimiter(handOverFolder);
        }
        else if (CountProgramProcesses(ExtractFileName(ProgramPath())) <= 1)
            folders.endAtOnce = true;
    }
    folders.data = userData + kVendorFolder;

    const std::string common = ReadRegistryString(TRegistryHive::LocalMachine, kRegistryKey, "Common AppData");
    const std::string installed = folders.program + "../share/" + kVendorFolder;
    if (!common.empty())
        folders.shared = WithTrailingDelimiter(common) + kVendorFolder;
    else if (DirectoryExists(installed))
        folders.shared = installed;
    else
        folders.shared = WARDLARK_SOURCE_RESOURCES;
    return folders;
}

} // namespace wardlark
