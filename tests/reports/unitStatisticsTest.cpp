#include "reports/unitStatistics.h"
#include "config/unitOptionsList.h"
#include "support/unitFileStream.h"
#include "support/unitSystem.h"
#include "testFixtures.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <vector>

using namespace wardlark;

namespace
{

struct TRec
{
    uint32_t time;
    uint32_t response;
    uint8_t kind;
};

std::string Bytes(const std::vector<TRec>& records)
{
    std::string out;
    for (const TRec& r : records)
    {
        for (int i = 0; i < 4; ++i)
            out += static_cast<char>(r.time >> (8 * i));
        for (int i = 0; i < 4; ++i)
            out += static_cast<char>(r.response >> (8 * i));
        out += static_cast<char>(r.kind);
        out += static_cast<char>(static_cast<uint8_t>(r.time + r.response + r.kind));
    }
    return out;
}

class StatisticsTest : public testing::Test
{
protected:
    StatisticsTest() { stats.SetFolder(temp.Path() + "stats"); }

    // Writes `records` as the file of "m1" and selects it.
    void Load(const std::vector<TRec>& records, const std::string& tail = "")
    {
        test::WriteWholeFile(stats.FileNameOf("m1"), Bytes(records) + tail);
        stats.Clear();
        stats.SelectMonitor("m1");
    }

    std::map<std::string, std::string> Values() const
    {
        std::map<std::string, std::string> values;
        for (int i = 0; i < stats.Items().Count(); ++i)
            values[stats.Items().Item(i)->Name] = stats.Items().Item(i)->Value;
        return values;
    }

