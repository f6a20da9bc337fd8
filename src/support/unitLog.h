#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>

namespace wardlark
{

// The application log: one plain-text file in the user data folder ("assertions.dat") where
// every part of the program leaves one-line traces for support, and where the exception trace
// (unitExceptions.h) records fatal signals. The program never shows it to the user.
//
// A line reads "dd-mm-yyyy hh:nn:ss (user) text" and ends with CR LF; with a dated file name
// the timestamp is only "hh:nn:ss". The "(user) " tag appears when the destination asks for
// it and the login name of the process's user could be read.
//
// Thread safety: every function here may be called from any thread. Writers are serialised by
// two locks, always taken in this order: the exception-trace lock (ExceptionTraceLock() in
// unitExceptions.h), then the destination's own lock.

// A log destination: where its file lives and how its lines look.
struct TLogItem
{
    std::string Name;        // empty for the default destination
    std::string Folder;      // with a trailing "/"
    std::string BaseName;    // file name without extension
    std::string Extension;   // with its leading dot
    bool DateInName = false; // one file a day: "BaseName(dd-mm-yyyy)Extension"
    bool WithUser = true;    // lines carry the "(user) " tag
    // Serialises formatting and writing, and changes of the fields above.
    std::recursive_mutex Lock;
};

// The log state (the user tag from the password database, the program folder and an empty
// default destination) is built on first use and marks the log initialised. InitializeLog
// builds it again: the default destination is emptied (lines have no file until
// ConfigureDefaultLog) and a finished log works again. After FinishLog(), every log call
// returns without effect. Never raises.
void InitializeLog();

// Marks the log finishing, waits for writers in progress and empties the default destination.
// Later log calls return without effect. Called at process end, before the exception trace is
// uninstalled. Never raises.
void FinishLog();

// Appends "timestamp blank [user tag] text CR LF" to the default destination's file, creating
// it when missing. `text` is written as given (it may hold line breaks of its own). A file that
// stays locked by someone else through 10 attempts 10 ms apart loses the line; lines logged
// before ConfigureDefaultLog have no file and are lost. Never raises.
void LogMessage(const std::string& text);

// Points the default destination to `fileName`. Its folder part is used when present;
// otherwise the destination's current folder is kept, or the program folder is used when
// there is none. The folder is created with its missing parents; when that fails the program
// folder is used instead. Never raises.
void ConfigureDefaultLog(const std::string& fileName, bool dateInName, bool withUser);

// The full path of the default destination's file as lines are written now (with today's date
// when DateInName is set); empty before ConfigureDefaultLog. Never raises.
std::string DefaultLogFileName();

// Cuts the default destination's file to its last `maxBytes` bytes when it is longer (the cut
// may fall inside a line); a file of `maxBytes` or less is left alone. The old file is read
// with up to 10 attempts; the new one replaces it whole (temporary file and rename), so a
// crash leaves either the old or the cut file. Failures leave the file as it was. Never raises.
void TrimLogFile(int32_t maxBytes);

// Up to seven return addresses of the calling thread, starting with the caller of the
// function that calls CallStackText, each as at least eight upper-case hexadecimal digits,
// joined by ", ". Empty when the stack cannot be walked. Never raises.
std::string CallStackText();

// Writes one line to the default destination from a fatal-signal handler: the same line form,
// file and locks as LogMessage, but without heap allocation or exceptions, and with its own
// fixed buffer (longer texts are cut). The caller holds ExceptionTraceLock(). Never raises.
void WriteLogLineFromSignal(const char* text, size_t length) noexcept;

// Formats `value` as at least eight upper-case hexadecimal digits into `out` (room for 17
// characters); returns the number of characters written, without a terminator. Async-signal
// safe.
size_t FormatLogAddress(uintptr_t value, char* out) noexcept;

} // namespace wardlark
