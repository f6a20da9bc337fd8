#pragma once

#include "config/unitFailure.h"
#include "config/unitWardlark.h"
#include "engine/unitMonitorThread.h"
#include "reports/unitMaintenance.h"
#include "reports/unitReport.h"
#include "reports/unitStatistics.h"
#include "support/unitMainThread.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace wardlark
{

// True when a monitor last checked at tick `lastCheckTick` (0: never) is due at tick `now`
// with the recheck interval `intervalMs`. Tick differences are taken modulo 2^32, so the
// answer stays right when the 32-bit millisecond counter wraps.
bool IsCheckDue(uint32_t lastCheckTick, uint32_t now, uint32_t intervalMs);

// The one object that owns what the monitoring program keeps while it runs: the monitors,
// maintenance windows, scheduled reports, the failures of this run, the statistics writer
// and the pool of worker threads. Once a second its scheduler hands due monitors to workers
// or suspends them for maintenance; results come back through OnCheckDone.
//
// Persistence: the project subscribes to its own monitor list. Every monitor that enters it
// has its run-time status reset (and an enabled one gets statistics event 0); every change,
// addition and removal is saved. Changes a user makes (AddMonitor, RemoveMonitor,
// MonitorEdited, SetMonitorEnabled, or any "Changed" notification sent from outside) are
// saved at once; the changes of the scheduler and of check results are coalesced into at
// most one save per second, and a pending save is written before the project ends. After a
// monitor file that could not be read, run-time changes are not saved, so an unreadable file
// is never replaced by what little was read before a user changes something.
//
// Thread safety: everything runs on the dispatcher's main thread; workers reach the project
// only through their events, which the dispatcher runs there.
class TProject
{
public:
    // One line about a finished check, for whoever shows them (the headless program prints
    // it). Called on the main thread after the result was taken back.
    std::function<void(const TWardlark& monitor)> OnCheckResult;

    // `dataFolder` ends with "/". The dispatcher and `globalOptions` must outlive the project.
    // Builds the lists, the statistics writer on "stats/", hands "UpServers" to the Internet
    // connection check and starts the 1000 ms scheduler timer.
    TProject(IMainThreadDispatcher& dispatcher, std::string dataFolder, TOptionsList& globalOptions);
    // The shutdown sequence: event 1 for every enabled monitor, timer off, pending save
    // written, statistics writer freed, workers aborted and joined, lists freed.
    ~TProject();
    TProject(const TProject&) = delete;
    TProject& operator=(const TProject&) = delete;

    // Loading and saving the project files ("wardlarks.dat", "maintenances.dat",
    // "reports.dat" with ".crc" and ".bkp"): 10 attempts 100 ms apart to load, 1 to save.
    // False after an error (keypoint -106 / -107 and a line in the application log).
    bool LoadMonitors();
    bool LoadMaintenances();
    bool LoadReports();
    bool SaveMonitors();
    bool SaveMaintenances();
    bool SaveReports();

    // Reads the proxy settings and "UpServers" from the global options.
    void ApplyConnectionSettings();
    // Copies the global options into `target` (the workers' OnGetOptions).
    void GetGlobalOptions(TOptionsList& target) const;

    // One round of the scheduler (normally run by the timer).
    void SchedulerTick();
    // Takes a finished check back (the workers' OnCheckDone): the status fields go into the
    // monitor of the same UIN (when it still exists), a statistics event is written for the
    // check's start time, a failure is kept for every status but OK, and OnCheckResult runs.
    void OnCheckDone(TMonitorThread* worker, TWardlark& copy);

    // User operations on monitors: each is saved at once.
    TWardlark* AddMonitor(std::unique_ptr<TWardlark> monitor);
    void RemoveMonitor(TWardlark* monitor);
    void MonitorEdited(TWardlark* monitor);
    // Writes statistics event 2 or 3 and saves.
    void SetMonitorEnabled(TWardlark* monitor, bool enabled);

    // Replace `target`'s content by a copy of the project's list (through a memory stream).
    void CopyMonitors(TNamedObjectList& target) const;
    void CopyFailures(TNamedObjectList& target) const;
    void CopyReports(TNamedObjectList& target) const;
    // A scheduled report ran: its last-run day becomes today, its last-run log `log`.
    void ReportDone(const std::string& reportUin, const std::string& log);

    void SetEditing(bool editing) { editing_ = editing; }
    bool Editing() const { return editing_; }

    TWardlarkList& Monitors() { return monitors_; }
    TMaintenanceList& Maintenances() { return maintenances_; }
    TReportList& Reports() { return reports_; }
    TFailureList& Failures() { return failures_; }
    TStatistics& Statistics() { return *statistics_; }
    size_t WorkerCount() const { return workers_.size(); }
    const std::string& DataFolder() const { return dataFolder_; }

    // At most this many failures are kept in memory; the oldest go first.
    static constexpr int kMaxFailures = 10000;

private:
    int OnMonitorListChange(TNamedObject* record, int code);
    // Sends "Changed" for a change made by the scheduler or a check result.
    void NotifyRuntimeChange(TWardlark* monitor);
    void SaveIfDirty();
    bool Suspend(TWardlark& monitor, uint32_t now, const std::vector<TMaintenance*>& active);
    void Assign(TWardlark& monitor);

    IMainThreadDispatcher& dispatcher_;
    const std::string dataFolder_;
    TOptionsList& globalOptions_;

    TMaintenanceList maintenances_;
    TWardlarkList monitors_;
    TFailureList failures_;
    TReportList reports_;
    std::vector<std::unique_ptr<TMonitorThread>> workers_;
    std::unique_ptr<TStatistics> statistics_;

    std::string proxyHost_, proxyPort_, proxyUser_, proxyPassword_;
    bool editing_ = false;
    bool monitorsLoading_ = false;
    bool maintenancesLoading_ = false;
    bool reportsLoading_ = false;
    bool monitorsUnreadable_ = false; // the last load failed: run-time saves are held back
    bool runtimeChange_ = false;      // the current "Changed" comes from the scheduler or a result
    bool monitorsDirty_ = false;      // a coalesced save is pending
    TTimerId schedulerTimer_ = 0;
    TTimerId saveTimer_ = 0;
};

} // namespace wardlark
