#include "reports/unitReport.h"

#include "config/unitDataStreaming.h"
#include "support/unitErrors.h"
#include "testFixtures.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
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

double At(int hour, int minute, int second = 0)
{
    return ((hour * 60.0 + minute) * 60.0 + second) / 86400.0;
}

std::unique_ptr<TReport> DailyReport(double time)
{
    auto report = std::make_unique<TReport>();
    report->Enabled = true;
    report->StartDate = Day(2013, 1, 1);
    report->Recurrence = rcDaily;
    report->Time = time;
    return report;
}

TEST(ReportTest, IsDue)
{
    const double day = Day(2013, 5, 6);
    auto disabled = DailyReport(At(8, 0));
    disabled->Enabled = false;
    auto doneToday = DailyReport(At(8, 0));
    doneToday->LastRunDay = static_cast<int32_t>(day);
    auto doneYesterday = DailyReport(At(8, 0));
    doneYesterday->LastRunDay = static_cast<int32_t>(day) - 1;
    auto notThisDate = DailyReport(At(8, 0));
    notThisDate->DailyMode = dmWeekends; // 6 May 2013 is a Monday
    auto badTime = DailyReport(std::numeric_limits<double>::quiet_NaN());
    struct Case
    {
        const char* what;
        const TReport* report;
        double now;
        bool expected;
    };
    const auto eight = DailyReport(At(8, 0));
    const Case cases[] = {
        {"at its time", eight.get(), day + At(8, 0), true},
        {"any time later", eight.get(), day + At(23, 59, 59), true},
        {"a second before", eight.get(), day + At(7, 59, 59), false},
        {"disabled", disabled.get(), day + At(9, 0), false},
        {"already run today", doneToday.get(), day + At(9, 0), false},
        {"run yesterday", doneYesterday.get(), day + At(9, 0), true},
        {"date does not match", notThisDate.get(), day + At(9, 0), false},
        {"time not a number", badTime.get(), day + At(9, 0), false},
        {"now not a number", eight.get(), std::numeric_limits<double>::quiet_NaN(), false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.report->IsDue(c.now), c.expected) << c.what;
    EXPECT_TRUE(eight->IsActiveTime(At(8, 0)));
    EXPECT_FALSE(eight->IsActiveTime(At(7, 59, 59)));
}

TEST(ReportTest, FirstDueTakesListOrder)
{
    const double now = Day(2013, 5, 6) + At(9, 0);
    TReportList list;
    list.Add(DailyReport(At(10, 0)));
    TReport* first = static_cast<TReport*>(list.Add(DailyReport(At(8, 0))));
    TReport* second = static_cast<TReport*>(list.Add(DailyReport(At(7, 0))));
    EXPECT_EQ(list.FirstDue(now), first);
    first->LastRunDay = DayNumber(now);
    EXPECT_EQ(list.FirstDue(now), second);
    second->LastRunDay = DayNumber(now);
    EXPECT_EQ(list.FirstDue(now), nullptr);
}

TEST(ReportTest, DeliveryAndPeriodTexts)
{
    struct Case
    {
        bool save;
        const char* folder;
        bool send;
        const char* recipients;
        const char* plain;
        const char* html;
    };
    const Case cases[] = {
        {false, "/srv/r", false, "a@b.c", "", ""},
        {true, "/srv/r", false, "a@b.c", "Save to: /srv/r", "<b>Save To:</b> /srv/r"},
        {true, " \t ", true, "a@b.c", "Send to: a@b.c", "<b>Send To:</b> a@b.c"},
        {true, "/srv/r", true, "a@b.c, d@e.f", "Save to: /srv/r; Send to: a@b.c, d@e.f",
         "<b>Save To:</b> /srv/r<br><b>Send To:</b> a@b.c, d@e.f"},
        {true, "/srv/r", true, "  ", "Save to: /srv/r", "<b>Save To:</b> /srv/r"},
        {false, "", true, "Ops <ops@x.y>", "Send to: Ops <ops@x.y>", "<b>Send To:</b> Ops &lt;ops@x.y&gt;"},
    };
    for (const Case& c : cases)
    {
        TReport report;
        report.SaveReport = c.save;
        report.SaveFolder = c.folder;
        report.SendReport = c.send;
        report.Recipients = c.recipients;
        EXPECT_EQ(report.DeliveryText(), c.plain);
        EXPECT_EQ(report.DeliveryHtml(), c.html);
    }
    TReport report;
    report.Period = kPreviousDaysPeriod;
    report.PreviousDays = 7;
    EXPECT_EQ(report.PeriodText(), "7 Previous Days");
    report.Period = "This Week";
    EXPECT_EQ(report.PeriodText(), "This Week");
}

TEST(ReportTest, ScheduleTexts)
{
    auto report = DailyReport(At(8, 5));
    report->StartDate = Day(2013, 5, 6);
    report->DailyMode = dmEveryNDays;
    report->EveryNDays = 3;
    EXPECT_EQ(report->ScheduleText(), "2013-05-06 [08:05] Every 3 days");
    EXPECT_EQ(report->ScheduleHtml(),
              "<b>Start Date:</b> 2013-05-06<br>\r\n<b>Time:</b> 08:05<br>\r\n<b>Recurrence:</b> Every 3 days");
}

std::unique_ptr<TReport> FullReport()
{
    auto report = DailyReport(At(6, 30));
    report->ID = -5;
    report->Name = "r1";
    report->Title = "Weekly \xE2\x82\xAC";
    report->ArchiveName = "report_{{Date}}";
    report->StartDate = Day(2013, 5, 6);
    report->Recurrence = rcWeekly;
    report->WeekDays = 0x82;
    report->Months = 0x10;
    report->DailyMode = 1;
    report->MonthlyMode = 1;
    report->DayOfMonth = 12;
    report->OrdinalWeekday = "2.3";
    report->EveryNDays = 4;
    report->EveryNWeeks = 2;
    report->Period = kPreviousDaysPeriod;
    report->PreviousDays = 9;
    report->SaveReport = true;
    report->SaveFolder = "/srv/reports";
    report->SendReport = true;
    report->Recipients = "a@b.c";
    report->Subject = "Report {{Date}}";
    report->Message = "Hello\r\n";
    report->LastRunDay = 41400;
    report->ReservedInteger = 3;
    report->LastRunLog = "0|0|08:00:00|Generating report.";
    report->ReservedText = "z";
    return report;
}

TEST(ReportTest, StreamLayoutFieldByField)
{
    const auto report = FullReport();
    TMemoryStream stream;
    report->SaveToStream(stream);
    EXPECT_EQ(stream.Size(), report->StreamSize());
    stream.Seek(0, soBeginning);
    EXPECT_EQ(ReadTypedInteger(stream), -5);
    EXPECT_EQ(ReadTypedString(stream), "r1");
    EXPECT_EQ(ReadTypedInteger(stream), 1);
    EXPECT_EQ(ReadTypedWideString(stream), "Weekly \xE2\x82\xAC");
    EXPECT_EQ(ReadTypedString(stream), "report_{{Date}}");
    EXPECT_EQ(ReadTypedDouble(stream), Day(2013, 5, 6));
    EXPECT_EQ(ReadTypedDouble(stream), At(6, 30));
    for (const int32_t expected : std::initializer_list<int32_t>{rcWeekly, 0x82, 0x10, 1, 1, 12})
        EXPECT_EQ(ReadTypedInteger(stream), expected);
    EXPECT_EQ(ReadTypedString(stream), "2.3");
    EXPECT_EQ(ReadTypedInteger(stream), 4);
    EXPECT_EQ(ReadTypedInteger(stream), 2);
    EXPECT_EQ(ReadTypedString(stream), "\"N\" Previous Days");
    EXPECT_EQ(ReadTypedInteger(stream), 9);
    EXPECT_EQ(ReadTypedInteger(stream), 1);
    EXPECT_EQ(ReadTypedString(stream), "/srv/reports");
    EXPECT_EQ(ReadTypedInteger(stream), 1);
    EXPECT_EQ(ReadTypedString(stream), "a@b.c");
    EXPECT_EQ(ReadTypedWideString(stream), "Report {{Date}}");
    EXPECT_EQ(ReadTypedWideString(stream), "Hello\r\n");
    EXPECT_EQ(ReadTypedInteger(stream), 41400);
    EXPECT_EQ(ReadTypedInteger(stream), 3);
    EXPECT_EQ(ReadTypedString(stream), "0|0|08:00:00|Generating report.");
    EXPECT_EQ(ReadTypedString(stream), "z");
    EXPECT_EQ(stream.Position(), stream.Size());

    stream.Seek(0, soBeginning);
    TReport loaded;
    loaded.LoadFromStream(stream);
    TMemoryStream again;
    loaded.SaveToStream(again);
    EXPECT_EQ(again.AsString(), stream.AsString());
}

TEST(ReportTest, ShortRecordThrowsAndListKeepsTheGoodOnes)
{
    TMemoryStream stream;
    FullReport()->SaveToStream(stream);
    const std::string one = stream.AsString();
    TMemoryStream damaged;
    damaged.LoadFromString(one + one.substr(0, one.size() - 3));
    TReportList list;
    EXPECT_THROW(list.LoadFromStream(damaged), EStreamError);
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Report(0)->Title, "Weekly \xE2\x82\xAC");
}

