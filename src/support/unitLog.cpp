#include "support/unitLog.h"

#include "support/unitDateRoutines.h"
#include "support/unitExceptions.h"
#include "support/unitFileStream.h"
#include "support/unitStreams.h"
#include "support/unitSystem.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>
#include <execinfo.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace wardlark
{

namespace
{

constexpr int kOpenAttempts = 10;
constexpr int kOpenDelayMs = 10;
constexpr int kCallStackDepth = 7;
// Room for "dd-mm-yyyy hh:nn:ss".
constexpr size_t kTimestampRoom = 24;
constexpr size_t kPathRoom = PATH_MAX + 32;

struct TLogState
{
    std::atomic<bool> initialized{false};
    std::atomic<bool> finishing{false};
    TLogItem defaultLog;
    // Guarded by defaultLog.Lock.
    std::string userTag;
    std::string programFolder;
};

// Fills the process-wide facts and the empty default destination, and marks the log
// initialised and not finishing. Caller holds both log locks, or is the only one to see state.
void BuildState(TLogState& state)
{
    const std::string userName = CurrentUserName();
    state.userTag = userName.empty() ? std::string() : "(" + userName + ") ";
    state.programFolder = ProgramFolder();
    TLogItem& item = state.defaultLog;
    item.Name.clear();
    item.Folder.clear();
    item.BaseName.clear();
    item.Extension.clear();
    item.DateInName = false;
    item.WithUser = true;
    state.finishing = false;
    state.initialized = true;
}

// The state once built, for the signal handler, which must not be the one to build it.
std::atomic<TLogState*> gBuiltState{nullptr};

// Built on first use, so that code running before main() has set anything up finds a log.
// Never destroyed: threads and the signal handler may still log while static objects are torn
// down at exit.
TLogState& State()
{
    static TLogState* state = []
    {
        auto* built = new TLogState;
        try
        {
            BuildState(*built);
        }
        catch (...)
        {
        }
        gBuiltState = built;
        return built;
    }();
    return *state;
}

bool Active(const TLogState& state)
{
    return state.initialized.load() && !state.finishing.load();
}

// Appends to a fixed buffer without allocating; text beyond its room is cut.
class TFixedText
{
public:
    TFixedText(char* buffer, size_t capacity) : buffer_(buffer), capacity_(capacity) {}

    void Add(const char* text, size_t length)
    {
        const size_t room = capacity_ - length_;
        const size_t take = length < room ? length : room;
        std::memcpy(buffer_ + length_, text, take);
        length_ += take;
    }
    void Add(const char* text) { Add(text, std::strlen(text)); }
    void Add(const std::string& text) { Add(text.data(), text.size()); }
    // `value` as exactly `digits` decimal digits (leading zeros), for the date and time fields.
    void AddDigits(int value, int digits)
    {
        char text[12];
        if (value < 0)
            value = 0;
        for (int i = digits - 1; i >= 0; --i)
        {
            text[i] = static_cast<char>('0' + value % 10);
            value /= 10;
        }
        Add(text, static_cast<size_t>(digits));
    }

    size_t Length() const { return length_; }
    bool Full() const { return length_ == capacity_; }

private:
    char* buffer_;
    size_t capacity_;
    size_t length_ = 0;
};

// "dd-mm-yyyy" for file names and full timestamps.
void AddDate(TFixedText& out, const TDateParts& now)
{
    out.AddDigits(now.day, 2);
    out.Add("-", 1);
    out.AddDigits(now.month, 2);
    out.Add("-", 1);
    out.AddDigits(now.year, 4);
}

// The line's timestamp and the blank after it; the time only when the date is in the file
// name. Caller holds the destination's lock.
void AddTimestamp(TFixedText& out, const TLogItem& item, const TDateParts& now)
{
    if (!item.DateInName)
    {
        AddDate(out, now);
        out.Add(" ", 1);
    }
    out.AddDigits(now.hour, 2);
    out.Add(":", 1);
    out.AddDigits(now.minute, 2);
    out.Add(":", 1);
    out.AddDigits(now.second, 2);
    out.Add(" ", 1);
}

// Composes the destination's file name into `buffer`, with the date of `now` when the name
// carries it. Returns false when there is no file (not configured) or the name does not fit.
// Caller holds the destination's lock.
bool ComposeFileName(const TLogItem& item, const TDateParts& now, char* buffer, size_t capacity)
{
    if (item.BaseName.empty() && item.Extension.empty())
        return false;
    TFixedText out(buffer, capacity - 1);
    out.Add(item.Folder);
    out.Add(item.BaseName);
    if (item.DateInName)
    {
        out.Add("(", 1);
        AddDate(out, now);
        out.Add(")", 1);
    }
    out.Add(item.Extension);
    if (out.Full())
        return false;
    buffer[out.Length()] = '\0';
    return true;
}

TDateParts CurrentTime()
{
    return DecodeDateTime(Now());
}

bool WriteAll(int fd, const char* data, size_t length)
{
    while (length > 0)
    {
        const ssize_t put = ::write(fd, data, length);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        data += put;
        length -= static_cast<size_t>(put);
    }
    return true;
}

} // namespace

void InitializeLog()
{
    TLogState& state = State();
    try
    {
        std::lock_guard traceGuard(ExceptionTraceLock());
        std::lock_guard guard(state.defaultLog.Lock);
        BuildState(state);
    }
    catch (...)
    {
    }
}

void FinishLog()
{
    TLogState& state = State();
    state.finishing = true;
    try
    {
        // Taking both locks waits for the writers that were already past the flag test.
        std::lock_guard traceGuard(ExceptionTraceLock());
        std::lock_guard guard(state.defaultLog.Lock);
        state.defaultLog.Folder.clear();
        state.defaultLog.BaseName.clear();
        state.defaultLog.Extension.clear();
    }
    catch (...)
    {
    }
}

void LogMessage(const std::string& text)
{
    TLogState& state = State();
    if (!Active(state))
        return;
    try
    {
        std::lock_guard traceGuard(ExceptionTraceLock());
        std::lock_guard guard(state.defaultLog.Lock);
        if (!Active(state))
            return;
        const TDateParts now = CurrentTime();
        char path[kPathRoom];
        if (!ComposeFileName(state.defaultLog, now, path, sizeof path))
            return;
        char timestamp[kTimestampRoom];
        TFixedText timestampText(timestamp, sizeof timestamp);
        AddTimestamp(timestampText, state.defaultLog, now);
        std::string line;
        line.reserve(timestampText.Length() + state.userTag.size() + text.size() + 2);
        line.append(timestamp, timestampText.Length());
        if (state.defaultLog.WithUser)
            line += state.userTag;
        line += text;
        line += "\r\n";

        const auto file = TryOpenFile(path, TFileMode::OpenOrCreate, kOpenAttempts, kOpenDelayMs);
        if (file == nullptr)
            return;
        file->Seek(0, soEnd);
        size_t written = 0;
        while (written < line.size())
        {
            const auto chunk = static_cast<int32_t>(std::min<size_t>(line.size() - written, 1u << 30));
            const int32_t put = file->Write(line.data() + written, chunk);
            if (put <= 0)
                break;
            written += static_cast<size_t>(put);
        }
    }
    catch (...)
    {
    }
}

void ConfigureDefaultLog(const std::string& fileName, bool dateInName, bool withUser)
{
    TLogState& state = State();
    if (!Active(state))
        return;
    try
    {
        std::lock_guard guard(state.defaultLog.Lock);
        TLogItem& item = state.defaultLog;
        std::string folder = ExtractFilePath(fileName);
        if (folder.empty())
            folder = item.Folder;
        if (folder.empty())
            folder = state.programFolder;
        if (!ForceDirectories(folder))
            folder = state.programFolder;
        const std::string name = ExtractFileName(fileName);
        const std::string extension = ExtractFileExt(name);
        item.Folder = WithTrailingDelimiter(folder);
        item.BaseName = name.substr(0, name.size() - extension.size());
        item.Extension = extension;
        item.DateInName = dateInName;
        item.WithUser = withUser;
    }
    catch (...)
    {
    }
}

std::string DefaultLogFileName()
{
    TLogState& state = State();
    if (!Active(state))
        return {};
    try
    {
        std::lock_guard guard(state.defaultLog.Lock);
        char path[kPathRoom];
        if (ComposeFileName(state.defaultLog, CurrentTime(), path, sizeof path))
            return path;
    }
    catch (...)
    {
    }
    return {};
}

void TrimLogFile(int32_t maxBytes)
{
    TLogState& state = State();
    if (!Active(state) || maxBytes < 0)
        return;
    try
    {
        std::lock_guard traceGuard(ExceptionTraceLock());
        std::lock_guard guard(state.defaultLog.Lock);
        char path[kPathRoom];
        if (!ComposeFileName(state.defaultLog, CurrentTime(), path, sizeof path))
            return;
        struct stat info = {};
        if (stat(path, &info) != 0 || info.st_size <= maxBytes)
            return;
        // The reader's shared lock stays held until the cut file has replaced the old one, so
        // that no other writer appends to the old file in between.
        const auto reader = TryOpenFile(path, TFileMode::ReadDenyWrite, kOpenAttempts, kOpenDelayMs);
        if (reader == nullptr)
            return;
        const int64_t size = reader->Size();
        if (size <= maxBytes)
            return;
        if (reader->Seek(size - maxBytes, soBeginning) < 0)
            return;
        TMemoryStream tail(maxBytes);
        // CopyFrom takes a count of 0 as "everything".
        if (maxBytes > 0 && tail.CopyFrom(*reader, maxBytes) != maxBytes)
            return;
        tail.SaveToFile(path, 1, 0);
    }
    catch (...)
    {
    }
}

[[gnu::noinline]] std::string CallStackText()
{
    try
    {
        // A few spare entries: an interposed walker (a sanitizer's) adds frames of its own.
        constexpr int kSpareFrames = 4;
        void* frames[kCallStackDepth + kSpareFrames];
        const int count = backtrace(frames, kCallStackDepth + kSpareFrames);
        // The walk starts inside this function, or further in; the list starts at the return
        // address into our caller.
        const void* caller = __builtin_return_address(0);
        int first = 1;
        for (int i = 0; i < count; ++i)
        {
            if (frames[i] == caller)
            {
                first = i;
                break;
            }
        }
        std::string text;
        for (int i = first; i < count && i < first + kCallStackDepth; ++i)
        {
            if (i > first)
                text += ", ";
            char address[20];
            text.append(address, FormatLogAddress(reinterpret_cast<uintptr_t>(frames[i]), address));
        }
        return text;
    }
    catch (...)
    {
        return {};
    }
}

size_t FormatLogAddress(uintptr_t value, char* out) noexcept
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    char reversed[2 * sizeof(uintptr_t)];
    size_t count = 0;
    do
    {
        reversed[count++] = kDigits[value & 0xF];
        value >>= 4;
    } while (value != 0);
    while (count < 8)
        reversed[count++] = '0';
    for (size_t i = 0; i < count; ++i)
        out[i] = reversed[count - 1 - i];
    return count;
}

