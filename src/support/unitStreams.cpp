#include "support/unitStreams.h"

#include "support/unitErrors.h"
#include "support/unitFileStream.h"
#include "support/unitKeypoint.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace wardlark
{

namespace
{

constexpr uint32_t kKeypointZeroBlockSize = 0x6B1C4F07;
constexpr int32_t kCodeZeroBlockSize = -1230;
constexpr int32_t kCopyChunk = 16384;

// Resolves a seek request against the current position and size; -1 when the result is
// negative, beyond the 32-bit range, or the origin is unknown.
int64_t ResolveSeek(int64_t offset, int origin, int64_t position, int64_t size)
{
    int64_t base = 0;
    if (origin == soCurrent)
        base = position;
    else if (origin == soEnd)
        base = size;
    else if (origin != soBeginning)
        return -1;
    const int64_t target = base + offset;
    return target < 0 || target > INT32_MAX ? -1 : target;
}

// Fsyncs the folder holding `path` so that a rename inside it survives a power loss.
void SyncFolderOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0)
    {
        fsync(fd);
        close(fd);
    }
}

} // namespace

// --- TStream -------------------------------------------------------------------------------

void TStream::ReadBuffer(void* buffer, int32_t count)
{
    if (count > 0 && Read(buffer, count) != count)
        throw EStreamError(kErrorReading);
}

void TStream::WriteBuffer(const void* buffer, int32_t count)
{
    if (count > 0 && Write(buffer, count) != count)
        throw EStreamError(kErrorWriting);
}

int64_t TStream::CopyFrom(TStream& source, int64_t count)
{
    if (count <= 0)
    {
        source.Seek(0, soBeginning);
        count = source.Size();
    }
    char chunk[kCopyChunk];
    int64_t copied = 0;
    while (copied < count)
    {
        const auto want = static_cast<int32_t>(std::min<int64_t>(kCopyChunk, count - copied));
        const int32_t got = source.Read(chunk, want);
        if (got <= 0)
            break;
        const int32_t put = Write(chunk, got);
        copied += put;
        if (put < got)
            break;
    }
    return copied;
}

// --- TDirectMemoryStream -------------------------------------------------------------------

void TDirectMemoryStream::LoadFromStream(TStream& source)
{
    Clear();
    const int64_t needed = source.Size();
    const int64_t copied = CopyFrom(source, 0);
    Seek(0, soBeginning);
    if (copied < needed)
    {
        char message[160];
        std::snprintf(message, sizeof message, "Insufficient memory. %lld bytes needed. Only %lld bytes available.",
                      static_cast<long long>(needed), static_cast<long long>(copied));
        throw EStreamError(message);
    }
}

void TDirectMemoryStream::LoadFromFile(const std::string& path, int attempts, int delayMs)
{
    TFileStream file(path, TFileMode::ReadDenyWrite, attempts, delayMs);
    LoadFromStream(file);
}

void TDirectMemoryStream::SaveToFile(const std::string& path, int /*attempts*/, int /*delayMs*/, bool durable) const
{
    std::string temporary = path + ".XXXXXX";
    const int fd = mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        throw EFileError("Cannot create file \"" + path + "\". " + std::strerror(errno));
    // The replacement keeps the old file's permissions; a new file gets the usual 0644.
    struct stat old
    {
    };
    fchmod(fd, stat(path.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644);
    close(fd);
    try
    {
        TFileStream file(temporary, TFileMode::Create);
        SaveToStream(file);
        if (durable)
            file.Flush();
    }
    catch (...)
    {
        unlink(temporary.c_str());
        throw;
    }
    if (rename(temporary.c_str(), path.c_str()) != 0)
    {
        const int error = errno;
        unlink(temporary.c_str());
        throw EFileError("Cannot create file \"" + path + "\". " + std::strerror(error));
    }
    if (durable)
        SyncFolderOf(path);
}

// --- TMemoryStream -------------------------------------------------------------------------

TMemoryStream::TMemoryStream(int32_t initialCapacity, int32_t maximumSize, int32_t growthStep)
    : maximumSize_(maximumSize > 0 ? maximumSize : 0), growthStep_(growthStep)
{
    if (initialCapacity > 0)
    {
        buffer_ = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(initialCapacity)));
        if (buffer_ != nullptr)
            capacity_ = initialCapacity;
        else
            lastError_ = kStreamOutOfMemory;
    }
}

