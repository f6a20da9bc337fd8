#include "support/unitFileStream.h"

#include "support/unitErrors.h"
#include "support/unitSystem.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace wardlark
{

namespace
{

int OpenFlags(TFileMode mode)
{
    switch (mode)
    {
    case TFileMode::ReadDenyWrite:
        return O_RDONLY;
    case TFileMode::ReadWrite:
        return O_RDWR;
    case TFileMode::Create:
        return O_WRONLY | O_CREAT | O_TRUNC;
    case TFileMode::Rewrite:
        return O_WRONLY | O_TRUNC;
    case TFileMode::OpenOrCreate:
        return O_RDWR | O_CREAT;
    }
    return O_RDONLY;
}

// Opens and locks in one try; returns the descriptor or -1 with errno set.
int TryOpenOnce(const std::string& path, TFileMode mode)
{
    // Truncation must wait for the lock, so Create opens without O_TRUNC and truncates after.
    int flags = OpenFlags(mode) | O_CLOEXEC;
    const bool truncate = (flags & O_TRUNC) != 0;
    flags &= ~O_TRUNC;
    int fd = open(path.c_str(), flags, 0644);
    if (fd < 0 && errno == ENOENT && mode == TFileMode::Rewrite)
        fd = open(path.c_str(), flags | O_CREAT, 0644);
    if (fd < 0)
        return -1;
    const int lock = mode == TFileMode::ReadDenyWrite ? LOCK_SH : LOCK_EX;
    if (flock(fd, lock | LOCK_NB) != 0 || (truncate && ftruncate(fd, 0) != 0))
    {
        const int error = errno;
        close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

} // namespace

TFileStream::TFileStream(const std::string& path, TFileMode mode, int attempts, int delayMs) : path_(path)
{
    if (attempts < 1)
        attempts = 1;
    int error = 0;
    for (int attempt = 0; attempt < attempts; ++attempt)
    {
        fd_ = TryOpenOnce(path, mode);
        if (fd_ >= 0)
            return;
        error = errno;
        if (attempt + 1 < attempts)
            SleepMs(delayMs);
    }
    const char* action =
        mode == TFileMode::Create || mode == TFileMode::Rewrite ? "Cannot create file" : "Cannot open file";
    throw EFileError(std::string(action) + " \"" + path + "\". " + std::strerror(error));
}

TFileStream::~TFileStream()
{
    if (fd_ >= 0)
        close(fd_);
}

int32_t TFileStream::Read(void* buffer, int32_t count)
{
    int32_t total = 0;
    auto* out = static_cast<char*>(buffer);
    while (total < count)
    {
        const ssize_t got = ::read(fd_, out + total, static_cast<size_t>(count - total));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        total += static_cast<int32_t>(got);
    }
    return total;
}

int32_t TFileStream::Write(const void* buffer, int32_t count)
{
    int32_t total = 0;
    const auto* in = static_cast<const char*>(buffer);
    while (total < count)
    {
        const ssize_t put = ::write(fd_, in + total, static_cast<size_t>(count - total));
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            break;
        total += static_cast<int32_t>(put);
    }
    return total;
}

int64_t TFileStream::Seek(int64_t offset, int origin)
{
    int whence = SEEK_SET;
    if (origin == soCurrent)
        whence = SEEK_CUR;
    else if (origin == soEnd)
        whence = SEEK_END;
    else if (origin != soBeginning)
        return -1;
    const off_t result = lseek(fd_, static_cast<off_t>(offset), whence);
    return result < 0 ? -1 : static_cast<int64_t>(result);
}

int64_t TFileStream::Size() const
{
    struct stat info
    {
    };
    return fstat(fd_, &info) == 0 ? static_cast<int64_t>(info.st_size) : 0;
}

void TFileStream::SetSize(int64_t size)
{
    if (size < 0 || ftruncate(fd_, static_cast<off_t>(size)) != 0)
        throw EStreamError("Error setting stream size");
    if (Position() > size)
        Seek(size, soBeginning);
}

void TFileStream::Flush()
{
    if (fsync(fd_) != 0)
        throw EFileError("Cannot flush file \"" + path_ + "\". " + std::strerror(errno));
}

std::unique_ptr<TFileStream> TryOpenFile(const std::string& path, TFileMode mode, int attempts, int delayMs)
{
    try
    {
        return std::make_unique<TFileStream>(path, mode, attempts, delayMs);
    }
    catch (...)
    {
        return nullptr;
    }
}

} // namespace wardlark
