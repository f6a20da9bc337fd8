#pragma once

#include "config/unitNamedObject.h"
#include "reports/unitWeekSchedule.h"

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace wardlark
{

// A scheduled maintenance window: on every date its recurrence matches, from StartTime to
// EndTime (times of day), the checks of its monitors are suspended.
//
// Streams after the base's ID and Name: Title (UTF-16), StartDate, StartTime, EndTime
// (doubles), Recurrence, WeekDays, Months, DailyMode, MonthlyMode, DayOfMonth (integers),
// OrdinalWeekday (8-bit), EveryNDays, EveryNWeeks (integers), Monitors (8-bit, one UIN per
// line, CR LF), a reserved 8-bit text. The display flags FullCover and PartialCover are not
// stored.
//
// Thread safety: none; the program keeps its windows on the main thread.
class TMaintenance : public TNamedObject, public TRecurrence
{
public:
    std::string Title;         // display name; empty shows ScheduleText instead
    double StartTime = 0;      // time of day, fraction of a day
    double EndTime = 0;        // time of day, fraction of a day
    std::string Reserved;      // kept and written back as read
    bool FullCover = false;    // the window covers every monitor the main window shows
    bool PartialCover = false; // it covers at least one of them

    // The Monitors text as set or read (returned unchanged by SaveToStream).
    const std::string& Monitors() const { return monitors_; }
    // Replaces the Monitors text as it is.
    void SetMonitors(std::string text);
    // Replaces the Monitors text with `uins` sorted, without duplicates and empty entries,
    // joined by CR LF (the form the editor writes).
    void SetMonitorList(std::vector<std::string> uins);
    // The UINs of the Monitors text: lines split at CR and LF, blanks trimmed, empty lines
    // dropped, sorted, no duplicates.
    const std::vector<std::string>& MonitorList() const { return monitorList_; }
    // True when `uin` is one of MonitorList (exact, case-sensitive comparison).
    bool HasMonitor(const std::string& uin) const;

    // True when the time of day of `t` lies in StartTime .. EndTime + 1 second (milliseconds
    // compared). A window whose end lies before its start never matches; so does one whose
    // times are not finite.
    bool IsActiveTime(TDateTime t) const;
    // IsActiveDate and IsActiveTime of the same local date-time, split once.
    bool IsActiveAt(TDateTime t) const;

    // "%s [%s - %s] %s": start date "yyyy-mm-dd", start and end time "hh:nn", RecurrenceText.
    std::string ScheduleText() const;
    // "<b>Start Date:</b> %s<br>", "<b>Start Time:</b> %s<br>", "<b>End Time:</b> %s<br>" and
    // "<b>Recurrence:</b> %s" joined by CR LF; the recurrence text goes through WrapForHtml.
    std::string ScheduleHtml() const;
    // Title, or ScheduleText when Title is empty.
    std::string DisplayName() const;

    // Every field to a new window's values (no identity, no monitors).
    void Clear() override;
    // Copies everything (display flags included) when `other` is a TMaintenance, else only
    // the base fields.
    void Assign(const TNamedObject& other) override;
    int64_t StreamSize() const override;
    void SaveToStream(TStream& stream) const override;
    // Throws EStreamError (see unitDataStreaming.h) for a short or mistyped record.
    void LoadFromStream(TStream& stream) override;

private:
    std::string monitors_;
    std::vector<std::string> monitorList_;
};

// The maintenance windows of the project, stored in "maintenances.dat".
//
// Besides the list operations it answers "which window suspends this monitor now" cheaply:
// an index from UIN to the windows that list it is built on the first query after a change
// and kept until the next change, so a query costs a hash look-up and the date and time
// tests of the (few) windows of that monitor. The index follows the list's own change
// notifications (the list subscribes to itself on construction, first in line) and every
// SetMonitors / SetMonitorList / LoadFromStream / Assign / Clear of any TMaintenance.
// Changes to dates and times need no notification: they are read at each query.
//
// Thread safety: none; the main thread alone uses the list (the index is rebuilt inside
// const queries).
class TMaintenanceList : public TNamedObjectList
{
public:
    explicit TMaintenanceList(bool checksum = false);

    // The window at `index`, or nullptr when out of range.
    TMaintenance* Maintenance(int index) const;

    // The first window in list order that lists `uin` and is active at the local date-time
    // `t` (IsActiveAt), or nullptr when none is.
    TMaintenance* FindActive(const std::string& uin, TDateTime t) const;
    bool IsInMaintenance(const std::string& uin, TDateTime t) const { return FindActive(uin, t) != nullptr; }
    // Every window active at `t`, in list order.
    std::vector<TMaintenance*> ActiveAt(TDateTime t) const;

    // Drops every subscriber but the list's own (which keeps the index current).
    void UnsubscribeAll();

protected:
    std::unique_ptr<TNamedObject> CreateItem() const override;

private:
    void SubscribeSelf();
    void RebuildIndex() const;

    // UIN -> positions of the windows that list it, ascending.
    mutable std::unordered_map<std::string, std::vector<int>> index_;
    mutable bool indexValid_ = false;
    mutable int indexedCount_ = 0;
    mutable uint64_t indexedGeneration_ = 0;
};

} // namespace wardlark