TMemoryStream::~TMemoryStream()
{
    std::free(buffer_);
}

int32_t TMemoryStream::MakeRoom(int32_t needed, int32_t request)
{
    if (needed <= capacity_)
        return capacity_;
    if (maximumSize_ > 0 && request > maximumSize_)
    {
        request = maximumSize_;
        lastError_ = kStreamLimitReached;
    }
    if (request <= capacity_)
        return capacity_;
    void* grown = std::realloc(buffer_, static_cast<size_t>(request));
    if (grown == nullptr)
    {
        lastError_ = kStreamOutOfMemory;
        return capacity_;
    }
    buffer_ = static_cast<uint8_t*>(grown);
    capacity_ = request;
    SetCursor(cursorPosition_); // the buffer may have moved
    return capacity_;
}

int32_t TMemoryStream::Read(void* buffer, int32_t count)
{
    lastError_ = kStreamOk;
    if (count <= 0 || position_ < 0 || position_ >= size_)
        return 0;
    const int32_t n = std::min(count, size_ - position_);
    std::memcpy(buffer, buffer_ + position_, static_cast<size_t>(n));
    position_ += n;
    return n;
}

int32_t TMemoryStream::Write(const void* buffer, int32_t count)
{
    lastError_ = kStreamOk;
    if (count <= 0 || position_ < 0)
        return 0;
    const int64_t end = static_cast<int64_t>(position_) + count;
    int64_t room = capacity_;
    if (end > capacity_)
    {
        if (growthStep_ < 0)
        {
            lastError_ = kStreamCannotGrow;
            return 0;
        }
        const int64_t step = growthStep_ > 0 ? growthStep_ : std::max<int64_t>(end / 2, 8192);
        const auto needed = static_cast<int32_t>(std::min<int64_t>(end, INT32_MAX));
        const auto request = static_cast<int32_t>(std::min<int64_t>(end + step, INT32_MAX));
        room = MakeRoom(needed, request);
    }
    const auto written = static_cast<int32_t>(std::clamp<int64_t>(room - position_, 0, count));
    if (written == 0)
        return 0;
    if (position_ > size_)
        std::memset(buffer_ + size_, 0, static_cast<size_t>(position_ - size_));
    std::memcpy(buffer_ + position_, buffer, static_cast<size_t>(written));
    position_ += written;
    size_ = std::max(size_, position_);
    return written;
}

int64_t TMemoryStream::Seek(int64_t offset, int origin)
{
    lastError_ = kStreamOk;
    const int64_t target = ResolveSeek(offset, origin, position_, size_);
    if (target >= 0)
        position_ = static_cast<int32_t>(target);
    return target;
}

void TMemoryStream::SetSize(int64_t size)
{
    lastError_ = kStreamOk;
    if (size < 0 || size > INT32_MAX)
        throw EStreamError("Error setting stream size");
    const auto wanted = static_cast<int32_t>(size);
    if (wanted > capacity_ && (growthStep_ < 0 || MakeRoom(wanted, wanted) < wanted))
        throw EStreamError("Error setting stream size");
    if (wanted > size_)
        std::memset(buffer_ + size_, 0, static_cast<size_t>(wanted - size_));
    size_ = wanted;
    position_ = std::min(position_, size_);
    SetCursor(cursorPosition_);
}

void TMemoryStream::SetCursor(int64_t position)
{
    if (position < 0 || position >= size_)
    {
        cursor_ = nullptr;
        cursorPosition_ = -1;
        return;
    }
    cursorPosition_ = position;
    cursor_ = buffer_ + position;
}

