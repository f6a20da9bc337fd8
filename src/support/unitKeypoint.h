#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace wardlark
{

// Keypoints are binary breadcrumbs of unusual events that the program survives: a caught
// exception, an inconsistent state. Each one is a fixed 24-byte record, buffered in memory and
// appended in batches to the keypoints file, which nothing in the program reads back except the
// support-message sender (it takes the file's last records).
//
// Record layout (little-endian, no header, records appended in the order recorded):
//
//   offset  size  field
//        0     4  identifier of the recording place (unsigned)
//        4     4  run stamp: TickCount() when the facility was set up in this process (unsigned)
//        8     4  recording thread, DiagnosticThreadId(): 0 on the main thread (unsigned)
//       12     4  code, always negative (signed)
//       16     8  local date and time of recording, a TDateTime (IEEE 754 double)
//
// Thread safety: every function may be called from any thread at any time. All process-wide
// state sits behind one lock; file writes never interleave within the process, and the file is
// locked exclusively while a batch is appended. No function throws.

inline constexpr int32_t kKeypointRecordSize = 24;
inline constexpr int32_t kKeypointMinCapacity = 1;
inline constexpr int32_t kKeypointMaxCapacity = 100000;
// Codes every module uses for the places that swallow an error.
inline constexpr int32_t kKeypointException = -1;
inline constexpr int32_t kKeypointFolderNotCreated = -103;
inline constexpr int32_t kKeypointFileNotWritten = -104;
inline constexpr int32_t kKeypointTemplateMissing = -105;
inline constexpr int32_t kKeypointReadError = -106;
inline constexpr int32_t kKeypointWriteError = -107;
inline constexpr int32_t kKeypointTemplateError = -502;

// Sets the facility up on `fileName` (replacing any earlier set-up). What is still buffered is
// first written to the previous file; then the buffer is freed and recording stops. The folder
// is fileName's folder, or the program's folder when it has none, and is created with its
// parents. The file is fileName's name, or the program file's name with the extension ".key"
// when it has none. `capacity` (records buffered before a write) is clamped to 1..100000.
// Buffered records are also written when a keypoint arrives more than `flushIntervalMs` after
// the last successful write.
// On success keypoints are recorded from now on. If the folder cannot be created or the buffer
// cannot be allocated, recording stays off until the next successful call.
void InitKeypoints(const std::string& fileName, int32_t capacity, uint32_t flushIntervalMs) noexcept;

// Records one keypoint: `id` names the recording place, `code` the event. Codes of 0 or more
// are ignored, and so is everything while the facility is not set up. A `maxRepeats` above 0
// keeps at most that many records of `id` in this process (counted per identifier until
// FinishKeypoints; once the occurrence table is full, new identifiers are not limited).
// When the buffer is full and cannot be written (the file stays locked by someone else for the
// ten attempts 10 ms apart), the keypoint is dropped.
void AddKeypoint(uint32_t id, int32_t code, uint16_t maxRepeats = 0) noexcept;

// Appends the buffered records to the file now. When the file cannot be opened the records stay
// buffered; when the write is short the file is cut back to its former size and the records stay
// buffered, so the file never holds a partial record.
void FlushKeypoints() noexcept;

// The process-end step: waits 100 ms so that finishing threads can still record, writes what is
// buffered, frees the buffer and the occurrence counts, and stops recording. InitKeypoints may
// set the facility up again afterwards.
void FinishKeypoints() noexcept;

// The run stamp that every record of this process carries.
uint32_t KeypointRunStamp() noexcept;

// The path records are written to; empty while recording is off (or when the copy cannot be
// allocated).
std::string KeypointFileName() noexcept;

// Occurrence counts per identifier: a table of 6-byte entries (identifier, count) kept sorted by
// identifier, looked up by binary search. The last lookup is remembered, so repeated calls for
// one identifier cost a comparison.
//
// Thread safety: none; the keypoint facility uses it under its lock.
class TItems
{
public:
    static constexpr int32_t kEntrySize = 6;
    static constexpr int32_t kMinBytes = 120;
    static constexpr int32_t kMaxBytes = 60000;
    static constexpr int32_t kDefaultBytes = 6144;

    // Room for `byteSize` bytes of entries: rounded down to a multiple of 6 and clamped to
    // 120..60000 bytes (20 to 10000 entries).
    explicit TItems(int32_t byteSize = kDefaultBytes);

    // Index of `id`'s entry, or -1 when it has none.
    int32_t Find(uint32_t id);
    // Index of `id`'s entry; a missing one is inserted at its sorted place with count 0. Returns
    // -1 when `id` has no entry and the table is full.
    int32_t FindOrAdd(uint32_t id);

    // REQUIRES: 0 <= index < Count().
    uint32_t IdAt(int32_t index) const { return entries_[static_cast<size_t>(index)].id; }
    uint16_t CountAt(int32_t index) const { return entries_[static_cast<size_t>(index)].count; }
    void SetCountAt(int32_t index, uint16_t count) { entries_[static_cast<size_t>(index)].count = count; }

    int32_t Count() const { return static_cast<int32_t>(entries_.size()); }
    // Entries the table holds at most.
    int32_t Capacity() const { return capacity_; }
    // Removes every entry.
    void Clear();

private:
    struct [[gnu::packed]] TEntry
    {
        uint32_t id;
        uint16_t count;
    };
    static_assert(sizeof(TEntry) == kEntrySize);

    // Position of `id`, or where it would be inserted; sets `found`.
    int32_t Search(uint32_t id, bool& found);

    std::vector<TEntry> entries_;
    int32_t capacity_ = 0;
    // The last lookup: its identifier, position (the insertion point when not found) and result.
    bool lastValid_ = false;
    uint32_t lastId_ = 0;
    int32_t lastIndex_ = 0;
    bool lastFound_ = false;
};

} // namespace wardlark
