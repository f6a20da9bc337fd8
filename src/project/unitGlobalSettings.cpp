#include "project/unitGlobalSettings.h"

#include "config/unitDataStreaming.h"
#include "support/unitKeypoint.h"

#include <utility>

namespace wardlark
{

namespace
{

constexpr const char* kSettingsFileName = "config.dat";
constexpr int kAttempts = 20;
constexpr int kDelayMs = 50;
constexpr uint32_t kKeypointLoadSettings = 0x3C5A0E71;
constexpr uint32_t kKeypointSaveSettings = 0x3C5A0E72;
constexpr int32_t kCodeReadError = -106;
constexpr int32_t kCodeWriteError = -107;

// Keys written with their defaults at load when missing or empty.
const std::pair<std::string_view, std::string_view> kLoadDefaults[] = {
    {gs::kSkin, "Neutral (internal)"}, {gs::kIconsSet, "Realistic"}, {gs::kShowHints, "TRUE"},
    {gs::kCloseToTray, "TRUE"},        {gs::kDisableSkins, "TRUE"},  {gs::kShowFiltersPanel, "TRUE"},
    {gs::kCheckForUpdates, "TRUE"},
};

} // namespace

TOptionsList& GlobalOptions()
{
    static TOptionsList options;
    return options;
}

void LoadSettingsFile(TOptionsList& options, const std::string& path)
{
    options.Clear();
    try
    {
        options.SetText(ReadRecordFile(path, true, kAttempts, kDelayMs)->AsString());
    }
    catch (...)
    {
        AddKeypoint(kKeypointLoadSettings, kCodeReadError);
    }
    for (const auto& [key, value] : kLoadDefaults)
        if (options.ReadString(key).empty())
            options.WriteString(key, value);
}

void LoadGlobalSettings(const std::string& dataFolder)
{
    LoadSettingsFile(GlobalOptions(), dataFolder + kSettingsFileName);
}

bool SaveSettingsFile(const TOptionsList& options, const std::string& path)
{
    try
    {
        TMemoryStream data;
        data.LoadFromString(options.Text());
        SaveRecordFile(data, path, true, kAttempts, kDelayMs);
        return true;
    }
    catch (...)
    {
        AddKeypoint(kKeypointSaveSettings, kCodeWriteError);
        return false;
    }
}

bool SaveGlobalSettings(const std::string& dataFolder)
{
    return SaveSettingsFile(GlobalOptions(), dataFolder + kSettingsFileName);
}

int ICFIntervalSeconds(const TOptionsList& options)
{
    const int seconds = options.ReadInteger(gs::kICFInterval, gs::kDefaultICFInterval);
    return seconds < 1 ? gs::kDefaultICFInterval : seconds;
}

int WebServerPort(const TOptionsList& options)
{
    return options.ReadInteger(gs::kWebServerPort, gs::kDefaultWebServerPort);
}

} // namespace wardlark