void TMemoryStream::NextByte()
{
    if (cursor_ == nullptr)
        return;
    if (++cursorPosition_ < size_)
        ++cursor_;
    else
        SetCursor(-1);
}

void TMemoryStream::Clear()
{
    lastError_ = kStreamOk;
    size_ = 0;
    position_ = 0;
    SetCursor(-1);
}

std::string TMemoryStream::AsString() const
{
    return size_ > 0 ? std::string(reinterpret_cast<const char*>(buffer_), static_cast<size_t>(size_)) : std::string();
}

void TMemoryStream::SaveToStream(TStream& target) const
{
    target.WriteBuffer(buffer_, size_);
}

void TMemoryStream::LoadFromString(const std::string& text)
{
    Clear();
    if (text.size() > static_cast<size_t>(INT32_MAX))
        throw EStreamError("Error setting stream size");
    const auto length = static_cast<int32_t>(text.size());
    if (length > 0 && MakeRoom(length, length) < length)
        throw EStreamError("Error setting stream size");
    Write(text.data(), length);
    position_ = 0;
}

// --- TBlockStream --------------------------------------------------------------------------

TBlockStream::TBlockStream(int32_t blockSize, int32_t maximumSize)
{
    if (blockSize <= 0)
    {
        AddKeypoint(kKeypointZeroBlockSize, kCodeZeroBlockSize);
        blockSize = 1;
    }
    blockSize_ = blockSize;
    if (maximumSize > 0)
    {
        const int64_t blocks = (static_cast<int64_t>(maximumSize) + blockSize - 1) / blockSize;
        maximumSize_ = static_cast<int32_t>(std::min<int64_t>(blocks * blockSize, INT32_MAX));
    }
}

TBlockStream::~TBlockStream() = default;

int32_t TBlockStream::MakeRoom(int32_t needed)
{
    if (maximumSize_ > 0 && needed > maximumSize_)
    {
        needed = maximumSize_;
        lastError_ = kStreamLimitReached;
    }
    const size_t wanted =
        (static_cast<size_t>(needed) + static_cast<size_t>(blockSize_) - 1) / static_cast<size_t>(blockSize_);
    if (blocks_.size() > wanted)
        blocks_.resize(wanted);
    while (blocks_.size() < wanted)
    {
        std::unique_ptr<uint8_t[]> block(new (std::nothrow) uint8_t[static_cast<size_t>(blockSize_)]);
        if (!block)
        {
            lastError_ = kStreamOutOfMemory;
            break;
        }
        blocks_.push_back(std::move(block));
    }
    return static_cast<int32_t>(std::min<int64_t>(Capacity(), INT32_MAX));
}

int32_t TBlockStream::Read(void* buffer, int32_t count)
{
    lastError_ = kStreamOk;
    if (count <= 0 || position_ < 0 || position_ >= size_)
        return 0;
    const int32_t total = std::min(count, size_ - position_);
    auto* out = static_cast<uint8_t*>(buffer);
    int32_t done = 0;
    while (done < total)
    {
        const int32_t offset = position_ % blockSize_;
        const int32_t n = std::min(total - done, blockSize_ - offset);
        std::memcpy(out + done, blocks_[static_cast<size_t>(position_ / blockSize_)].get() + offset,
                    static_cast<size_t>(n));
        done += n;
        position_ += n;
    }
    return total;
}

