#include "project/unitProject.h"
#include "config/unitMonitorOptions.h"
#include "project/unitGlobalSettings.h"
#include "support/unitSystem.h"
#include "support/unitTextRoutines.h"
#include "testFixtures.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <regex>
#include <sys/socket.h>
#include <unistd.h>

using namespace wardlark;

namespace
{

class Project : public ::testing::Test
{
protected:
    void SetUp() override { project_ = std::make_unique<TProject>(loop_, folder_.Path(), globals_); }

    TWardlark* AddTcpMonitor(const std::string& name, int port = 1)
    {
        auto monitor = std::make_unique<TWardlark>();
        monitor->AssignNewIdentity();
        monitor->DisplayName = name;
        monitor->Type = mtCustom;
        monitor->TypeOptions[mtCustom] = "Host=127.0.0.1\r\nPort=" + std::to_string(port);
        return project_->AddMonitor(std::move(monitor));
    }

    std::vector<int> Kinds(const std::string& uin)
    {
        TStatistics statistics;
        statistics.SetFolder(folder_.Path() + "stats/");
        statistics.SelectMonitor(uin);
        std::vector<int> kinds;
        TStatRecord record;
        for (int32_t i = 0; statistics.RecordAt(i, record); ++i)
            kinds.push_back(record.Kind);
        return kinds;
    }

    std::string MonitorsFile() const { return folder_.File("wardlarks.dat"); }

