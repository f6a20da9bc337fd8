// Benchmarks of the configuration model: the monitor list file and option lookups.
#include "config/unitMonitorOptions.h"
#include "config/unitOptionsList.h"
#include "config/unitWardlark.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

using namespace wardlark;

namespace
{

constexpr int kMonitors = 10000;

void FillMonitors(TWardlarkList& list)
{
    for (int i = 0; i < kMonitors; ++i)
    {
        auto monitor = std::make_unique<TWardlark>();
        monitor->Name = "26C0B" + std::to_string(10000 + i);
        monitor->ID = MonitorIDOf(monitor->Name);
        monitor->Type = mtHTTP;
        monitor->DisplayName = "Web server " + std::to_string(i);
        monitor->Description = "Front page of shop number " + std::to_string(i);
        monitor->DisplayAddress = "https://shop" + std::to_string(i) + ".example.org/index.html";
        monitor->LastCheckLog = "0|0|12:00:00|Connecting\r\n0|0|12:00:01|HTTP/1.1 200 OK";
        TOptionsList options;
        options.WriteString(mo::kURL, monitor->DisplayAddress);
        options.WriteBool(mo::kCheckInet, true);
        options.WriteString(mo::kContentFilter, "\"Welcome\" and not \"Error\"");
        monitor->TypeOptions[mtHTTP] = options.Text();
        monitor->GeneralOptions = "ShowPopup=TRUE\r\nPlaySound=TRUE\r\nSendEmail=TRUE\r\nConsequentFailures=2";
        list.Add(std::move(monitor));
    }
}

class TTempDir
{
public:
    TTempDir()
    {
        std::string pattern = "/tmp/wardlark-bench-XXXXXX";
        path_ = std::string(mkdtemp(pattern.data())) + "/";
    }
    ~TTempDir() { std::filesystem::remove_all(path_); }
    std::string path_;
};

// Saving 10,000 monitors with the ".crc" and ".bkp" companions, each file flushed to disk.
void BM_SaveMonitorList(benchmark::State& state)
{
    TTempDir folder;
    TWardlarkList list(true);
    FillMonitors(list);
    for (auto _ : state)
        list.SaveToFile(folder.path_ + "wardlarks.dat", 1, 100);
    state.counters["bytes"] = static_cast<double>(list.StreamSize());
}
BENCHMARK(BM_SaveMonitorList)->Unit(benchmark::kMillisecond);

// Loading 10,000 monitors with the checksum test.
void BM_LoadMonitorList(benchmark::State& state)
{
    TTempDir folder;
    {
        TWardlarkList list(true);
        FillMonitors(list);
        list.SaveToFile(folder.path_ + "wardlarks.dat", 1, 100);
    }
    TWardlarkList loaded(true);
    for (auto _ : state)
        benchmark::DoNotOptimize(loaded.LoadFromFile(folder.path_ + "wardlarks.dat", 10, 100));
}
BENCHMARK(BM_LoadMonitorList)->Unit(benchmark::kMillisecond);

// Looking up one option by name in a list of 100 options.
void BM_OptionLookup(benchmark::State& state)
{
    TOptionsList options;
    for (int i = 0; i < 100; ++i)
        options.WriteString("OptionNumber" + std::to_string(i), "value " + std::to_string(i));
    const std::string name = "optionnumber73";
    for (auto _ : state)
        benchmark::DoNotOptimize(options.ReadString(name));
}
BENCHMARK(BM_OptionLookup);

} // namespace
