// Benchmarks of the project: one scheduler tick over a large monitor list.
#include "project/unitProject.h"
#include "support/unitSystem.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>

using namespace wardlark;

namespace
{

constexpr int kMonitors = 10000;

class TBenchFolder
{
public:
    TBenchFolder()
    {
        std::string pattern = "/tmp/wardlark-projectbench-XXXXXX";
        path_ = std::string(mkdtemp(pattern.data())) + "/";
    }
    ~TBenchFolder() { std::filesystem::remove_all(path_); }
    std::string path_;
};

// Writes a monitor list of `count` monitors that are never due on their own (interval one
// hour) and whose checks end at once (a type this build does not check).
void WriteMonitorList(const std::string& path)
{
    TWardlarkList list(true);
    for (int i = 0; i < kMonitors; ++i)
    {
        auto monitor = std::make_unique<TWardlark>();
        monitor->Name = "26C0B" + std::to_string(100000 + i);
        monitor->ID = MonitorIDOf(monitor->Name);
        monitor->DisplayName = "Monitor " + std::to_string(i);
        monitor->Type = 42;
        monitor->Interval = 3600000;
        list.Add(std::move(monitor));
    }
    list.SaveToFile(path, 1, 0);
}

void BM_SchedulerTick(benchmark::State& state)
{
    const int due = static_cast<int>(state.range(0));
    TBenchFolder folder;
    WriteMonitorList(folder.path_ + "wardlarks.dat");
    THeadlessLoop loop;
    TOptionsList globals;
    TProject project(loop, folder.path_, globals);
    project.LoadMonitors();
    // First round: every monitor is checked once, so none is due afterwards.
    project.SchedulerTick();
    loop.RunUntil(
        [&]
        {
            for (int i = 0; i < kMonitors; ++i)
                if (project.Monitors().Monitor(i)->InProgress != 0)
                    return false;
            return true;
        },
        600000);
    for (auto _ : state)
    {
        state.PauseTiming();
        for (int i = 0; i < due; ++i)
            project.Monitors().Monitor(i * (kMonitors / std::max(due, 1)))->LastCheckTick = 0;
        state.ResumeTiming();
        project.SchedulerTick();
        state.PauseTiming();
        loop.RunUntil(
            [&]
            {
                for (int i = 0; i < due; ++i)
                    if (project.Monitors().Monitor(i * (kMonitors / std::max(due, 1)))->InProgress != 0)
                        return false;
                return true;
            },
            60000);
        state.ResumeTiming();
    }
    state.counters["workers"] = static_cast<double>(project.WorkerCount());
}
BENCHMARK(BM_SchedulerTick)->Arg(0)->Arg(100)->Unit(benchmark::kMicrosecond);

} // namespace