    test::TTempFolder temp;
    TStatistics stats;
};

TEST_F(StatisticsTest, AppendWritesOneRecordAfterTheLastWholeRecord)
{
    EXPECT_EQ(stats.FileNameOf("AbC9"), temp.Path() + "stats/abc9.sta");
    // 23 bytes hold two records; the third replaces the partial tail at bytes 20..29.
    const std::string two = Bytes({{100, 5, 4}, {160, 7, 6}});
    test::WriteWholeFile(stats.FileNameOf("AbC9"), two + "xyz");
    stats.AddEvent("AbC9", seMaintenance, 0x01020304, 0x0A0B0C0D);
    const std::string file = test::ReadWholeFile(stats.FileNameOf("abc9"));
    ASSERT_EQ(file.size(), 30u);
    EXPECT_EQ(file.substr(0, 20), two);
    // The checksum is the low byte of time + response + kind: 0x04 + 0x0D + 9.
    EXPECT_EQ(file.substr(20), std::string("\x04\x03\x02\x01\x0D\x0C\x0B\x0A\x09\x1A", 10));
    // A missing file is created; responses are clamped to the unsigned 32-bit range.
    stats.AddEvent("new", seOK, 7, -3);
    EXPECT_EQ(test::ReadWholeFile(stats.FileNameOf("new")), Bytes({{7, 0, 4}}));
}

TEST_F(StatisticsTest, RefusesEventsThatNameNoFileOrKind)
{
    stats.AddEvent("", seOK, 1, 1);
    stats.AddEvent("../escape", seOK, 1, 1);
    stats.AddEvent("m1", 10, 1, 1);
    stats.AddEvent("m1", -1, 1, 1);
    EXPECT_EQ(stats.FileNameOf("../escape"), "");
    EXPECT_FALSE(FileExists(temp.Path() + "escape.sta"));
    EXPECT_FALSE(FileExists(stats.FileNameOf("m1")));
    EXPECT_FALSE(FileExists(temp.Path() + "stats/.sta"));
}

TEST_F(StatisticsTest, LockedFileLosesTheRecordButTheCurrentCopyKeepsIt)
{
    stats.SelectMonitor("m1");
    stats.AddEvent("m1", seOK, 100, 1);
    {
        TFileStream holder(stats.FileNameOf("m1"), TFileMode::ReadWrite);
        stats.AddEvent("m1", seFailed, 200, 0);
    }
    EXPECT_EQ(test::ReadWholeFile(stats.FileNameOf("m1")).size(), 10u);
    EXPECT_EQ(stats.RecordCount(), 2);
    TStatRecord record;
    ASSERT_TRUE(stats.RecordAt(1, record));
    EXPECT_EQ(record.Time, 200u);
    EXPECT_EQ(record.Kind, seFailed);
    EXPECT_FALSE(stats.RecordAt(2, record));
    EXPECT_FALSE(stats.RecordAt(-1, record));
}

TEST_F(StatisticsTest, SelectReadsWholeRecordsAndComparesUINsWithoutCase)
{
    Load({{10, 1, 4}, {20, 2, 6}}, "\x01\x02\x03");
    EXPECT_EQ(stats.RecordCount(), 2);
    // The same monitor in another case is not reloaded: appended bytes stay unseen.
    test::WriteWholeFile(stats.FileNameOf("m1"), Bytes({{10, 1, 4}, {20, 2, 6}, {30, 3, 4}}));
    stats.SelectMonitor("M1");
    EXPECT_EQ(stats.RecordCount(), 2);
    stats.SelectMonitor("missing");
    EXPECT_EQ(stats.CurrentUIN(), "missing");
    EXPECT_EQ(stats.RecordCount(), 0);
    stats.SelectMonitor("m1");
    EXPECT_EQ(stats.RecordCount(), 3);
    stats.Clear();
    EXPECT_EQ(stats.CurrentUIN(), "");
    EXPECT_EQ(stats.RecordCount(), 0);
}

TEST_F(StatisticsTest, UnreadableFileLeavesNoRecords)
{
    // A folder where the file should be cannot be read as one.
    ForceDirectories(stats.FileNameOf("m1"));
    stats.SelectMonitor("m1");
    EXPECT_EQ(stats.RecordCount(), 0);
    EXPECT_EQ(stats.Items().Count(), 0);
}

TEST_F(StatisticsTest, LongFileKeepsItsNewestRecordsWithinTheLimit)
{
    stats.SetRecordLimit(3);
    Load({{1, 0, 4}, {2, 0, 4}, {3, 0, 4}, {4, 0, 4}, {5, 0, 4}});
    ASSERT_EQ(stats.RecordCount(), 3);
    TStatRecord record;
    stats.RecordAt(0, record);
    EXPECT_EQ(record.Time, 3u);
    // The copy is full: appends still reach the file.
    stats.AddEvent("m1", seOK, 6, 0);
    EXPECT_EQ(stats.RecordCount(), 3);
    EXPECT_EQ(test::ReadWholeFile(stats.FileNameOf("m1")).size(), 60u);
}

struct TFindCase
{
    uint32_t time;
    bool lower;
    int32_t expected;
};

TEST_F(StatisticsTest, FindIndexFollowsTheBinarySearch)
{
    EXPECT_EQ(stats.FindIndex(5, true), -1);
    Load({{10, 0, 4}});
    EXPECT_EQ(stats.FindIndex(5, true), 0);
    EXPECT_EQ(stats.FindIndex(50, false), 0);

    // Times compare as unsigned: 0xF0000000 is the latest.
    Load({{10, 0, 4}, {20, 0, 4}, {30, 0, 4}, {40, 0, 4}, {50, 0, 4}, {0xF0000000, 0, 4}});
    const TFindCase cases[] = {
        {5, true, 0},  {5, false, 1},  {10, true, 0},         {10, false, 0},
        {25, true, 1}, {25, false, 2}, {30, true, 2},         {30, false, 2},
        {45, true, 3}, {45, false, 4}, {0xF0000000, true, 4}, {0xF0000000, false, 5},
        {60, true, 4}, {60, false, 5}, {0xFFFFFFFF, true, 4}, {0xFFFFFFFF, false, 5},
    };
    for (const TFindCase& c : cases)
        EXPECT_EQ(stats.FindIndex(c.time, c.lower), c.expected) << c.time << (c.lower ? " lower" : " upper");
}

TEST(StatDurationText, PartsAndPercentages)
{
    const struct
    {
        uint64_t seconds;
        uint64_t period;
        const char* expected;
    } cases[] = {
        {0, 100, "N/A"},
        {2 * 86400 + 3 * 3600 + 5, 0, "2d 3h 5s"},
        {3 * 3600 + 5, 4 * (3 * 3600 + 5), "3h 5s (25%)"},
        {59, 0, "59s"},
        {60, 0, "1m"},
        {86400, 86400, "1d (100%)"},
        {1, 200, "1s (1%)"}, // 0.5 rounds up
        {1, 201, "1s (0%)"},
        {2, 3, "2s (67%)"},
        {90061, 0, "1d 1h 1m 1s"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(StatDurationText(c.seconds, c.period), c.expected) << c.seconds << "/" << c.period;
}

struct TSummaryCase
{
    const char* name;
    std::vector<TRec> records;
    uint32_t from;
    uint32_t to;
    // Expected values; an empty map means no summary.
    std::map<std::string, std::string> expected;
};

class StatisticsSummary : public StatisticsTest, public testing::WithParamInterface<TSummaryCase>
{
};

TEST_P(StatisticsSummary, MatchesTable)
{
    const TSummaryCase& c = GetParam();
    Load(c.records);
    stats.Summarize(c.from, c.to);
    const auto values = Values();
    if (c.expected.empty())
    {
        EXPECT_TRUE(values.empty());
        return;
    }
    ASSERT_EQ(values.size(), 10u);
    for (const auto& [name, value] : c.expected)
        EXPECT_EQ(values.at(name), value) << name;
}

const uint32_t T0 = 1700000000;

INSTANTIATE_TEST_SUITE_P(
    Cases, StatisticsSummary,
    testing::Values(
        TSummaryCase{"NoRecords", {}, T0, T0 + 100, {}},
        // Both searches land on the only record.
        TSummaryCase{"SingleRecord", {{T0 + 10, 5, 4}}, T0, T0 + 100, {}},
        TSummaryCase{"EmptyPeriod", {{T0, 5, 4}, {T0 + 10, 5, 4}}, T0 + 5, T0 + 5, {}},
        TSummaryCase{"ReversedPeriod", {{T0, 5, 4}, {T0 + 10, 5, 4}, {T0 + 20, 5, 4}}, T0 + 15, T0 + 5, {}},
        TSummaryCase{"TwoRecordsBeforePeriod",
                     {{T0, 5, 6}, {T0 + 10, 5, 6}},
                     T0 + 100,
                     T0 + 200,
                     {{"Period", "1m 40s"},
                      {"ActiveTime", "N/A"},
                      {"NormalTime", "N/A"},
                      {"FailedTime", "N/A"},
                      {"MinTick", "N/A"}}},
        // Ten one-minute OK results, then the program stops: the time after the stop counts nowhere.
        TSummaryCase{"OkThenStopped",
                     {{T0, 10, 4},
                      {T0 + 60, 20, 4},
                      {T0 + 120, 30, 4},
                      {T0 + 180, 40, 4},
                      {T0 + 240, 50, 4},
                      {T0 + 300, 60, 4},
                      {T0 + 360, 70, 4},
                      {T0 + 420, 80, 4},
                      {T0 + 480, 90, 4},
                      {T0 + 540, 100, 4},
                      {T0 + 600, 0, 1},
                      {T0 + 1200, 0, 0},
                      {T0 + 1300, 0, 4}},
                     T0,
                     T0 + 1200,
                     {{"Period", "20m"},
                      {"ActiveTime", "10m (50%)"},
                      {"NormalTime", "10m (50%)"},
                      {"FailedTime", "N/A"},
                      {"MinTick", "10"},
                      {"AvgTick", "55"},
                      {"MaxTick", "100"}}},
        // The OK record that opens the first segment lies before the period and still counts its response;
        // the segment opened by the last record inside the period is not counted.
        TSummaryCase{"EveryCategory",
                     {{T0 - 50, 7, 4},
                      {T0 + 100, 999, 6},
                      {T0 + 200, 0, 5},
                      {T0 + 230, 0, 7},
                      {T0 + 260, 0, 8},
                      {T0 + 300, 0, 9},
                      {T0 + 400, 0, 3},
                      {T0 + 500, 3, 4},
                      {T0 + 600, 0, 6}},
                     T0,
                     T0 + 1000,
                     {{"Period", "16m 40s"},
                      {"ActiveTime", "8m 20s (50%)"},
                      {"NormalTime", "3m 20s (20%)"},
                      {"FailedTime", "1m 40s (10%)"},
                      {"ConfigTime", "30s (3%)"},
                      {"InetTime", "1m 10s (7%)"},
                      {"Maintenance", "1m 40s (10%)"},
                      {"MinTick", "3"},
                      {"AvgTick", "5"},
                      {"MaxTick", "7"}}},
        // A period ending after the last record leaves the time after it uncounted.
        TSummaryCase{"PeriodPastLastRecord",
                     {{T0, 4, 4}, {T0 + 100, 8, 4}},
                     T0,
                     T0 + 400,
                     {{"NormalTime", "1m 40s (25%)"}, {"MinTick", "4"}, {"MaxTick", "4"}}},
        // A segment cut at both ends of the period.
        TSummaryCase{"ClippedSegment",
                     {{T0, 4, 6}, {T0 + 1000, 0, 6}, {T0 + 2000, 0, 6}},
                     T0 + 100,
                     T0 + 400,
                     {{"FailedTime", "5m (100%)"}, {"ActiveTime", "5m (100%)"}}},
        // Records out of order: segments whose end precedes their start add nothing; unknown kinds open none.
        TSummaryCase{"OutOfOrderAndUnknownKinds",
                     {{T0, 1, 4}, {T0 + 500, 2, 4}, {T0 + 100, 3, 200}, {T0 + 200, 4, 6}, {T0 + 900, 0, 1}},
                     T0,
                     T0 + 1000,
                     {{"NormalTime", "8m 20s (50%)"}, {"FailedTime", "11m 40s (70%)"}, {"AvgTick", "1"}}}),
    [](const testing::TestParamInfo<TSummaryCase>& param) { return std::string(param.param.name); });

TEST_F(StatisticsTest, ItemsCarryNamesCaptionsAndHintsInOrder)
{
    Load({{T0, 1, 4}, {T0 + 10, 1, 4}});
    stats.Summarize(T0, T0 + 10);
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"Period", "Selected Period"},
        {"ActiveTime", "Monitor Active"},
        {"NormalTime", "Server Uptime"},
        {"FailedTime", "Server Downtime"},
        {"ConfigTime", "Configuration Errors"},
        {"InetTime", "Internet Connection Problems"},
        {"Maintenance", "Scheduled Maintenance"},
        {"MinTick", "Minimum Response Time"},
        {"AvgTick", "Average Response Time"},
        {"MaxTick", "Maximun Response Time"},
    };
    ASSERT_EQ(stats.Items().Count(), 10);
    for (int i = 0; i < 10; ++i)
    {
        EXPECT_EQ(stats.Items().Item(i)->Name, expected[static_cast<size_t>(i)].first);
        EXPECT_EQ(stats.Items().Item(i)->Caption, expected[static_cast<size_t>(i)].second);
    }
    EXPECT_EQ(stats.Items().FindItem("Maintenance")->Hint, "The maintenance intervals within the selected period");
    EXPECT_EQ(stats.Items().FindItem("ConfigTime")->Hint,
              "The time interval within the selected<br>period when the server checks were failed because<br>of the "
              "monitor configuration errors");
    EXPECT_EQ(stats.Items().FindItem("Period")->Hint, "");
    EXPECT_EQ(stats.Items().FindItem("NormalTime")->Value, "10s (100%)");
}

TEST_F(StatisticsTest, TargetGetsTemplateFieldsWithRowSuffix)
{
    Load({{T0, 12, 4}, {T0 + 30, 0, 6}, {T0 + 60, 0, 1}});
    TOptionsList target;
    stats.Summarize(T0, T0 + 60, 3, &target);
    EXPECT_EQ(target.ReadString("Stat_Period_3"), "1m");
    EXPECT_EQ(target.ReadString("Stat_NormalTime_3"), "30s (50%)");
    EXPECT_EQ(target.ReadString("Stat_FailedTime_3"), "30s (50%)");
    EXPECT_EQ(target.ReadString("Stat_MaintenanceTime_3"), "N/A");
    EXPECT_EQ(target.ReadString("Stat_MaxTick_3"), "12");
    EXPECT_EQ(target.Count(), 10);

    TOptionsList plain;
    stats.Summarize(0, 0, -1, &plain); // the stored period
    EXPECT_EQ(plain.ReadString("Stat_ActiveTime"), "1m (100%)");
    EXPECT_EQ(plain.Count(), 10);

    // An empty summary writes nothing.
    TOptionsList none;
    stats.Summarize(T0 + 5, T0 + 5, 0, &none);
    EXPECT_EQ(none.Count(), 0);
    EXPECT_EQ(stats.PeriodFrom(), T0 + 5);
}

TEST_F(StatisticsTest, StoredPeriodCarriesOverToTheNextMonitorAndNotifies)
{
    int changes = 0;
    stats.OnChange = [&](TStatistics& sender)
    {
        EXPECT_EQ(&sender, &stats);
        ++changes;
    };
    test::WriteWholeFile(stats.FileNameOf("m2"), Bytes({{T0, 1, 6}, {T0 + 40, 0, 1}}));
    Load({{T0, 1, 4}, {T0 + 20, 0, 1}});
    stats.Summarize(T0, T0 + 40);
    EXPECT_EQ(Values()["NormalTime"], "20s (50%)");
    const int before = changes;
    stats.SelectMonitor("m2");
    EXPECT_EQ(changes, before + 1);
    EXPECT_EQ(Values()["FailedTime"], "40s (100%)");
    stats.Clear();
    EXPECT_EQ(changes, before + 2);
    EXPECT_EQ(stats.Items().Count(), 0);
}

TEST_F(StatisticsTest, AppendToCurrentMonitorGrowsTheCopy)
{
    stats.Summarize(T0, T0 + 100);
    stats.SelectMonitor("m1");
    stats.AddEvent("M1", seOK, T0, 5);
    stats.AddEvent("other", seOK, T0, 5);
    stats.AddEvent("m1", seFailed, T0 + 50, 0);
    EXPECT_EQ(stats.RecordCount(), 2);
    stats.Summarize(0, 0);
    EXPECT_EQ(Values()["NormalTime"], "50s (50%)");
}

TEST_F(StatisticsTest, ScaleIgnoresFailedResponses)
{
    stats.Summarize(T0, T0 + 100);
    uint32_t from = 0;
    uint32_t to = 0;
    int64_t maximum = 0;
    stats.GetScale(from, to, maximum);
    EXPECT_EQ(from, T0);
    EXPECT_EQ(to, T0 + 100);
    EXPECT_EQ(maximum, 9); // 9 × 1.01 rounds to 9

    Load({{T0, 200, 4}, {T0 + 10, 5000, 6}, {T0 + 20, 6000, 7}, {T0 + 30, 7000, 8}, {T0 + 40, 300, 9}});
    stats.Summarize(T0, T0 + 40);
    stats.GetScale(from, to, maximum);
    EXPECT_EQ(maximum, 303);
}

TEST_F(StatisticsTest, SegmentsCarryKindColourAndResponse)
{
    Load({{T0, 11, 4},
          {T0 + 10, 0, 5},
          {T0 + 20, 0, 6},
          {T0 + 30, 0, 2},
          {T0 + 40, 0, 7},
          {T0 + 50, 0, 8},
          {T0 + 60, 0, 9},
          {T0 + 70, 0, 1}});
    const std::string uin = stats.BeginSegments(T0, T0 + 70);
    EXPECT_EQ(uin, "m1");
    std::vector<TStatSegment> segments;
    TStatSegment segment;
    while (stats.NextSegment(uin, segment))
        segments.push_back(segment);
    const std::vector<std::tuple<uint32_t, uint32_t, int, uint32_t>> expected = {
        {T0, T0 + 10, 4, 0x008000},      {T0 + 10, T0 + 20, 5, 0xFFFF00}, {T0 + 20, T0 + 30, 6, 0xFF0000},
        {T0 + 40, T0 + 50, 7, 0xFF8040}, {T0 + 50, T0 + 60, 8, 0xFF8040}, {T0 + 60, T0 + 70, 9, 0x000080}};
    ASSERT_EQ(segments.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i)
    {
        EXPECT_EQ(segments[i].Start, std::get<0>(expected[i]));
        EXPECT_EQ(segments[i].End, std::get<1>(expected[i]));
        EXPECT_EQ(segments[i].Kind, std::get<2>(expected[i]));
        EXPECT_EQ(segments[i].Color, std::get<3>(expected[i]));
    }
    EXPECT_EQ(segments[0].Response, 11u);
    EXPECT_FALSE(stats.NextSegment(uin, segment));
}

TEST_F(StatisticsTest, LastPendingSegmentReachesNowOnlyPastTheFinalRecord)
{
    Load({{T0, 7, 4}, {T0 + 10, 0, 6}});
    TStatSegment segment;
    // The period reaches past the final record: its segment runs up to now.
    std::string uin = stats.BeginSegments(T0, T0 + 1000);
    ASSERT_TRUE(stats.NextSegment(uin, segment));
    EXPECT_EQ(segment.End, T0 + 10);
    const uint32_t before = LocalUnixNow();
    ASSERT_TRUE(stats.NextSegment(uin, segment));
    EXPECT_EQ(segment.Start, T0 + 10);
    EXPECT_EQ(segment.Kind, seFailed);
    EXPECT_GE(segment.End, before);
    EXPECT_LE(segment.End, LocalUnixNow());
    EXPECT_FALSE(stats.NextSegment(uin, segment));

    // A foreign identity ends the iteration at once.
    uin = stats.BeginSegments(T0, T0 + 1000);
    EXPECT_FALSE(stats.NextSegment("m2", segment));

    // A period ending before the final record stops at the record after it.
    Load({{T0, 7, 4}, {T0 + 10, 0, 6}, {T0 + 20, 0, 4}, {T0 + 30, 0, 4}});
    uin = stats.BeginSegments(T0, T0 + 15);
    int count = 0;
    while (stats.NextSegment(uin, segment))
        ++count;
    EXPECT_EQ(count, 2);
    EXPECT_EQ(segment.End, T0 + 20);
}

TEST_F(StatisticsTest, RandomCorruptFilesAreReadWithoutHarm)
{
    std::mt19937 random(20240611);
    for (int round = 0; round < 200; ++round)
    {
        std::string bytes(random() % 400, '\0');
        for (char& c : bytes)
            c = static_cast<char>(random());
        test::WriteWholeFile(stats.FileNameOf("m1"), bytes);
        stats.Clear();
        stats.SelectMonitor("m1");
        ASSERT_EQ(stats.RecordCount(), static_cast<int32_t>(bytes.size() / 10));
        const uint32_t from = static_cast<uint32_t>(random());
        const uint32_t to = static_cast<uint32_t>(random());
        TOptionsList target;
        stats.Summarize(from, to, 0, &target);
        EXPECT_TRUE(stats.Items().Count() == 0 || stats.Items().Count() == 10);
        uint32_t f = 0;
        uint32_t t = 0;
        int64_t maximum = 0;
        stats.GetScale(f, t, maximum);
        EXPECT_GE(maximum, 9);
        const std::string uin = stats.BeginSegments(from, to);
        TStatSegment segment;
        int guard = 0;
        while (stats.NextSegment(uin, segment) && guard < 100)
        {
            EXPECT_GE(segment.Kind, 4);
            EXPECT_LE(segment.Kind, 9);
            ++guard;
        }
        EXPECT_LT(guard, 100);
    }
}

TEST(StatTime, LocalClockSecondsSinceEpoch)
{
    EXPECT_EQ(LocalUnixSeconds(kUnixEpochDay), 0u);
    EXPECT_EQ(LocalUnixSeconds(kUnixEpochDay + 1.5), 129600u);
    EXPECT_EQ(LocalUnixSeconds(EncodeDateTime(2024, 3, 1, 12, 0, 0)), 1709294400u);
    EXPECT_EQ(LocalUnixSeconds(0.0), 0u);
    EXPECT_EQ(LocalUnixSeconds(kUnixEpochDay + 60000.0), 4294967295u);
}

} // namespace
