#include "engine/unitConsoleRunner.h"

#include "support/unitErrors.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <signal.h>
#include <spawn.h>

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace wardlark
{

namespace
{

using TClock = std::chrono::steady_clock;

constexpr size_t kReadChunk = 1024;
constexpr int kRoundWaitMs = 100;
constexpr int kTerminateGraceMs = 500;
constexpr int kKillWaitMs = 2000;

[[noreturn]] void RaiseSystemError(int code)
{
    char buffer[256];
    // The GNU strerror_r may return a static text instead of filling the buffer.
    const char* text = strerror_r(code, buffer, sizeof(buffer));
    char message[512];
    std::snprintf(message, sizeof(message), "System Error.  Code: %d.\n%s", code, text);
    throw EWardlarkError(message);
}

int ElapsedMs(TClock::time_point start)
{
    return static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(TClock::now() - start).count());
}

// Closes a descriptor once, whichever way the runner leaves.
class TFd
{
public:
    explicit TFd(int fd = -1) : fd_(fd) {}
    ~TFd() { Reset(); }
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
    int Get() const { return fd_; }
    void Reset(int fd = -1)
    {
        if (fd_ >= 0)
            close(fd_);
        fd_ = fd;
    }

private:
    int fd_;
};

class TSpawnSetup
{
public:
    TSpawnSetup()
    {
        posix_spawn_file_actions_init(&actions);
        posix_spawnattr_init(&attributes);
    }
    ~TSpawnSetup()
    {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
    }
    TSpawnSetup(const TSpawnSetup&) = delete;
    TSpawnSetup& operator=(const TSpawnSetup&) = delete;

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
};

// The program's environment with `extra` entries added or replacing those of the same name.
std::vector<std::string> MergedEnvironment(const std::vector<std::string>& extra)
{
    std::vector<std::string> entries;
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry)
        entries.emplace_back(*entry);
    for (const std::string& item : extra)
    {
        const size_t equals = item.find('=');
        if (equals == std::string::npos || equals == 0)
            continue;
        const std::string prefix = item.substr(0, equals + 1);
        std::erase_if(entries, [&prefix](const std::string& entry) { return entry.starts_with(prefix); });
        entries.push_back(item);
    }
    return entries;
}

// True while a process of group `group` is still running (zombies do not count: orphans that
// nobody reaps stay behind as zombies but no longer do anything).
bool GroupHasLiveMembers(pid_t group)
{
    if (kill(-group, 0) != 0 && errno == ESRCH)
        return false;
    DIR* folder = opendir("/proc");
    if (folder == nullptr)
        return true;
    bool alive = false;
    while (!alive)
    {
        const dirent* entry = readdir(folder);
        if (entry == nullptr)
            break;
        if (entry->d_name[0] < '0' || entry->d_name[0] > '9')
            continue;
        char path[sizeof("/proc//stat") + sizeof(entry->d_name)];
        std::snprintf(path, sizeof(path), "/proc/%s/stat", entry->d_name);
        const int fd = open(path, O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            continue;
        char stat[512];
        const ssize_t length = read(fd, stat, sizeof(stat) - 1);
        close(fd);
        if (length <= 0)
            continue;
        stat[length] = 0;
        // The command name may hold blanks and parentheses: the fields start after the last ')'.
        const char* close = std::strrchr(stat, ')');
        char state = 0;
        int parent = 0;
        int processGroup = 0;
        if (close != nullptr && std::sscanf(close + 1, " %c %d %d", &state, &parent, &processGroup) == 3 &&
            processGroup == group && state != 'Z' && state != 'X')
            alive = true;
    }
    closedir(folder);
    return alive;
}

// Stops the command and everything it started, then reaps it.
void TerminateGroup(pid_t pid)
{
    kill(-pid, SIGTERM);
    const TClock::time_point start = TClock::now();
    bool leaderReaped = false;
    bool killed = false;
    for (;;)
    {
        if (!leaderReaped)
        {
            int status = 0;
            leaderReaped = waitpid(pid, &status, WNOHANG) == pid;
        }
        if (!GroupHasLiveMembers(pid))
            break;
        const int elapsed = ElapsedMs(start);
        if (!killed && elapsed >= kTerminateGraceMs)
        {
            kill(-pid, SIGKILL);
            killed = true;
        }
        // A killed process takes a moment to exit; after that only a process stuck in the
        // kernel could still be there, and the runner does not wait for it forever.
        if (elapsed >= kTerminateGraceMs + kKillWaitMs)
            break;
        usleep(10000);
    }
    if (!leaderReaped)
    {
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR)
        {
        }
    }
}

// Splits output into lines for the callback.
class TLineSplitter
{
public:
    explicit TLineSplitter(const TConsoleLineCallback& onLine) : onLine_(onLine) {}

    void Add(const char* data, size_t length)
    {
        for (size_t i = 0; i < length; ++i)
        {
            if (data[i] == '\n')
                Deliver();
            else if (data[i] != '\r')
                line_.push_back(data[i]);
        }
    }
    // Hands over a last line that had no line break.
    void Finish()
    {
        if (!line_.empty())
            Deliver();
    }

private:
    void Deliver()
    {
        if (!line_.empty() || delivered_)
        {
            delivered_ = true;
            try
            {
                onLine_(line_);
            }
            catch (...)
            {
                // A failing log line must not stop the command's output from being read.
            }
        }
        line_.clear();
    }

