#pragma once

#include "support/unitStreams.h"

#include <cstdint>

namespace wardlark
{

// A list of fixed-size blocks kept in one contiguous buffer, so that block i starts at
// Memory() + i * BlockSize(). Blocks are only ever appended (or the list is cleared or
// reloaded); the buffer grows in fixed steps. The list never holds more than MaxCount()
// blocks, which bounds the memory a corrupt or huge source can claim.
//
// Consistency failures are recorded as keypoints rather than thrown: an index out of range
// (code -5) and an append to a full list (code -50).
//
// Thread safety: none; a list belongs to one thread at a time.
class TBlockList
{
public:
    // Blocks of `blockSize` bytes (at least 1), at most `maxCount` of them (at least 0), the
    // buffer growing by `growthBytes` at a time (at least one block).
    TBlockList(int32_t blockSize, int32_t maxCount, int32_t growthBytes = 32768);

    int32_t BlockSize() const { return blockSize_; }
    int32_t Count() const { return count_; }
    int32_t MaxCount() const { return maxCount_; }
    // Lowers or raises the limit; blocks beyond a lowered limit are dropped from the end.
    void SetMaxCount(int32_t maxCount);

    // The first block, or nullptr when the list is empty.
    const uint8_t* Memory() const { return count_ > 0 ? stream_.Memory() : nullptr; }
    // Block `index`, or nullptr (and a keypoint) when index is outside 0..Count()-1.
    const uint8_t* Item(int32_t index) const;

    // Appends a copy of the BlockSize() bytes at `block`. Returns the new block's index, or -1
    // when the list is full (keypoint) or memory ran out; the list is then unchanged.
    int32_t Add(const void* block);

    // Removes every block; the buffer is kept for reuse.
    void Clear();

    // Replaces the content with the whole blocks among the next `bytes` bytes of `source`
    // (read from its position in large pieces). When they are more than MaxCount(), the first
    // ones are skipped and the last MaxCount() blocks are kept. Trailing bytes of a partial
    // block are ignored. Returns the number of blocks loaded. When the source delivers fewer
    // bytes than announced, the blocks read completely are kept. Throws EStreamError when the
    // memory cannot be allocated (the list is then empty).
    int32_t LoadFromStream(TStream& source, int64_t bytes);

private:
    int32_t blockSize_;
    int32_t maxCount_;
    int32_t count_ = 0;
    TMemoryStream stream_;
};

} // namespace wardlark