TEST(ReportTest, ListFileRoundTripAndCopy)
{
    test::TTempFolder folder;
    const std::string path = folder.File("reports.dat");
    TReportList list(true);
    list.Add(FullReport());
    list.Add(DailyReport(At(1, 0)));
    list.SaveToFile(path, 1, 100);
    TReportList loaded(true);
    ASSERT_EQ(loaded.LoadFromFile(path, 10, 100), 2);
    EXPECT_EQ(loaded.Report(0)->LastRunLog, "0|0|08:00:00|Generating report.");

    TReportList copy;
    copy.AssignFrom(loaded);
    ASSERT_EQ(copy.Count(), 2);
    EXPECT_NE(copy.Report(0), loaded.Report(0));
    EXPECT_EQ(copy.Report(0)->Owner, &copy);
    EXPECT_EQ(copy.Report(1)->Time, At(1, 0));
    loaded.Report(0)->Title = "changed";
    EXPECT_EQ(copy.Report(0)->Title, "Weekly \xE2\x82\xAC");
}

// Switches the process's time zone for one test and restores the previous one afterwards.
class ReportZoneTest : public ::testing::Test
{
protected:
    static double LocalAt(time_t instant)
    {
        tm local{};
        localtime_r(&instant, &local);
        return EncodeDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                              local.tm_sec);
    }

    // Runs the report every time it is due while the real clock walks from `fromUtc` in
    // `step`-second steps through `seconds`, as the reports thread would; returns the local
    // times of the runs.
    static std::vector<double> Runs(TReport& report, time_t fromUtc, int seconds, int step)
    {
        std::vector<double> runs;
        for (int i = 0; i < seconds; i += step)
        {
            const double now = LocalAt(fromUtc + i);
            if (report.IsDue(now))
            {
                runs.push_back(now);
                report.LastRunDay = DayNumber(now);
            }
        }
        return runs;
    }

