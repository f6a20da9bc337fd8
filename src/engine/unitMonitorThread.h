#pragma once

#include "config/unitMultiOptions.h"
#include "config/unitOptionsList.h"
#include "config/unitWardlark.h"
#include "support/unitMainThread.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <pthread.h>
#include <string>
#include <vector>

namespace wardlark
{

class TTCPBlockSocket;
class TPINGSend;

// Worker states.
enum TWorkerState : int
{
    wsIdle = 0,     // may accept a monitor
    wsAssigned = 1, // a check is pending or running
    wsAborting = 2, // the running check is to stop; no monitor is accepted until it ends
    wsExpired = 3,  // idle for more than 60 s; the loop has ended and the owner must free it
};

// Kinds of check-log lines (the first field of a line).
enum TLogKind : int
{
    lkInfo = 0,
    lkError = 1,
    lkWarning = 2, // also configuration problems
    lkDebug = 3,   // kept in the full log and the log file only
};

// Answers of AssignMonitor.
inline constexpr int kAssignAccepted = 0;
inline constexpr int kAssignBusy = -2;
inline constexpr int kAssignExpired = -201;
inline constexpr int kAssignError = -1;

// Milliseconds a worker waits without work before it expires.
inline constexpr uint32_t kWorkerExpiryMs = 60000;

// One worker thread that checks one monitor at a time: it runs the check of the monitor's
// type on a private copy, the Internet connection check, and then hands the copy back
// through OnCheckDone. Workers are pooled by their owner (the project, or the editor's test
// page) and end by themselves after 60 s without work.
//
// Events run on the main thread through the dispatcher while the worker waits for them;
// whatever they throw is ignored. Set them before the first AssignMonitor. A worker may be
// destroyed on the main thread at any time: a wait for an event is then released and the
// event is not run.
//
// Thread safety: AssignMonitor, Abort, State and MonitorUIN may be called from any thread
// (the owner calls them on the main thread). The check-side calls (AddLogLine, SetOutcome,
// the options and the active socket/ping registration) belong to the worker thread while a
// check runs. The worker's lock guards its state, the proxy texts and the active
// socket/ping references.
class TMonitorThread
{
public:
    using TMonitorEvent = std::function<void(TMonitorThread& worker, TWardlark& monitor)>;
    using TLogEvent =
        std::function<void(TMonitorThread& worker, const std::string& message, int indent, bool append, int kind)>;
    using TOptionsEvent = std::function<void(TMonitorThread& worker, TOptionsList& options)>;

    TMonitorEvent OnCheckStart;
    TLogEvent OnLog;
    TMonitorEvent OnCheckDone;
    TOptionsEvent OnGetOptions;

    // Starts the worker thread at once, idle. `dataFolder` (with "/") receives the check logs
    // in "logs/". The worker expires after `expiryMs` without work. The dispatcher must
    // outlive the worker. Throws EWardlarkError when the thread cannot be created.
    TMonitorThread(IMainThreadDispatcher& dispatcher, std::string dataFolder, uint32_t expiryMs = kWorkerExpiryMs);
    // Terminates the worker: aborts a running check, wakes and joins the thread.
    ~TMonitorThread();
    TMonitorThread(const TMonitorThread&) = delete;
    TMonitorThread& operator=(const TMonitorThread&) = delete;

    // Offers a monitor. kAssignAccepted: the worker copied it (last check log emptied, status
    // 2, reason emptied), stored the default proxy and starts the check at once;
    // kAssignBusy while a check runs or is being aborted; kAssignExpired once expired;
    // kAssignError when something failed (the worker is unchanged).
    int AssignMonitor(const TWardlark& monitor, const std::string& proxyHost, const std::string& proxyPassword,
                      const std::string& proxyUser, const std::string& proxyPort);
    // Breaks off the running check: cancels the active ping and socket, sets the state to
    // wsAborting and raises the aborted flag.
    void Abort();
    int State() const;
    // The UIN of the monitor being checked while the state is wsAssigned, else empty.
    std::string MonitorUIN() const;

