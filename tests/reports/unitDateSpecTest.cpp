#include "reports/unitDateSpec.h"

#include "config/unitDataStreaming.h"
#include "reports/unitMaintenance.h"
#include "reports/unitReport.h"
#include "support/unitErrors.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <memory>
#include <string>

namespace wardlark
{
namespace
{

double Day(int year, int month, int day)
{
    return EncodeDateTime(year, month, day);
}

TEST(DateSpecTest, ParsesEveryForm)
{
    struct Case
    {
        const char* spec;
        int year;
        double expected;
    };
    const Case cases[] = {
        // Day of the year.
        {"1", 2013, Day(2013, 1, 1)},
        {"60", 2012, Day(2012, 2, 29)},
        {" 365 ", 2013, Day(2013, 12, 31)},
        {"0", 2013, 0},
        {"-3", 2013, 0},
        {"1", 0, 0}, // no year 0
        // Day and month.
        {"25.12", 2013, Day(2013, 12, 25)},
        {"29.2", 2012, Day(2012, 2, 29)},
        {"29.2", 2013, 0},
        {"31.4", 2013, 0},
        {"1.13", 2013, 0},
        {"x.5", 2013, 0},
        // Ordinal weekday: May 2013 has five Fridays, February 2013 four.
        {"0.5.5", 2013, Day(2013, 5, 31)},
        {"5.5.5", 2013, Day(2013, 5, 31)},
        {"4.5.2", 2013, Day(2013, 2, 22)},
        {"5.5.2", 2013, 0},
        {"0.5.2", 2013, Day(2013, 2, 22)},
        {"1.1.1", 2013, Day(2013, 1, 7)},
        {"1.2.1", 2013, Day(2013, 1, 1)},
        {"0.7.3", 2013, Day(2013, 3, 31)},
        {"6.1.1", 2013, 0},
        {"-1.1.1", 2013, 0},
        {"1.8.1", 2013, 0},
        {"1.0.1", 2013, 0},
        {"1.1.13", 2013, 0},
        {"1.2.3.4", 2013, 0},
        // Date lists: the first entry of the year wins, its date must exist.
        {"01.05.2012, 06.05.2013, 07.05.2013", 2013, Day(2013, 5, 6)},
        {" 06.05.2013 ,junk", 2013, Day(2013, 5, 6)},
        {"01.05.2012,", 2013, 0},
        {"31.02.2013,01.03.2013", 2013, 0},
        {"6.5.2013,", 2013, 0}, // not ten characters
        {",", 2013, 0},
        // Easter: 2013 Orthodox 5 May, Western 31 March.
        {"easter", 2013, Day(2013, 5, 5)},
        {"Easter+1", 2013, Day(2013, 5, 6)},
        {"weaster-2", 2013, Day(2013, 3, 29)},
        {"WEASTER", 2013, Day(2013, 3, 31)},
        {"easter+ 7", 2013, Day(2013, 5, 12)},
        {"easter+x", 2013, 0},
        {"easter-", 2013, 0},
        {"easter", 2051, -1},
        {"easter+1", 2051, 0},
        {"weaster+10", 2007, 9},
        {"eastr", 2013, 0},
        {"", 2013, 0},
        {"99999999999999999999", 2013, 0},
        {"2147483647", 9999, Day(9999, 1, 1) + 2147483646.0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ParseDateSpec(c.spec, c.year), c.expected) << '"' << c.spec << "\" in " << c.year;
}

TEST(DateSpecTest, YearBelowZeroMeansThisYear)
{
    const int year = DecodeDateTime(Now()).year;
    EXPECT_EQ(ParseDateSpec("1", -1), Day(year, 1, 1));
    EXPECT_EQ(ParseDateSpec("01.01." + std::to_string(year) + ",", -5), Day(year, 1, 1));
}

// The Easter tables are typed in; compare every entry with the computus itself.
TEST(DateSpecTest, EasterTablesMatchTheComputus)
{
    for (int year = kEasterFirstYear; year <= kEasterLastYear; ++year)
    {
        // Anonymous Gregorian algorithm.
        const int a = year % 19, b = year / 100, c = year % 100, d = b / 4, e = b % 4, f = (b + 8) / 25;
        const int g = (b - f + 1) / 3, h = (19 * a + b - d - g + 15) % 30, i = c / 4, k = c % 4;
        const int l = (32 + 2 * e + 2 * i - h - k) % 7, m = (a + 11 * h + 22 * l) / 451;
        const int sum = h + l - 7 * m + 114;
        EXPECT_EQ(WesternEaster(year), Day(year, sum / 31, sum % 31 + 1)) << year;
        // Meeus' Julian algorithm; the Julian calendar runs 13 days behind from 1900 to 2099.
        const int jd = (19 * (year % 19) + 15) % 30;
        const int je = (2 * (year % 4) + 4 * (year % 7) - jd + 34) % 7;
        const int julian = jd + je + 114;
        EXPECT_EQ(OrthodoxEaster(year), Day(year, julian / 31, julian % 31 + 1) + 13) << year;
    }
    EXPECT_EQ(WesternEaster(kEasterFirstYear - 1), -1);
    EXPECT_EQ(OrthodoxEaster(kEasterLastYear + 1), -1);
}

// Runs one input as the fuzz target does (first byte: mode, then two bytes of year, then the
// text or the stored records): a date must come out whole and finite, records must load or
// fail with a stream error, and every schedule question about them must be answered.
void ReplayFuzzInput(const std::string& input, const std::string& name)
{
    if (input.size() < 3)
        return;
    const auto mode = static_cast<unsigned char>(input[0]);
    const int year = (static_cast<unsigned char>(input[1]) | static_cast<unsigned char>(input[2]) << 8) % 10050 - 20;
    const std::string text = input.substr(3);
    if ((mode & 1) == 0)
    {
        const double result = ParseDateSpec(text, year);
        EXPECT_TRUE(std::isfinite(result) && result == std::trunc(result)) << name;
        TRecurrence rule;
        rule.Recurrence = rcMonthly;
        rule.Months = kAllMonths;
        rule.MonthlyMode = mmOrdinalWeekday;
        rule.OrdinalWeekday = text;
        EXPECT_FALSE(rule.IsActiveDate(std::numeric_limits<double>::quiet_NaN())) << name;
        (void)rule.IsActiveDate(Day(2013, 5, 6));
        (void)rule.RecurrenceText();
        return;
    }
    TMemoryStream stream;
    stream.LoadFromString(text);
    std::unique_ptr<TNamedObjectList> list;
    if ((mode & 2) == 0)
        list = std::make_unique<TMaintenanceList>();
    else
        list = std::make_unique<TReportList>();
    try
    {
        list->LoadFromStream(stream);
    }
    catch (const EStreamError&)
    {
    }
    for (int i = 0; i < list->Count(); ++i)
    {
        if (const auto* window = dynamic_cast<const TMaintenance*>(list->Item(i)))
        {
            (void)window->ScheduleHtml();
            for (const std::string& uin : window->MonitorList())
                (void)static_cast<TMaintenanceList&>(*list).FindActive(uin, window->StartDate + window->StartTime);
        }
        if (const auto* report = dynamic_cast<const TReport*>(list->Item(i)))
        {
            (void)report->ScheduleHtml();
            (void)report->DeliveryHtml();
            (void)report->IsDue(report->StartDate + report->Time);
        }
    }
}

TEST(DateSpecTest, FuzzRegressionsReplay)
{
    const std::filesystem::path folder = std::filesystem::path(WARDLARK_SOURCE_DIR) / "fuzz/regressions/DateSpec";
    ASSERT_TRUE(std::filesystem::is_directory(folder) && !std::filesystem::is_empty(folder)) << folder;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
    {
        std::ifstream in(entry.path(), std::ios::binary);
        ReplayFuzzInput(std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()),
                        entry.path().string());
    }
}

// Records with values no editor writes (not-a-number dates, counts of 0, huge numbers) load
// and answer every question without a crash; the junk never matches.
TEST(DateSpecTest, JunkRecordValuesNeverMatch)
{
    TMaintenanceList list;
    auto window = std::make_unique<TMaintenance>();
    window->StartDate = std::numeric_limits<double>::quiet_NaN();
    window->StartTime = 0;
    window->EndTime = 0.99;
    window->Recurrence = rcDaily;
    window->SetMonitorList({"A"});
    list.Add(std::move(window));
    EXPECT_EQ(list.FindActive("A", Day(2013, 5, 6) + 0.5), nullptr);
    EXPECT_EQ(list.Maintenance(0)->ScheduleText(), "1899-12-30 [00:00 - 23:45] Every day");
}

} // namespace
} // namespace wardlark
