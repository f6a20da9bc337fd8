#include "engine/unitInternetCheck.h"

#include "config/unitMonitorOptions.h"
#include "engine/unitMonitorThread.h"
#include "net/unitPingSend.h"
#include "project/unitGlobalSettings.h"
#include "support/unitSystem.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <vector>

namespace wardlark
{

namespace
{

constexpr uint32_t kResultReuseMs = 5000;
constexpr int kPingTimeoutMs = 10000;
constexpr int kPingDataSize = 32;
constexpr int kWaitSliceMs = 100;

// The shared record, under its own lock.
struct TInternetRecord
{
    std::mutex lock;
    std::condition_variable finished;
    std::string servers;
    bool running = false;
    bool hasResult = false;
    TInternetStatus result = TInternetStatus::Unknown;
    uint32_t resultTick = 0;
    std::function<std::unique_ptr<TPINGSend>()> factory;
};

TInternetRecord& Record()
{
    static TInternetRecord* record = new TInternetRecord; // outlives every worker at exit
    return *record;
}

bool IsBlankLine(const std::string& line)
{
    for (const char c : line)
        if (static_cast<unsigned char>(c) > 32)
            return false;
    return true;
}

std::vector<std::string> ServerLines(const std::string& text)
{
    std::vector<std::string> servers;
    size_t start = 0;
    while (start <= text.size())
    {
        size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        if (!IsBlankLine(line))
            servers.push_back(std::move(line));
        start = end + 1;
    }
    return servers;
}

// Pings the servers in list order until one answers. Runs outside the record's lock.
TInternetStatus PingServers(TMonitorThread& worker, const std::vector<std::string>& servers,
                            const std::function<std::unique_ptr<TPINGSend>()>& factory)
{
    std::unique_ptr<TPINGSend> ping = factory ? factory() : std::make_unique<TPINGSend>();
    ping->SetTimeout(kPingTimeoutMs);
    ping->SetPacketSize(kPingDataSize);
    worker.SetActivePing(ping.get());
    TInternetStatus result = TInternetStatus::NotAvailable;
    for (const std::string& server : servers)
    {
        worker.AddLogLine("Pinging " + server + " with 32 bytes of data:", lkInfo, 2);
        const uint32_t start = TickCount();
        if (ping->Ping(server))
        {
            char text[512];
            std::snprintf(text, sizeof text, "Reply from %s: bytes=%d time=%dms TTL=%d", ping->ReplyFrom().c_str(),
                          kPingDataSize, ping->PingTime(), ping->TTL());
            worker.AddLogLine(text, lkInfo, 4);
            result = TInternetStatus::Available;
            break;
        }
        if (worker.AbortRequested())
        {
            result = TInternetStatus::Aborted;
            break;
        }
        const uint32_t elapsed = TickCount() - start;
        if (ping->LastError() != 0)
            worker.AddLogLine(ping->LastErrorDesc(), lkError, 4);
        else if (ping->ReplyError() == ieOther && elapsed >= static_cast<uint32_t>(kPingTimeoutMs))
            worker.AddLogLine("Request timed out.", lkError, 4);
        else
            worker.AddLogLine(ping->ReplyErrorDesc(), lkError, 4);
    }
    worker.SetActivePing(nullptr);
    return result;
}

TInternetStatus CheckOrWait(TMonitorThread& worker)
{
    TInternetRecord& record = Record();
    std::unique_lock guard(record.lock);
    if (record.running)
    {
        while (record.running)
        {
            if (worker.AbortRequested())
                return TInternetStatus::Aborted;
            record.finished.wait_for(guard, std::chrono::milliseconds(kWaitSliceMs));
        }
        return record.result;
    }
    if (record.hasResult && TickCount() - record.resultTick < kResultReuseMs)
    {
        record.resultTick = TickCount();
        return record.result;
    }
    const std::vector<std::string> servers = ServerLines(record.servers);
    if (servers.empty())
    {
        record.hasResult = true;
        record.result = TInternetStatus::NoServers;
        record.resultTick = TickCount();
        return record.result;
    }
    record.running = true;
    const auto factory = record.factory;
    guard.unlock();

    TInternetStatus result = TInternetStatus::Unknown;
    try
    {
        result = PingServers(worker, servers, factory);
    }
    catch (...)
    {
        worker.SetActivePing(nullptr);
    }

    guard.lock();
    record.resultTick = TickCount();
    record.running = false;
    record.hasResult = true;
    record.result = result;
    guard.unlock();
    record.finished.notify_all();
    return result;
}

} // namespace

void SetUpServers(const std::string& text)
{
    TInternetRecord& record = Record();
    std::lock_guard guard(record.lock);
    if (record.servers != text)
        record.hasResult = false;
    record.servers = text;
}

void SetInternetCheckPingFactory(std::function<std::unique_ptr<TPINGSend>()> factory)
{
    TInternetRecord& record = Record();
    std::lock_guard guard(record.lock);
    record.factory = std::move(factory);
}

void ResetInternetCheckResult()
{
    TInternetRecord& record = Record();
    std::lock_guard guard(record.lock);
    record.hasResult = false;
}

void RunInternetConnectionCheck(TMonitorThread& worker)
{
    if (worker.Monitor().Status != msFailure || !worker.CurrentOptions().ReadBool(mo::kCheckInet) ||
        worker.AbortRequested())
        return;
    worker.AddLogLine("Checking the Internet connection.", lkInfo, 0);
    switch (CheckOrWait(worker))
    {
    case TInternetStatus::Available:
        worker.AddLogLine("Internet connection is available.", lkInfo, 2);
        break;
    case TInternetStatus::NotAvailable:
        worker.SetOutcome("Internet connection is not available.", lkError, 2);
        worker.FetchGlobalOptions();
        worker.Monitor().Status =
            worker.GlobalOptionsCopy().ReadBool(gs::kICFAlerts) ? msInetFailure : msInetFailureQuiet;
        break;
    case TInternetStatus::Aborted:
        worker.AddLogLine("Aborted by the user.", lkError, 2);
        break;
    case TInternetStatus::NoServers:
        worker.AddLogLine("Always accessible servers are not specified.", lkWarning, 2);
        worker.AddLogLine("Assuming that the Internet is available.", lkInfo, 2);
        break;
    case TInternetStatus::Unknown:
        worker.AddLogLine("Unable to check the Internet status.", lkWarning, 2);
        worker.AddLogLine("Assuming that the Internet is available.", lkInfo, 2);
        break;
    }
}

} // namespace wardlark
