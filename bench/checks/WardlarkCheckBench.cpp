// Runs COUNT checks of one kind through the real worker cycle, CONC at a time, the way the
// scheduler hands monitors to pooled workers, and prints wall time, CPU per check, peak
// threads and memory. Exits 0 when every check passed.
//
//   WardlarkCheckBench tcp HOST:PORT COUNT CONC [options]
//   WardlarkCheckBench ping HOST COUNT CONC [options]
//   WardlarkCheckBench console "COMMAND" COUNT CONC [options]
//
// Options: --timeout MS (check time-out, default 10000), --expiry MS (worker expiry, default
// 60000; the program waits for the pool to empty), --idle S (measure the CPU the idle pool
// uses over S seconds before it expires).
#include "config/unitMonitorOptions.h"
#include "engine/unitMonitorThread.h"
#include "support/unitMainThread.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <sys/resource.h>
#include <vector>

using namespace wardlark;

namespace
{

using Clock = std::chrono::steady_clock;

long StatusField(const char* name)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    const size_t length = std::strlen(name);
    while (std::getline(status, line))
        if (line.compare(0, length, name) == 0)
            return std::atol(line.c_str() + length + 1);
    return 0;
}

double CpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

int Usage()
{
    std::fprintf(stderr, "usage: WardlarkCheckBench tcp HOST:PORT | ping HOST | console COMMAND  COUNT CONC "
                         "[--timeout MS] [--expiry MS] [--idle S]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 5)
        return Usage();
    const std::string kind = argv[1];
    const std::string target = argv[2];
    const int count = std::atoi(argv[3]);
    const int concurrency = std::atoi(argv[4]);
    int timeoutMs = 10000;
    uint32_t expiryMs = kWorkerExpiryMs;
    int idleSeconds = 0;
    for (int i = 5; i + 1 < argc; i += 2)
    {
        if (std::strcmp(argv[i], "--timeout") == 0)
            timeoutMs = std::atoi(argv[i + 1]);
        else if (std::strcmp(argv[i], "--expiry") == 0)
            expiryMs = static_cast<uint32_t>(std::atol(argv[i + 1]));
        else if (std::strcmp(argv[i], "--idle") == 0)
            idleSeconds = std::atoi(argv[i + 1]);
        else
            return Usage();
    }
    if (count <= 0 || concurrency <= 0)
        return Usage();

    TWardlark monitor;
    monitor.AssignNewIdentity();
    monitor.DisplayName = "bench";
    monitor.Timeout = timeoutMs;
    TOptionsList options;
    if (kind == "tcp")
    {
        const size_t colon = target.rfind(':');
        if (colon == std::string::npos)
            return Usage();
        monitor.Type = mtCustom;
        options.WriteString(mo::kHost, target.substr(0, colon));
        options.WriteString(mo::kPort, target.substr(colon + 1));
    }
    else if (kind == "ping")
    {
        monitor.Type = mtPing;
        options.WriteString(mo::kHost, target);
    }
    else if (kind == "console")
    {
        monitor.Type = mtConsole;
        options.WriteString(mo::kCommandLine, target);
    }
    else
        return Usage();
    monitor.TypeOptions[static_cast<size_t>(monitor.Type)] = options.Text();

    char folderPattern[] = "/tmp/wardlark-checkbench-XXXXXX";
    const std::string dataFolder = std::string(mkdtemp(folderPattern)) + "/";

    THeadlessLoop loop;
    std::vector<std::unique_ptr<TMonitorThread>> workers;
    int started = 0;
    int finished = 0;
    int failed = 0;
    std::string firstFailure;
    size_t peakWorkers = 0;
    long peakThreads = 0;

    const auto startOne = [&]
    {
        for (auto it = workers.rbegin(); it != workers.rend(); ++it)
            if ((*it)->AssignMonitor(monitor, "", "", "", "") == kAssignAccepted)
            {
                ++started;
                return;
            }
        auto worker = std::make_unique<TMonitorThread>(loop, dataFolder, expiryMs);
        worker->OnCheckDone = [&](TMonitorThread&, TWardlark& result)
        {
            ++finished;
            if (result.Status != msOK)
            {
                ++failed;
                if (firstFailure.empty())
                    firstFailure = result.Reason;
            }
        };
        worker->AssignMonitor(monitor, "", "", "", "");
        workers.push_back(std::move(worker));
        ++started;
    };

    const long baselineRss = StatusField("VmRSS:");
    const double cpuBefore = CpuSeconds();
    const Clock::time_point begin = Clock::now();
    Clock::time_point nextSample = begin;
    while (started < std::min(count, concurrency))
        startOne();
    loop.RunUntil(
        [&]
        {
            while (started < count && started - finished < concurrency)
                startOne();
            peakWorkers = std::max(peakWorkers, workers.size());
            // Sampled, so that reading /proc does not weigh on the CPU measured.
            if (Clock::now() >= nextSample)
            {
                peakThreads = std::max(peakThreads, StatusField("Threads:"));
                nextSample = Clock::now() + std::chrono::milliseconds(100);
            }
            return finished == count;
        },
        24 * 3600 * 1000);
    const double wall = std::chrono::duration<double>(Clock::now() - begin).count();
    const double cpu = CpuSeconds() - cpuBefore;
    const long peakRss = StatusField("VmHWM:");

    std::printf("%s %s: %d checks, concurrency %d\n", kind.c_str(), target.c_str(), count, concurrency);
    std::printf("wall time        %.3f s (%.0f checks/s)\n", wall, count / wall);
    std::printf("CPU              %.3f s, %.3f ms per check\n", cpu, cpu * 1000.0 / count);
    std::printf("failed checks    %d%s%s\n", failed, failed > 0 ? ", first: " : "", firstFailure.c_str());
    std::printf("workers          %zu (peak threads %ld)\n", peakWorkers, peakThreads);
    std::printf("RSS              baseline %ld KiB, peak %ld KiB, %.1f KiB per check in flight\n", baselineRss, peakRss,
                static_cast<double>(peakRss - baselineRss) / std::min(count, concurrency));

    if (idleSeconds > 0)
    {
        const double idleBefore = CpuSeconds();
        loop.RunUntil([] { return false; }, idleSeconds * 1000);
        const double idleCpu = CpuSeconds() - idleBefore;
        std::printf("idle pool        %zu workers, %.3f s CPU in %d s (%.3f %% of one core)\n", workers.size(), idleCpu,
                    idleSeconds, 100.0 * idleCpu / idleSeconds);
    }

    // Free expired workers once a second, as the scheduler does, until the pool is empty.
    const Clock::time_point drainStart = Clock::now();
    loop.RunUntil(
        [&]
        {
            std::erase_if(workers, [](const auto& worker) { return worker->State() == wsExpired; });
            return workers.empty();
        },
        static_cast<int>(expiryMs) + 10000);
    std::printf("pool after expiry %zu workers (%.1f s)\n", workers.size(),
                std::chrono::duration<double>(Clock::now() - drainStart).count());
    std::string cleanup = "rm -rf '" + dataFolder + "'";
    if (std::system(cleanup.c_str()) != 0)
        std::fprintf(stderr, "could not remove %s\n", dataFolder.c_str());
    return failed == 0 && workers.empty() ? 0 : 1;
}
