#include "support/unitDateRoutines.h"
#include "testFixtures.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

namespace wardlark
{
namespace
{

constexpr const char* kCentralEurope = "CET-1CEST,M3.5.0,M10.5.0/3";
constexpr const char* kEasternAustralia = "AEST-10AEDT,M10.1.0,M4.1.0/3";

// Switches the process's time zone for one test and restores the previous one afterwards.
class DateRoutinesZoneTest : public ::testing::Test
{
protected:
    static void UseZone(const char* zone) { test::TScopedTimeZone::Use(zone); }

private:
    test::TScopedTimeZone zone_;
};

TEST(DateRoutinesTest, ZoneText)
{
    struct Case
    {
        bool allowGMT;
        double hours;
        const char* expected;
    };
    const Case cases[] = {
        {true, 0, "GMT"},
        {false, 0, "+0000"},
        {true, 1, "+0100"},
        {false, 2, "+0200"},
        {false, -5, "-0500"},
        {false, -5.5, "-0530"},
        {false, 5.75, "+0545"},
        {false, 14, "+1400"},
        // A rounding error just below zero is still zero minutes, not "-0000".
        {false, -1e-9, "+0000"},
        {true, -1e-9, "GMT"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ZoneText(c.allowGMT, c.hours / 24.0), c.expected) << c.allowGMT << " " << c.hours;
}

TEST_F(DateRoutinesZoneTest, LocalOffsetFollowsTheZone)
{
    UseZone("EST5");
    EXPECT_DOUBLE_EQ(LocalOffset(), -5.0 / 24.0);
    UseZone("UTC0");
    EXPECT_DOUBLE_EQ(LocalOffset(), 0.0);
    UseZone("IST-5:30");
    EXPECT_DOUBLE_EQ(LocalOffset(), 5.5 / 24.0);
}

TEST_F(DateRoutinesZoneTest, LocalOffsetAtUsesTheRulesOfThatDate)
{
    struct Case
    {
        const char* zone;
        int month;
        double hours;
    };
    const Case cases[] = {
        {kCentralEurope, 1, 1},     {kCentralEurope, 7, 2}, {kEasternAustralia, 1, 11},
        {kEasternAustralia, 7, 10}, {"EST5", 7, -5},
    };
    for (const Case& c : cases)
    {
        UseZone(c.zone);
        EXPECT_DOUBLE_EQ(LocalOffsetAt(EncodeDateTime(2026, c.month, 15, 12)), c.hours / 24.0)
            << c.zone << " month " << c.month;
    }
}

TEST_F(DateRoutinesZoneTest, RFC822Date)
{
    UseZone("EST5");
    EXPECT_EQ(RFC822Date(EncodeDateTime(2026, 1, 5, 8, 3, 0)), "Mon, 5 Jan 2026 08:03:00 -0500");
    UseZone(kCentralEurope);
    EXPECT_EQ(RFC822Date(EncodeDateTime(2026, 12, 9, 23, 53, 39)), "Wed, 9 Dec 2026 23:53:39 +0100");
    // A summer date carries the summer offset whatever the season is now.
    EXPECT_EQ(RFC822Date(EncodeDateTime(2026, 7, 1, 0, 0, 5)), "Wed, 1 Jul 2026 00:00:05 +0200");
    UseZone("UTC0");
    EXPECT_EQ(RFC822Date(EncodeDateTime(2024, 2, 29, 12, 0, 0)), "Thu, 29 Feb 2024 12:00:00 +0000");
}

TEST_F(DateRoutinesZoneTest, ToUnixTime)
{
    struct Case
    {
        const char* zone;
        TDateTime local;
        int64_t expected;
    };
    const Case cases[] = {
        {"EST5", EncodeDateTime(1969, 12, 31, 19, 0, 10), 10},
        {"UTC0", EncodeDateTime(1970, 1, 1, 0, 0, 10), 10},
        {"UTC0", EncodeDateTime(1970, 1, 1, 0, 0, 10, 600), 11},
        // Before the epoch the result is negative, not the distance.
        {"UTC0", EncodeDateTime(1969, 12, 31, 23, 59, 50), -10},
        // Before day 0 the date-time's fraction counts the other way.
        {"UTC0", EncodeDateTime(1899, 12, 29, 6, 0, 0), -2209226400},
        // Summer and winter dates each use their own offset.
        {kCentralEurope, EncodeDateTime(2026, 7, 1, 12, 0, 0), 1782900000},
        {kCentralEurope, EncodeDateTime(2026, 1, 15, 12, 0, 0), 1768474800},
    };
    for (const Case& c : cases)
    {
        UseZone(c.zone);
        EXPECT_EQ(ToUnixTime(c.local), c.expected) << c.zone << " " << c.local;
    }
}

TEST(DateRoutinesTest, FromUnixTime)
{
    EXPECT_DOUBLE_EQ(FromUnixTime(0), kUnixEpochDay);
    EXPECT_NEAR(FromUnixTime(10), EncodeDateTime(1970, 1, 1, 0, 0, 10), 1e-9);
    EXPECT_DOUBLE_EQ(FromUnixTime(-86400), kUnixEpochDay - 1);
    EXPECT_DOUBLE_EQ(FromUnixTime(1767225600), EncodeDateTime(2026, 1, 1));
    EXPECT_DOUBLE_EQ(FromUnixTime(-2209226400), EncodeDateTime(1899, 12, 29, 6));
}

TEST_F(DateRoutinesZoneTest, UnixTimeRoundTripsThroughLocalTime)
{
    UseZone(kEasternAustralia);
    for (const int64_t seconds : {int64_t{0}, int64_t{1775332800}, int64_t{1790000000}, int64_t{-100000000}})
    {
        const time_t moment = static_cast<time_t>(seconds);
        tm local{};
        ASSERT_NE(localtime_r(&moment, &local), nullptr);
        const TDateTime localTime = EncodeDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                                                   local.tm_min, local.tm_sec);
        EXPECT_EQ(ToUnixTime(localTime), seconds);
    }
}

TEST(DateRoutinesTest, DurationText)
{
    struct Case
    {
        int64_t ms;
        const char* expected;
    };
    const Case cases[] = {
        {0, "00:00:00"},        {59999, "00:00:59"},      {3723000, "01:02:03"},   {86399999, "23:59:59"},
        {90000000, "25:00:00"}, {360000000, "100:00:00"}, {-3723000, "-01:02:03"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DurationText(c.ms), c.expected) << c.ms;
}

TEST(DateRoutinesTest, FormatDateTime)
{
    const TDateTime t = EncodeDateTime(2026, 3, 7, 8, 5, 9, 45);
    struct Case
    {
        const char* pattern;
        const char* expected;
    };
    const Case cases[] = {
        {"dd-mm-yyyy hh:nn:ss", "07-03-2026 08:05:09"},
        {"d.m.yy h:n:s", "7.3.26 8:5:9"},
        {"yyyy.mm.dd", "2026.03.07"},
        {"yyyy-mm-dd", "2026-03-07"},
        {"mmm dd", "Mar 07"},
        {"ddd", "Sat"},
        {"hh:nn:ss.zzz", "08:05:09.045"},
        {"HH:NN", "08:05"},
        {"dd/mm/yyyy", "07/03/2026"},
        {"'day' d \"of\" m", "day 7 of 3"},
        {"'unclosed", "unclosed"},
        {"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FormatDateTime(c.pattern, t), c.expected) << c.pattern;
    EXPECT_EQ(FormatDateTime("hh:nn:ss", EncodeDateTime(2026, 1, 1, 23, 59, 59, 999)), "23:59:59");
}

} // namespace
} // namespace wardlark
