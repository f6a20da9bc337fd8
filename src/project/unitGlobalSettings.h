#pragma once

#include "config/unitOptionsList.h"

#include <string>
#include <string_view>

namespace wardlark
{

// Keys of the global settings ("config.dat"), with the values readers use when a key is
// missing. Keys are compared without regard to case.
namespace gs
{
inline constexpr std::string_view kSkin = "Skin";
inline constexpr std::string_view kIconsSet = "IconsSet";
inline constexpr std::string_view kShowHints = "Show Hints";
inline constexpr std::string_view kCloseToTray = "Close To Tray";
inline constexpr std::string_view kDisableSkins = "DisableSkins";
inline constexpr std::string_view kShowFiltersPanel = "ShowFiltersPanel";
inline constexpr std::string_view kExtendedBorders = "ExtendedBorders";
inline constexpr std::string_view kMinimizeOnStartup = "Minimize On Startup";
inline constexpr std::string_view kQuickHide = "QuickHide";
inline constexpr std::string_view kFormLayout = "Form Layout";
inline constexpr std::string_view kTreeLayout = "Tree Layout";
inline constexpr std::string_view kRepoLayout = "Repo Layout";
inline constexpr std::string_view kCtrlLayout = "Ctrl Layout";
inline constexpr std::string_view kClientHeight = "CleintHeight";
inline constexpr std::string_view kClientWidth = "CleintWidth";
inline constexpr std::string_view kSummaryReportDir = "Summary Report Dir";
inline constexpr std::string_view kUseProxy = "UseProxy";
inline constexpr std::string_view kProxyHost = "ProxyHost";
inline constexpr std::string_view kProxyPort = "ProxyPort";
inline constexpr std::string_view kProxyUser = "ProxyUser";
inline constexpr std::string_view kProxyPass = "ProxyPass"; // scrambled
inline constexpr std::string_view kUpServers = "UpServers";
inline constexpr std::string_view kICFOverride = "ICFOverride";
inline constexpr std::string_view kICFInterval = "ICFInterval"; // seconds
inline constexpr std::string_view kICFAlerts = "ICFAlerts";
inline constexpr std::string_view kSoundDefault = "Sound_Default";
inline constexpr std::string_view kSMTPHost = "SMTPHost";
inline constexpr std::string_view kSMTPPort = "SMTPPort";
inline constexpr std::string_view kSMTPUser = "SMTPUser";
inline constexpr std::string_view kSMTPPass = "SMTPPass"; // scrambled
inline constexpr std::string_view kSMTPSSL = "SMTPSSL";
inline constexpr std::string_view kShortMessage = "Short Message";
inline constexpr std::string_view kRecipient = "Recipient";
inline constexpr std::string_view kSender = "Sender";
inline constexpr std::string_view kLaunchOnFailure = "LOF";
inline constexpr std::string_view kLaunchOnFailureFilename = "LOF Filename";
inline constexpr std::string_view kLaunchOnRestore = "LOR";
inline constexpr std::string_view kLaunchOnRestoreFilename = "LOR Filename";
inline constexpr std::string_view kEnableLogging = "Enable Logging";
inline constexpr std::string_view kLogFilename = "Log Filename";
inline constexpr std::string_view kFailureLogTemplate = "Failure Log Template";
inline constexpr std::string_view kSuccessLogTemplate = "Success Log Template";
inline constexpr std::string_view kLogOnlyRestores = "Log Only Restores";
inline constexpr std::string_view kWebServer = "WebServer";
inline constexpr std::string_view kWebServerPort = "WebServer Port";
inline constexpr std::string_view kStatisReports = "StatisReports";
inline constexpr std::string_view kStatisReportsFolder = "StatisReports Folder";
inline constexpr std::string_view kStatisReportsInterval = "StatisReports Interval"; // seconds
inline constexpr std::string_view kCheckForUpdates = "Check For Updates";
inline constexpr std::string_view kOnUpdateAction = "On Update Action";
inline constexpr std::string_view kUpdateOptional = "Update Optional";

inline constexpr int kDefaultICFInterval = 60;
inline constexpr int kDefaultWebServerPort = 50080;
inline constexpr int kDefaultStatisReportsInterval = 600;
inline constexpr std::string_view kDefaultCtrlLayout = "350|220";
} // namespace gs

// The process-wide settings list. It belongs to the main thread; other threads get copies.
TOptionsList& GlobalOptions();

// Loads `dataFolder` + "config.dat" into GlobalOptions(): the list is cleared, the file read
// (20 attempts, 50 ms apart) and checked against its ".crc" companion; on a mismatch the
// ".bkp" copy is loaded instead. Then the keys set at load ("Skin", "IconsSet",
// "Show Hints", "Close To Tray", "DisableSkins", "ShowFiltersPanel", "Check For Updates")
// are written with their defaults when missing or empty. Errors record a keypoint and keep
// what was loaded. Main thread only.
void LoadGlobalSettings(const std::string& dataFolder);
// The same on any list, for tests and tools.
void LoadSettingsFile(TOptionsList& options, const std::string& path);

// Writes GlobalOptions() to `dataFolder` + "config.dat" with its ".crc" and ".bkp"
// companions (each file replaced whole). Returns true when all three were written; errors
// record a keypoint. Main thread only.
bool SaveGlobalSettings(const std::string& dataFolder);
bool SaveSettingsFile(const TOptionsList& options, const std::string& path);

// The recheck interval after failures in seconds: "ICFInterval", or 60 when it is missing,
// not a number or below 1.
int ICFIntervalSeconds(const TOptionsList& options);
// "WebServer Port", or 50080 when missing or not a number.
int WebServerPort(const TOptionsList& options);

} // namespace wardlark
