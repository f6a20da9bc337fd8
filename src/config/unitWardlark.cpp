#include "config/unitWardlark.h"

#include "config/unitDataStreaming.h"
#include "support/unitCrc32.h"

#include <cstdio>
#include <ctime>
#include <random>

namespace wardlark
{

namespace
{

struct TTypeTexts
{
    const char* caption;
    const char* logName;
    const char* protocol;
    const char* summaryFlag;
};

constexpr TTypeTexts kTypeTexts[kMonitorTypeCount] = {
    {"Add Ping Monitor", "ICMP", "ICMP", "PingSummary"},
    {"Add HTTP Monitor", "HTTP", "HTTP", "HTTPSummary"},
    {"Add FTP Monitor", "FTP", "FTP", "FTPSummary"},
    {"Add POP3 Monitor", "POP3", "POP3", "POPSummary"},
    {"Add IMAP Monitor", "IMAP", "IMAP", "IMAPSummary"},
    {"Add SMTP Monitor", "SMTP", "SMTP", "SMTPSummary"},
    {"Add Telnet Monitor", "Telnet", "Telnet", "TelnetSummary"},
    {"Add SFTP Monitor", "SFTP", "SFTP", "SFTPSummary"},
    {"Add Custom Monitor", "TCP", "Custom", "CustomSummary"},
    {"Add Console Monitor", "Console", "Console", "ConsoleSummary"},
    {"Add Agent Monitor", "Agent", "Agent", "AgentSummary"},
};

const TTypeTexts* TextsOf(int type)
{
    return type >= 0 && type < kMonitorTypeCount ? &kTypeTexts[type] : nullptr;
}

} // namespace

std::string MonitorTypeCaption(int type)
{
    const TTypeTexts* texts = TextsOf(type);
    return texts != nullptr ? texts->caption : "";
}

std::string MonitorTypeLogName(int type)
{
    const TTypeTexts* texts = TextsOf(type);
    return texts != nullptr ? texts->logName : "Unknown";
}

std::string MonitorTypeProtocol(int type)
{
    const TTypeTexts* texts = TextsOf(type);
    return texts != nullptr ? texts->protocol : "Unknown";
}

std::string MonitorTypeSummaryFlag(int type)
{
    const TTypeTexts* texts = TextsOf(type);
    return texts != nullptr ? texts->summaryFlag : "";
}

std::string MonitorStatusText(int status)
{
    switch (status)
    {
    case msNotChecked:
        return "Not checked yet";
    case msOK:
        return "OK";
    case msConfigError:
        return "Configuration error";
    case msFailure:
        return "Failure";
    case msInetFailure:
    case msInetFailureQuiet:
        return "Internet connection failure";
    default:
        return "";
    }
}

std::string NewMonitorUIN()
{
    thread_local std::mt19937 random{std::random_device{}()};
    std::uniform_int_distribution<unsigned> pick(0, 0xFFFFE);
    const time_t now = time(nullptr);
    tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::snprintf(text, sizeof text, "%03X%X%02X%04X", static_cast<unsigned>((local.tm_year + 1900) % 1000),
                  static_cast<unsigned>(local.tm_mon + 1), static_cast<unsigned>(local.tm_mday), pick(random));
    return text;
}

int32_t MonitorIDOf(const std::string& uin)
{
    return static_cast<int32_t>(Crc32(uin));
}

// --- TWardlark -----------------------------------------------------------------------------

TWardlark::TWardlark() = default;

void TWardlark::Clear()
{
    TNamedObject::Clear();
    Type = mtPing;
    Enabled = 1;
    DisplayName.clear();
    Description.clear();
    Reserved1.clear();
    DisplayHost.clear();
    DisplayPort = -1;
    DisplayAddress.clear();
    Interval = 600000;
    Timeout = 30000;
    ReservedDouble = 0;
    ReservedIntegers = {};
    for (auto& text : TypeOptions)
        text.clear();
    for (auto& text : SpareOptions)
        text.clear();
    GeneralOptions.clear();
    ResetStatus();
}

void TWardlark::Assign(const TNamedObject& other)
{
    TNamedObject::Assign(other);
    if (const auto* monitor = dynamic_cast<const TWardlark*>(&other))
    {
        CopyConfiguration(*monitor);
        CopyStatus(*monitor);
    }
}

void TWardlark::CopyConfiguration(const TWardlark& other)
{
    ID = other.ID;
    Name = other.Name;
    Tag = other.Tag;
    Type = other.Type;
    Enabled = other.Enabled;
    DisplayName = other.DisplayName;
    Description = other.Description;
    Reserved1 = other.Reserved1;
    DisplayHost = other.DisplayHost;
    DisplayPort = other.DisplayPort;
    DisplayAddress = other.DisplayAddress;
    Interval = other.Interval;
    Timeout = other.Timeout;
    ReservedDouble = other.ReservedDouble;
    ReservedIntegers = other.ReservedIntegers;
    TypeOptions = other.TypeOptions;
    SpareOptions = other.SpareOptions;
    GeneralOptions = other.GeneralOptions;
}

void TWardlark::ResetStatus()
{
    InProgress = 0;
    AlertState = 0;
    LastCheckTick = 0;
    LastCheckLog.clear();
    ResponseTime = -1;
    Reason.clear();
    Status = msNotChecked;
}

void TWardlark::CopyStatus(const TWardlark& other)
{
    InProgress = other.InProgress;
    AlertState = other.AlertState;
    LastCheckTick = other.LastCheckTick;
    LastCheckLog = other.LastCheckLog;
    ResponseTime = other.ResponseTime;
    Reason = other.Reason;
    Status = other.Status;
}

void TWardlark::AssignNewIdentity()
{
    Name = NewMonitorUIN();
    ID = MonitorIDOf(Name);
}

int64_t TWardlark::StreamSize() const
{
    int64_t size = TNamedObject::StreamSize();
    size += 16 * kTypedIntegerSize - kTypedIntegerSize; // 15 integers here, ID in the base
    size += kTypedDoubleSize;
    size += TypedWideStringSize(DisplayName) + TypedWideStringSize(Description);
    for (const std::string* text : {&Reserved1, &DisplayHost, &DisplayAddress, &LastCheckLog, &Reason, &GeneralOptions})
        size += TypedStringSize(*text);
    for (const auto& text : TypeOptions)
        size += TypedStringSize(text);
    for (const auto& text : SpareOptions)
        size += TypedStringSize(text);
    return size;
}

void TWardlark::SaveToStream(TStream& stream) const
{
    TNamedObject::SaveToStream(stream);
    WriteTypedInteger(stream, Type);
    WriteTypedInteger(stream, Enabled);
    WriteTypedInteger(stream, InProgress);
    WriteTypedWideString(stream, DisplayName);
    WriteTypedWideString(stream, Description);
    WriteTypedString(stream, Reserved1);
    WriteTypedString(stream, DisplayHost);
    WriteTypedInteger(stream, DisplayPort);
    WriteTypedString(stream, DisplayAddress);
    WriteTypedInteger(stream, Interval);
    WriteTypedInteger(stream, Timeout);
    WriteTypedDouble(stream, ReservedDouble);
    for (const int32_t value : ReservedIntegers)
        WriteTypedInteger(stream, value);
    WriteTypedInteger(stream, AlertState);
    WriteTypedInteger(stream, static_cast<int32_t>(LastCheckTick));
    WriteTypedString(stream, LastCheckLog);
    WriteTypedInteger(stream, ResponseTime);
    WriteTypedString(stream, Reason);
    WriteTypedInteger(stream, Status);
    for (const auto& text : TypeOptions)
        WriteTypedString(stream, text);
    for (const auto& text : SpareOptions)
        WriteTypedString(stream, text);
    WriteTypedString(stream, GeneralOptions);
}

void TWardlark::LoadFromStream(TStream& stream)
{
    TNamedObject::LoadFromStream(stream);
    Type = ReadTypedInteger(stream);
    Enabled = ReadTypedInteger(stream);
    InProgress = ReadTypedInteger(stream);
    DisplayName = ReadTypedWideString(stream);
    Description = ReadTypedWideString(stream);
    Reserved1 = ReadTypedString(stream);
    DisplayHost = ReadTypedString(stream);
    DisplayPort = ReadTypedInteger(stream);
    DisplayAddress = ReadTypedString(stream);
    Interval = ReadTypedInteger(stream);
    Timeout = ReadTypedInteger(stream);
    ReservedDouble = ReadTypedDouble(stream);
    for (int32_t& value : ReservedIntegers)
        value = ReadTypedInteger(stream);
    AlertState = ReadTypedInteger(stream);
    LastCheckTick = static_cast<uint32_t>(ReadTypedInteger(stream));
    LastCheckLog = ReadTypedString(stream);
    ResponseTime = ReadTypedInteger(stream);
    Reason = ReadTypedString(stream);
    Status = ReadTypedInteger(stream);
    for (auto& text : TypeOptions)
        text = ReadTypedString(stream);
    for (auto& text : SpareOptions)
        text = ReadTypedString(stream);
    GeneralOptions = ReadTypedString(stream);
}

TOptionsList TWardlark::TypeOptionList() const
{
    TOptionsList options;
    if (Type >= 0 && Type < kMonitorTypeCount)
        options.SetText(TypeOptions[static_cast<size_t>(Type)]);
    return options;
}

void TWardlark::SetTypeOptionList(const TOptionsList& options)
{
    if (Type >= 0 && Type < kMonitorTypeCount)
        TypeOptions[static_cast<size_t>(Type)] = options.Text();
}

TOptionsList TWardlark::GeneralOptionList() const
{
    TOptionsList options;
    options.SetText(GeneralOptions);
    return options;
}

void TWardlark::SetGeneralOptionList(const TOptionsList& options)
{
    GeneralOptions = options.Text();
}

// --- TWardlarkList -------------------------------------------------------------------------

int TWardlarkList::LoadFromStream(TStream& stream, int count)
{
    return ReadRecords(stream, count);
}

std::unique_ptr<TNamedObject> TWardlarkList::CreateItem() const
{
    return std::make_unique<TWardlark>();
}

} // namespace wardlark
