#pragma once

#include "support/unitDateRoutines.h"

#include <array>
#include <cstdint>
#include <string>

namespace wardlark
{

// The recurrence model that maintenance windows and scheduled reports share: a start date
// and a rule that says on which dates the item applies (once, daily, weekly, monthly), with
// the date test and the one-line description shown for schedules.
//
// Days are whole date serials (days since 1899-12-30); weekdays are numbered 1 Monday ..
// 7 Sunday, months 1 .. 12. All values are local wall-clock dates and times, so a schedule
// follows the clock the user sees, across daylight-saving changes too.

// Recurrence values.
enum TRecurrenceKind : int32_t
{
    rcOneTime = 0,
    rcDaily = 1,
    rcWeekly = 2,
    rcMonthly = 3,
};

// DailyMode values.
enum TDailyMode : int32_t
{
    dmEveryDay = 0,
    dmWeekends = 1,
    dmEveryNDays = 2,
};

// MonthlyMode values.
enum TMonthlyMode : int32_t
{
    mmDayOfMonth = 0,
    mmOrdinalWeekday = 1,
};

// DayOfMonth value that stands for the last day of the month.
inline constexpr int32_t kLastDayOfMonth = 32;

// The bits of all valid weekdays (1 .. 7) and months (1 .. 12) in WeekDays and Months.
inline constexpr int32_t kAllWeekDays = 0xFE;
inline constexpr int32_t kAllMonths = 0x1FFE;

// Index 0 is weekday 1 (Monday) / month 1 (January).
inline constexpr std::array<const char*, 7> kWeekDayNames = {"Monday", "Tuesday",  "Wednesday", "Thursday",
                                                             "Friday", "Saturday", "Sunday"};
inline constexpr std::array<const char*, 12> kMonthNames = {"January",   "February", "March",    "April",
                                                            "May",       "June",     "July",     "August",
                                                            "September", "October",  "November", "December"};

// Editor messages for a rule that cannot match any date.
inline constexpr const char* kSelectWeekDaysMessage = "Please select the days of the week";
inline constexpr const char* kSelectMonthsMessage = "Please select the months";

// Splits a local date-time into its whole day and its time of day in milliseconds (rounded
// to the nearest millisecond, 0 .. 86399999; a value within half a millisecond of midnight
// belongs to the next day). Returns false, leaving the outputs unchanged, for NaN, infinities
// and values outside the years 1 .. 9999.
bool SplitDateTime(TDateTime t, int32_t& day, int32_t& msOfDay);

// The whole day of `t` (as SplitDateTime), or 0 when `t` is not a usable date.
int32_t DayNumber(TDateTime t);

// Weekday of a day number: 1 Monday .. 7 Sunday.
int WeekDayOf(int32_t day);

// "yyyy-mm-dd" of the day of `t` and "hh:nn" of a time of day given as a fraction of a day
// (only the fraction counts). A value that is not a usable date gives the text of day 0 /
// of midnight.
std::string ShortDateText(TDateTime t);
std::string TimeOfDayText(double timeOfDay);

// `text` word-wrapped at 45 characters (breaking after a blank, a hyphen or a tab) with every
// line break turned into "<br>", as the HTML schedule descriptions show it.
std::string WrapForHtml(const std::string& text);

// A recurrence rule. Plain data: copyable, no invariants enforced (values come from files and
// are checked where they are used: an unknown recurrence or mode, or a count below 1, never
// matches).
//
// Thread safety: const members may run on several threads at once; changing a rule needs
// exclusive access.
class TRecurrence
{
public:
    double StartDate = 0;               // first date (whole days count)
    int32_t Recurrence = rcOneTime;     // TRecurrenceKind
    int32_t WeekDays = 0;               // bit d set for weekday d (weekly rule)
    int32_t Months = 0;                 // bit m set for month m (monthly rule)
    int32_t DailyMode = dmEveryDay;     // TDailyMode
    int32_t MonthlyMode = mmDayOfMonth; // TMonthlyMode
    int32_t DayOfMonth = 1;             // 1 .. 31, or kLastDayOfMonth
    std::string OrdinalWeekday = "1.1"; // "o.w": o 1 .. 5 first .. fifth, 0 last; w weekday
    int32_t EveryNDays = 1;             // daily mode dmEveryNDays
    int32_t EveryNWeeks = 1;            // weekly rule

    // True when the rule applies to the whole day of `date`: never before StartDate; once on
    // StartDate; daily every day, on Saturdays and Sundays, or every EveryNDays days from
    // StartDate; weekly on the WeekDays of every EveryNWeeks-th week counted from StartDate's
    // week (weeks run Saturday to Friday: week index = day number div 7); monthly in Months on
    // DayOfMonth (kLastDayOfMonth: the month's last day; a day beyond the month's length never
    // matches) or on the ordinal weekday (ParseDateSpec of OrdinalWeekday + "." + month).
    // False for an unusable date, an unknown recurrence or mode, and a count below 1.
    bool IsActiveDate(TDateTime date) const;

    // "One time only", "Every day", "Weekends", "Every 3 days", "Monday, Friday (every 2
    // weeks)", "Day 5 of January, March", "The last day of April", "The last Friday of May",
    // "The first Monday of January"; "" for an unknown recurrence or mode.
    std::string RecurrenceText() const;

    // "" when the rule can match, else the editor's message: kSelectWeekDaysMessage for a
    // weekly rule without weekdays, kSelectMonthsMessage for a monthly rule without months.
    std::string ValidationMessage() const;
};

} // namespace wardlark
