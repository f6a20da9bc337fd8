#pragma once

#include <functional>
#include <memory>
#include <string>

namespace wardlark
{

class TMonitorThread;
class TPINGSend;

// Outcome of the Internet connection check.
enum class TInternetStatus
{
    Unknown,      // no result could be formed
    Available,    // an always-accessible server answered
    NotAvailable, // none answered
    Aborted,      // the checking worker was aborted
    NoServers,    // the server list is empty
};

// The Internet connection check tells a local outage from a failed server: after a failed
// check it pings the always-accessible servers ("UpServers"). One process-wide record keeps
// the server list and the last result; at most one worker pings at a time, the others wait
// for its result, and a result younger than 5000 ms is reused.
//
// Thread safety: every function may be called from any thread; the record has its own lock.

// Replaces the always-accessible server list (one host per line).
void SetUpServers(const std::string& text);

// Makes the ping clients the check uses; the default makes a plain TPINGSend. Tests replace
// it to simulate an outage without leaving loopback. Pass nullptr to restore the default.
void SetInternetCheckPingFactory(std::function<std::unique_ptr<TPINGSend>()> factory);

// Forgets the last result (tests, and a changed server list).
void ResetInternetCheckResult();

// Runs the check on the worker's side of the cycle, when the worker's status is "failure",
// its type options ask for it ("CheckInet") and no abort was requested: logs the pings and
// the result, and turns the status into 4 ("ICFAlerts" on) or 5 when the connection is down.
void RunInternetConnectionCheck(TMonitorThread& worker);

} // namespace wardlark
