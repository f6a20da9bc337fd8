#pragma once

#include "config/unitNamedObject.h"
#include "reports/unitWeekSchedule.h"

#include <array>
#include <cstdint>
#include <string>

namespace wardlark
{

// Report periods in the order the editor offers them; kPreviousDaysPeriod is the last.
inline constexpr std::array<const char*, 9> kReportPeriods = {"Today",         "Yesterday",     "This Week",
                                                              "Previous Week", "This Month",    "Previous Month",
                                                              "This Year",     "Previous Year", "\"N\" Previous Days"};
inline constexpr const char* kPreviousDaysPeriod = "\"N\" Previous Days";

// A scheduled report: generated once on every date its recurrence matches, after its time of
// day, for a statistics period, zipped and saved to a folder and/or mailed.
//
// Streams after the base's ID and Name: Enabled (integer), Title (UTF-16), ArchiveName
// (8-bit), StartDate, Time (doubles), Recurrence, WeekDays, Months, DailyMode, MonthlyMode,
// DayOfMonth (integers), OrdinalWeekday (8-bit), EveryNDays, EveryNWeeks (integers), Period
// (8-bit), PreviousDays, SaveReport (integers), SaveFolder (8-bit), SendReport (integer),
// Recipients (8-bit), Subject, Message (UTF-16), LastRunDay, a reserved integer (integers),
// LastRunLog, a reserved 8-bit text. Flags are written as 0 or 1; any other stored number
// reads as set.
//
// Thread safety: none; the reports thread works on its own copies.
class TReport : public TNamedObject, public TRecurrence
{
public:
    bool Enabled = false;
    std::string Title;       // stored as UTF-16
    std::string ArchiveName; // without extension; may hold date macros
    double Time = 0;         // preferred time of day, fraction of a day
    std::string Period = "Today";
    int32_t PreviousDays = 1; // N of kPreviousDaysPeriod
    bool SaveReport = false;
    std::string SaveFolder;
    bool SendReport = false;
    std::string Recipients; // comma-separated
    std::string Subject;    // stored as UTF-16
    std::string Message;    // stored as UTF-16
    int32_t LastRunDay = 0; // day number of the last generation; 0 = never
    int32_t ReservedInteger = 0;
    std::string LastRunLog;
    std::string ReservedText;

    // True when the time of day of `t` has reached Time (milliseconds compared); false for a
    // Time that is not finite.
    bool IsActiveTime(TDateTime t) const;
    // Due for generation at the local date-time `now`: Enabled, IsActiveTime(now),
    // IsActiveDate(now), and LastRunDay differs from now's day number (so it runs once per
    // matching date, also when the clock repeats an hour).
    bool IsDue(TDateTime now) const;

    // "%s [%s] %s": start date "yyyy-mm-dd", time "hh:nn", RecurrenceText.
    std::string ScheduleText() const;
    // "<b>Start Date:</b> %s<br>", "<b>Time:</b> %s<br>" and "<b>Recurrence:</b> %s" joined by
    // CR LF; the recurrence text goes through WrapForHtml.
    std::string ScheduleHtml() const;
    // "Save to: " + SaveFolder when SaveReport and the trimmed folder is not empty; then
    // "Send to: " + Recipients (after "; " when text precedes) when SendReport and the trimmed
    // recipients are not empty; "" when neither.
    std::string DeliveryText() const;
    // The same with "<b>Save To:</b> ", "<br><b>Send To:</b> " / "<b>Send To:</b> "; the
    // folder and recipients are HTML-escaped.
    std::string DeliveryHtml() const;
    // Period with "\"N\"" replaced by PreviousDays ("7 Previous Days").
    std::string PeriodText() const;

    // Every field to a new report's values (no identity).
    void Clear() override;
    // Copies everything when `other` is a TReport, else only the base fields.
    void Assign(const TNamedObject& other) override;
    int64_t StreamSize() const override;
    void SaveToStream(TStream& stream) const override;
    // Throws EStreamError (see unitDataStreaming.h) for a short or mistyped record.
    void LoadFromStream(TStream& stream) override;
};

// The scheduled reports of the project, stored in "reports.dat".
//
// Thread safety: none; the main thread owns the list and the reports thread gets copies
// (AssignFrom on a list of its own).
class TReportList : public TNamedObjectList
{
public:
    using TNamedObjectList::TNamedObjectList;

    // The report at `index`, or nullptr when out of range.
    TReport* Report(int index) const;
    // The first report in list order that IsDue at `now`, or nullptr.
    TReport* FirstDue(TDateTime now) const;
    // Replaces the records with copies of `source`'s (notifying this list's subscribers as
    // Clear and Add do). The copies' Owner is this list.
    void AssignFrom(const TReportList& source);

protected:
    std::unique_ptr<TNamedObject> CreateItem() const override;
};

} // namespace wardlark
