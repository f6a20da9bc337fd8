#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

namespace wardlark
{

using TMainThreadCall = std::function<void()>;
using TTimerId = uint64_t;

// The main thread as the rest of the core sees it: one thread that runs the scheduler, takes
// results back from workers and owns every list. Each front end binds it to its own event
// loop (the headless loop below; the desktop binds it to Qt's), so nothing in the core
// assumes which loop runs it.
//
// Calls never carry exceptions across: a call that throws is caught and dropped on the main
// thread.
//
// Thread safety: Queue, Synchronize and IsMainThread may be called from any thread; timers
// are added and removed on the main thread.
class IMainThreadDispatcher
{
public:
    virtual ~IMainThreadDispatcher() = default;

    // Runs `call` on the main thread later, in posting order. Returns false (and drops the
    // call) once the dispatcher shuts down.
    virtual bool Queue(TMainThreadCall call) = 0;
    // Runs `call` on the main thread and blocks until it has returned; runs it at once when
    // already on the main thread. Returns false without running it when the dispatcher is
    // shutting down (waiting callers are released then).
    virtual bool Synchronize(TMainThreadCall call) = 0;
    // A repeating timer: `tick` runs on the main thread every `intervalMs`, counted from the
    // end of the previous run (the timer is stopped while it works).
    virtual TTimerId AddTimer(int intervalMs, TMainThreadCall tick) = 0;
    virtual void RemoveTimer(TTimerId id) = 0;
    virtual bool IsMainThread() const = 0;
};

// The core's own event loop: the main thread of the headless program and of the tests.
// The thread that creates the loop is its main thread and must be the one that runs it.
class THeadlessLoop : public IMainThreadDispatcher
{
public:
    THeadlessLoop();
    ~THeadlessLoop() override;

    bool Queue(TMainThreadCall call) override;
    bool Synchronize(TMainThreadCall call) override;
    TTimerId AddTimer(int intervalMs, TMainThreadCall tick) override;
    void RemoveTimer(TTimerId id) override;
    bool IsMainThread() const override;

    // Runs queued calls and due timers until Quit() (from any thread, or from a call).
    void Run();
    // Runs the loop until `done()` is true or `timeoutMs` passed; returns done(). For tests
    // and for shutdown sequences that must keep serving workers while they wait.
    bool RunUntil(const std::function<bool()>& done, int timeoutMs);
    // Makes Run return after the current call.
    void Quit();
    // Refuses new calls and releases every thread waiting in Synchronize. Final.
    void Shutdown();

private:
    // The completion of one Synchronize call, shared so that a released waiter and a late run
    // never touch freed memory. Each waiter has its own condition, so finishing one call wakes
    // one thread, not all that wait.
    struct TWaiter
    {
        int done = 0; // 0 waiting, 1 ran, 2 refused; guarded by the loop's lock
        std::condition_variable finished;
    };
    struct TPending
    {
        TMainThreadCall call;
        std::shared_ptr<TWaiter> waiter; // set for Synchronize
    };
    struct TTimer
    {
        int intervalMs;
        TMainThreadCall tick;
        std::chrono::steady_clock::time_point due;
    };

    // Runs everything queued and every due timer once; waits at most until `deadline` for
    // work when there is none. Returns after doing some work or at the deadline.
    void RunOnce(std::chrono::steady_clock::time_point deadline);

    const std::thread::id mainThread_;
    mutable std::mutex lock_;
    std::condition_variable wake_; // work arrived for the main thread
    std::deque<TPending> queue_;
    std::map<TTimerId, TTimer> timers_; // main thread only
    TTimerId nextTimer_ = 1;
    bool quit_ = false;
    bool shutdown_ = false;
};

} // namespace wardlark
