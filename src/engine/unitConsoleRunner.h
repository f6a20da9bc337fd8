#pragma once

#include "support/unitStreams.h"

#include <atomic>
#include <functional>
#include <string>
#include <vector>

namespace wardlark
{

// Results of RunConsoleApp.
inline constexpr int kConsoleEnded = 0;
inline constexpr int kConsoleAborted = -3;
inline constexpr int kConsoleTimedOut = -4;

// Receives one line of a command's output, without its line break.
using TConsoleLineCallback = std::function<void(const std::string& line)>;

// Runs `commandLine` through "/bin/sh -c" in `currentDir` (the program's own current folder
// when empty) and collects what it writes to standard output and standard error, which share
// one pipe; standard input is /dev/null.
//
// The output is read in rounds of at most 1024 bytes. Every chunk is appended to `output` (when
// not null) and, when `onLine` is set, split into lines at LF with CR bytes dropped; each
// finished line goes to `onLine`, except empty lines before the first line delivered. A line
// still open when the command ends is not delivered. Errors raised by `onLine` are ignored.
// While the command is silent the runner waits up to 100 ms at a time.
//
// `environment` holds extra "Name=Value" entries that are added to the program's environment,
// replacing entries of the same name; entries without a name are ignored.
//
// Returns kConsoleEnded once the command has ended and its output is read, kConsoleTimedOut
// when more than `timeoutMs` passed (a negative time-out counts as passed at once) and
// kConsoleAborted when `aborted` became true (looked at once per round). In the last two cases
// the command is stopped with everything it started: the command runs in a process group of
// its own, which gets SIGTERM and, when anything is left after 500 ms, SIGKILL; the call
// returns once nothing of the group runs any more (giving up after a further 2 s only for a
// process stuck in the kernel). Processes that leave the group (setsid) are not followed.
// The command is always reaped before the call returns. The exit code is not looked at.
//
// Throws EWardlarkError "System Error.  Code: %d." followed by a line break and the system's
// text when the pipe cannot be made or the command cannot be started (for example when
// `currentDir` does not exist).
//
// Thread safety: may run on several threads at once. The pipe and the command are never
// inherited by commands other threads start. `aborted` may be set from any thread.
int RunConsoleApp(const std::string& commandLine, const std::string& currentDir, TStream* output,
                  const TConsoleLineCallback& onLine, const std::vector<std::string>& environment,
                  const std::atomic<bool>& aborted, int timeoutMs);

} // namespace wardlark
