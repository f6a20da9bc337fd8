#include "engine/unitMonitorThread.h"

#include "engine/unitHostChecks.h"
#include "engine/unitInternetCheck.h"
#include "net/unitBlockSocket.h"
#include "net/unitPingSend.h"
#include "support/unitDateRoutines.h"
#include "support/unitErrors.h"
#include "support/unitExceptions.h"
#include "support/unitFileStream.h"
#include "support/unitKeypoint.h"
#include "support/unitStreams.h"
#include "support/unitSystem.h"
#include "support/unitTextRoutines.h"

#include <chrono>
#include <cstdio>

namespace wardlark
{

namespace
{

// Stack of a worker thread: checks need little, and a thousand workers must stay cheap.
constexpr size_t kWorkerStackSize = 256 * 1024;
constexpr int kLogSaveAttempts = 10;
constexpr int kLogSaveDelayMs = 10;

constexpr uint32_t kKeypointNoName = 0x51A0C301;
constexpr uint32_t kKeypointDisabled = 0x51A0C302;
constexpr uint32_t kKeypointUnknownType = 0x51A0C303;
constexpr uint32_t kKeypointLogFolder = 0x51A0C304;
constexpr uint32_t kKeypointLogWrite = 0x51A0C305;
constexpr uint32_t kKeypointEscaped = 0x51A0C306;
constexpr int32_t kCodeException = -1;
constexpr int32_t kCodeFolderNotCreated = -103;
constexpr int32_t kCodeFileNotWritten = -107;

using Clock = std::chrono::steady_clock;

} // namespace

TMonitorThread::TMonitorThread(IMainThreadDispatcher& dispatcher, std::string dataFolder, uint32_t expiryMs)
    : dispatcher_(dispatcher), dataFolder_(std::move(dataFolder)), expiryMs_(expiryMs)
{
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setstacksize(&attributes, kWorkerStackSize);
    const int error = pthread_create(&thread_, &attributes, &TMonitorThread::ThreadMain, this);
    pthread_attr_destroy(&attributes);
    if (error != 0)
        throw EWardlarkError("Cannot create a monitor thread.");
}

TMonitorThread::~TMonitorThread()
{
    {
        std::lock_guard guard(lock_);
        terminated_ = true;
        // Release a wait for an event the main thread (which may be this one) will not run.
        if (currentCall_)
        {
            std::lock_guard callGuard(currentCall_->lock);
            currentCall_->cancelled = true;
            currentCall_->finished.notify_one();
        }
    }
    Abort();
    wake_.notify_all();
    pthread_join(thread_, nullptr);
}

void* TMonitorThread::ThreadMain(void* self)
{
    InstallThreadAltStack();
    try
    {
        static_cast<TMonitorThread*>(self)->Loop();
    }
    catch (...)
    {
        AddKeypoint(kKeypointEscaped, kCodeException);
    }
    return nullptr;
}

void TMonitorThread::Loop()
{
    Clock::time_point idleStart = Clock::now();
    int failedRuns = 0;
    for (;;)
    {
        {
            std::unique_lock guard(lock_);
            if (terminated_)
                return;
            if (state_ != wsAssigned)
            {
                const Clock::time_point expiry = idleStart + std::chrono::milliseconds(expiryMs_);
                if (Clock::now() > expiry)
                {
                    state_ = wsExpired;
                    return;
                }
                // Woken at once by an assignment or termination; otherwise sleeps to the expiry.
                wake_.wait_until(guard, expiry + std::chrono::milliseconds(1),
                                 [this] { return state_ == wsAssigned || terminated_; });
                continue;
            }
        }
        try
        {
            StartStep();
            RunCheck();
            FinishStep();
            failedRuns = 0;
        }
        catch (...)
        {
            // The check runs again at once; a second escape in a row ends it as a failure
            // rather than spinning on it for ever.
            AddKeypoint(kKeypointEscaped, kCodeException);
            if (++failedRuns < 2)
                continue;
            failedRuns = 0;
            monitor_.Status = msFailure;
            monitor_.Reason = "Internal error.";
            monitor_.InProgress = 0;
            try
            {
                if (OnCheckDone)
                    CallOnMainThread([this] { OnCheckDone(*this, monitor_); });
            }
            catch (...)
            {
            }
        }
        std::lock_guard guard(lock_);
        state_ = wsIdle;
        idleStart = Clock::now();
    }
}

int TMonitorThread::AssignMonitor(const TWardlark& monitor, const std::string& proxyHost,
                                  const std::string& proxyPassword, const std::string& proxyUser,
                                  const std::string& proxyPort)
{
    try
    {
        {
            std::lock_guard guard(lock_);
            if (state_ == wsExpired || terminated_)
                return kAssignExpired;
            if (state_ != wsIdle)
                return kAssignBusy;
            TWardlark copy;
            copy.Assign(monitor);
            copy.Owner = nullptr;
            copy.LastCheckLog.clear();
            copy.Status = msConfigError;
            copy.Reason.clear();
            monitor_.Assign(copy);
            proxyHost_ = proxyHost;
            proxyPassword_ = proxyPassword;
            proxyUser_ = proxyUser;
            proxyPort_ = proxyPort;
            state_ = wsAssigned;
        }
        wake_.notify_all();
        return kAssignAccepted;
    }
    catch (...)
    {
        return kAssignError;
    }
}

void TMonitorThread::Abort()
{
    std::lock_guard guard(lock_);
    if (activePing_ != nullptr)
        activePing_->Abort();
    if (activeSocket_ != nullptr)
        activeSocket_->Abort();
    if (state_ != wsExpired)
        state_ = wsAborting;
    aborted_ = true;
}

int TMonitorThread::State() const
{
    std::lock_guard guard(lock_);
    return state_;
}

std::string TMonitorThread::MonitorUIN() const
{
    std::lock_guard guard(lock_);
    return state_ == wsAssigned ? monitor_.Name : std::string();
}

bool TMonitorThread::AbortRequested() const
{
    std::lock_guard guard(lock_);
    return state_ == wsAborting;
}

void TMonitorThread::SetActiveSocket(TTCPBlockSocket* socket)
{
    std::lock_guard guard(lock_);
    activeSocket_ = socket;
    if (socket != nullptr && state_ == wsAborting)
        socket->Abort();
}

void TMonitorThread::SetActivePing(TPINGSend* ping)
{
    std::lock_guard guard(lock_);
    activePing_ = ping;
    if (ping != nullptr && state_ == wsAborting)
        ping->Abort();
}

std::string TMonitorThread::ProxyHost() const
{
    std::lock_guard guard(lock_);
    return proxyHost_;
}

std::string TMonitorThread::ProxyPort() const
{
    std::lock_guard guard(lock_);
    return proxyPort_;
}

std::string TMonitorThread::ProxyUser() const
{
    std::lock_guard guard(lock_);
    return proxyUser_;
}

std::string TMonitorThread::ProxyPassword() const
{
    std::lock_guard guard(lock_);
    return proxyPassword_;
}

void TMonitorThread::CallOnMainThread(const std::function<void()>& event)
{
    if (dispatcher_.IsMainThread())
    {
        try
        {
            event();
        }
        catch (...)
        {
        }
        return;
    }
    // Queued rather than synchronised, so that a worker being destroyed (on the main thread)
    // can stop waiting: the queued call then finds itself cancelled and touches nothing.
    auto call = std::make_shared<TEventCall>();
    {
        std::lock_guard guard(lock_);
        if (terminated_)
            return;
        currentCall_ = call;
    }
    const bool queued = dispatcher_.Queue(
        [call, &event]
        {
            std::lock_guard guard(call->lock);
            if (call->cancelled)
                return;
            try
            {
                event();
            }
            catch (...)
            {
                // An error inside an event is ignored.
            }
            call->done = true;
            call->finished.notify_one();
        });
    {
        std::unique_lock guard(call->lock);
        if (queued)
            call->finished.wait(guard, [&call] { return call->done || call->cancelled; });
        call->cancelled = true;
    }
    std::lock_guard guard(lock_);
    currentCall_.reset();
}

void TMonitorThread::AddLogLine(const std::string& message, int kind, int indent, bool append)
{
    if (append && !fullLog_.empty())
    {
        fullLog_.back() += message;
        if (kind != lkDebug && !shortLog_.empty())
            shortLog_.back() += message;
    }
    else
    {
        char prefix[48];
        std::snprintf(prefix, sizeof prefix, "%d|%d|", kind, indent);
        std::string line = prefix + LongTimeText() + "|" + message;
        if (kind != lkDebug)
            shortLog_.push_back(line);
        fullLog_.push_back(std::move(line));
    }
    if (OnLog)
        CallOnMainThread([&] { OnLog(*this, message, indent, append, kind); });
}

void TMonitorThread::SetOutcome(const std::string& message, int kind, int indent, bool append)
{
    AddLogLine(message, kind, indent, append);
    if (kind == lkInfo)
        monitor_.Status = msOK;
    else if (kind == lkError)
        monitor_.Status = msFailure;
    else if (kind == lkWarning)
        monitor_.Status = msConfigError;
    monitor_.Reason = message;
}

std::string TMonitorThread::NetworkFailureText(const std::string& protocol, const std::string& reply) const
{
    std::lock_guard guard(lock_);
    if (state_ == wsAborting)
        return "Aborted by the user.";
    if (activeSocket_ != nullptr && activeSocket_->LastError() != 0)
    {
        char prefix[48];
        std::snprintf(prefix, sizeof prefix, "Socket error %d: ", activeSocket_->LastError());
        return prefix + activeSocket_->LastErrorDesc();
    }
    return protocol + " error: " + reply;
}

void TMonitorThread::ReportNetworkFailure(const std::string& protocol, const std::string& reply)
{
    SetOutcome(NetworkFailureText(protocol, reply), lkError, 0);
}

void TMonitorThread::LogNetworkFailure(const std::string& protocol, const std::string& reply, int indent)
{
    AddLogLine(NetworkFailureText(protocol, reply), lkError, indent);
}

void TMonitorThread::FetchGlobalOptions()
{
    if (optionsFetched_)
        return;
    optionsFetched_ = true;
    globalOptions_.Clear();
    if (OnGetOptions)
        CallOnMainThread([this] { OnGetOptions(*this, globalOptions_); });
}

void TMonitorThread::StartStep()
{
    fullLog_.clear();
    shortLog_.clear();
    if (OnCheckStart)
        CallOnMainThread([this] { OnCheckStart(*this, monitor_); });
}

void TMonitorThread::CloseTiming()
{
    const uint32_t now = TickCount();
    if (endTick_ == 0)
        endTick_ = now;
    monitor_.ResponseTime = static_cast<int32_t>(endTick_ - startTick_);
    monitor_.LastCheckTick = now;
}

void TMonitorThread::RunCheck()
{
    aborted_ = false;
    optionsFetched_ = false;
    endTick_ = 0;
    startTick_ = TickCount();
    variables_.Clear();
    agentData_.Clear();
    contentText_.clear();

    bool checked = false;
    if (monitor_.DisplayName.empty())
    {
        SetOutcome("Monitor name is not specified.", lkWarning, 0);
        AddKeypoint(kKeypointNoName, kCodeException);
    }
    else if (monitor_.Enabled == 0)
    {
        SetOutcome("Monitor is disabled.", lkWarning, 0);
        AddKeypoint(kKeypointDisabled, kCodeException);
    }
    else
    {
        checked = RunHostCheck(*this);
        if (!checked)
        {
            SetOutcome("Unknown monitor type.", lkError, 0);
            AddKeypoint(kKeypointUnknownType, kCodeException);
        }
    }
    CloseTiming();
    if (checked)
    {
        RunInternetConnectionCheck(*this);
        currentOptions_.SetText(monitor_.GeneralOptions);
    }
    if (monitor_.Status == msOK)
        AddLogLine("Operation complete.", lkInfo, 0);
    else
        AddLogLine("Operation failed.", lkError, 0);
    monitor_.InProgress = 0;
}

void TMonitorThread::FinishStep()
{
    std::string text;
    for (size_t i = 0; i < shortLog_.size(); ++i)
    {
        if (i > 0)
            text += "\r\n";
        text += shortLog_[i];
    }
    monitor_.LastCheckLog = std::move(text);
    SaveFullLog();
    if (OnCheckDone)
        CallOnMainThread([this] { OnCheckDone(*this, monitor_); });
}

void TMonitorThread::SaveFullLog()
{
    const std::string folder = dataFolder_ + "logs/";
    if (!DirectoryExists(folder) && !ForceDirectories(folder))
    {
        AddKeypoint(kKeypointLogFolder, kCodeFolderNotCreated);
        return;
    }
    TMemoryStream content;
    for (const std::string& line : fullLog_)
    {
        content.WriteBuffer(line.data(), static_cast<int32_t>(line.size()));
        content.WriteBuffer("\r\n", 2);
    }
    const std::string path = folder + LowerCase(monitor_.Name) + ".log";
    for (int attempt = 0; attempt < kLogSaveAttempts; ++attempt)
    {
        try
        {
            // Rewritten in place: a check log needs neither the atomic replacement nor the
            // flush that project files get, and creating files would serialise the workers
            // on the folder's lock.
            TFileStream file(path, TFileMode::Rewrite);
            content.SaveToStream(file);
            return;
        }
        catch (...)
        {
            AddKeypoint(kKeypointLogWrite, kCodeFileNotWritten);
            SleepMs(kLogSaveDelayMs);
        }
    }
}

} // namespace wardlark