int32_t TBlockStream::Write(const void* buffer, int32_t count)
{
    lastError_ = kStreamOk;
    if (count <= 0 || position_ < 0)
        return 0;
    const int64_t end = static_cast<int64_t>(position_) + count;
    int64_t room = Capacity();
    if (end > size_)
        room = MakeRoom(static_cast<int32_t>(std::min<int64_t>(end, INT32_MAX)));
    const auto total = static_cast<int32_t>(std::clamp<int64_t>(room - position_, 0, count));
    if (total == 0)
        return 0;
    // Bytes of a gap between the old end and the position read back as zero.
    for (int32_t gap = size_; gap < position_;)
    {
        const int32_t offset = gap % blockSize_;
        const int32_t n = std::min(position_ - gap, blockSize_ - offset);
        std::memset(blocks_[static_cast<size_t>(gap / blockSize_)].get() + offset, 0, static_cast<size_t>(n));
        gap += n;
    }
    const auto* in = static_cast<const uint8_t*>(buffer);
    int32_t done = 0;
    while (done < total)
    {
        const int32_t offset = position_ % blockSize_;
        const int32_t n = std::min(total - done, blockSize_ - offset);
        std::memcpy(blocks_[static_cast<size_t>(position_ / blockSize_)].get() + offset, in + done,
                    static_cast<size_t>(n));
        done += n;
        position_ += n;
    }
    if (position_ > size_)
    {
        size_ = position_;
        SetCursor(cursorPosition_); // the current block may now reach further
    }
    return total;
}

int64_t TBlockStream::Seek(int64_t offset, int origin)
{
    lastError_ = kStreamOk;
    const int64_t target = ResolveSeek(offset, origin, position_, size_);
    if (target >= 0)
        position_ = static_cast<int32_t>(target);
    return target;
}

void TBlockStream::SetSize(int64_t size)
{
    lastError_ = kStreamOk;
    if (size < 0 || size > INT32_MAX)
        throw EStreamError("Error setting stream size");
    const auto wanted = static_cast<int32_t>(size);
    if (MakeRoom(wanted) < wanted)
        throw EStreamError("Error setting stream size");
    for (int32_t fill = size_; fill < wanted;)
    {
        const int32_t offset = fill % blockSize_;
        const int32_t n = std::min(wanted - fill, blockSize_ - offset);
        std::memset(blocks_[static_cast<size_t>(fill / blockSize_)].get() + offset, 0, static_cast<size_t>(n));
        fill += n;
    }
    size_ = wanted;
    position_ = std::min(position_, size_);
    SetCursor(cursorPosition_);
}

void TBlockStream::SetCursor(int64_t position)
{
    if (position < 0 || position >= size_)
    {
        cursor_ = nullptr;
        blockEnd_ = nullptr;
        cursorPosition_ = -1;
        return;
    }
    const auto index = static_cast<size_t>(position / blockSize_);
    const auto offset = static_cast<int32_t>(position % blockSize_);
    const int64_t blockStart = position - offset;
    const auto inBlock = static_cast<int32_t>(std::min<int64_t>(blockSize_, size_ - blockStart));
    cursorPosition_ = position;
    cursor_ = blocks_[index].get() + offset;
    blockEnd_ = blocks_[index].get() + inBlock;
}

void TBlockStream::NextByte()
{
    if (cursor_ == nullptr)
        return;
    ++cursorPosition_;
    if (++cursor_ == blockEnd_)
        SetCursor(cursorPosition_);
}

void TBlockStream::Clear()
{
    lastError_ = kStreamOk;
    blocks_.clear();
    size_ = 0;
    position_ = 0;
    SetCursor(-1);
}

std::string TBlockStream::AsString() const
{
    std::string text;
    text.reserve(static_cast<size_t>(size_));
    for (int32_t done = 0; done < size_;)
    {
        const int32_t n = std::min(blockSize_, size_ - done);
        text.append(reinterpret_cast<const char*>(blocks_[static_cast<size_t>(done / blockSize_)].get()),
                    static_cast<size_t>(n));
        done += n;
    }
    return text;
}

void TBlockStream::SaveToStream(TStream& target) const
{
    SaveToStream(target, 0);
}

void TBlockStream::SaveToStream(TStream& target, int64_t from) const
{
    for (auto done = static_cast<int32_t>(std::clamp<int64_t>(from, 0, size_)); done < size_;)
    {
        const int32_t offset = done % blockSize_;
        const int32_t n = std::min(blockSize_ - offset, size_ - done);
        target.WriteBuffer(blocks_[static_cast<size_t>(done / blockSize_)].get() + offset, n);
        done += n;
    }
}

} // namespace wardlark
