#include "support/unitKeypoint.h"

#include "support/unitDateRoutines.h"
#include "support/unitFileStream.h"
#include "support/unitSystem.h"

#include <algorithm>
#include <bit>
#include <memory>
#include <mutex>
#include <new>

namespace wardlark
{

namespace
{

constexpr int kOpenAttempts = 10;
constexpr int kOpenDelayMs = 10;
constexpr int kFinishWaitMs = 100;

struct TKeypointState
{
    std::mutex lock;
    // Empty while recording is off; set only together with a buffer.
    std::string fileName;
    std::unique_ptr<uint8_t[]> buffer;
    int32_t capacity = 0;
    int32_t count = 0;
    uint32_t flushInterval = 0;
    // 0 at start, so that the first keypoint of a run is written at once.
    uint32_t lastFlushTick = 0;
    const uint32_t runStamp = TickCount();
    TItems items;
};

TKeypointState& State()
{
    // Never destroyed: threads may still record while static objects are torn down at exit.
    static auto* state = new TKeypointState();
    return *state;
}

void PutUint32(uint8_t* target, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        target[i] = static_cast<uint8_t>(value >> (8 * i));
}

void PutUint64(uint8_t* target, uint64_t value)
{
    for (int i = 0; i < 8; ++i)
        target[i] = static_cast<uint8_t>(value >> (8 * i));
}

std::string ChangeFileExt(const std::string& name, const std::string& extension)
{
    const std::string old = ExtractFileExt(name);
    return name.substr(0, name.size() - old.size()) + extension;
}

// REQUIRES: state.lock held.
void FlushLocked(TKeypointState& state)
{
    if (state.count == 0 || state.fileName.empty() || !state.buffer)
        return;
    const auto file = TryOpenFile(state.fileName, TFileMode::OpenOrCreate, kOpenAttempts, kOpenDelayMs);
    if (!file)
        return;
    const int64_t size = file->Size();
    const int32_t bytes = state.count * kKeypointRecordSize;
    if (file->Seek(0, soEnd) == size && file->Write(state.buffer.get(), bytes) == bytes)
    {
        state.lastFlushTick = TickCount();
        state.count = 0;
        return;
    }
    // A reader finds records by the file size alone, so a partial record must not stay behind.
    try
    {
        file->SetSize(size);
    }
    catch (...)
    {
    }
}

} // namespace

void InitKeypoints(const std::string& fileName, int32_t capacity, uint32_t flushIntervalMs) noexcept
{
    try
    {
        TKeypointState& state = State();
        const std::lock_guard guard(state.lock);
        FlushLocked(state);
        state.fileName.clear();
        state.buffer.reset();
        state.capacity = 0;
        state.count = 0;

        std::string folder = ExtractFilePath(fileName);
        if (folder.empty())
            folder = ProgramFolder();
        std::string name = ExtractFileName(fileName);
        if (name.empty())
            name = ChangeFileExt(ExtractFileName(ProgramPath()), ".key");
        if (!ForceDirectories(folder))
            return;

        capacity = std::clamp(capacity, kKeypointMinCapacity, kKeypointMaxCapacity);
        std::unique_ptr<uint8_t[]> buffer(
            new (std::nothrow) uint8_t[static_cast<size_t>(capacity) * static_cast<size_t>(kKeypointRecordSize)]);
        if (!buffer)
            return;
        std::string path = folder + name;

        state.buffer = std::move(buffer);
        state.capacity = capacity;
        state.flushInterval = flushIntervalMs;
        state.fileName = std::move(path);
    }
    catch (...)
    {
    }
}

void AddKeypoint(uint32_t id, int32_t code, uint16_t maxRepeats) noexcept
{
    if (code >= 0)
        return;
    try
    {
        // Taken before the lock so that threads recording at once hold it for a copy only.
        const uint32_t thread = DiagnosticThreadId();
        const uint64_t time = std::bit_cast<uint64_t>(Now());
        TKeypointState& state = State();
        const std::lock_guard guard(state.lock);
        if (state.fileName.empty() || !state.buffer)
            return;
        // The occurrence table is consulted under the lock, so a limit holds from any thread.
        if (maxRepeats > 0)
        {
            const int32_t index = state.items.FindOrAdd(id);
            if (index >= 0)
            {
                const uint16_t seen = state.items.CountAt(index);
                if (seen >= maxRepeats)
                    return;
                state.items.SetCountAt(index, static_cast<uint16_t>(seen + 1));
            }
        }
        if (state.count >= state.capacity)
        {
            FlushLocked(state);
            if (state.count >= state.capacity)
                return;
        }

        uint8_t* record =
            state.buffer.get() + static_cast<size_t>(state.count) * static_cast<size_t>(kKeypointRecordSize);
        PutUint32(record, id);
        PutUint32(record + 4, state.runStamp);
        PutUint32(record + 8, thread);
        PutUint32(record + 12, static_cast<uint32_t>(code));
        PutUint64(record + 16, time);
        ++state.count;

        if (state.count >= state.capacity || TickCount() - state.lastFlushTick > state.flushInterval)
            FlushLocked(state);
    }
    catch (...)
    {
    }
}

void FlushKeypoints() noexcept
{
    try
    {
        TKeypointState& state = State();
        const std::lock_guard guard(state.lock);
        FlushLocked(state);
    }
    catch (...)
    {
    }
}

void FinishKeypoints() noexcept
{
    try
    {
        SleepMs(kFinishWaitMs);
        TKeypointState& state = State();
        const std::lock_guard guard(state.lock);
        FlushLocked(state);
        state.fileName.clear();
        state.buffer.reset();
        state.capacity = 0;
        state.count = 0;
        state.items.Clear();
    }
    catch (...)
    {
    }
}

uint32_t KeypointRunStamp() noexcept
{
    try
    {
        return State().runStamp;
    }
    catch (...)
    {
        return 0;
    }
}

std::string KeypointFileName() noexcept
{
    try
    {
        TKeypointState& state = State();
        const std::lock_guard guard(state.lock);
        return state.fileName;
    }
    catch (...)
    {
        return {};
    }
}

TItems::TItems(int32_t byteSize)
{
    byteSize = std::clamp(byteSize - byteSize % kEntrySize, kMinBytes, kMaxBytes);
    capacity_ = byteSize / kEntrySize;
    entries_.reserve(static_cast<size_t>(capacity_));
}

int32_t TItems::Search(uint32_t id, bool& found)
{
    if (lastValid_ && lastId_ == id)
    {
        found = lastFound_;
        return lastIndex_;
    }
    int32_t low = 0;
    int32_t high = Count() - 1;
    found = false;
    while (low <= high)
    {
        const int32_t middle = low + (high - low) / 2;
        const uint32_t middleId = entries_[static_cast<size_t>(middle)].id;
        if (middleId < id)
            low = middle + 1;
        else if (middleId > id)
            high = middle - 1;
        else
        {
            low = middle;
            found = true;
            break;
        }
    }
    lastValid_ = true;
    lastId_ = id;
    lastIndex_ = low;
    lastFound_ = found;
    return low;
}

int32_t TItems::Find(uint32_t id)
{
    bool found = false;
    const int32_t index = Search(id, found);
    return found ? index : -1;
}

int32_t TItems::FindOrAdd(uint32_t id)
{
    bool found = false;
    const int32_t index = Search(id, found);
    if (found)
        return index;
    if (Count() >= capacity_)
        return -1;
    entries_.insert(entries_.begin() + index, TEntry{id, 0});
    // The search just remembered this identifier as missing at this very position.
    lastFound_ = true;
    return index;
}

void TItems::Clear()
{
    entries_.clear();
    lastValid_ = false;
}

} // namespace wardlark
