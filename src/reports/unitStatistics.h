#pragma once

#include "reports/unitBlockList.h"
#include "reports/unitStatItem.h"
#include "support/unitDateRoutines.h"

#include <cstdint>
#include <functional>
#include <string>

namespace wardlark
{

class TOptionsList;

// Per-monitor statistics files: one append-only file per monitor in the statistics folder,
// named by the lower-cased monitor UIN followed by ".sta". The file is a headerless sequence of
// 10-byte records, little-endian:
//
//   offset  size  field
//        0     4  time: Unix seconds of the local clock (unsigned)
//        4     4  response time in milliseconds (unsigned; 0 for events that are no check)
//        8     1  event kind (TStatEvent)
//        9     1  checksum: low byte of time + response + kind (written, never verified)
//
// The record count is the file size divided by 10, rounded down; the bytes of a partial
// trailing record are ignored and overwritten by the next append. Records are sorted by time
// only because they are appended in time order; a file whose records are out of order is read
// without error, its searches and sums then simply follow the stored order.

inline constexpr int32_t kStatRecordSize = 10;
// The most records a statistics object holds in memory (about 95 years of one-minute checks);
// of a longer file only the newest records are loaded.
inline constexpr int32_t kStatMaxRecords = 50000000;

// Event kinds. Kinds 4 to 9 open a time segment that lasts until the next record; 0 to 3 open
// none (the time after them counts as inactive).
enum TStatEvent : int
{
    seStarted = 0,      // monitoring of an enabled monitor started
    seStopped = 1,      // the program stopped
    seEnabled = 2,      // the user enabled the monitor
    seDisabled = 3,     // the user disabled the monitor
    seOK = 4,           // check OK; response = check duration (uptime)
    seConfigError = 5,  // configuration error
    seFailed = 6,       // check failed (downtime)
    seInetFailure = 7,  // Internet connection failure with alerts
    seInetNoAlerts = 8, // Internet connection failure without alerts
    seMaintenance = 9,  // check suspended by a maintenance window
};

struct TStatRecord
{
    uint32_t Time = 0;
    uint32_t Response = 0;
    uint8_t Kind = 0;
    uint8_t Checksum = 0;
};

// One coloured stretch of the time diagram.
struct TStatSegment
{
    uint32_t Start = 0;
    uint32_t End = 0;
    int Kind = 0;          // 4..9
    uint32_t Response = 0; // of the record that opened the segment
    uint32_t Color = 0;    // 0xRRGGBB
};

// Seconds from 1970-01-01 00:00 to the local date-time `t` (no zone correction: the local clock
// read as if it were UTC), rounded, clamped to 0..4294967295. This is the time base of every
// statistics record.
uint32_t LocalUnixSeconds(TDateTime t);
// LocalUnixSeconds(Now()).
uint32_t LocalUnixNow();

// The colour of a segment kind as 0xRRGGBB: 4 green 008000, 5 yellow FFFF00, 6 red FF0000,
// 7 and 8 orange FF8040, 9 navy 000080; 0 for every other kind.
uint32_t StatSegmentColor(int kind);

// The duration text of `seconds` within a period of `period` seconds: "N/A" for 0 seconds;
// otherwise the non-zero parts among days, hours, minutes and seconds, each a number followed
// by "d", "h", "m" or "s", joined by single blanks ("2d 3h 5s"); when `period` is above 0, a
// blank and the rounded percentage of the period in parentheses follow ("3h 5s (25%)").
std::string StatDurationText(uint64_t seconds, uint64_t period);

// The writer and reader of the statistics files.
//
// One object serves as the writer for all monitors (AddEvent) and at the same time holds an
// in-memory copy of one monitor's file (the current monitor, chosen with SelectMonitor) to
// answer summaries, the diagram scale and the diagram's segments. Appends for the current
// monitor go to the copy as well, and re-summarise it at most once per 10 s.
//
// Every file access opens the file and closes it again: an append takes an exclusive lock for
// the moment of one 10-byte write, a load a shared lock for the moment of the read.
// Other objects (in other threads or processes) may therefore read the same files at any
// time; a reader may miss the record being appended.
//
// No operation throws: file errors become keypoints (-103 folder not created, -106 read error,
// -107 file not opened for appending, -605 write error) and leave the affected data empty or
// the record unwritten.
//
// Thread safety: none. An object belongs to one thread; readers in other threads create their
// own objects.
class TStatistics
{
public:
    TStatistics();
    ~TStatistics();
    TStatistics(const TStatistics&) = delete;
    TStatistics& operator=(const TStatistics&) = delete;

    // Called after every summary, on the thread that caused it.
    std::function<void(TStatistics&)> OnChange;

