#pragma once

#include "support/unitStreams.h"

#include <cstdint>
#include <memory>
#include <string>

namespace wardlark
{

// The typed binary value stream from which every record file is built. Each value is
//
//   offset 0  size 1       type tag
//   offset 1  size 4       payload length in bytes, little-endian signed
//   offset 5  size length  payload
//
// and a record is a fixed sequence of values with no header and no field names.
enum TTypedTag : uint8_t
{
    kTagInteger = 1,    // 4 bytes, little-endian signed
    kTagDouble = 3,     // 8 bytes, IEEE 754 little-endian (date-times in days since 1899-12-30)
    kTagString = 5,     // the bytes of an 8-bit (UTF-8) text, no terminator
    kTagWideString = 6, // UTF-16LE code units, no terminator
};

inline constexpr int32_t kTypedHeaderSize = 5;
inline constexpr int32_t kTypedIntegerSize = kTypedHeaderSize + 4;
inline constexpr int32_t kTypedDoubleSize = kTypedHeaderSize + 8;

// Bytes a text occupies as an 8-bit or a UTF-16 value, header included.
int64_t TypedStringSize(const std::string& text);
int64_t TypedWideStringSize(const std::string& text);

// Writers: tag, length and payload, in that order. A short write throws EStreamError
// "Error writing data to stream". Wide strings take the program's UTF-8 text and store it as
// UTF-16 (see Utf8ToUtf16).
void WriteTypedInteger(TStream& stream, int32_t value);
void WriteTypedDouble(TStream& stream, double value);
void WriteTypedString(TStream& stream, const std::string& value);
void WriteTypedWideString(TStream& stream, const std::string& value);

// Readers: each moves the stream past the value. They throw EStreamError with
// "Error reading data from stream" when the stream ends early (or a text's length is
// negative or reaches beyond the stream), "... Incorrect data type." for another tag and
// "... Incorrect data size." for an integer not 4 or a double not 8 bytes long.
int32_t ReadTypedInteger(TStream& stream);
double ReadTypedDouble(TStream& stream);
std::string ReadTypedString(TStream& stream);
// The UTF-16 value converted to UTF-8; an odd length drops its last byte.
std::string ReadTypedWideString(TStream& stream);

// Record list files. The records of a list are written back to back into one file; with the
// checksum option the file has two companions: `path` + ".crc" holding the CRC-32 of the
// data file as unsigned decimal text, and `path` + ".bkp", a byte-for-byte copy.

// Writes `data` to `path` and, with `checksum`, its ".crc" and ".bkp" companions, in that
// order. Each file is replaced whole (temporary file, flush, rename), so a crash leaves every
// file either old or new, and a new data file without its new ".crc" is caught by the
// checksum test on loading. Throws EFileError on failure.
void SaveRecordFile(const TDirectMemoryStream& data, const std::string& path, bool checksum, int attempts, int delayMs);

// Reads the bytes of a record file for parsing: an empty stream when `path` does not exist;
// with `checksum` and an existing ".crc" companion, the ".bkp" companion's bytes instead
// when the CRC-32 of the data differs from the ".crc" text (or that text is not a number)
// and the backup exists. The choice is made before any record is parsed, so a torn or
// corrupted data file never reaches the parser when a good backup is at hand. Opening uses
// `attempts` tries `delayMs` apart; failures throw EFileError.
std::unique_ptr<TBlockStream> ReadRecordFile(const std::string& path, bool checksum, int attempts, int delayMs);

} // namespace wardlark
