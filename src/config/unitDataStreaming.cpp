#include "config/unitDataStreaming.h"

#include "support/unitCrc32.h"
#include "support/unitErrors.h"
#include "support/unitSystem.h"
#include "support/unitUnicode.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace wardlark
{

namespace
{

constexpr int32_t kRecordBlockSize = 16384;

void PutLE32(uint8_t* out, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t GetLE32(const uint8_t* in)
{
    return static_cast<uint32_t>(in[0]) | static_cast<uint32_t>(in[1]) << 8 | static_cast<uint32_t>(in[2]) << 16 |
           static_cast<uint32_t>(in[3]) << 24;
}

void WriteHeader(TStream& stream, TTypedTag tag, int64_t length)
{
    if (length > INT32_MAX)
        throw EStreamError(kErrorWriting);
    uint8_t header[kTypedHeaderSize];
    header[0] = tag;
    PutLE32(header + 1, static_cast<uint32_t>(length));
    if (stream.Write(header, kTypedHeaderSize) != kTypedHeaderSize)
        throw EStreamError(kErrorWriting);
}

void WritePayload(TStream& stream, const void* data, int64_t length)
{
    if (length > 0 && stream.Write(data, static_cast<int32_t>(length)) != length)
        throw EStreamError(kErrorWriting);
}

// Reads the tag and the length, checking the tag; returns the length.
int32_t ReadHeader(TStream& stream, TTypedTag expected)
{
    uint8_t tag = 0;
    if (stream.Read(&tag, 1) != 1)
        throw EStreamError(kErrorReading);
    if (tag != expected)
        throw EStreamError(kErrorIncorrectType);
    uint8_t length[4];
    if (stream.Read(length, 4) != 4)
        throw EStreamError(kErrorReading);
    return static_cast<int32_t>(GetLE32(length));
}

// Reads a text payload of `length` bytes; a length the stream cannot hold is a read error
// rather than an allocation of whatever a corrupted file claims.
std::string ReadTextPayload(TStream& stream, int32_t length)
{
    if (length < 0 || length > stream.Size() - stream.Position())
        throw EStreamError(kErrorReading);
    std::string text(static_cast<size_t>(length), '\0');
    if (length > 0 && stream.Read(text.data(), length) != length)
        throw EStreamError(kErrorReading);
    return text;
}

// A write-only stream that only computes the CRC-32 of what is written to it, so that a
// stream's checksum needs no copy of its content.
class TCrcSink : public TStream
{
public:
    int32_t Read(void*, int32_t) override { return 0; }
    int32_t Write(const void* buffer, int32_t count) override
    {
        if (count <= 0)
            return 0;
        crc_ = Crc32Update(crc_, buffer, static_cast<size_t>(count));
        return count;
    }
    int64_t Seek(int64_t, int) override { return -1; }
    int64_t Size() const override { return 0; }
    void SetSize(int64_t) override {}
    uint32_t Crc() const { return crc_; }

private:
    uint32_t crc_ = 0;
};

uint32_t StreamCrc32(const TDirectMemoryStream& data)
{
    TCrcSink sink;
    data.SaveToStream(sink);
    return sink.Crc();
}

std::unique_ptr<TBlockStream> LoadWhole(const std::string& path, int attempts, int delayMs)
{
    auto stream = std::make_unique<TBlockStream>(kRecordBlockSize);
    if (FileExists(path))
        stream->LoadFromFile(path, attempts, delayMs);
    return stream;
}

// True when the ".crc" text names exactly the checksum of `data`.
bool ChecksumMatches(const TBlockStream& data, const std::string& crcText)
{
    if (crcText.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    const unsigned long long stored = std::strtoull(crcText.c_str(), &end, 10);
    if (errno != 0 || end == nullptr || *end != '\0' || crcText[0] == '-' || crcText[0] == '+')
        return false;
    const uint32_t actual = StreamCrc32(data);
    return stored == actual;
}

} // namespace

int64_t TypedStringSize(const std::string& text)
{
    return kTypedHeaderSize + static_cast<int64_t>(text.size());
}

int64_t TypedWideStringSize(const std::string& text)
{
    return kTypedHeaderSize + 2 * static_cast<int64_t>(Utf16Length(text));
}

void WriteTypedInteger(TStream& stream, int32_t value)
{
    uint8_t payload[4];
    PutLE32(payload, static_cast<uint32_t>(value));
    WriteHeader(stream, kTagInteger, 4);
    WritePayload(stream, payload, 4);
}

void WriteTypedDouble(TStream& stream, double value)
{
    uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    uint8_t payload[8];
    for (int i = 0; i < 8; ++i)
        payload[i] = static_cast<uint8_t>(bits >> (8 * i));
    WriteHeader(stream, kTagDouble, 8);
    WritePayload(stream, payload, 8);
}

void WriteTypedString(TStream& stream, const std::string& value)
{
    WriteHeader(stream, kTagString, static_cast<int64_t>(value.size()));
    WritePayload(stream, value.data(), static_cast<int64_t>(value.size()));
}

void WriteTypedWideString(TStream& stream, const std::string& value)
{
    const std::u16string wide = Utf8ToUtf16(value);
    std::string payload(wide.size() * 2, '\0');
    for (size_t i = 0; i < wide.size(); ++i)
    {
        payload[2 * i] = static_cast<char>(wide[i] & 0xFF);
        payload[2 * i + 1] = static_cast<char>(wide[i] >> 8);
    }
    WriteHeader(stream, kTagWideString, static_cast<int64_t>(payload.size()));
    WritePayload(stream, payload.data(), static_cast<int64_t>(payload.size()));
}

int32_t ReadTypedInteger(TStream& stream)
{
    if (ReadHeader(stream, kTagInteger) != 4)
        throw EStreamError(kErrorIncorrectSize);
    uint8_t payload[4];
    if (stream.Read(payload, 4) != 4)
        throw EStreamError(kErrorReading);
    return static_cast<int32_t>(GetLE32(payload));
}

double ReadTypedDouble(TStream& stream)
{
    if (ReadHeader(stream, kTagDouble) != 8)
        throw EStreamError(kErrorIncorrectSize);
    uint8_t payload[8];
    if (stream.Read(payload, 8) != 8)
        throw EStreamError(kErrorReading);
    uint64_t bits = 0;
    for (int i = 7; i >= 0; --i)
        bits = bits << 8 | payload[i];
    double value = 0;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

std::string ReadTypedString(TStream& stream)
{
    return ReadTextPayload(stream, ReadHeader(stream, kTagString));
}

std::string ReadTypedWideString(TStream& stream)
{
    const std::string payload = ReadTextPayload(stream, ReadHeader(stream, kTagWideString));
    std::u16string wide(payload.size() / 2, u'\0');
    for (size_t i = 0; i < wide.size(); ++i)
        wide[i] =
            static_cast<char16_t>(static_cast<uint8_t>(payload[2 * i]) | static_cast<uint8_t>(payload[2 * i + 1]) << 8);
    return Utf16ToUtf8(wide);
}

void SaveRecordFile(const TDirectMemoryStream& data, const std::string& path, bool checksum, int attempts, int delayMs)
{
    data.SaveToFile(path, attempts, delayMs);
    if (!checksum)
        return;
    TMemoryStream crc;
    crc.LoadFromString(std::to_string(StreamCrc32(data)));
    crc.SaveToFile(path + ".crc", attempts, delayMs);
    data.SaveToFile(path + ".bkp", attempts, delayMs);
}

std::unique_ptr<TBlockStream> ReadRecordFile(const std::string& path, bool checksum, int attempts, int delayMs)
{
    auto data = LoadWhole(path, attempts, delayMs);
    const std::string crcPath = path + ".crc";
    if (!checksum || !FileExists(crcPath))
        return data;
    TMemoryStream crcText;
    crcText.LoadFromFile(crcPath, attempts, delayMs);
    if (ChecksumMatches(*data, crcText.AsString()) || !FileExists(path + ".bkp"))
        return data;
    return LoadWhole(path + ".bkp", attempts, delayMs);
}

} // namespace wardlark
