#include "reports/unitStatistics.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <numeric>
#include <stdlib.h>
#include <string>
#include <vector>

namespace
{

using wardlark::TStatistics;

constexpr uint32_t kYearStart = 1704067200; // 2024-01-01 00:00
constexpr int32_t kYearRecords = 525600;    // one check a minute for 365 days
constexpr uint32_t kMonth = 30 * 86400;
constexpr uint32_t kYear = 365 * 86400;

// A temporary statistics folder holding "year.sta": one monitor's year of one-minute results,
// mostly OK with a failure every 97th check and a stop every 10000th.
class TYearFile
{
public:
    TYearFile()
    {
        char pattern[] = "/tmp/wardlark-stat-bench-XXXXXX";
        folder_ = mkdtemp(pattern) != nullptr ? std::string(pattern) + "/" : "";
        std::string bytes(static_cast<size_t>(kYearRecords) * wardlark::kStatRecordSize, '\0');
        for (int32_t i = 0; i < kYearRecords; ++i)
        {
            const uint32_t time = kYearStart + static_cast<uint32_t>(i) * 60;
            const uint32_t response = 20 + static_cast<uint32_t>(i % 300);
            const uint8_t kind = i % 10000 == 9999 ? 1 : i % 97 == 0 ? 6 : 4;
            char* p = bytes.data() + static_cast<size_t>(i) * wardlark::kStatRecordSize;
            for (int b = 0; b < 4; ++b)
            {
                p[b] = static_cast<char>(time >> (8 * b));
                p[4 + b] = static_cast<char>(response >> (8 * b));
            }
            p[8] = static_cast<char>(kind);
            p[9] = static_cast<char>(time + response + kind);
        }
        std::ofstream(folder_ + "year.sta", std::ios::binary)
            .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    ~TYearFile()
    {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
    const std::string& Folder() const { return folder_; }

private:
    std::string folder_;
};

TYearFile& YearFile()
{
    static TYearFile file;
    return file;
}

// Summarising a period of the loaded year: the month is the last 30 days, the year the whole
// file. Bytes processed are the records of the period, so the rate compares with the memory
// read floor below.
void SummarizePeriod(benchmark::State& state, uint32_t length)
{
    TStatistics stats;
    stats.SetFolder(YearFile().Folder());
    stats.SelectMonitor("year");
    const uint32_t to = kYearStart + kYear;
    const uint32_t from = to - length;
    for (auto _ : state)
    {
        stats.Summarize(from, to);
        benchmark::DoNotOptimize(stats.Items().Count());
    }
    const int64_t records = stats.FindIndex(to, false) - stats.FindIndex(from, true) + 1;
    state.SetBytesProcessed(state.iterations() * records * wardlark::kStatRecordSize);
    state.counters["records"] = static_cast<double>(records);
}

void BM_SummarizeMonth(benchmark::State& state)
{
    SummarizePeriod(state, kMonth);
}
BENCHMARK(BM_SummarizeMonth)->Unit(benchmark::kMicrosecond);

void BM_SummarizeYear(benchmark::State& state)
{
    SummarizePeriod(state, kYear);
}
BENCHMARK(BM_SummarizeYear)->Unit(benchmark::kMicrosecond);

// The floor for the year: touching every byte of 5.26 MB that is already in memory once.
void BM_MemoryReadFloor(benchmark::State& state)
{
    std::vector<uint64_t> data(static_cast<size_t>(kYearRecords) * wardlark::kStatRecordSize / 8, 1);
    for (auto _ : state)
        benchmark::DoNotOptimize(std::accumulate(data.begin(), data.end(), uint64_t{0}));
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(data.size() * 8));
}
BENCHMARK(BM_MemoryReadFloor)->Unit(benchmark::kMicrosecond);

// What a report or web request pays for one monitor: reading the year's file (from the page
// cache) and summarising a month.
void BM_SelectMonitorYear(benchmark::State& state)
{
    for (auto _ : state)
    {
        TStatistics stats;
        stats.SetFolder(YearFile().Folder());
        stats.Summarize(kYearStart + kYear - kMonth, kYearStart + kYear);
        stats.SelectMonitor("year");
        benchmark::DoNotOptimize(stats.RecordCount());
    }
    state.SetBytesProcessed(state.iterations() * int64_t{kYearRecords} * wardlark::kStatRecordSize);
}
BENCHMARK(BM_SelectMonitorYear)->Unit(benchmark::kMillisecond);

// One statistics event for a monitor that is not the selected one: open, write 10 bytes, flush
// to disk, close. Argument 1 makes it the selected monitor, whose in-memory copy grows too. The
// file grows by 10 bytes per iteration and is removed afterwards.
void BM_AddEvent(benchmark::State& state)
{
    char pattern[] = "/tmp/wardlark-stat-append-XXXXXX";
    const std::string folder = mkdtemp(pattern) != nullptr ? pattern : "";
    TStatistics stats;
    stats.SetFolder(folder);
    if (state.range(0) != 0)
        stats.SelectMonitor("m1");
    uint32_t time = kYearStart;
    for (auto _ : state)
        stats.AddEvent("m1", wardlark::seOK, time += 60, 25);
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}
BENCHMARK(BM_AddEvent)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

} // namespace
