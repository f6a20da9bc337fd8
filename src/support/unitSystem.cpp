#include "support/unitSystem.h"

#include <cerrno>
#include <ctime>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

namespace wardlark
{

uint32_t TickCount()
{
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    const auto ms = static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<uint32_t>(ms);
}

uint32_t CurrentThreadId()
{
    thread_local const auto id = static_cast<uint32_t>(syscall(SYS_gettid));
    return id;
}

bool IsMainThread()
{
    // Cached per thread: getpid() is a system call and keypoints ask on every record.
    thread_local const bool isMain = CurrentThreadId() == static_cast<uint32_t>(getpid());
    return isMain;
}

uint32_t DiagnosticThreadId()
{
    return IsMainThread() ? 0 : CurrentThreadId();
}

void SleepMs(int milliseconds)
{
    if (milliseconds <= 0)
        return;
    timespec delay{milliseconds / 1000, static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&delay, &delay) != 0 && errno == EINTR)
    {
    }
}

std::string ProgramPath()
{
    std::vector<char> buffer(4096);
    const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (length <= 0)
        return {};
    return std::string(buffer.data(), static_cast<size_t>(length));
}

std::string ProgramFolder()
{
    const std::string folder = ExtractFilePath(ProgramPath());
    return folder.empty() ? std::string("./") : folder;
}

std::string CurrentUserName()
{
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384u);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr ||
        found->pw_name == nullptr)
        return {};
    return found->pw_name;
}

bool ForceDirectories(const std::string& folder)
{
    if (folder.empty())
        return false;
    std::string path;
    size_t start = 0;
    while (start <= folder.size())
    {
        size_t slash = folder.find('/', start);
        if (slash == std::string::npos)
            slash = folder.size();
        path = folder.substr(0, slash);
        if (!path.empty() && mkdir(path.c_str(), 0755) != 0 && errno != EEXIST)
            return false;
        start = slash + 1;
    }
    struct stat info
    {
    };
    return stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string ExtractFilePath(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string ExtractFileName(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string ExtractFileExt(const std::string& path)
{
    const std::string name = ExtractFileName(path);
    const size_t dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : name.substr(dot);
}

bool DirectoryExists(const std::string& path)
{
    struct stat info
    {
    };
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool FileExists(const std::string& path)
{
    struct stat info
    {
    };
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::string WithTrailingDelimiter(const std::string& path)
{
    if (path.empty() || path.back() == '/')
        return path;
    return path + '/';
}

} // namespace wardlark