private:
    test::TScopedTimeZone zone_{"CET-1CEST,M3.5.0,M10.5.0/3"};
};

// A report runs once on each matching date: a time the clock skips runs when the clock
// passes it, a time the clock repeats runs only on the first pass.
TEST_F(ReportZoneTest, DaylightSavingChangesNeitherSkipNorRepeat)
{
    const time_t springFrom = 1364680800; // 2013-03-30 22:00 UTC, 23:00 CET
    const time_t autumnFrom = 1382824800; // 2013-10-26 22:00 UTC, 00:00 CEST
    auto report = DailyReport(At(2, 30));
    report->LastRunDay = static_cast<int32_t>(Day(2013, 3, 30)); // the evening before has had its run
    std::vector<double> runs = Runs(*report, springFrom, 8 * 3600, 30);
    ASSERT_EQ(runs.size(), 1U);
    EXPECT_EQ(runs[0], Day(2013, 3, 31) + At(3, 0)); // 02:30 does not exist that night

    report->LastRunDay = static_cast<int32_t>(Day(2013, 10, 26));
    runs = Runs(*report, autumnFrom, 8 * 3600, 30);
    ASSERT_EQ(runs.size(), 1U);
    EXPECT_EQ(runs[0], Day(2013, 10, 27) + At(2, 30));

    // Across two days, once a day.
    report->LastRunDay = static_cast<int32_t>(Day(2013, 10, 26));
    EXPECT_EQ(Runs(*report, autumnFrom, 48 * 3600, 60).size(), 2U);
}

} // namespace
} // namespace wardlark