    test::TTempFolder folder_;
    THeadlessLoop loop_;
    TOptionsList globals_;
    std::unique_ptr<TProject> project_;
};

TEST_F(Project, DueMonitorIsCheckedAndItsResultTakenBack)
{
    TWardlark* monitor = AddTcpMonitor("closed port");
    EXPECT_EQ(monitor->Status, msNotChecked);
    project_->SchedulerTick();
    EXPECT_EQ(monitor->InProgress, 1);
    EXPECT_EQ(project_->WorkerCount(), 1u);
    ASSERT_TRUE(loop_.RunUntil([&] { return monitor->InProgress == 0; }, 10000));
    EXPECT_EQ(monitor->Status, msFailure);
    EXPECT_EQ(monitor->Reason, "Socket error 111: Connection refused");
    EXPECT_EQ(Kinds(monitor->Name), (std::vector<int>{seStarted, seFailed}));
    ASSERT_EQ(project_->Failures().Count(), 1);
    EXPECT_EQ(project_->Failures().Failure(0)->MonitorUIN, monitor->Name);
    // Not due again before its interval.
    project_->SchedulerTick();
    EXPECT_EQ(monitor->InProgress, 0);
}

TEST(ProjectSchedule, DueTestSurvivesTheTickCounterWrapping)
{
    const struct
    {
        uint32_t last;
        uint32_t now;
        uint32_t interval;
        bool due;
    } cases[] = {
        {0, 5, 60000, true},                               // never checked
        {1000, 60999, 60000, false},                       // one millisecond early
        {1000, 61000, 60000, true},                        // exactly the interval
        {0xFFFFF000u, 0x0000EA60u - 0x1000u, 60000, true}, // the counter wrapped in between
        {0xFFFFF000u, 0x00001000u, 60000, false},          // wrapped, but only 8 s later
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsCheckDue(c.last, c.now, c.interval), c.due) << c.last << " " << c.now;
}

TEST_F(Project, FailedMonitorsFollowTheRecheckInterval)
{
    TWardlark* monitor = AddTcpMonitor("failing");
    monitor->Interval = 600000;
    monitor->Status = msInetFailure;
    monitor->LastCheckTick = TickCount() - 61000;
    const struct
    {
        const char* override;
        const char* interval;
        bool due;
    } cases[] = {{"FALSE", "30", false}, {"TRUE", "0", true}, {"TRUE", "x", true}, {"TRUE", "120", false}};
    for (const auto& c : cases)
    {
        globals_.WriteString(gs::kICFOverride, c.override);
        globals_.WriteString(gs::kICFInterval, c.interval);
        project_->SchedulerTick();
        EXPECT_EQ(monitor->InProgress == 1, c.due) << c.override << " " << c.interval;
        loop_.RunUntil([&] { return monitor->InProgress == 0; }, 10000);
        monitor->Status = msInetFailure;
        monitor->LastCheckTick = TickCount() - 61000;
    }
}

TEST_F(Project, MaintenanceSuspendsMonitorsNamedInsideLongerText)
{
    TWardlark* monitor = AddTcpMonitor("in maintenance");
    auto window = std::make_unique<TMaintenance>();
    window->StartDate = 40000;
    window->Recurrence = rcDaily;
    window->EndTime = 86399.0 / 86400.0;
    window->SetMonitors("prefix" + monitor->Name + "suffix");
    project_->Maintenances().Add(std::move(window));
    project_->SchedulerTick();
    EXPECT_EQ(monitor->InProgress, 0);
    EXPECT_EQ(monitor->Status, msMaintenance);
    EXPECT_EQ(monitor->Reason, "Scheduled maintenance");
    EXPECT_TRUE(std::regex_match(monitor->LastCheckLog,
                                 std::regex("0\\|0\\|[0-9:]{8}\\|The monitor check has been suspended due to the "
                                            "scheduled maintenance\\.\r\n0\\|0\\|[0-9:]{8}\\|Operation complete\\.")))
        << monitor->LastCheckLog;
    EXPECT_EQ(Kinds(monitor->Name), (std::vector<int>{seStarted, seMaintenance}));
    EXPECT_EQ(project_->WorkerCount(), 0u);
}

TEST_F(Project, UserChangesAreSavedAtOnceRuntimeChangesCoalesced)
{
    TWardlark* monitor = AddTcpMonitor("saved");
    const std::string afterAdd = test::ReadWholeFile(MonitorsFile());
    EXPECT_FALSE(afterAdd.empty());
    project_->SchedulerTick(); // assignment: a run-time change
    EXPECT_EQ(test::ReadWholeFile(MonitorsFile()), afterAdd);
    ASSERT_TRUE(loop_.RunUntil([&] { return monitor->InProgress == 0; }, 10000));
    ASSERT_TRUE(loop_.RunUntil([&] { return test::ReadWholeFile(MonitorsFile()) != afterAdd; }, 3000));
    monitor->DisplayName = "renamed";
    project_->MonitorEdited(monitor);
    TWardlarkList saved(true);
    saved.LoadFromFile(MonitorsFile(), 1, 0);
    EXPECT_EQ(saved.Monitor(0)->DisplayName, "renamed");
}

TEST_F(Project, UnreadableMonitorFileIsNotOverwrittenByRuntimeChanges)
{
    project_.reset();
    test::WriteWholeFile(MonitorsFile(), std::string("\x01\x04\x00\x00\x00garbage", 12));
    const std::string unreadable = test::ReadWholeFile(MonitorsFile());
    project_ = std::make_unique<TProject>(loop_, folder_.Path(), globals_);
    EXPECT_FALSE(project_->LoadMonitors());
    project_->SchedulerTick();
    loop_.RunUntil([] { return false; }, 1500);
    EXPECT_EQ(test::ReadWholeFile(MonitorsFile()), unreadable);
    AddTcpMonitor("the user's change is saved");
    EXPECT_NE(test::ReadWholeFile(MonitorsFile()), unreadable);
}

TEST_F(Project, ResultsOfDeletedMonitorsAndOddStatuses)
{
    TWardlark copy;
    copy.AssignNewIdentity();
    copy.DisplayName = "deleted meanwhile";
    copy.LastCheckTick = TickCount();
    copy.ResponseTime = 5;
    const struct
    {
        int status;
        size_t statistics;
        int failures;
    } cases[] = {{msFailure, 1, 1}, {msOK, 2, 1}, {msNotChecked, 2, 2}, {msMaintenance, 2, 3}};
    for (const auto& c : cases)
    {
        copy.Status = c.status;
        project_->OnCheckDone(nullptr, copy);
        EXPECT_EQ(Kinds(copy.Name).size(), c.statistics) << c.status;
        EXPECT_EQ(project_->Failures().Count(), c.failures) << c.status;
    }
    EXPECT_EQ(project_->Monitors().Count(), 0);
}

TEST_F(Project, FailureListKeepsTheMostRecent)
{
    TWardlark copy;
    copy.AssignNewIdentity();
    copy.Status = msFailure;
    for (int i = 0; i < TProject::kMaxFailures + 5; ++i)
    {
        copy.Reason = std::to_string(i);
        project_->OnCheckDone(nullptr, copy);
    }
    ASSERT_EQ(project_->Failures().Count(), TProject::kMaxFailures);
    EXPECT_EQ(project_->Failures().Failure(0)->Reason, "5");
}

TEST_F(Project, ShutdownWritesStoppedForEnabledMonitors)
{
    TWardlark* enabled = AddTcpMonitor("enabled");
    TWardlark* disabled = AddTcpMonitor("disabled");
    project_->SetMonitorEnabled(disabled, false);
    const std::string enabledUin = enabled->Name;
    const std::string disabledUin = disabled->Name;
    project_.reset();
    EXPECT_EQ(Kinds(enabledUin), (std::vector<int>{seStarted, seStopped}));
    EXPECT_EQ(Kinds(disabledUin), (std::vector<int>{seStarted, seDisabled}));
}

} // namespace
