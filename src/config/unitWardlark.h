#pragma once

#include "config/unitNamedObject.h"
#include "config/unitOptionsList.h"

#include <array>
#include <cstdint>
#include <string>

namespace wardlark
{

// Monitor types; the same numbering is used in statistics and templates.
enum TMonitorType : int32_t
{
    mtPing = 0,
    mtHTTP = 1,
    mtFTP = 2,
    mtPOP3 = 3,
    mtIMAP = 4,
    mtSMTP = 5,
    mtTelnet = 6,
    mtSFTP = 7,
    mtCustom = 8,
    mtConsole = 9,
    mtAgent = 10,
};
inline constexpr int kMonitorTypeCount = 11;

// Outcome of a monitor's last check.
enum TMonitorStatus : int32_t
{
    msNotChecked = 0,
    msOK = 1,
    msConfigError = 2, // also the initial value while a check runs
    msFailure = 3,
    msInetFailure = 4,      // put down to a local outage, alerts enabled
    msInetFailureQuiet = 5, // as 4, alerts disabled
    msMaintenance = 6,      // suspended by scheduled maintenance
};

// Texts of a monitor type: the main window's add-menu caption, the log variable
// "MonitorType", the template "Protocol" and the template summary flag. Unknown types give
// "", "Unknown", "Unknown" and "".
std::string MonitorTypeCaption(int type);
std::string MonitorTypeLogName(int type);
std::string MonitorTypeProtocol(int type);
std::string MonitorTypeSummaryFlag(int type);
// The log "Status" text of a status code ("" for 6 and unknown codes).
std::string MonitorStatusText(int status);

// A new monitor identity (UIN) from today's date and a random number: the year modulo 1000
// as at least 3 hexadecimal digits, the month as at least 1, the day as at least 2, and a
// random number in 0..FFFFE as at least 4; upper case, 10 or 11 characters.
std::string NewMonitorUIN();
// The monitor ID of a UIN: its CRC-32 taken as a signed 32-bit integer.
int32_t MonitorIDOf(const std::string& uin);

// One monitor. Streams as 45 typed values: ID and Name (the UIN), then the fields below in
// declaration order (reserved fields are kept and written back unchanged).
//
// Thread safety: none; the main thread alone writes a monitor of the project's list, and a
// worker checks its own copy.
class TWardlark : public TNamedObject
{
public:
    TWardlark();

    // --- configuration ---
    int32_t Type = mtPing;
    int32_t Enabled = 1;
    // --- status (InProgress, then AlertState .. Status below) ---
    int32_t InProgress = 0;
    // --- configuration ---
    std::string DisplayName; // stored as UTF-16
    std::string Description; // stored as UTF-16
    std::string Reserved1;
    std::string DisplayHost;
    int32_t DisplayPort = -1;
    std::string DisplayAddress;
    int32_t Interval = 600000; // milliseconds
    int32_t Timeout = 30000;   // milliseconds
    double ReservedDouble = 0;
    std::array<int32_t, 5> ReservedIntegers{};
    // --- status ---
    int32_t AlertState = 0;
    uint32_t LastCheckTick = 0; // tick count when the last check ended; 0 = never
    std::string LastCheckLog;
    int32_t ResponseTime = -1; // milliseconds; -1 = none
    std::string Reason;
    int32_t Status = msNotChecked;
    // --- configuration ---
    std::array<std::string, kMonitorTypeCount> TypeOptions; // option text per type
    std::array<std::string, 8> SpareOptions;
    std::string GeneralOptions;

    // Resets every field to a new monitor's values (no identity).
    void Clear() override;
    // Copies everything when `other` is a TWardlark, else only the base fields.
    void Assign(const TNamedObject& other) override;
    int64_t StreamSize() const override;
    void SaveToStream(TStream& stream) const override;
    void LoadFromStream(TStream& stream) override;

    // Identity, type, enabled flag, names, display fields, interval, time-out, reserved
    // fields and all twenty option texts; none of the status fields.
    void CopyConfiguration(const TWardlark& other);
    // InProgress 0, AlertState 0, LastCheckTick 0, log empty, ResponseTime -1, Reason empty,
    // Status 0.
    void ResetStatus();
    // InProgress, AlertState, LastCheckTick, log, ResponseTime, Reason and Status.
    void CopyStatus(const TWardlark& other);

    // Gives the monitor a new UIN (Name) and the matching ID.
    void AssignNewIdentity();

    // The option list of the monitor's own type, and of the general options.
    TOptionsList TypeOptionList() const;
    void SetTypeOptionList(const TOptionsList& options);
    TOptionsList GeneralOptionList() const;
    void SetGeneralOptionList(const TOptionsList& options);
};

// The monitor list; its records are TWardlark.
class TWardlarkList : public TNamedObjectList
{
public:
    using TNamedObjectList::TNamedObjectList;

    TWardlark* Monitor(int index) const { return static_cast<TWardlark*>(Item(index)); }
    // Reads monitors without the load brackets (no flags, update counting or codes 11/12).
    int LoadFromStream(TStream& stream, int count = -1) override;

protected:
    std::unique_ptr<TNamedObject> CreateItem() const override;
};

} // namespace wardlark
