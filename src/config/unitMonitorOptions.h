#pragma once

#include <string_view>

namespace wardlark
{

// The keys of a monitor's option lists and the values a reader uses when a key is missing
// or not a number. Each monitor holds the list of its own type and the general list.
namespace mo
{

// Every type's list.
inline constexpr std::string_view kCheckInet = "CheckInet";

// Targets and logins.
inline constexpr std::string_view kHost = "Host";
inline constexpr std::string_view kPort = "Port";
inline constexpr std::string_view kUser = "User";
inline constexpr std::string_view kPass = "Pass"; // scrambled
inline constexpr std::string_view kUseSSL = "UseSSL";

// Ping.
inline constexpr std::string_view kPacketSize = "PacketSize";
inline constexpr int kDefaultPacketSize = 32;
inline constexpr std::string_view kAttemptsCount = "AttemptsCount";
inline constexpr int kDefaultAttemptsCount = 1;

// HTTP.
inline constexpr std::string_view kURL = "URL";
inline constexpr std::string_view kRequestType = "RequestType";   // "GET", "POST" or "HEAD"
inline constexpr std::string_view kPostDataMode = "PostDataMode"; // "File" or empty (text)
inline constexpr std::string_view kPostDataText = "PostDataText";
inline constexpr std::string_view kPostDataFile = "PostDataFile";
inline constexpr std::string_view kProxyMode = "ProxyMode"; // "Custom" or empty (global proxy)
inline constexpr std::string_view kProxyHost = "ProxyHost";
inline constexpr std::string_view kProxyPort = "ProxyPort";
inline constexpr int kDefaultProxyPort = 3128;
inline constexpr std::string_view kProxyUser = "ProxyUser";
inline constexpr std::string_view kProxyPass = "ProxyPass"; // scrambled
inline constexpr std::string_view kAllowRedirects = "AllowRedirects";
inline constexpr std::string_view kMaxRedirectsCount = "MaxRedirectsCount";
inline constexpr int kDefaultMaxRedirectsCount = 1;
inline constexpr std::string_view kCheckFinalURL = "CheckFinalURL";
inline constexpr std::string_view kFinalRedirectedURL = "FinalRedirectedURL";

// FTP and SFTP.
inline constexpr std::string_view kPassiveMode = "PassiveMode";
inline constexpr std::string_view kAction = "Action"; // "Download" or empty
inline constexpr std::string_view kServerFile = "ServerFile";

// SMTP.
inline constexpr std::string_view kSendMail = "SendMail";
inline constexpr std::string_view kRecipient = "Recipient";
inline constexpr std::string_view kSender = "Sender";

// Telnet and SSH.
inline constexpr std::string_view kUseSSH = "UseSSH";
inline constexpr std::string_view kExecuteScript = "ExecuteScript";
inline constexpr std::string_view kScriptText = "ScriptText";

// Console.
inline constexpr std::string_view kCommandLine = "CommandLine";
inline constexpr std::string_view kCurrentDir = "CurrentDir";

// Agent.
inline constexpr std::string_view kExpression = "Expression";

// Content keys (HTTP, FTP, Telnet, SFTP, console).
inline constexpr std::string_view kContentFilter = "ContentFilter";
inline constexpr std::string_view kSaveContent = "SaveContent";
inline constexpr std::string_view kContentFilename = "ContentFilename";
inline constexpr std::string_view kParsingTemplate = "ParsingTemplate";
inline constexpr std::string_view kSuccessCriteria = "SuccessCriteria";

// General list.
inline constexpr std::string_view kShowPopup = "ShowPopup";
inline constexpr std::string_view kPlaySound = "PlaySound";
inline constexpr std::string_view kSendEmail = "SendEmail";
inline constexpr std::string_view kLaunchApp = "LaunchApp";
inline constexpr std::string_view kConsequentFailures = "ConsequentFailures";
inline constexpr int kDefaultConsequentFailures = 1;
inline constexpr std::string_view kRepeatAlerts = "RepeatAlerts";
inline constexpr std::string_view kRepeatInterval = "RepeatInterval"; // seconds
inline constexpr int kDefaultRepeatInterval = 600;
inline constexpr std::string_view kOverrideLogging = "OverrideLogging";
inline constexpr std::string_view kEnableLogging = "EnableLogging";
inline constexpr std::string_view kOverrideLogFilename = "OverrideLogFilename";
inline constexpr std::string_view kLogFilename = "LogFilename";
inline constexpr std::string_view kOverrideFailureTml = "OverrideFailureTml";
inline constexpr std::string_view kFailureTml = "FailureTml";
inline constexpr std::string_view kOverrideSuccessTml = "OverrideSuccessTml";
inline constexpr std::string_view kSuccessTml = "SuccessTml";
inline constexpr std::string_view kLogOnlyRestores = "LogOnlyRestores";
inline constexpr std::string_view kOverrideSound = "OverrideSound";
inline constexpr std::string_view kSound = "Sound";
inline constexpr std::string_view kOverrideSMTPServer = "OverrideSMTPServer";
inline constexpr std::string_view kSMTPHost = "SMTPHost";
inline constexpr std::string_view kSMTPPort = "SMTPPort";
inline constexpr std::string_view kSMTPUser = "SMTPUser";
inline constexpr std::string_view kSMTPPass = "SMTPPass"; // scrambled
inline constexpr std::string_view kSMTPSSL = "SMTPSSL";
inline constexpr std::string_view kShortMessage = "Short Message";
inline constexpr std::string_view kOverrideSender = "OverrideSender";
inline constexpr std::string_view kOverrideRecipient = "OverrideRecipient";
inline constexpr std::string_view kOverrideLaunch = "OverrideLaunch";
inline constexpr std::string_view kLaunchOnFailure = "LOF";
inline constexpr std::string_view kLaunchOnFailureFilename = "LOF Filename";
inline constexpr std::string_view kLaunchOnRestore = "LOR";
inline constexpr std::string_view kLaunchOnRestoreFilename = "LOR Filename";

// The port a reader uses when "Port" is missing: 80 HTTP, 21 FTP, 110 POP3, 143 IMAP, 25
// SMTP, 23 Telnet, 22 SFTP, 1 custom TCP, 53280 agent; -1 for types without a port.
int DefaultPort(int monitorType);

} // namespace mo
} // namespace wardlark
