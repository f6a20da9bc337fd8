#include "support/unitKeypoint.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <stdlib.h>
#include <string>
#include <unistd.h>

namespace
{

std::string gFolder;
std::string gPath;

// Recording one keypoint with the program's buffer of 1000 records and no timed writes: the
// figure includes the append of 24000 bytes that every 1000th call makes. With several threads
// it shows what contention on the keypoint lock costs.
void BM_AddKeypoint(benchmark::State& state)
{
    if (state.thread_index() == 0)
    {
        char pattern[] = "/tmp/wardlark-keypoint-bench-XXXXXX";
        gFolder = mkdtemp(pattern) != nullptr ? pattern : "";
        gPath = gFolder + "/keypoints.dat";
        wardlark::InitKeypoints(gPath, 1000, 0xFFFFFFFFu);
    }
    uint32_t id = 0;
    for (auto _ : state)
    {
        wardlark::AddKeypoint(id, -1);
        // Keeps the file small over millions of iterations.
        if (++id % 1000000 == 0 && state.thread_index() == 0)
        {
            state.PauseTiming();
            if (truncate(gPath.c_str(), 0) != 0)
                state.SkipWithError("cannot truncate the keypoints file");
            state.ResumeTiming();
        }
    }
    state.SetItemsProcessed(state.iterations());
    if (state.thread_index() == 0)
    {
        if (gFolder.empty())
            state.SkipWithError("cannot create a temporary folder");
        wardlark::FinishKeypoints();
        std::filesystem::remove_all(gFolder);
    }
}
BENCHMARK(BM_AddKeypoint)->Threads(1)->Threads(4)->UseRealTime();

} // namespace
