#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace wardlark
{

// Seek origins.
enum TSeekOrigin : int
{
    soBeginning = 0,
    soCurrent = 1,
    soEnd = 2
};

// Last-error codes of the memory streams. Every operation resets the code to 0 first.
enum TStreamError : int
{
    kStreamOk = 0,
    kStreamLimitReached = -50, // the maximum size was reached; the request was cut to it
    kStreamCannotGrow = -54,   // the stream may not grow and the write needed more room
    kStreamOutOfMemory = -55,  // memory could not be allocated
};

// A seekable byte stream: the abstract base of the memory and file streams.
//
// Read and Write return the number of bytes moved and never throw; SetSize, and the whole-
// stream loads and saves of the derived classes, throw EStreamError on failure.
//
// Thread safety: a stream belongs to one thread at a time; nothing is locked.
class TStream
{
public:
    virtual ~TStream() = default;
    TStream() = default;
    TStream(const TStream&) = delete;
    TStream& operator=(const TStream&) = delete;

    // Copies up to `count` bytes from the position into `buffer` and advances the position.
    virtual int32_t Read(void* buffer, int32_t count) = 0;
    // Writes `count` bytes at the position and advances it; returns the number written.
    virtual int32_t Write(const void* buffer, int32_t count) = 0;
    // Moves the position; returns the new position, or -1 (position unchanged) for an unknown
    // origin or a negative result. Positions beyond the end are allowed.
    virtual int64_t Seek(int64_t offset, int origin) = 0;
    virtual int64_t Size() const = 0;
    // Makes the stream exactly `size` bytes long; the position is pulled back if it lay beyond.
    virtual void SetSize(int64_t size) = 0;

    int64_t Position() { return Seek(0, soCurrent); }
    void SetPosition(int64_t position) { Seek(position, soBeginning); }

    // Reads or writes exactly `count` bytes; a short transfer throws EStreamError with the
    // program's fixed read or write text.
    void ReadBuffer(void* buffer, int32_t count);
    void WriteBuffer(const void* buffer, int32_t count);

    // Copies `count` bytes (the whole source from its start when `count` is 0 or less) from
    // `source` into this stream; returns the number copied.
    int64_t CopyFrom(TStream& source, int64_t count);
};

// A memory stream with a byte cursor for parsers. The cursor points at one byte of the
// data, or nowhere when it lies outside it.
class TDirectMemoryStream : public TStream
{
public:
    // The byte under the cursor, or nullptr when the cursor points nowhere.
    const uint8_t* Cursor() const { return cursor_; }
    // Points the cursor at byte `position`; nowhere when it is negative or not below the size.
    virtual void SetCursor(int64_t position) = 0;
    // Advances the cursor by one byte.
    virtual void NextByte() = 0;

    int LastError() const { return lastError_; }

    // Empties the stream: size, position and cursor reset.
    virtual void Clear() = 0;
    // The whole content as a byte string.
    virtual std::string AsString() const = 0;

    // Replaces the content with the whole of `source` read from its start. When it does not
    // fit (limit or memory) the stream is filled to its room and EStreamError is thrown with
    // "Insufficient memory. %d bytes needed. Only %d bytes available.".
    void LoadFromStream(TStream& source);
    // Opens `path` for reading, denying writers, with up to `attempts` tries (at least one)
    // `delayMs` apart; the last failure is thrown as EFileError. Then LoadFromStream.
    void LoadFromFile(const std::string& path, int attempts, int delayMs);
    // Writes the whole content to `target` at its position.
    virtual void SaveToStream(TStream& target) const = 0;
    // Replaces `path` with the whole content. The new content is written to a temporary file
    // beside `path` and renamed over it, so that a crash at any moment leaves either the old
    // or the new complete file; with `durable` the data and the rename are also flushed to
    // disk first (files that must survive a power loss; a check log need not). Throws
    // EFileError on failure. `attempts` and `delayMs` are accepted for symmetry with
    // LoadFromFile; the file is written once.
    void SaveToFile(const std::string& path, int attempts, int delayMs, bool durable = true) const;

protected:
    const uint8_t* cursor_ = nullptr;
    int lastError_ = kStreamOk;
    int64_t cursorPosition_ = -1;
};

// One contiguous buffer, grown geometrically, with an optional hard size limit.
class TMemoryStream : public TDirectMemoryStream
{
public:
    // `initialCapacity` bytes are allocated up front (negative counts as 0). A
    // `maximumSize` of 0 or less means no limit. A `growthStep` of 0 grows automatically
    // (half the needed size, at least 8192 bytes); a negative step never grows the buffer.
    explicit TMemoryStream(int32_t initialCapacity = 0, int32_t maximumSize = 0, int32_t growthStep = 0);
    ~TMemoryStream() override;

    int32_t Read(void* buffer, int32_t count) override;
    int32_t Write(const void* buffer, int32_t count) override;
    int64_t Seek(int64_t offset, int origin) override;
    int64_t Size() const override { return size_; }
    void SetSize(int64_t size) override;

    void SetCursor(int64_t position) override;
    void NextByte() override;
    void Clear() override;
    std::string AsString() const override;
    void SaveToStream(TStream& target) const override;

    // Clears the stream, writes `text` into it and rewinds to its start.
    void LoadFromString(const std::string& text);

    int32_t Capacity() const { return capacity_; }
    const uint8_t* Memory() const { return buffer_; }

private:
    // Makes room for `needed` bytes, asking for `request` bytes (>= needed) when the buffer
    // must grow; returns the room obtained, which is less than `needed` on failure.
    int32_t MakeRoom(int32_t needed, int32_t request);

    uint8_t* buffer_ = nullptr;
    int32_t capacity_ = 0;
    int32_t size_ = 0;
    int32_t position_ = 0;
    int32_t maximumSize_ = 0;
    int32_t growthStep_ = 0;
};

// A list of equal-sized blocks: grows without moving data, suits large texts assembled
// piece by piece.
class TBlockStream : public TDirectMemoryStream
{
public:
    // A `blockSize` of 0 or less uses 1 (and records a keypoint). `maximumSize` is rounded
    // up to whole blocks; 0 or less means no limit.
    explicit TBlockStream(int32_t blockSize = 16384, int32_t maximumSize = 0);
    ~TBlockStream() override;

    int32_t Read(void* buffer, int32_t count) override;
    int32_t Write(const void* buffer, int32_t count) override;
    int64_t Seek(int64_t offset, int origin) override;
    int64_t Size() const override { return size_; }
    void SetSize(int64_t size) override;

    void SetCursor(int64_t position) override;
    void NextByte() override;
    void Clear() override;
    std::string AsString() const override;
    void SaveToStream(TStream& target) const override;
    // Writes the content from byte offset `from` to the end.
    void SaveToStream(TStream& target, int64_t from) const;

    int32_t BlockSize() const { return blockSize_; }
    int32_t BlockCount() const { return static_cast<int32_t>(blocks_.size()); }
    int64_t Capacity() const { return static_cast<int64_t>(blocks_.size()) * blockSize_; }

private:
    int32_t MakeRoom(int32_t needed);

    int32_t blockSize_ = 1;
    int32_t maximumSize_ = 0;
    std::vector<std::unique_ptr<uint8_t[]>> blocks_;
    int32_t size_ = 0;
    int32_t position_ = 0;
    const uint8_t* blockEnd_ = nullptr;
};

} // namespace wardlark