    // Stores `folder` (a "/" is appended when missing) and creates it with its parents; a
    // folder that cannot be created records keypoint -103 (appends then fail).
    void SetFolder(const std::string& folder);
    const std::string& Folder() const { return folder_; }

    // Folder() + lower-cased `uin` + ".sta". Empty when no folder is set or when `uin` cannot
    // name a file in the folder (empty, or holding "/" or a NUL byte).
    std::string FileNameOf(const std::string& uin) const;

    // Appends one record (kind 0..9, `time` in local Unix seconds, `response` in milliseconds,
    // clamped to 0..4294967295) to `uin`'s file, creating it when missing: up to 10 attempts
    // 10 ms apart to open it, then one write at the end of its last whole record (left to the
    // page cache, not flushed). A file that cannot be opened loses the record (keypoint -107); a failed write
    // records keypoint -605. When `uin` is the current monitor the record is also appended to
    // the in-memory copy (even when the file write fails), and the summary is refreshed with
    // the stored period when the last such refresh is more than 10000 ms ago.
    // An invalid kind or a `uin` that names no file records a keypoint and writes nothing.
    void AddEvent(const std::string& uin, int kind, uint32_t time, int64_t response);

    // Makes `uin` the current monitor and loads its file into memory (one attempt; a file that
    // cannot be read records keypoint -106 and leaves no records; a missing file simply has
    // none), then summarises the stored period. Nothing happens when `uin` already is the
    // current monitor (UINs compare without regard to ASCII case).
    void SelectMonitor(const std::string& uin);
    // No current monitor, no records; then summarises the stored period.
    void Clear();
    // The current monitor's UIN; empty when none.
    const std::string& CurrentUIN() const { return uin_; }

    // Summarises the period from..to (local Unix seconds); when both are 0 the stored period is
    // used, otherwise it becomes the stored period. Rebuilds the ten summary items ("Period",
    // "ActiveTime", "NormalTime", "FailedTime", "ConfigTime", "InetTime", "Maintenance",
    // "MinTick", "AvgTick", "MaxTick") and, when `target` is given, writes their values to it
    // under "Stat_Period", "Stat_ActiveTime", ..., "Stat_MaxTick", each with "_" and `row`
    // appended when `row` is 0 or more. When the period holds fewer than two records, is empty
    // or is reversed, the items are removed and nothing is written to `target`. Calls OnChange
    // in every case.
    void Summarize(uint32_t from, uint32_t to, int row = -1, TOptionsList* target = nullptr);
    // The stored period.
    uint32_t PeriodFrom() const { return periodFrom_; }
    uint32_t PeriodTo() const { return periodTo_; }
    // The items of the last summary (empty when it had no data).
    const TStatItemList& Items() const { return items_; }

    // The diagram's bounds: the stored period and the largest response among the records that
    // span it, leaving out kinds 6, 7 and 8, at least 9, times 1.01 rounded.
    void GetScale(uint32_t& from, uint32_t& to, int64_t& maxResponse) const;

    // Positions the segment iterator on the records that span from..to and returns the current
    // monitor's UIN, to be handed to NextSegment.
    std::string BeginSegments(uint32_t from, uint32_t to);
    // The next coloured segment: true with `segment` filled, false when done or when `uin` is
    // not the current monitor. When the period reaches past the last record, the last pending
    // segment ends at the current local Unix time.
    bool NextSegment(const std::string& uin, TStatSegment& segment);

    // Records held in memory for the current monitor.
    int32_t RecordCount() const { return records_.Count(); }
    // Record `index`: true with `record` filled, false when index is outside 0..count-1.
    bool RecordAt(int32_t index, TStatRecord& record) const;
    // Binary search of the in-memory records by time (compared as unsigned numbers): the index
    // of a record at exactly `time`, else with `lower` the last record before `time` (the first
    // when `time` precedes all) and without it the first after `time` (the last when `time`
    // follows all). -1 when there are no records.
    int32_t FindIndex(uint32_t time, bool lower) const;

    // The most records kept in memory (kStatMaxRecords unless changed); a longer file loads
    // only its newest records. Takes effect at the next load.
    void SetRecordLimit(int32_t maxRecords);

private:
    uint32_t TimeAt(int32_t index) const;
    bool IsCurrent(const std::string& uin) const;
    void LoadCurrent();

    std::string folder_;
    std::string uin_;
    TBlockList records_;
    uint32_t periodFrom_ = 0;
    uint32_t periodTo_ = 0;
    uint32_t lastSummaryTick_ = 0;
    TStatItemList items_;
    // Segment iterator.
    int32_t nextIndex_ = -1;
    int32_t lastIndex_ = -1;
    bool lastIsFinal_ = false;
    int pendingKind_ = -1; // -1: none
    uint32_t pendingStart_ = 0;
    uint32_t pendingResponse_ = 0;
};

} // namespace wardlark
