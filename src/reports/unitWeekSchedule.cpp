#include "reports/unitWeekSchedule.h"

#include "reports/unitDateSpec.h"
#include "support/unitTextRoutines.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace wardlark
{

namespace
{

// Day numbers of 0001-01-01 and 9999-12-31.
constexpr double kFirstDay = -693593;
constexpr double kLastDay = 2958465;
constexpr int64_t kMsPerDay = 86400000;

// Floor division, so that week indexes stay 7 days wide before day 0 too.
int64_t FloorDiv(int64_t value, int64_t divisor)
{
    const int64_t quotient = value / divisor;
    return value % divisor != 0 && (value < 0) != (divisor < 0) ? quotient - 1 : quotient;
}

std::string JoinNames(int32_t bits, const char* const* names, int count)
{
    std::string text;
    for (int i = 0; i < count; ++i)
        if ((bits >> (i + 1)) & 1)
        {
            if (!text.empty())
                text += ", ";
            text += names[i];
        }
    return text;
}

std::string Format(const char* pattern, const std::string& a, const std::string& b = std::string())
{
    // The patterns hold at most two %s; the names they take are short.
    std::string text;
    const std::string_view view(pattern);
    int argument = 0;
    for (size_t i = 0; i < view.size(); ++i)
    {
        if (view[i] == '%' && i + 1 < view.size() && view[i + 1] == 's')
        {
            text += argument++ == 0 ? a : b;
            ++i;
        }
        else
            text += view[i];
    }
    return text;
}

bool MatchesMonthly(const TRecurrence& rule, int32_t day)
{
    const TDateParts parts = DecodeDateTime(day);
    if (((rule.Months >> parts.month) & 1) == 0)
        return false;
    switch (rule.MonthlyMode)
    {
    case mmDayOfMonth:
        if (rule.DayOfMonth == kLastDayOfMonth)
            return parts.day == DaysInMonth(parts.year, parts.month);
        return parts.day == rule.DayOfMonth;
    case mmOrdinalWeekday:
        return ParseDateSpec(rule.OrdinalWeekday + "." + std::to_string(parts.month), parts.year) == day;
    default:
        return false;
    }
}

} // namespace

bool SplitDateTime(TDateTime t, int32_t& day, int32_t& msOfDay)
{
    if (!std::isfinite(t) || t < kFirstDay - 1 || t > kLastDay + 1)
        return false;
    // Before day 0 the fraction counts away from zero: -1.25 is day -1 at 06:00.
    const double whole = std::trunc(t);
    int64_t wholeDay = static_cast<int64_t>(whole);
    int64_t ms = std::llround(std::fabs(t - whole) * static_cast<double>(kMsPerDay));
    if (ms >= kMsPerDay)
    {
        ms -= kMsPerDay;
        ++wholeDay;
    }
    if (static_cast<double>(wholeDay) < kFirstDay || static_cast<double>(wholeDay) > kLastDay)
        return false;
    day = static_cast<int32_t>(wholeDay);
    msOfDay = static_cast<int32_t>(ms);
    return true;
}

int32_t DayNumber(TDateTime t)
{
    int32_t day = 0;
    int32_t ms = 0;
    return SplitDateTime(t, day, ms) ? day : 0;
}

int WeekDayOf(int32_t day)
{
    // Day 0, 1899-12-30, was a Saturday (6).
    const int64_t index = ((static_cast<int64_t>(day) + 5) % 7 + 7) % 7;
    return static_cast<int>(index) + 1;
}

std::string ShortDateText(TDateTime t)
{
    return FormatDateTime("yyyy-mm-dd", DayNumber(t));
}

std::string TimeOfDayText(double timeOfDay)
{
    if (!std::isfinite(timeOfDay))
        return "00:00";
    // Milliseconds are rounded and minutes cut, as a clock shows them: 0.99999 is "23:59".
    const double fraction = std::fabs(timeOfDay - std::trunc(timeOfDay));
    const int64_t minutes = std::llround(fraction * static_cast<double>(kMsPerDay)) % kMsPerDay / 60000;
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%02d:%02d", static_cast<int>(minutes / 60), static_cast<int>(minutes % 60));
    return buffer;
}

std::string WrapForHtml(const std::string& text)
{
    return ReplaceAll(WrapText(text, 45, " -\t"), "\r\n", "<br>");
}

bool TRecurrence::IsActiveDate(TDateTime date) const
{
    int32_t day = 0;
    int32_t ms = 0;
    int32_t start = 0;
    if (!SplitDateTime(date, day, ms) || !SplitDateTime(std::trunc(StartDate), start, ms))
        return false;
    if (day < start)
        return false;
    switch (Recurrence)
    {
    case rcOneTime:
        return day == start;
    case rcDaily:
        switch (DailyMode)
        {
        case dmEveryDay:
            return true;
        case dmWeekends:
            return WeekDayOf(day) >= 6;
        case dmEveryNDays:
            return EveryNDays >= 1 && (static_cast<int64_t>(day) - start) % EveryNDays == 0;
        default:
            return false;
        }
    case rcWeekly:
        return EveryNWeeks >= 1 && (FloorDiv(day, 7) - FloorDiv(start, 7)) % EveryNWeeks == 0 &&
               ((WeekDays >> WeekDayOf(day)) & 1) != 0;
    case rcMonthly:
        return MatchesMonthly(*this, day);
    default:
        return false;
    }
}

std::string TRecurrence::RecurrenceText() const
{
    switch (Recurrence)
    {
    case rcOneTime:
        return "One time only";
    case rcDaily:
        switch (DailyMode)
        {
        case dmEveryDay:
            return "Every day";
        case dmWeekends:
            return "Weekends";
        case dmEveryNDays:
            return "Every " + std::to_string(EveryNDays) + " days";
        default:
            return std::string();
        }
    case rcWeekly:
    {
        std::string text = JoinNames(WeekDays, kWeekDayNames.data(), 7);
        if (EveryNWeeks > 1)
            text += " (every " + std::to_string(EveryNWeeks) + " weeks)";
        return text;
    }
    case rcMonthly:
    {
        const std::string months = JoinNames(Months, kMonthNames.data(), 12);
        if (MonthlyMode == mmDayOfMonth)
            return DayOfMonth < kLastDayOfMonth ? "Day " + std::to_string(DayOfMonth) + " of " + months
                                                : "The last day of " + months;
        if (MonthlyMode != mmOrdinalWeekday)
            return std::string();
        auto numberOr1 = [](const std::string& field)
        {
            char* end = nullptr;
            const long value = std::strtol(field.c_str(), &end, 10);
            return field.empty() || *end != '\0' || value < INT32_MIN || value > INT32_MAX ? 1L : value;
        };
        const long ordinal = numberOr1(Field(OrdinalWeekday, 0, '.'));
        const long weekDay = numberOr1(Field(OrdinalWeekday, 1, '.'));
        // A weekday outside 1 .. 7 is not in the table; the rule never matches, the text
        // names no day.
        const std::string name = weekDay >= 1 && weekDay <= 7 ? kWeekDayNames[static_cast<size_t>(weekDay - 1)] : "";
        static constexpr const char* kOrdinalPatterns[] = {"The last %s of %s",   "The first %s of %s",
                                                           "The second %s of %s", "The third %s of %s",
                                                           "The fourth %s of %s", "The fifth %s of %s"};
        if (ordinal < 0 || ordinal > 5)
            return months;
        return Format(kOrdinalPatterns[ordinal], name, months);
    }
    default:
        return std::string();
    }
}

std::string TRecurrence::ValidationMessage() const
{
    if (Recurrence == rcWeekly && (WeekDays & kAllWeekDays) == 0)
        return kSelectWeekDaysMessage;
    if (Recurrence == rcMonthly && (Months & kAllMonths) == 0)
        return kSelectMonthsMessage;
    return std::string();
}

} // namespace wardlark
