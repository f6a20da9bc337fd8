#include "project/unitRegistry.h"

#include "config/unitOptionsList.h"
#include "support/unitStreams.h"
#include "support/unitSystem.h"

#include <cstdlib>

namespace wardlark
{

namespace
{

std::string FirstFolder(const char* list)
{
    std::string text = list != nullptr ? list : "";
    const size_t colon = text.find(':');
    return colon == std::string::npos ? text : text.substr(0, colon);
}

TOptionsList ReadHive(TRegistryHive hive)
{
    TOptionsList values;
    const std::string path = RegistryFileName(hive);
    if (!FileExists(path))
        return values;
    try
    {
        TMemoryStream content;
        content.LoadFromFile(path, 10, 10);
        values.SetText(content.AsString());
    }
    catch (...)
    {
        values.Clear();
    }
    return values;
}

} // namespace

std::string RegistryFileName(TRegistryHive hive)
{
    if (hive == TRegistryHive::LocalMachine)
    {
        std::string folder = FirstFolder(std::getenv("XDG_CONFIG_DIRS"));
        if (folder.empty() || folder[0] != '/')
            folder = "/etc/xdg";
        return WithTrailingDelimiter(folder) + "corvex/registry";
    }
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config != nullptr && config[0] == '/')
        return WithTrailingDelimiter(config) + "corvex/registry";
    const char* home = std::getenv("HOME");
    return WithTrailingDelimiter(home != nullptr && home[0] == '/' ? home : "/tmp") + ".config/corvex/registry";
}

std::string ReadRegistryString(TRegistryHive hive, const std::string& keyPath, const std::string& valueName)
{
    return ReadHive(hive).ReadString(keyPath + "\\" + valueName);
}

bool WriteRegistryString(TRegistryHive hive, const std::string& keyPath, const std::string& valueName,
                         const std::string& value)
{
    TOptionsList values = ReadHive(hive);
    values.WriteString(keyPath + "\\" + valueName, value);
    const std::string path = RegistryFileName(hive);
    try
    {
        if (!ForceDirectories(ExtractFilePath(path)))
            return false;
        TMemoryStream content;
        content.LoadFromString(values.Text());
        content.SaveToFile(path, 1, 0);
        return true;
    }
    catch (...)
    {
        return false;
    }
}

} // namespace wardlark
