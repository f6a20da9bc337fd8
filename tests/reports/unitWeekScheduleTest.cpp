#include "reports/unitWeekSchedule.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace wardlark
{
namespace
{

double Day(int year, int month, int day)
{
    return EncodeDateTime(year, month, day);
}

TRecurrence Weekly(double start, int32_t weekDays, int32_t everyNWeeks)
{
    TRecurrence rule;
    rule.StartDate = start;
    rule.Recurrence = rcWeekly;
    rule.WeekDays = weekDays;
    rule.EveryNWeeks = everyNWeeks;
    return rule;
}

TRecurrence Monthly(int32_t months, int32_t mode, int32_t dayOfMonth, const char* ordinal = "1.1")
{
    TRecurrence rule;
    rule.StartDate = Day(2012, 1, 1);
    rule.Recurrence = rcMonthly;
    rule.Months = months;
    rule.MonthlyMode = mode;
    rule.DayOfMonth = dayOfMonth;
    rule.OrdinalWeekday = ordinal;
    return rule;
}

TRecurrence Daily(int32_t mode, int32_t everyNDays = 1)
{
    TRecurrence rule;
    rule.StartDate = Day(2013, 5, 1); // a Wednesday
    rule.Recurrence = rcDaily;
    rule.DailyMode = mode;
    rule.EveryNDays = everyNDays;
    return rule;
}

TEST(WeekScheduleTest, IsActiveDate)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    TRecurrence once;
    once.StartDate = Day(2013, 5, 6) + 0.75; // a time part on the start date does not matter
    TRecurrence unknown = once;
    unknown.Recurrence = 4;
    TRecurrence badStart = once;
    badStart.StartDate = nan;
    const TRecurrence fridayFortnight = Weekly(Day(2013, 5, 3), kAllWeekDays, 2); // starts on a Friday
    const int32_t may = 1 << 5, april = 1 << 4, february = 1 << 2;

    struct Case
    {
        const char* what;
        TRecurrence rule;
        double date;
        bool expected;
    };
    const Case cases[] = {
        {"once on its day", once, Day(2013, 5, 6) + 0.1, true},
        {"once, day after", once, Day(2013, 5, 7), false},
        {"once, day before", once, Day(2013, 5, 5) + 0.99, false},
        {"unknown recurrence", unknown, Day(2013, 5, 6), false},
        {"start not a number", badStart, Day(2013, 5, 6), false},
        {"date not a number", once, nan, false},
        {"date beyond year 9999", once, 1e12, false},
        {"every day", Daily(dmEveryDay), Day(2013, 5, 2), true},
        {"every day, before start", Daily(dmEveryDay), Day(2013, 4, 30), false},
        {"weekends: Saturday", Daily(dmWeekends), Day(2013, 5, 4), true},
        {"weekends: Sunday", Daily(dmWeekends), Day(2013, 5, 5), true},
        {"weekends: Monday", Daily(dmWeekends), Day(2013, 5, 6), false},
        {"every 3 days: 3rd", Daily(dmEveryNDays, 3), Day(2013, 5, 4), true},
        {"every 3 days: 4th", Daily(dmEveryNDays, 3), Day(2013, 5, 5), false},
        {"every 0 days", Daily(dmEveryNDays, 0), Day(2013, 5, 1), false},
        {"every -2 days", Daily(dmEveryNDays, -2), Day(2013, 5, 3), false},
        {"unknown daily mode", Daily(7), Day(2013, 5, 1), false},
        // Weeks run Saturday to Friday, so the Saturday after a Friday start is already week 2.
        {"fortnight: start Friday", fridayFortnight, Day(2013, 5, 3), true},
        {"fortnight: next Saturday", fridayFortnight, Day(2013, 5, 4), false},
        {"fortnight: next Friday", fridayFortnight, Day(2013, 5, 10), false},
        {"fortnight: Saturday after", fridayFortnight, Day(2013, 5, 11), true},
        {"fortnight: Friday after", fridayFortnight, Day(2013, 5, 17), true},
        {"weekly: weekday not chosen", Weekly(Day(2013, 5, 1), 1 << 1, 1), Day(2013, 5, 7), false},
        {"weekly: Monday chosen", Weekly(Day(2013, 5, 1), 1 << 1, 1), Day(2013, 5, 6), true},
        {"weekly: Sunday chosen", Weekly(Day(2013, 5, 1), 1 << 7, 1), Day(2013, 5, 5), true},
        {"weekly: every 0 weeks", Weekly(Day(2013, 5, 1), kAllWeekDays, 0), Day(2013, 5, 1), false},
        {"day 31 in April", Monthly(april, mmDayOfMonth, 31), Day(2013, 4, 30), false},
        {"day 30 in April", Monthly(april, mmDayOfMonth, 30), Day(2013, 4, 30), true},
        {"last day of April", Monthly(april, mmDayOfMonth, kLastDayOfMonth), Day(2013, 4, 30), true},
        {"last day, leap February", Monthly(february, mmDayOfMonth, kLastDayOfMonth), Day(2012, 2, 29), true},
        {"last day, February 28th", Monthly(february, mmDayOfMonth, kLastDayOfMonth), Day(2013, 2, 28), true},
        {"day 33", Monthly(kAllMonths, mmDayOfMonth, 33), Day(2013, 1, 31), false},
        {"month not chosen", Monthly(april, mmDayOfMonth, 6), Day(2013, 5, 6), false},
        {"last Friday, five Fridays", Monthly(may, mmOrdinalWeekday, 1, "0.5"), Day(2013, 5, 31), true},
        {"last Friday, not the fourth", Monthly(may, mmOrdinalWeekday, 1, "0.5"), Day(2013, 5, 24), false},
        {"fifth Friday of May", Monthly(may, mmOrdinalWeekday, 1, "5.5"), Day(2013, 5, 31), true},
        {"fifth Friday, four Fridays", Monthly(february, mmOrdinalWeekday, 1, "5.5"), Day(2013, 2, 22), false},
        {"first Monday", Monthly(may, mmOrdinalWeekday, 1, "1.1"), Day(2013, 5, 6), true},
        {"unparsable ordinal", Monthly(may, mmOrdinalWeekday, 1, "first.monday"), Day(2013, 5, 6), false},
        {"unknown monthly mode", Monthly(may, 2, 6), Day(2013, 5, 6), false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.rule.IsActiveDate(c.date), c.expected) << c.what;
}

TEST(WeekScheduleTest, RecurrenceText)
{
    TRecurrence once;
    TRecurrence unknown;
    unknown.Recurrence = -1;
    struct Case
    {
        TRecurrence rule;
        const char* expected;
    };
    const Case cases[] = {
        {once, "One time only"},
        {unknown, ""},
        {Daily(dmEveryDay), "Every day"},
        {Daily(dmWeekends), "Weekends"},
        {Daily(dmEveryNDays, 3), "Every 3 days"},
        {Daily(9), ""},
        {Weekly(0, (1 << 1) | (1 << 5) | (1 << 7), 1), "Monday, Friday, Sunday"},
        {Weekly(0, 1 << 3, 2), "Wednesday (every 2 weeks)"},
        {Monthly((1 << 1) | (1 << 3), mmDayOfMonth, 5), "Day 5 of January, March"},
        {Monthly(1 << 12, mmDayOfMonth, kLastDayOfMonth), "The last day of December"},
        {Monthly(1 << 5, mmOrdinalWeekday, 1, "0.5"), "The last Friday of May"},
        {Monthly(1 << 5, mmOrdinalWeekday, 1, "1.7"), "The first Sunday of May"},
        {Monthly(1 << 5, mmOrdinalWeekday, 1, "5.3"), "The fifth Wednesday of May"},
        {Monthly(1 << 5, mmOrdinalWeekday, 1, "x.y"), "The first Monday of May"},
        {Monthly(1 << 5, mmOrdinalWeekday, 1, "6.1"), "May"},
        {Monthly(1 << 5, 3, 1), ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.rule.RecurrenceText(), c.expected);
}

TEST(WeekScheduleTest, ValidationMessage)
{
    EXPECT_EQ(Weekly(0, 0, 1).ValidationMessage(), "Please select the days of the week");
    EXPECT_EQ(Weekly(0, 1, 1).ValidationMessage(), "Please select the days of the week"); // bit 0 is no day
    EXPECT_EQ(Weekly(0, 1 << 2, 1).ValidationMessage(), "");
    EXPECT_EQ(Monthly(0, mmDayOfMonth, 1).ValidationMessage(), "Please select the months");
    EXPECT_EQ(Monthly(1 << 12, mmDayOfMonth, 1).ValidationMessage(), "");
    EXPECT_EQ(Daily(dmEveryDay).ValidationMessage(), "");
}

TEST(WeekScheduleTest, SplitDateTimeRoundsToTheMillisecondAndRejectsJunk)
{
    struct Case
    {
        double value;
        bool ok;
        int32_t day;
        int32_t ms;
    };
    const Case cases[] = {
        {41400.5, true, 41400, 43200000},
        {41400.0 + 86399999.6 / 86400000.0, true, 41401, 0}, // within half a millisecond of midnight
        {0, true, 0, 0},
        {-1.25, true, -1, 21600000}, // before 1899-12-30 the fraction counts away from zero
        {2958465.5, true, 2958465, 43200000},
        {2958466.5, false, 0, 0},
        {-693595.0, false, 0, 0},
        {std::numeric_limits<double>::infinity(), false, 0, 0},
        {std::numeric_limits<double>::quiet_NaN(), false, 0, 0},
    };
    for (const Case& c : cases)
    {
        int32_t day = 0;
        int32_t ms = 0;
        EXPECT_EQ(SplitDateTime(c.value, day, ms), c.ok) << c.value;
        EXPECT_EQ(day, c.day) << c.value;
        EXPECT_EQ(ms, c.ms) << c.value;
    }
}

TEST(WeekScheduleTest, WeekDayAndTexts)
{
    EXPECT_EQ(WeekDayOf(0), 6); // 1899-12-30 was a Saturday
    EXPECT_EQ(WeekDayOf(static_cast<int32_t>(Day(2013, 5, 6))), 1);
    EXPECT_EQ(WeekDayOf(static_cast<int32_t>(Day(2013, 5, 5))), 7);
    EXPECT_EQ(WeekDayOf(-1), 5);
    EXPECT_EQ(WeekDayOf(-7), 6);
    EXPECT_EQ(ShortDateText(Day(2013, 5, 6) + 0.9), "2013-05-06");
    EXPECT_EQ(ShortDateText(std::numeric_limits<double>::quiet_NaN()), "1899-12-30");
    EXPECT_EQ(TimeOfDayText(22.5 / 24), "22:30");
    EXPECT_EQ(TimeOfDayText(Day(2013, 5, 6) + 8.0 / 24), "08:00");
    EXPECT_EQ(TimeOfDayText(0.99999), "23:59"); // rounds to midnight's minute, not to "24:00"
    EXPECT_EQ(TimeOfDayText(std::numeric_limits<double>::infinity()), "00:00");
}

TEST(WeekScheduleTest, WrapForHtmlBreaksAt45)
{
    const TRecurrence rule = Monthly(kAllMonths, mmDayOfMonth, 1);
    EXPECT_EQ(WrapForHtml(rule.RecurrenceText()),
              "Day 1 of January, February, March, April,<br>May, June, July, August, September, October,<br>"
              "November, December");
    EXPECT_EQ(WrapForHtml("Every day"), "Every day");
}

} // namespace
} // namespace wardlark