    // --- the check's side (worker thread) ---------------------------------------------

    // Appends "kind|indent|hh:nn:ss|message" to the full log and, unless kind is lkDebug, to
    // the short log; with `append` the message extends the last line instead. Then OnLog.
    void AddLogLine(const std::string& message, int kind, int indent, bool append = false);
    // AddLogLine, then status 1 for lkInfo, 3 for lkError, 2 for lkWarning (lkDebug keeps
    // it), and the reason becomes `message`.
    void SetOutcome(const std::string& message, int kind, int indent, bool append = false);
    // Outcome after a failed network step: "Aborted by the user." when an abort was
    // requested, "Socket error %d: %s" when the active socket holds an error, otherwise
    // "%s error: %s" with the protocol name and the server's reply.
    void ReportNetworkFailure(const std::string& protocol, const std::string& reply);
    // The same texts as a log line of kind lkError at `indent`; the status is not changed.
    void LogNetworkFailure(const std::string& protocol, const std::string& reply, int indent);
    // Fills the global options copy through OnGetOptions, once per check.
    void FetchGlobalOptions();

    TWardlark& Monitor() { return monitor_; }
    TOptionsList& CurrentOptions() { return currentOptions_; }
    const TOptionsList& GlobalOptionsCopy() const { return globalOptions_; }
    TOptionsList& Variables() { return variables_; }
    TMultiOptions& AgentData() { return agentData_; }
    std::string& ContentText() { return contentText_; }
    const std::vector<std::string>& FullLog() const { return fullLog_; }
    const std::vector<std::string>& ShortLog() const { return shortLog_; }

    // True when an abort was requested (the state is wsAborting), read under the lock.
    bool AbortRequested() const;
    // The aborted flag, for runners that poll it (the console runner).
    const std::atomic<bool>& AbortedFlag() const { return aborted_; }
    // Registers the socket or ping client `Abort` must break (nullptr unregisters).
    void SetActiveSocket(TTCPBlockSocket* socket);
    void SetActivePing(TPINGSend* ping);
    // The default proxy handed over with the assignment.
    std::string ProxyHost() const;
    std::string ProxyPort() const;
    std::string ProxyUser() const;
    std::string ProxyPassword() const;
    // Marks the end of the network part of the check; ResponseTime ends here.
    void SetEndTick(uint32_t tick) { endTick_ = tick; }
    const std::string& DataFolder() const { return dataFolder_; }

private:
    static void* ThreadMain(void* self);
    void Loop();
    void StartStep();
    void RunCheck();
    void RunTypeCheck();
    void CloseTiming();
    void FinishStep();
    void SaveFullLog();
    // Calls `event` on the main thread and waits for it; errors are ignored.
    void CallOnMainThread(const std::function<void()>& event);
    std::string NetworkFailureText(const std::string& protocol, const std::string& reply) const;

    // One event call waiting for the main thread.
    struct TEventCall
    {
        std::mutex lock;
        std::condition_variable finished;
        bool done = false;
        bool cancelled = false;
    };

    IMainThreadDispatcher& dispatcher_;
    const std::string dataFolder_;
    const uint32_t expiryMs_;
    pthread_t thread_{};

    mutable std::mutex lock_;
    std::condition_variable wake_;
    int state_ = wsIdle;
    bool terminated_ = false;
    std::string proxyHost_, proxyPort_, proxyUser_, proxyPassword_;
    std::shared_ptr<TEventCall> currentCall_; // the event being waited for, if any
    TTCPBlockSocket* activeSocket_ = nullptr;
    TPINGSend* activePing_ = nullptr;

    std::atomic<bool> aborted_{false};
    TWardlark monitor_;
    std::vector<std::string> fullLog_;
    std::vector<std::string> shortLog_;
    TOptionsList currentOptions_;
    TOptionsList globalOptions_;
    TOptionsList variables_;
    TMultiOptions agentData_;
    std::string contentText_;
    bool optionsFetched_ = false;
    uint32_t startTick_ = 0;
    uint32_t endTick_ = 0;
};

} // namespace wardlark
