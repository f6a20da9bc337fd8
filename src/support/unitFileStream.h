#pragma once

#include "support/unitStreams.h"

#include <string>

namespace wardlark
{

// How a file is opened. Read modes deny writers (a shared lock); write modes deny other
// writers and readers that ask for a lock (an exclusive lock). Locks are advisory `flock`
// locks, so they bind the program's own processes and threads, which is what the retry
// counts of the callers are for.
enum class TFileMode
{
    ReadDenyWrite, // existing file, read only
    ReadWrite,     // existing file, read and write
    Create,        // created or truncated, write only
    Rewrite,       // as Create, but an existing file is opened without O_CREAT, which spares
                   // the folder's lock when many threads rewrite files in one folder
    OpenOrCreate,  // existing file kept, missing file created; read and write
};

// A file as a stream. Opening never blocks on a lock: a locked file counts as a failed try.
class TFileStream : public TStream
{
public:
    // Opens `path` in `mode` with up to `attempts` tries (at least one), sleeping `delayMs`
    // after each failed try. Throws EFileError with the reason of the last failure.
    TFileStream(const std::string& path, TFileMode mode, int attempts = 1, int delayMs = 0);
    ~TFileStream() override;

    int32_t Read(void* buffer, int32_t count) override;
    int32_t Write(const void* buffer, int32_t count) override;
    int64_t Seek(int64_t offset, int origin) override;
    int64_t Size() const override;
    void SetSize(int64_t size) override;

    // Writes the file's data to the disk. Throws EFileError on failure.
    void Flush();

    const std::string& Path() const { return path_; }

private:
    std::string path_;
    int fd_ = -1;
};

// Opens a file, or returns nullptr instead of throwing. For diagnostics code that must
// never raise.
std::unique_ptr<TFileStream> TryOpenFile(const std::string& path, TFileMode mode, int attempts, int delayMs);

} // namespace wardlark