    const TConsoleLineCallback& onLine_;
    std::string line_;
    bool delivered_ = false;
};

// Reads the command's output until it has ended and one more round found nothing, or until
// the time-out or the abort flag ends the wait.
int PumpOutput(pid_t pid, int readEnd, int processFd, TStream* output, const TConsoleLineCallback& onLine,
               TLineSplitter& lines, const std::atomic<bool>& aborted, int timeoutMs, TClock::time_point start)
{
    const int roundWaitMs = processFd >= 0 ? kRoundWaitMs : 10;
    char buffer[kReadChunk];
    bool pipeClosed = false;
    bool endSeen = false;
    for (;;)
    {
        ssize_t count = -1;
        if (!pipeClosed)
        {
            count = read(readEnd, buffer, sizeof(buffer));
            if (count == 0)
                pipeClosed = true;
        }
        if (count > 0)
        {
            if (output != nullptr)
                output->Write(buffer, static_cast<int32_t>(count));
            if (onLine)
                lines.Add(buffer, static_cast<size_t>(count));
        }
        else
        {
            pollfd fds[2];
            nfds_t used = 0;
            if (processFd >= 0)
                fds[used++] = {processFd, POLLIN, 0};
            // After end of file the pipe would report ready at once and forever.
            if (!pipeClosed)
                fds[used++] = {readEnd, POLLIN, 0};
            if (used > 0)
                poll(fds, used, roundWaitMs);
            else
                usleep(static_cast<useconds_t>(roundWaitMs) * 1000);
            siginfo_t info{};
            // WNOWAIT leaves the command unreaped, so its process group stays pinned until the
            // runner is done with it.
            const bool ended =
                waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == pid;
            if (ended)
            {
                if (endSeen)
                    return kConsoleEnded;
                endSeen = true;
            }
        }
        if (aborted.load())
            return kConsoleAborted;
        if (timeoutMs < 0 || ElapsedMs(start) > timeoutMs)
            return kConsoleTimedOut;
    }
}

} // namespace

int RunConsoleApp(const std::string& commandLine, const std::string& currentDir, TStream* output,
                  const TConsoleLineCallback& onLine, const std::vector<std::string>& environment,
                  const std::atomic<bool>& aborted, int timeoutMs)
{
    const TClock::time_point start = TClock::now();

    // Both ends are close-on-exec, so a command another thread starts meanwhile never holds
    // them; the child gets the write end through dup2, which clears the flag on its copy.
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0)
        RaiseSystemError(errno);
    TFd readEnd(ends[0]);
    TFd writeEnd(ends[1]);
    // Only our end is non-blocking: the command's end keeps ordinary blocking writes.
    fcntl(readEnd.Get(), F_SETFL, fcntl(readEnd.Get(), F_GETFL) | O_NONBLOCK);

    // Everything the child needs is prepared here: posix_spawn allocates nothing between its
    // fork and exec, which keeps it safe in a program with many threads.
    std::vector<std::string> environmentEntries;
    std::vector<char*> environmentPointers;
    char** childEnvironment = environ;
    if (!environment.empty())
    {
        environmentEntries = MergedEnvironment(environment);
        for (std::string& entry : environmentEntries)
            environmentPointers.push_back(entry.data());
        environmentPointers.push_back(nullptr);
        childEnvironment = environmentPointers.data();
    }
    std::string shell = "/bin/sh";
    std::string dashC = "-c";
    std::string command = commandLine;
    char* arguments[] = {shell.data(), dashC.data(), command.data(), nullptr};

    TSpawnSetup setup;
    if (!currentDir.empty())
        posix_spawn_file_actions_addchdir_np(&setup.actions, currentDir.c_str());
    posix_spawn_file_actions_addopen(&setup.actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&setup.actions, writeEnd.Get(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&setup.actions, writeEnd.Get(), STDERR_FILENO);
    // Its own process group lets a time-out stop the command together with whatever it
    // started; signal mask and dispositions start clean whatever this thread has set.
    sigset_t noSignals;
    sigemptyset(&noSignals);
    sigset_t allSignals;
    sigfillset(&allSignals);
    posix_spawnattr_setpgroup(&setup.attributes, 0);
    posix_spawnattr_setsigmask(&setup.attributes, &noSignals);
    posix_spawnattr_setsigdefault(&setup.attributes, &allSignals);
    posix_spawnattr_setflags(
        &setup.attributes, static_cast<short>(POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF));

    pid_t pid = 0;
    const int spawnError =
        posix_spawn(&pid, shell.c_str(), &setup.actions, &setup.attributes, arguments, childEnvironment);
    if (spawnError != 0)
        RaiseSystemError(spawnError);
    writeEnd.Reset();

    // A pidfd lets the round's wait end as soon as the command ends; without one the rounds
    // just run more often.
    TFd processFd(static_cast<int>(syscall(SYS_pidfd_open, pid, 0)));

    TLineSplitter lines(onLine);
    int result = kConsoleEnded;
    try
    {
        result = PumpOutput(pid, readEnd.Get(), processFd.Get(), output, onLine, lines, aborted, timeoutMs, start);
    }
    catch (...)
    {
        // Out of memory while collecting: still leave no process behind.
        TerminateGroup(pid);
        throw;
    }

    if (result == kConsoleEnded)
    {
        if (onLine)
            lines.Finish();
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR)
        {
        }
    }
    else
    {
        TerminateGroup(pid);
    }
    return result;
}

} // namespace wardlark
