#include "support/unitMainThread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

using namespace wardlark;

namespace
{

TEST(HeadlessLoop, SynchronizeRunsOnTheMainThreadAndWaits)
{
    THeadlessLoop loop;
    std::atomic<int> results{0};
    std::vector<std::thread> workers;
    for (int i = 0; i < 8; ++i)
        workers.emplace_back(
            [&]
            {
                bool onMain = false;
                EXPECT_TRUE(loop.Synchronize([&] { onMain = loop.IsMainThread(); }));
                EXPECT_TRUE(onMain); // the worker reads it only after the call returned
                ++results;
            });
    EXPECT_TRUE(loop.RunUntil([&] { return results == 8; }, 10000));
    for (auto& worker : workers)
        worker.join();
}

TEST(HeadlessLoop, SynchronizeOnTheMainThreadRunsAtOnceAndSwallowsErrors)
{
    THeadlessLoop loop;
    int ran = 0;
    EXPECT_TRUE(loop.Synchronize([&] { ++ran; }));
    EXPECT_EQ(ran, 1);
    EXPECT_TRUE(loop.Synchronize([] { throw std::runtime_error("not across"); }));
}

TEST(HeadlessLoop, QueuedCallsRunInOrder)
{
    THeadlessLoop loop;
    std::vector<int> order;
    std::thread poster(
        [&]
        {
            for (int i = 0; i < 100; ++i)
                loop.Queue([&order, i] { order.push_back(i); });
        });
    poster.join();
    EXPECT_TRUE(loop.RunUntil([&] { return order.size() == 100; }, 5000));
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(order[static_cast<size_t>(i)], i);
}

TEST(HeadlessLoop, ShutdownReleasesWaitersAndRefusesNewCalls)
{
    THeadlessLoop loop;
    std::atomic<int> answered{0};
    std::atomic<bool> result{true};
    std::thread waiter(
        [&]
        {
            result = loop.Synchronize([] {});
            ++answered;
        });
    // Whether the waiter has queued its call yet or not, it must be answered with a refusal.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    loop.Shutdown();
    waiter.join();
    EXPECT_FALSE(result);
    EXPECT_FALSE(loop.Queue([] {}));
}

TEST(HeadlessLoop, RepeatingTimerAndRemovalFromItsOwnTick)
{
    THeadlessLoop loop;
    int ticks = 0;
    TTimerId id = 0;
    id = loop.AddTimer(10,
                       [&]
                       {
                           if (++ticks == 3)
                               loop.RemoveTimer(id);
                       });
    loop.RunUntil([] { return false; }, 200);
    EXPECT_EQ(ticks, 3);
}

TEST(HeadlessLoop, QuitEndsRun)
{
    THeadlessLoop loop;
    std::thread quitter([&] { loop.Queue([&] { loop.Quit(); }); });
    loop.Run();
    quitter.join();
}

} // namespace
