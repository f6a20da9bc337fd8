#include "support/unitMainThread.h"

#include <algorithm>
#include <vector>

namespace wardlark
{

using Clock = std::chrono::steady_clock;

namespace
{

constexpr int kDoneWaiting = 0;
constexpr int kDoneRan = 1;
constexpr int kDoneRefused = 2;

void RunGuarded(const TMainThreadCall& call)
{
    try
    {
        call();
    }
    catch (...)
    {
        // No exception crosses the dispatcher.
    }
}

} // namespace

THeadlessLoop::THeadlessLoop() : mainThread_(std::this_thread::get_id())
{
}

THeadlessLoop::~THeadlessLoop()
{
    Shutdown();
}

bool THeadlessLoop::IsMainThread() const
{
    return std::this_thread::get_id() == mainThread_;
}

bool THeadlessLoop::Queue(TMainThreadCall call)
{
    {
        std::lock_guard guard(lock_);
        if (shutdown_)
            return false;
        queue_.push_back({std::move(call), nullptr});
    }
    wake_.notify_one();
    return true;
}

bool THeadlessLoop::Synchronize(TMainThreadCall call)
{
    if (IsMainThread())
    {
        RunGuarded(call);
        return true;
    }
    auto waiter = std::make_shared<TWaiter>();
    std::unique_lock guard(lock_);
    if (shutdown_)
        return false;
    queue_.push_back({std::move(call), waiter});
    wake_.notify_one();
    waiter->finished.wait(guard, [&waiter] { return waiter->done != kDoneWaiting; });
    return waiter->done == kDoneRan;
}

TTimerId THeadlessLoop::AddTimer(int intervalMs, TMainThreadCall tick)
{
    const TTimerId id = nextTimer_++;
    timers_[id] = {std::max(intervalMs, 1), std::move(tick), Clock::now() + std::chrono::milliseconds(intervalMs)};
    return id;
}

void THeadlessLoop::RemoveTimer(TTimerId id)
{
    timers_.erase(id);
}

void THeadlessLoop::RunOnce(Clock::time_point deadline)
{
    std::deque<TPending> work;
    {
        std::lock_guard guard(lock_);
        work.swap(queue_);
    }
    for (auto& pending : work)
    {
        RunGuarded(pending.call);
        if (pending.waiter)
        {
            std::lock_guard guard(lock_);
            pending.waiter->done = kDoneRan;
            pending.waiter->finished.notify_one();
        }
    }

    bool ranTimer = false;
    std::vector<TTimerId> due;
    for (const auto& [id, timer] : timers_)
        if (timer.due <= Clock::now())
            due.push_back(id);
    for (const TTimerId id : due)
    {
        auto found = timers_.find(id);
        if (found == timers_.end())
            continue; // removed by an earlier tick
        const TMainThreadCall tick = found->second.tick;
        RunGuarded(tick);
        ranTimer = true;
        found = timers_.find(id);
        if (found != timers_.end())
            found->second.due = Clock::now() + std::chrono::milliseconds(found->second.intervalMs);
    }
    if (!work.empty() || ranTimer)
        return;

    Clock::time_point wakeAt = deadline;
    for (const auto& entry : timers_)
        wakeAt = std::min(wakeAt, entry.second.due);
    std::unique_lock guard(lock_);
    wake_.wait_until(guard, wakeAt, [this] { return !queue_.empty() || quit_ || shutdown_; });
}

void THeadlessLoop::Run()
{
    for (;;)
    {
        {
            std::lock_guard guard(lock_);
            if (quit_ || shutdown_)
            {
                quit_ = false;
                return;
            }
        }
        RunOnce(Clock::now() + std::chrono::hours(1));
    }
}

bool THeadlessLoop::RunUntil(const std::function<bool()>& done, int timeoutMs)
{
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done())
    {
        const Clock::time_point now = Clock::now();
        if (now >= deadline)
            return done();
        // Conditions may change on other threads without waking the loop: look again often.
        RunOnce(std::min(deadline, now + std::chrono::milliseconds(5)));
    }
    return true;
}

void THeadlessLoop::Quit()
{
    {
        std::lock_guard guard(lock_);
        quit_ = true;
    }
    wake_.notify_all();
}

void THeadlessLoop::Shutdown()
{
    {
        std::lock_guard guard(lock_);
        shutdown_ = true;
        for (auto& pending : queue_)
            if (pending.waiter)
            {
                pending.waiter->done = kDoneRefused;
                pending.waiter->finished.notify_one();
            }
        queue_.clear();
    }
    wake_.notify_all();
}

} // namespace wardlark
