#include "reports/unitStatistics.h"

#include "config/unitOptionsList.h"
#include "support/unitFileStream.h"
#include "support/unitKeypoint.h"
#include "support/unitSystem.h"
#include "support/unitTextRoutines.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

namespace wardlark
{

namespace
{

constexpr uint32_t kKeypointFolder = 0x5A7C0103;
constexpr uint32_t kKeypointRead = 0x5A7C0106;
constexpr uint32_t kKeypointOpen = 0x5A7C0107;
constexpr uint32_t kKeypointWrite = 0x5A7C0605;
constexpr uint32_t kKeypointBadEvent = 0x5A7C0001;
constexpr int32_t kCodeStatWriteError = -605;
constexpr int32_t kCodeBadArgument = -5;

constexpr int kAppendAttempts = 10;
constexpr int kAppendDelayMs = 10;
constexpr uint32_t kResummaryIntervalMs = 10000;

struct TItemInfo
{
    const char* name;
    const char* caption;
    const char* hint;
    const char* field;
};

// The summary lines in display order; the template fields carry the same values.
constexpr std::array<TItemInfo, 10> kItems = {{
    {"Period", "Selected Period", "", "Stat_Period"},
    {"ActiveTime", "Monitor Active",
     "The time interval within the selected<br>period when the monitor was active and checking", "Stat_ActiveTime"},
    {"NormalTime", "Server Uptime", "The time interval within the selected<br>period when the server was available",
     "Stat_NormalTime"},
    {"FailedTime", "Server Downtime",
     "The time interval within the selected<br>period when the server was not available", "Stat_FailedTime"},
    {"ConfigTime", "Configuration Errors",
     "The time interval within the selected<br>period when the server checks were failed because<br>of the monitor "
     "configuration errors",
     "Stat_ConfigTime"},
    {"InetTime", "Internet Connection Problems",
     "The time interval within the selected<br>period when the server checks were failed because<br>of the Internet "
     "connection problems",
     "Stat_InetTime"},
    {"Maintenance", "Scheduled Maintenance", "The maintenance intervals within the selected period",
     "Stat_MaintenanceTime"},
    {"MinTick", "Minimum Response Time", "", "Stat_MinTick"},
    {"AvgTick", "Average Response Time", "", "Stat_AvgTick"},
    {"MaxTick", "Maximun Response Time", "", "Stat_MaxTick"},
}};

inline uint32_t Load32(const uint8_t* p)
{
    // One unaligned load; the byte-wise form is not always merged by the compiler.
    uint32_t value;
    std::memcpy(&value, p, sizeof value);
    if constexpr (std::endian::native == std::endian::big)
        value = __builtin_bswap32(value);
    return value;
}

inline void Store32(uint8_t* p, uint32_t value)
{
    p[0] = static_cast<uint8_t>(value);
    p[1] = static_cast<uint8_t>(value >> 8);
    p[2] = static_cast<uint8_t>(value >> 16);
    p[3] = static_cast<uint8_t>(value >> 24);
}

inline bool OpensSegment(uint8_t kind)
{
    return kind >= seOK && kind <= seMaintenance;
}

bool SameUIN(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && LowerCase(a) == LowerCase(b);
}

} // namespace

uint32_t LocalUnixSeconds(TDateTime t)
{
    const double seconds = std::round((t - kUnixEpochDay) * kSecondsPerDay);
    if (!(seconds > 0.0))
        return 0;
    if (seconds >= 4294967295.0)
        return std::numeric_limits<uint32_t>::max();
    return static_cast<uint32_t>(seconds);
}

uint32_t LocalUnixNow()
{
    return LocalUnixSeconds(Now());
}

uint32_t StatSegmentColor(int kind)
{
    switch (kind)
    {
    case seOK:
        return 0x008000;
    case seConfigError:
        return 0xFFFF00;
    case seFailed:
        return 0xFF0000;
    case seInetFailure:
    case seInetNoAlerts:
        return 0xFF8040;
    case seMaintenance:
        return 0x000080;
    default:
        return 0;
    }
}

std::string StatDurationText(uint64_t seconds, uint64_t period)
{
    if (seconds == 0)
        return "N/A";
    const std::array<std::pair<uint64_t, char>, 4> parts = {
        {{seconds / 86400, 'd'}, {seconds / 3600 % 24, 'h'}, {seconds / 60 % 60, 'm'}, {seconds % 60, 's'}}};
    std::string text;
    for (const auto& [value, unit] : parts)
    {
        if (value == 0)
            continue;
        if (!text.empty())
            text += ' ';
        text += std::to_string(value);
        text += unit;
    }
    if (period > 0)
    {
        // Rounded half up; integers stay exact where the products fit, doubles take the rest.
        uint64_t percent = 0;
        if (seconds <= std::numeric_limits<uint64_t>::max() / 200 && period <= std::numeric_limits<uint64_t>::max() / 2)
            percent = (seconds * 200 + period) / (2 * period);
        else
            percent =
                static_cast<uint64_t>(std::llround(static_cast<double>(seconds) * 100.0 / static_cast<double>(period)));
        text += " (" + std::to_string(percent) + "%)";
    }
    return text;
}

TStatistics::TStatistics() : records_(kStatRecordSize, kStatMaxRecords, 32768), lastSummaryTick_(TickCount())
{
}

TStatistics::~TStatistics() = default;

void TStatistics::SetFolder(const std::string& folder)
{
    folder_ = WithTrailingDelimiter(folder);
    if (folder_.empty() || !ForceDirectories(folder_))
        AddKeypoint(kKeypointFolder, kKeypointFolderNotCreated);
}

std::string TStatistics::FileNameOf(const std::string& uin) const
{
    if (folder_.empty() || uin.empty() || uin.find('/') != std::string::npos || uin.find('\0') != std::string::npos)
        return {};
    return folder_ + LowerCase(uin) + ".sta";
}

void TStatistics::AddEvent(const std::string& uin, int kind, uint32_t time, int64_t response)
{
    const std::string path = FileNameOf(uin);
    if (kind < seStarted || kind > seMaintenance || path.empty())
    {
        AddKeypoint(kKeypointBadEvent, kCodeBadArgument, 10);
        return;
    }
    const auto ms = static_cast<uint32_t>(std::clamp<int64_t>(response, 0, std::numeric_limits<uint32_t>::max()));
    std::array<uint8_t, kStatRecordSize> record{};
    Store32(record.data(), time);
    Store32(record.data() + 4, ms);
    record[8] = static_cast<uint8_t>(kind);
    record[9] = static_cast<uint8_t>(time + ms + static_cast<uint32_t>(kind));

    if (!uin_.empty() && SameUIN(uin, uin_))
    {
        records_.Add(record.data());
        const uint32_t now = TickCount();
        if (now - lastSummaryTick_ > kResummaryIntervalMs)
        {
            lastSummaryTick_ = now;
            Summarize(0, 0);
        }
    }

    std::unique_ptr<TFileStream> file = TryOpenFile(path, TFileMode::OpenOrCreate, kAppendAttempts, kAppendDelayMs);
    if (!file)
    {
        AddKeypoint(kKeypointOpen, kKeypointWriteError);
        return;
    }
    try
    {
        // Whole records only: a partial record left by an interrupted write is overwritten.
        file->Seek(file->Size() / kStatRecordSize * kStatRecordSize, soBeginning);
        if (file->Write(record.data(), kStatRecordSize) != kStatRecordSize)
        {
            AddKeypoint(kKeypointWrite, kCodeStatWriteError);
        }
        // No flush to disk: an event per check and monitor would cost a disk flush each (about
        // 4 ms here), which thousands of monitors cannot afford; the page cache writes it soon
        // enough, and a lost tail after a power failure is cut back to whole records on reading.
    }
    catch (...)
    {
        AddKeypoint(kKeypointWrite, kCodeStatWriteError);
    }
}

void TStatistics::LoadCurrent()
{
    records_.Clear();
    const std::string path = FileNameOf(uin_);
    if (uin_.empty())
        return;
    if (path.empty())
    {
        AddKeypoint(kKeypointRead, kKeypointReadError);
        return;
    }
    // A monitor that has not written anything yet has no file: no records, and no error.
    if (!FileExists(path))
        return;
    try
    {
        TFileStream file(path, TFileMode::ReadDenyWrite, 1, 100);
        records_.LoadFromStream(file, file.Size());
    }
    catch (...)
    {
        records_.Clear();
        AddKeypoint(kKeypointRead, kKeypointReadError);
    }
}

void TStatistics::SelectMonitor(const std::string& uin)
{
    if (SameUIN(uin, uin_))
        return;
    uin_ = uin;
    nextIndex_ = -1;
    pendingKind_ = -1;
    LoadCurrent();
    Summarize(0, 0);
}

void TStatistics::Clear()
{
    uin_.clear();
    records_.Clear();
    nextIndex_ = -1;
    pendingKind_ = -1;
    Summarize(0, 0);
}

void TStatistics::SetRecordLimit(int32_t maxRecords)
{
    records_.SetMaxCount(maxRecords);
}

uint32_t TStatistics::TimeAt(int32_t index) const
{
    return Load32(records_.Memory() + static_cast<int64_t>(index) * kStatRecordSize);
}

bool TStatistics::RecordAt(int32_t index, TStatRecord& record) const
{
    if (index < 0 || index >= records_.Count())
        return false;
    const uint8_t* p = records_.Memory() + static_cast<int64_t>(index) * kStatRecordSize;
    record.Time = Load32(p);
    record.Response = Load32(p + 4);
    record.Kind = p[8];
    record.Checksum = p[9];
    return true;
}

int32_t TStatistics::FindIndex(uint32_t time, bool lower) const
{
    const int32_t count = records_.Count();
    if (count == 0)
        return -1;
    int32_t lo = 0;
    int32_t hi = count - 1;
    for (;;)
    {
        const int32_t mid = lo + (hi - lo) / 2;
        if (mid == lo || mid == hi)
            break;
        const uint32_t at = TimeAt(mid);
        if (at == time)
            return mid;
        if (time > at)
            lo = mid;
        else
            hi = mid;
    }
    if (TimeAt(lo) == time)
        return lo;
    return lower ? lo : hi;
}

void TStatistics::Summarize(uint32_t from, uint32_t to, int row, TOptionsList* target)
{
    if (from != 0 || to != 0)
    {
        periodFrom_ = from;
        periodTo_ = to;
    }
    from = periodFrom_;
    to = periodTo_;
    const int32_t a = FindIndex(from, true);
    const int32_t b = FindIndex(to, false);
    // A reversed period would give a negative length; it is as empty as a zero-length one.
    if (b - a <= 0 || from >= to)
    {
        items_.Clear();
        if (OnChange)
            OnChange(*this);
        return;
    }

    // Seconds per kind of the record that opened the segment; only 4..9 are ever added to.
    std::array<uint64_t, 10> byKind{};
    uint64_t uptime = 0;
    uint64_t responseCount = 0;
    uint64_t responseSum = 0;
    uint32_t minimum = std::numeric_limits<uint32_t>::max();
    uint32_t maximum = 0;
    // Each record closes the segment its predecessor opened, so the pending segment is simply
    // the previous record; reading it back from memory keeps the loop's state in registers.
    const uint8_t* const first = records_.Memory() + static_cast<int64_t>(a) * kStatRecordSize;
    const uint8_t* const end = records_.Memory() + static_cast<int64_t>(b + 1) * kStatRecordSize;
    for (const uint8_t* p = first + kStatRecordSize; p != end; p += kStatRecordSize)
    {
        const uint8_t* const opener = p - kStatRecordSize;
        const uint8_t pending = opener[8];
        if (!OpensSegment(pending))
            continue;
        const uint32_t segmentStart = std::max(Load32(opener), from);
        const uint32_t segmentEnd = std::min(to, Load32(p));
        const uint32_t length = segmentEnd > segmentStart ? segmentEnd - segmentStart : 0;
        // Uptime, by far the most frequent, is summed in a register: adding to the array
        // element on every record would chain each iteration to the previous store.
        if (pending == seOK)
        {
            const uint32_t response = Load32(opener + 4);
            uptime += length;
            ++responseCount;
            responseSum += response;
            minimum = std::min(minimum, response);
            maximum = std::max(maximum, response);
        }
        else
            byKind[pending] += length;
    }

    byKind[seOK] = uptime;
    const uint64_t period = to - from;
    const uint64_t inet = byKind[seInetFailure] + byKind[seInetNoAlerts];
    const uint64_t active = byKind[seOK] + byKind[seConfigError] + byKind[seFailed] + inet + byKind[seMaintenance];
    const bool responses = responseCount > 0;
    const std::array<std::string, 10> values = {
        StatDurationText(period, 0),
        StatDurationText(active, period),
        StatDurationText(byKind[seOK], period),
        StatDurationText(byKind[seFailed], period),
        StatDurationText(byKind[seConfigError], period),
        StatDurationText(inet, period),
        StatDurationText(byKind[seMaintenance], period),
        responses ? std::to_string(minimum) : "N/A",
        responses ? std::to_string(responseSum / responseCount) : "N/A",
        responses ? std::to_string(maximum) : "N/A",
    };

    items_.BeginUpdate();
    items_.Clear();
    for (size_t i = 0; i < kItems.size(); ++i)
        items_.AddItem(kItems[i].name, kItems[i].caption, values[i], kItems[i].hint);
    items_.EndUpdate();

    if (target != nullptr)
    {
        const std::string suffix = row >= 0 ? "_" + std::to_string(row) : std::string();
        for (size_t i = 0; i < kItems.size(); ++i)
            target->WriteString(kItems[i].field + suffix, values[i]);
    }
    if (OnChange)
        OnChange(*this);
}

void TStatistics::GetScale(uint32_t& from, uint32_t& to, int64_t& maxResponse) const
{
    from = periodFrom_;
    to = periodTo_;
    uint32_t maximum = 9;
    const int32_t a = FindIndex(from, true);
    const int32_t b = FindIndex(to, false);
    if (a >= 0)
    {
        for (int32_t i = a; i <= b; ++i)
        {
            const uint8_t* p = records_.Memory() + static_cast<int64_t>(i) * kStatRecordSize;
            const uint8_t kind = p[8];
            if (kind != seFailed && kind != seInetFailure && kind != seInetNoAlerts)
                maximum = std::max(maximum, Load32(p + 4));
        }
    }
    maxResponse = std::llround(static_cast<double>(maximum) * 1.01);
}

std::string TStatistics::BeginSegments(uint32_t from, uint32_t to)
{
    nextIndex_ = FindIndex(from, true);
    lastIndex_ = FindIndex(to, false);
    lastIsFinal_ = lastIndex_ == records_.Count() - 1;
    pendingKind_ = -1;
    return uin_;
}

bool TStatistics::NextSegment(const std::string& uin, TStatSegment& segment)
{
    if (!SameUIN(uin, uin_))
        return false;
    for (;;)
    {
        if (nextIndex_ < 0)
            return false;
        if (nextIndex_ > lastIndex_ || nextIndex_ >= records_.Count())
        {
            const bool pastLast = nextIndex_ > lastIndex_;
            nextIndex_ = -1;
            if (!pastLast || !lastIsFinal_ || pendingKind_ < 0)
                return false;
            segment = {pendingStart_, LocalUnixNow(), pendingKind_, pendingResponse_, StatSegmentColor(pendingKind_)};
            pendingKind_ = -1;
            return true;
        }
        TStatRecord record;
        RecordAt(nextIndex_++, record);
        const bool ready = pendingKind_ >= 0;
        if (ready)
            segment = {pendingStart_, record.Time, pendingKind_, pendingResponse_, StatSegmentColor(pendingKind_)};
        if (OpensSegment(record.Kind))
        {
            pendingKind_ = record.Kind;
            pendingStart_ = record.Time;
            pendingResponse_ = record.Response;
        }
        else
            pendingKind_ = -1;
        if (ready)
            return true;
    }
}

} // namespace wardlark
