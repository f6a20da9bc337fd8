#pragma once

#include <stdexcept>
#include <string>

namespace wardlark
{

// The program's exception hierarchy. Components throw these with the fixed English texts the
// program shows or logs; each boundary (a worker's check, the report thread, the web handler,
// a dialog) catches them and turns them into its own kind of report. No exception leaves a
// thread function.
class EWardlarkError : public std::runtime_error
{
public:
    explicit EWardlarkError(const std::string& message) : std::runtime_error(message) {}
};

// Reading, writing or sizing a stream or a file failed.
class EStreamError : public EWardlarkError
{
public:
    using EWardlarkError::EWardlarkError;
};

// A file could not be opened or created.
class EFileError : public EStreamError
{
public:
    using EStreamError::EStreamError;
};

// Fixed texts of the typed value stream.
inline constexpr const char* kErrorReading = "Error reading data from stream";
inline constexpr const char* kErrorIncorrectType = "Error reading data from stream. Incorrect data type.";
inline constexpr const char* kErrorIncorrectSize = "Error reading data from stream. Incorrect data size.";
inline constexpr const char* kErrorWriting = "Error writing data to stream";

} // namespace wardlark
