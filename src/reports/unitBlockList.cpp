#include "reports/unitBlockList.h"

#include "support/unitErrors.h"
#include "support/unitKeypoint.h"

#include <algorithm>
#include <vector>

namespace wardlark
{

namespace
{

constexpr uint32_t kKeypointIndexOutOfRange = 0x1F3A9C52;
constexpr uint32_t kKeypointListFull = 25492069;
constexpr int32_t kCodeIndexOutOfRange = -5;
constexpr int32_t kCodeListFull = -50;

// Loads read the source in pieces of this size: large enough that a system call per piece
// costs nothing next to the copy.
constexpr int64_t kLoadPieceBytes = 1 << 20;

} // namespace

TBlockList::TBlockList(int32_t blockSize, int32_t maxCount, int32_t growthBytes)
    : blockSize_(std::max(blockSize, 1)), maxCount_(std::clamp(maxCount, 0, INT32_MAX / std::max(blockSize, 1))),
      stream_(0, 0, std::max(growthBytes, std::max(blockSize, 1)))
{
}

void TBlockList::SetMaxCount(int32_t maxCount)
{
    maxCount_ = std::clamp(maxCount, 0, INT32_MAX / blockSize_);
    if (count_ > maxCount_)
    {
        count_ = maxCount_;
        stream_.SetSize(static_cast<int64_t>(count_) * blockSize_);
    }
}

const uint8_t* TBlockList::Item(int32_t index) const
{
    if (index < 0 || index >= count_)
    {
        AddKeypoint(kKeypointIndexOutOfRange, kCodeIndexOutOfRange, 10);
        return nullptr;
    }
    return stream_.Memory() + static_cast<int64_t>(index) * blockSize_;
}

int32_t TBlockList::Add(const void* block)
{
    if (count_ >= maxCount_)
    {
        AddKeypoint(kKeypointListFull, kCodeListFull, 10);
        return -1;
    }
    const int64_t end = static_cast<int64_t>(count_) * blockSize_;
    stream_.Seek(end, soBeginning);
    if (stream_.Write(block, blockSize_) != blockSize_)
    {
        // A partial write must not leave a partial block behind.
        stream_.SetSize(end);
        return -1;
    }
    return count_++;
}

void TBlockList::Clear()
{
    stream_.Clear();
    count_ = 0;
}

int32_t TBlockList::LoadFromStream(TStream& source, int64_t bytes)
{
    Clear();
    const int64_t available = std::max<int64_t>(bytes, 0) / blockSize_;
    const int64_t skipped = std::max<int64_t>(available - maxCount_, 0);
    const int64_t wanted = available - skipped;
    if (wanted == 0)
        return 0;
    if (skipped > 0)
        source.Seek(skipped * blockSize_, soCurrent);
    try
    {
        // One allocation of the exact size, instead of growing step by step while copying.
        stream_.SetSize(wanted * blockSize_);
    }
    catch (const EStreamError&)
    {
        Clear();
        throw;
    }
    stream_.Seek(0, soBeginning);
    std::vector<uint8_t> piece(static_cast<size_t>(std::min(wanted * blockSize_, kLoadPieceBytes)));
    int64_t loaded = 0;
    while (loaded < wanted * blockSize_)
    {
        const auto want = static_cast<int32_t>(std::min<int64_t>(wanted * blockSize_ - loaded, kLoadPieceBytes));
        const int32_t got = source.Read(piece.data(), want);
        if (got > 0)
            stream_.Write(piece.data(), got);
        loaded += std::max(got, 0);
        if (got < want)
            break;
    }
    count_ = static_cast<int32_t>(loaded / blockSize_);
    stream_.SetSize(static_cast<int64_t>(count_) * blockSize_);
    return count_;
}

} // namespace wardlark
