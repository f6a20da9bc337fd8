#include "reports/unitMaintenance.h"

#include "config/unitDataStreaming.h"
#include "support/unitErrors.h"
#include "testFixtures.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

namespace wardlark
{
namespace
{

double Day(int year, int month, int day)
{
    return EncodeDateTime(year, month, day);
}

double At(int hour, int minute, int second = 0, int ms = 0)
{
    return (((hour * 60.0 + minute) * 60.0 + second) * 1000.0 + ms) / 86400000.0;
}

std::unique_ptr<TMaintenance> Window(double startTime, double endTime, std::vector<std::string> uins = {})
{
    auto window = std::make_unique<TMaintenance>();
    window->StartDate = Day(2013, 1, 1);
    window->Recurrence = rcDaily;
    window->StartTime = startTime;
    window->EndTime = endTime;
    window->SetMonitorList(std::move(uins));
    return window;
}

TEST(MaintenanceTest, IsActiveTime)
{
    const double day = Day(2013, 5, 6);
    struct Case
    {
        const char* what;
        double start;
        double end;
        double t;
        bool expected;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const Case cases[] = {
        {"at the start", At(9, 0), At(10, 0), day + At(9, 0), true},
        {"just before the start", At(9, 0), At(10, 0), day + At(8, 59, 59, 999), false},
        {"one second after the end", At(9, 0), At(10, 0), day + At(10, 0, 1), true},
        {"after the grace second", At(9, 0), At(10, 0), day + At(10, 0, 1, 1), false},
        {"22:00 - 02:00 at 23:00", At(22, 0), At(2, 0), day + At(23, 0), false},
        {"22:00 - 02:00 at 01:00", At(22, 0), At(2, 0), day + At(1, 0), false},
        {"end 23:59:59 covers midnight's eve", At(23, 0), At(23, 59, 59), day + At(23, 59, 59, 999), true},
        {"a time of day only", At(9, 0), At(10, 0), At(9, 30), true},
        {"start not a number", nan, At(10, 0), day + At(9, 30), false},
        {"end not a number", At(9, 0), nan, day + At(9, 30), false},
        {"huge end", At(9, 0), 1e300, day + At(9, 30), false},
        {"time not a number", At(9, 0), At(10, 0), nan, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Window(c.start, c.end)->IsActiveTime(c.t), c.expected) << c.what;
}

TEST(MaintenanceTest, IsActiveAtJudgesDateAndTimeOfTheSameDay)
{
    auto window = Window(At(0, 0), At(0, 30));
    window->Recurrence = rcOneTime;
    window->StartDate = Day(2013, 5, 7);
    EXPECT_TRUE(window->IsActiveAt(Day(2013, 5, 7) + At(0, 10)));
    EXPECT_FALSE(window->IsActiveAt(Day(2013, 5, 8) + At(0, 10)));
    // Half a millisecond before midnight already counts as 00:00 of 7 May, for both tests.
    EXPECT_TRUE(window->IsActiveAt(Day(2013, 5, 7) - 0.4 / 86400000.0));
    EXPECT_FALSE(window->IsActiveAt(Day(2013, 5, 7) - At(0, 0, 0, 2)));
}

TEST(MaintenanceTest, MonitorsTextAndList)
{
    TMaintenance window;
    window.SetMonitors(" B01 \r\nA02\r\n\r\nB01\nC03\r");
    EXPECT_EQ(window.Monitors(), " B01 \r\nA02\r\n\r\nB01\nC03\r"); // kept as read
    EXPECT_EQ(window.MonitorList(), (std::vector<std::string>{"A02", "B01", "C03"}));
    EXPECT_TRUE(window.HasMonitor("B01"));
    EXPECT_FALSE(window.HasMonitor("b01"));
    EXPECT_FALSE(window.HasMonitor(""));
    window.SetMonitorList({"Z9", "A1", "Z9", "", " M5"});
    EXPECT_EQ(window.Monitors(), "A1\r\nM5\r\nZ9");
}

TEST(MaintenanceTest, Texts)
{
    auto window = Window(At(22, 0), At(23, 30));
    window->StartDate = Day(2013, 5, 6);
    window->Recurrence = rcMonthly;
    window->Months = kAllMonths;
    window->DayOfMonth = 1;
    EXPECT_EQ(window->ScheduleText(), "2013-05-06 [22:00 - 23:30] Day 1 of January, February, March, April, May, "
                                      "June, July, August, September, October, November, December");
    EXPECT_EQ(window->DisplayName(), window->ScheduleText());
    EXPECT_EQ(window->ScheduleHtml(), "<b>Start Date:</b> 2013-05-06<br>\r\n"
                                      "<b>Start Time:</b> 22:00<br>\r\n"
                                      "<b>End Time:</b> 23:30<br>\r\n"
                                      "<b>Recurrence:</b> " +
                                          WrapForHtml(window->RecurrenceText()));
    window->Title = "Backup";
    EXPECT_EQ(window->DisplayName(), "Backup");
}

// Builds a window with a value in every stored field.
std::unique_ptr<TMaintenance> FullWindow()
{
    auto window = Window(At(1, 15), At(2, 45), {"UIN2", "UIN1"});
    window->ID = 77;
    window->Name = "mw1";
    window->Title = "Nightly \xD0\xB6"; // UTF-8, stored as UTF-16
    window->StartDate = Day(2013, 5, 6);
    window->Recurrence = rcMonthly;
    window->WeekDays = 0x22;
    window->Months = 0x1002;
    window->DailyMode = 2;
    window->MonthlyMode = 1;
    window->DayOfMonth = 32;
    window->OrdinalWeekday = "0.5";
    window->EveryNDays = 10;
    window->EveryNWeeks = 3;
    window->Reserved = "r";
    return window;
}

TEST(MaintenanceTest, StreamLayoutFieldByField)
{
    const auto window = FullWindow();
    TMemoryStream stream;
    window->SaveToStream(stream);
    EXPECT_EQ(stream.Size(), window->StreamSize());
    stream.Seek(0, soBeginning);
    EXPECT_EQ(ReadTypedInteger(stream), 77);
    EXPECT_EQ(ReadTypedString(stream), "mw1");
    EXPECT_EQ(ReadTypedWideString(stream), "Nightly \xD0\xB6");
    EXPECT_EQ(ReadTypedDouble(stream), Day(2013, 5, 6));
    EXPECT_EQ(ReadTypedDouble(stream), At(1, 15));
    EXPECT_EQ(ReadTypedDouble(stream), At(2, 45));
    for (const int32_t expected : std::initializer_list<int32_t>{rcMonthly, 0x22, 0x1002, 2, 1, 32})
        EXPECT_EQ(ReadTypedInteger(stream), expected);
    EXPECT_EQ(ReadTypedString(stream), "0.5");
    EXPECT_EQ(ReadTypedInteger(stream), 10);
    EXPECT_EQ(ReadTypedInteger(stream), 3);
    EXPECT_EQ(ReadTypedString(stream), "UIN1\r\nUIN2");
    EXPECT_EQ(ReadTypedString(stream), "r");
    EXPECT_EQ(stream.Position(), stream.Size());

    stream.Seek(0, soBeginning);
    TMaintenance loaded;
    loaded.LoadFromStream(stream);
    TMemoryStream again;
    loaded.SaveToStream(again);
    EXPECT_EQ(again.AsString(), stream.AsString());
    EXPECT_EQ(loaded.MonitorList(), (std::vector<std::string>{"UIN1", "UIN2"}));
}

TEST(MaintenanceTest, DamagedRecordsThrow)
{
    TMemoryStream stream;
    FullWindow()->SaveToStream(stream);
    const std::string bytes = stream.AsString();
    // Cut inside the last field, and a double where an integer belongs.
    TMemoryStream cut;
    cut.LoadFromString(bytes.substr(0, bytes.size() - 1));
    TMaintenance window;
    try
    {
        window.LoadFromStream(cut);
        FAIL() << "a short record loaded";
    }
    catch (const EStreamError& error)
    {
        EXPECT_STREQ(error.what(), kErrorReading);
    }
    TMemoryStream wrongType;
    WriteTypedInteger(wrongType, 1);
    WriteTypedString(wrongType, "x");
    WriteTypedWideString(wrongType, "t");
    WriteTypedInteger(wrongType, 5); // StartDate must be a double
    wrongType.Seek(0, soBeginning);
    try
    {
        window.LoadFromStream(wrongType);
        FAIL() << "a mistyped record loaded";
    }
    catch (const EStreamError& error)
    {
        EXPECT_STREQ(error.what(), kErrorIncorrectType);
    }
}

TEST(MaintenanceTest, ListFileRoundTripWithCompanions)
{
    test::TTempFolder folder;
    const std::string path = folder.File("maintenances.dat");
    TMaintenanceList list(true);
    list.Add(FullWindow());
    list.Add(Window(At(3, 0), At(4, 0), {"X"}));
    list.SaveToFile(path, 1, 100);
    EXPECT_TRUE(std::filesystem::exists(path + ".crc") && std::filesystem::exists(path + ".bkp"));

    TMaintenanceList loaded(true);
    ASSERT_EQ(loaded.LoadFromFile(path, 10, 100), 2);
    EXPECT_EQ(loaded.Maintenance(0)->Title, "Nightly \xD0\xB6");
    EXPECT_EQ(loaded.Maintenance(1)->Monitors(), "X");
    EXPECT_TRUE(loaded.IsInMaintenance("X", Day(2013, 6, 1) + At(3, 30)));
    EXPECT_EQ(loaded.Maintenance(2), nullptr);
}

// The index behind FindActive must follow every kind of change, or the scheduler would keep
// suspending (or checking) a monitor after the user edited the window.
TEST(MaintenanceTest, FindActiveFollowsChanges)
{
    const double t = Day(2013, 6, 1) + At(3, 30);
    TMaintenanceList list;
    EXPECT_EQ(list.FindActive("A", t), nullptr);

    TMaintenance* night = static_cast<TMaintenance*>(list.Add(Window(At(3, 0), At(4, 0), {"A", "B"})));
    TMaintenance* later = static_cast<TMaintenance*>(list.Add(Window(At(3, 0), At(5, 0), {"B", "C"})));
    ASSERT_NE(night, nullptr);
    ASSERT_NE(later, nullptr);
    EXPECT_EQ(list.FindActive("A", t), night);
    EXPECT_EQ(list.FindActive("B", t), night); // first in list order
    EXPECT_EQ(list.FindActive("C", t), later);
    EXPECT_EQ(list.FindActive("c", t), nullptr);
    EXPECT_EQ(list.FindActive("B", Day(2013, 6, 1) + At(4, 30)), later);
    EXPECT_EQ(list.FindActive("B", Day(2013, 6, 1) + At(5, 30)), nullptr);

    night->SetMonitorList({"B"}); // an edit in place
    EXPECT_EQ(list.FindActive("A", t), nullptr);
    later->SetMonitors("A\r\nC");
    EXPECT_EQ(list.FindActive("A", t), later);
    night->StartTime = At(6, 0); // times are read at each query
    EXPECT_EQ(list.FindActive("B", t), nullptr);

    list.Remove(later);
    EXPECT_EQ(list.FindActive("A", t), nullptr);
    list.Add(Window(At(3, 0), At(4, 0), {"A"}));
    EXPECT_NE(list.FindActive("A", t), nullptr);
    list.UnsubscribeAll(); // keeps the list's own subscription
    list.Clear();
    EXPECT_EQ(list.FindActive("A", t), nullptr);
    list.Add(Window(At(3, 0), At(4, 0), {"Q"}));
    EXPECT_NE(list.FindActive("Q", t), nullptr);
    EXPECT_EQ(list.ActiveAt(t).size(), 1U);
    EXPECT_TRUE(list.ActiveAt(Day(2012, 6, 1) + At(3, 30)).empty()); // before the start date
}

// A subscriber that stops the notification chain must not keep the index from hearing it.
TEST(MaintenanceTest, FindActiveSeesChangesAStoppingSubscriberSwallows)
{
    const double t = Day(2013, 6, 1) + At(3, 30);
    TMaintenanceList list;
    int told = 0;
    list.Subscribe(&told,
                   [](void* subscriber, TNamedObject*, int)
                   {
                       ++*static_cast<int*>(subscriber);
                       return static_cast<int>(naStop);
                   });
    list.Add(Window(At(3, 0), At(4, 0), {"A"}));
    EXPECT_NE(list.FindActive("A", t), nullptr);
    list.Remove(list.Maintenance(0));
    EXPECT_EQ(list.FindActive("A", t), nullptr);
    EXPECT_GT(told, 0);
}

// Switches the process's time zone for one test and restores the previous one afterwards.
class MaintenanceZoneTest : public ::testing::Test
{
protected:
    // The local wall-clock date-time at a Unix instant, as Now() forms it.
    static double LocalAt(time_t instant)
    {
        tm local{};
        localtime_r(&instant, &local);
        return EncodeDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                              local.tm_sec);
    }

    // Walks the real seconds from `fromUtc` for `seconds` and counts the seconds in which the
    // window is active and the separate runs of activity.
    static void Walk(const TMaintenance& window, time_t fromUtc, int seconds, int& active, int& runs)
    {
        active = 0;
        runs = 0;
        bool was = false;
        for (int i = 0; i < seconds; ++i)
        {
            const bool is = window.IsActiveAt(LocalAt(fromUtc + i));
            active += is ? 1 : 0;
            runs += is && !was ? 1 : 0;
            was = is;
        }
    }

private:
    test::TScopedTimeZone zone_{"CET-1CEST,M3.5.0,M10.5.0/3"};
};

// The window follows the wall clock: where the clock skips an hour the window is shorter in
// real time, where it repeats one the window covers both passes; it never breaks into pieces
// or flickers, and windows outside the changed hour keep their length.
TEST_F(MaintenanceZoneTest, DaylightSavingChanges)
{
    // 2013-03-31 01:00 UTC: 02:00 CET becomes 03:00 CEST. 2013-10-27 01:00 UTC: 03:00 CEST
    // becomes 02:00 CET. Both walks cover 22:00 UTC the evening before to 06:00 UTC.
    const time_t springFrom = 1364680800; // 2013-03-30 22:00 UTC
    const time_t autumnFrom = 1382824800; // 2013-10-26 22:00 UTC
    const int span = 8 * 3600;
    struct Case
    {
        const char* what;
        time_t from;
        double start;
        double end;
        int active;
        int runs;
    };
    const Case cases[] = {
        {"spring, across the gap", springFrom, At(1, 0), At(4, 0), 2 * 3600 + 2, 1},
        {"spring, inside the gap", springFrom, At(2, 15), At(2, 45), 0, 0},
        {"spring, gap end", springFrom, At(2, 0), At(3, 0), 2, 1},
        {"spring, before the gap", springFrom, At(0, 30), At(1, 30), 3600 + 2, 1},
        {"autumn, across the repeat", autumnFrom, At(1, 0), At(4, 0), 4 * 3600 + 2, 1},
        {"autumn, inside the repeat", autumnFrom, At(2, 15), At(2, 45), 2 * (1800 + 2), 2},
        {"autumn, after the repeat", autumnFrom, At(3, 30), At(4, 30), 3600 + 2, 1},
    };
    for (const Case& c : cases)
    {
        auto window = Window(c.start, c.end);
        int active = 0;
        int runs = 0;
        Walk(*window, c.from, span, active, runs);
        EXPECT_EQ(active, c.active) << c.what;
        EXPECT_EQ(runs, c.runs) << c.what;
    }
}

} // namespace
} // namespace wardlark
