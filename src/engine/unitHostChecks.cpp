#include "engine/unitHostChecks.h"

#include "config/unitMonitorOptions.h"
#include "engine/unitConsoleRunner.h"
#include "engine/unitMonitorThread.h"
#include "net/unitBlockSocket.h"
#include "net/unitPingSend.h"
#include "support/unitKeypoint.h"
#include "support/unitStreams.h"
#include "support/unitSystem.h"
#include "support/unitTextRoutines.h"

#include <cstdio>
#include <memory>

namespace wardlark
{

namespace
{

constexpr uint32_t kKeypointNoHost = 0x51A0C310;
constexpr int32_t kCodeException = -1;
constexpr int32_t kConsoleBufferSize = 8192;

// One echo request and its outcome line. True when the target answered.
bool PingOnce(TMonitorThread& worker, TPINGSend& ping, const std::string& target, int timeout, int dataSize)
{
    const uint32_t start = TickCount();
    if (ping.Ping(target))
    {
        if (ping.PingTime() > timeout)
            worker.SetOutcome("Request timed out.", lkError, 0);
        else if (ping.ReplyFrom() == target)
        {
            char text[512];
            std::snprintf(text, sizeof text, "Reply from %s: bytes=%d time=%dms TTL=%d", ping.ReplyFrom().c_str(),
                          dataSize, ping.PingTime(), ping.TTL());
            worker.SetOutcome(text, lkInfo, 0);
            return true;
        }
        else
            worker.SetOutcome("Destination host unreachable.", lkError, 0);
        return false;
    }
    const uint32_t elapsed = TickCount() - start;
    if (worker.AbortRequested())
        worker.SetOutcome("Aborted by the user.", lkError, 0);
    else if (ping.LastError() != 0)
        worker.SetOutcome(ping.LastErrorDesc(), lkError, 0);
    else if (ping.ReplyError() == ieOther && timeout >= 0 && elapsed >= static_cast<uint32_t>(timeout))
        worker.SetOutcome("Request timed out.", lkError, 0);
    else
        worker.SetOutcome(ping.ReplyErrorDesc(), lkError, 0);
    return false;
}

} // namespace

void RunPingCheck(TMonitorThread& worker)
{
    TOptionsList& options = worker.CurrentOptions();
    options.SetText(worker.Monitor().TypeOptions[mtPing]);
    auto ping = std::make_unique<TPINGSend>();
    worker.SetActivePing(ping.get());
    try
    {
        const std::string host = options.ReadString(mo::kHost);
        if (Trim(host).empty())
        {
            worker.SetOutcome("Host is not specified.", lkWarning, 0);
            AddKeypoint(kKeypointNoHost, kCodeException);
        }
        else
        {
            const int timeout = worker.Monitor().Timeout;
            const int attempts = options.ReadInteger(mo::kAttemptsCount, mo::kDefaultAttemptsCount);
            const int dataSize = options.ReadInteger(mo::kPacketSize, mo::kDefaultPacketSize);
            ping->SetTimeout(timeout);
            ping->SetPacketSize(dataSize);
            std::string target = host;
            bool found = true;
            if (!IsIPAddress(host))
            {
                if (LowerCase(host) != "localhost")
                    worker.AddLogLine("Resolving the host name \"" + host + "\".", lkInfo, 0);
                target = ping->ResolveName(host);
                if (target == "0.0.0.0")
                {
                    worker.SetOutcome("Host \"" + host + "\" not found.", lkError, 0);
                    found = false;
                }
            }
            if (found)
            {
                worker.AddLogLine("Pinging " + target + " with " + std::to_string(dataSize) + " bytes of data:", lkInfo,
                                  0);
                for (int attempt = 0; attempt < attempts; ++attempt)
                {
                    if (PingOnce(worker, *ping, target, timeout, dataSize) || worker.AbortRequested())
                        break;
                }
            }
        }
    }
    catch (const std::exception& error)
    {
        worker.SetOutcome(error.what(), lkError, 0);
    }
    worker.SetActivePing(nullptr);
}

void RunCustomCheck(TMonitorThread& worker)
{
    TOptionsList& options = worker.CurrentOptions();
    options.SetText(worker.Monitor().TypeOptions[mtCustom]);
    auto socket = std::make_unique<TTCPBlockSocket>();
    worker.SetActiveSocket(socket.get());
    try
    {
        const std::string host = options.ReadString(mo::kHost);
        const std::string port = options.ReadString(mo::kPort);
        const bool useSSL = options.ReadBool(mo::kUseSSL);
        if (Trim(host).empty())
            worker.SetOutcome("Host is not specified.", lkWarning, 0);
        else
        {
            worker.AddLogLine("Connecting to " + host + ":" + port, lkInfo, 0);
            if (useSSL)
                worker.AddLogLine("Using secure connection.", lkInfo, 2);
            socket->Purge();
            bool ok = socket->Bind("0.0.0.0", "0") && socket->Connect(host, port);
            if (ok && useSSL)
            {
                if (!IsIPAddress(host))
                    socket->SetSNIHost(host);
                ok = socket->SSLDoConnect();
            }
            if (!ok || socket->LastError() != 0)
                worker.ReportNetworkFailure("Custom Monitor", "");
            else
            {
                worker.SetOutcome("Connection established.", lkInfo, 0);
                socket->CloseSocket();
            }
        }
    }
    catch (const std::exception& error)
    {
        worker.SetOutcome(error.what(), lkError, 0);
    }
    worker.SetActiveSocket(nullptr);
}

void RunConsoleCheck(TMonitorThread& worker)
{
    TOptionsList& options = worker.CurrentOptions();
    options.SetText(worker.Monitor().TypeOptions[mtConsole]);
    try
    {
        TMemoryStream output(kConsoleBufferSize, 0, kConsoleBufferSize);
        const std::string commandLine = options.ReadString(mo::kCommandLine);
        worker.AddLogLine("Launching " + commandLine, lkInfo, 0);
        const int result = RunConsoleApp(
            commandLine, options.ReadString(mo::kCurrentDir), &output,
            [&worker](const std::string& line) { worker.AddLogLine(line, lkDebug, 2); }, {}, worker.AbortedFlag(),
            worker.Monitor().Timeout);
        if (result == kConsoleTimedOut)
            worker.SetOutcome("Operation timed out.", lkError, 0);
        else if (result == kConsoleAborted)
            worker.SetOutcome("Aborted by the user.", lkError, 0);
        else
        {
            worker.SetOutcome("Application successfully executed.", lkInfo, 0);
            if (options.ReadBool(mo::kSaveContent))
            {
                const std::string file = options.ReadString(mo::kContentFilename);
                worker.AddLogLine("Saving the content to " + file, lkInfo, 0);
                try
                {
                    output.SaveToFile(file, 1, 100);
                }
                catch (const std::exception& error)
                {
                    worker.AddLogLine(error.what(), lkWarning, 2);
                }
            }
            // The captured output is kept for content validation.
            worker.ContentText() = LowerCase(output.AsString());
        }
    }
    catch (const std::exception& error)
    {
        worker.SetOutcome(error.what(), lkError, 0);
    }
}

bool RunHostCheck(TMonitorThread& worker)
{
    switch (worker.Monitor().Type)
    {
    case mtPing:
        RunPingCheck(worker);
        return true;
    case mtCustom:
        RunCustomCheck(worker);
        return true;
    case mtConsole:
        RunConsoleCheck(worker);
        return true;
    default:
        return false;
    }
}

} // namespace wardlark
