#include "project/unitProject.h"

#include "engine/unitInternetCheck.h"
#include "project/unitGlobalSettings.h"
#include "support/unitDateRoutines.h"
#include "support/unitKeypoint.h"
#include "support/unitLog.h"
#include "support/unitSystem.h"

#include <cmath>
#include <cstdio>
#include <ctime>

namespace wardlark
{

namespace
{

constexpr int kSchedulerIntervalMs = 1000;
constexpr int kSaveIntervalMs = 1000;
constexpr int kLoadAttempts = 10;
constexpr int kSaveAttempts = 1;
constexpr int kFileDelayMs = 100;
constexpr int32_t kCodeReadError = -106;
constexpr int32_t kCodeWriteError = -107;
constexpr uint32_t kKeypointLoadMonitors = 0x6A11E001;
constexpr uint32_t kKeypointLoadMaintenances = 0x6A11E002;
constexpr uint32_t kKeypointLoadReports = 0x6A11E003;
constexpr uint32_t kKeypointSaveMonitors = 0x6A11E004;
constexpr uint32_t kKeypointSaveMaintenances = 0x6A11E005;
constexpr uint32_t kKeypointSaveReports = 0x6A11E006;
constexpr uint32_t kKeypointFailureRecord = 0x6A11E007;

// Loads one project file; on failure records the keypoint and says so in the application log.
bool LoadList(TNamedObjectList& list, const std::string& path, bool& loading, uint32_t keypoint)
{
    loading = true;
    bool ok = true;
    try
    {
        list.LoadFromFile(path, kLoadAttempts, kFileDelayMs);
    }
    catch (const std::exception& error)
    {
        AddKeypoint(keypoint, kCodeReadError);
        LogMessage("Cannot load " + path + ": " + error.what() + " (" + std::to_string(list.Count()) +
                   " records kept)");
        ok = false;
    }
    loading = false;
    return ok;
}

bool SaveList(TNamedObjectList& list, const std::string& path, uint32_t keypoint)
{
    try
    {
        list.SaveToFile(path, kSaveAttempts, kFileDelayMs);
        return true;
    }
    catch (const std::exception& error)
    {
        AddKeypoint(keypoint, kCodeWriteError);
        LogMessage("Cannot save " + path + ": " + error.what());
        return false;
    }
}

void CopyList(const TNamedObjectList& source, TNamedObjectList& target)
{
    // The source's save brackets would notify its subscribers; copy the records directly.
    TMemoryStream buffer;
    for (int i = 0; i < source.Count(); ++i)
        source.Item(i)->SaveToStream(buffer);
    buffer.Seek(0, soBeginning);
    target.Clear();
    target.LoadFromStream(buffer);
}

} // namespace

bool IsCheckDue(uint32_t lastCheckTick, uint32_t now, uint32_t intervalMs)
{
    return lastCheckTick == 0 || now - lastCheckTick >= intervalMs;
}

TProject::TProject(IMainThreadDispatcher& dispatcher, std::string dataFolder, TOptionsList& globalOptions)
    : dispatcher_(dispatcher), dataFolder_(std::move(dataFolder)), globalOptions_(globalOptions), maintenances_(true),
      monitors_(true), reports_(true)
{
    monitors_.Subscribe(this,
                        [this](void*, TNamedObject* record, int code) { return OnMonitorListChange(record, code); });
    statistics_ = std::make_unique<TStatistics>();
    statistics_->SetFolder(dataFolder_ + "stats/");
    SetUpServers(globalOptions_.ReadString(gs::kUpServers));
    schedulerTimer_ = dispatcher_.AddTimer(kSchedulerIntervalMs, [this] { SchedulerTick(); });
    saveTimer_ = dispatcher_.AddTimer(kSaveIntervalMs, [this] { SaveIfDirty(); });
}

TProject::~TProject()
{
    const uint32_t now = LocalUnixNow();
    for (int i = 0; i < monitors_.Count(); ++i)
        if (monitors_.Monitor(i)->Enabled != 0)
            statistics_->AddEvent(monitors_.Monitor(i)->Name, seStopped, now, 0);
    dispatcher_.RemoveTimer(schedulerTimer_);
    dispatcher_.RemoveTimer(saveTimer_);
    SaveIfDirty();
    statistics_.reset();
    for (auto it = workers_.rbegin(); it != workers_.rend(); ++it)
        (*it)->Abort();
    while (!workers_.empty())
        workers_.pop_back(); // terminates and joins; a wait for an event is released
    monitors_.UnsubscribeAll();
}

bool TProject::LoadMonitors()
{
    const bool ok = LoadList(monitors_, dataFolder_ + "wardlarks.dat", monitorsLoading_, kKeypointLoadMonitors);
    monitorsUnreadable_ = !ok;
    return ok;
}

bool TProject::LoadMaintenances()
{
    return LoadList(maintenances_, dataFolder_ + "maintenances.dat", maintenancesLoading_, kKeypointLoadMaintenances);
}

bool TProject::LoadReports()
{
    return LoadList(reports_, dataFolder_ + "reports.dat", reportsLoading_, kKeypointLoadReports);
}

bool TProject::SaveMonitors()
{
    monitorsDirty_ = false;
    const bool ok = SaveList(monitors_, dataFolder_ + "wardlarks.dat", kKeypointSaveMonitors);
    if (ok)
        monitorsUnreadable_ = false;
    return ok;
}

bool TProject::SaveMaintenances()
{
    return SaveList(maintenances_, dataFolder_ + "maintenances.dat", kKeypointSaveMaintenances);
}

bool TProject::SaveReports()
{
    return SaveList(reports_, dataFolder_ + "reports.dat", kKeypointSaveReports);
}

void TProject::SaveIfDirty()
{
    if (monitorsDirty_ && !monitorsUnreadable_)
        SaveMonitors();
}

void TProject::ApplyConnectionSettings()
{
    if (globalOptions_.ReadBool(gs::kUseProxy))
    {
        proxyHost_ = globalOptions_.ReadString(gs::kProxyHost);
        proxyPort_ = globalOptions_.ReadString(gs::kProxyPort);
        proxyUser_ = globalOptions_.ReadString(gs::kProxyUser);
        proxyPassword_ = globalOptions_.ReadPassword(gs::kProxyPass);
    }
    else
    {
        proxyHost_.clear();
        proxyPort_.clear();
        proxyUser_.clear();
        proxyPassword_.clear();
    }
    SetUpServers(globalOptions_.ReadString(gs::kUpServers));
}

void TProject::GetGlobalOptions(TOptionsList& target) const
{
    target = globalOptions_;
}

int TProject::OnMonitorListChange(TNamedObject* record, int code)
{
    auto* monitor = dynamic_cast<TWardlark*>(record);
    if (code == nfAdded && monitor != nullptr)
    {
        monitor->ResetStatus();
        if (monitor->Enabled != 0)
            statistics_->AddEvent(monitor->Name, seStarted, LocalUnixNow(), 0);
    }
    if ((code == nfAdded || code == nfRemoved || code == nfChanged) && !monitorsLoading_)
    {
        if (runtimeChange_)
            monitorsDirty_ = true;
        else
            SaveMonitors();
    }
    return naContinue;
}

void TProject::NotifyRuntimeChange(TWardlark* monitor)
{
    runtimeChange_ = true;
    monitors_.Notify(monitor, nfChanged);
    runtimeChange_ = false;
}

TWardlark* TProject::AddMonitor(std::unique_ptr<TWardlark> monitor)
{
    return static_cast<TWardlark*>(monitors_.Add(std::move(monitor)));
}

void TProject::RemoveMonitor(TWardlark* monitor)
{
    monitors_.Remove(monitor);
}

void TProject::MonitorEdited(TWardlark* monitor)
{
    monitors_.Notify(monitor, nfChanged);
}

void TProject::SetMonitorEnabled(TWardlark* monitor, bool enabled)
{
    if (monitor == nullptr || (monitor->Enabled != 0) == enabled)
        return;
    monitor->Enabled = enabled ? 1 : 0;
    if (enabled)
        monitor->LastCheckTick = 0; // due on the next tick
    statistics_->AddEvent(monitor->Name, enabled ? seEnabled : seDisabled, LocalUnixNow(), 0);
    monitors_.Notify(monitor, nfChanged);
}

bool TProject::Suspend(TWardlark& monitor, uint32_t now, const std::vector<TMaintenance*>& active)
{
    for (const TMaintenance* window : active)
    {
        // A plain substring test: a UIN inside a longer line still counts.
        if (window->Monitors().find(monitor.Name) == std::string::npos)
            continue;
        monitor.LastCheckTick = now;
        statistics_->AddEvent(monitor.Name, seMaintenance, LocalUnixNow(), 0);
        monitor.Status = msMaintenance;
        monitor.Reason = "Scheduled maintenance";
        const std::string time = LongTimeText();
        monitor.LastCheckLog = "0|0|" + time +
                               "|The monitor check has been suspended due to the scheduled maintenance.\r\n0|0|" +
                               time + "|Operation complete.";
        NotifyRuntimeChange(&monitor);
        return true;
    }
    return false;
}

void TProject::Assign(TWardlark& monitor)
{
    for (auto it = workers_.rbegin(); it != workers_.rend(); ++it)
        if ((*it)->AssignMonitor(monitor, proxyHost_, proxyPassword_, proxyUser_, proxyPort_) == kAssignAccepted)
        {
            monitor.InProgress = 1;
            NotifyRuntimeChange(&monitor);
            return;
        }
    auto worker = std::make_unique<TMonitorThread>(dispatcher_, dataFolder_);
    worker->OnCheckDone = [this](TMonitorThread& from, TWardlark& copy) { OnCheckDone(&from, copy); };
    worker->OnGetOptions = [this](TMonitorThread&, TOptionsList& target) { GetGlobalOptions(target); };
    if (worker->AssignMonitor(monitor, proxyHost_, proxyPassword_, proxyUser_, proxyPort_) != kAssignAccepted)
        return;
    workers_.push_back(std::move(worker));
    monitor.InProgress = 1;
    NotifyRuntimeChange(&monitor);
}

void TProject::SchedulerTick()
{
    std::erase_if(workers_,
                  [](const std::unique_ptr<TMonitorThread>& worker)
                  {
                      return worker->State() == wsExpired; // the worker's destructor terminates and joins it
                  });

    const uint32_t now = TickCount();
    const bool icfOverride = globalOptions_.ReadBool(gs::kICFOverride);
    const uint32_t icfInterval = static_cast<uint32_t>(ICFIntervalSeconds(globalOptions_)) * 1000u;
    // The maintenance windows active now, worked out once per tick.
    std::vector<TMaintenance*> active;
    bool activeKnown = false;
    for (int i = 0; i < monitors_.Count(); ++i)
    {
        TWardlark& monitor = *monitors_.Monitor(i);
        if (monitor.Enabled == 0 || monitor.InProgress != 0)
            continue;
        uint32_t interval = static_cast<uint32_t>(std::max(monitor.Interval, 0));
        if (icfOverride &&
            (monitor.Status == msFailure || monitor.Status == msInetFailure || monitor.Status == msInetFailureQuiet))
            interval = icfInterval;
        if (!IsCheckDue(monitor.LastCheckTick, now, interval))
            continue;
        if (!activeKnown)
        {
            active = maintenances_.ActiveAt(Now());
            activeKnown = true;
        }
        if (!active.empty() && Suspend(monitor, now, active))
            continue;
        Assign(monitor);
    }
}

void TProject::OnCheckDone(TMonitorThread*, TWardlark& copy)
{
    TWardlark* monitor = static_cast<TWardlark*>(monitors_.FindByName(copy.Name));
    if (monitor != nullptr)
    {
        monitor->CopyStatus(copy);
        NotifyRuntimeChange(monitor);
    }
    const uint32_t tick = TickCount();
    const uint32_t started = copy.LastCheckTick - static_cast<uint32_t>(std::max(copy.ResponseTime, 0));
    // Statistics count seconds of the local clock: the start is now minus the time since it.
    const uint32_t startTime = LocalUnixSeconds(Now() - static_cast<double>(tick - started) / 86400000.0);
    if (copy.Status >= msOK && copy.Status <= msInetFailureQuiet)
        statistics_->AddEvent(copy.Name, seOK + copy.Status - msOK, startTime, std::max<int64_t>(copy.ResponseTime, 0));
    if (copy.Status != msOK)
    {
        try
        {
            auto failure = std::make_unique<TFailure>();
            failure->Status = copy.Status;
            failure->Time = Now();
            failure->StartTime = static_cast<int32_t>(startTime);
            failure->MonitorUIN = copy.Name;
            failure->MonitorName = copy.DisplayName;
            failure->Reason = copy.Reason;
            failure->CheckLog = copy.LastCheckLog;
            failures_.Add(std::move(failure));
            // Memory stays bounded over a long run: the oldest failures go first.
            while (failures_.Count() > kMaxFailures)
                failures_.Remove(failures_.Item(0));
        }
        catch (...)
        {
            AddKeypoint(kKeypointFailureRecord, -1);
        }
    }
    if (OnCheckResult)
        OnCheckResult(copy);
}

void TProject::CopyMonitors(TNamedObjectList& target) const
{
    CopyList(monitors_, target);
}

void TProject::CopyFailures(TNamedObjectList& target) const
{
    CopyList(failures_, target);
}

void TProject::CopyReports(TNamedObjectList& target) const
{
    CopyList(reports_, target);
}

void TProject::ReportDone(const std::string& reportUin, const std::string& log)
{
    auto* report = static_cast<TReport*>(reports_.FindByName(reportUin));
    if (report == nullptr)
        return;
    report->LastRunDay = static_cast<int32_t>(std::floor(Now()));
    report->LastRunLog = log;
    SaveReports();
}

} // namespace wardlark