void WriteLogLineFromSignal(const char* text, size_t length) noexcept
{
    TLogState* built = gBuiltState.load();
    if (built == nullptr || !Active(*built))
        return;
    TLogState& state = *built;
    try
    {
        std::lock_guard guard(state.defaultLog.Lock);
        if (!Active(state))
            return;
        const TDateParts now = CurrentTime();
        char path[kPathRoom];
        if (!ComposeFileName(state.defaultLog, now, path, sizeof path))
            return;
        char line[1024];
        // Two bytes stay free for the line end, so a cut line still ends properly.
        TFixedText out(line, sizeof line - 2);
        AddTimestamp(out, state.defaultLog, now);
        if (state.defaultLog.WithUser)
            out.Add(state.userTag);
        out.Add(text, length);
        size_t lineLength = out.Length();
        line[lineLength++] = '\r';
        line[lineLength++] = '\n';

        // The same attempts as LogMessage, with system calls only.
        int fd = -1;
        for (int attempt = 0; attempt < kOpenAttempts; ++attempt)
        {
            fd = ::open(path, O_RDWR | O_CREAT | O_CLOEXEC, 0644);
            if (fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0)
                break;
            if (fd >= 0)
                ::close(fd);
            fd = -1;
            if (attempt + 1 < kOpenAttempts)
            {
                timespec delay{0, kOpenDelayMs * 1000000L};
                while (nanosleep(&delay, &delay) != 0 && errno == EINTR)
                {
                }
            }
        }
        if (fd < 0)
            return;
        if (lseek(fd, 0, SEEK_END) >= 0)
            WriteAll(fd, line, lineLength);
        ::close(fd);
    }
    catch (...)
    {
    }
}

} // namespace wardlark
