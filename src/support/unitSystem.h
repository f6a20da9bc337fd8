#pragma once

#include <cstdint>
#include <string>

namespace wardlark
{

// Small facts about the running process and the machine that every layer uses.
// All functions are safe to call from any thread.

// Milliseconds since the system started, wrapping at 2^32 like the tick counts the program
// stores. Compare two ticks by unsigned subtraction: `TickCount() - start`.
uint32_t TickCount();

// Kernel identifier of the calling thread.
uint32_t CurrentThreadId();

// True on the process's main thread (the one that started the program).
bool IsMainThread();

// The thread identifier the diagnostic files record: 0 on the main thread, the kernel's
// thread identifier on any other.
uint32_t DiagnosticThreadId();

// Sleeps the calling thread; negative values count as 0.
void SleepMs(int milliseconds);

// Folder of the running executable with a trailing "/", or "./" if it cannot be read.
std::string ProgramFolder();

// Full path of the running executable, or empty if it cannot be read.
std::string ProgramPath();

// Login name of the process's user from the password database; empty when unknown.
std::string CurrentUserName();

// Creates `folder` and all missing parents. True when the folder exists afterwards.
bool ForceDirectories(const std::string& folder);

// Folder part of a path including its trailing "/" ("" when there is none), and the part after it.
std::string ExtractFilePath(const std::string& path);
std::string ExtractFileName(const std::string& path);
// Extension of the file name including its dot ("" when there is none).
std::string ExtractFileExt(const std::string& path);

bool FileExists(const std::string& path);
bool DirectoryExists(const std::string& path);

// The path with "/" appended when it is not empty and does not already end with one.
std::string WithTrailingDelimiter(const std::string& path);

} // namespace wardlark
