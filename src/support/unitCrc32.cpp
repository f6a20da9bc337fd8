#include "support/unitCrc32.h"

#include <algorithm>
#include <climits>
#include <zlib.h>

namespace wardlark
{

uint32_t Crc32(const void* data, size_t length)
{
    return Crc32Update(0, data, length);
}

uint32_t Crc32Update(uint32_t start, const void* data, size_t length)
{
    uLong crc = start;
    const auto* bytes = static_cast<const Bytef*>(data);
    while (length > 0)
    {
        const auto chunk = static_cast<uInt>(std::min<size_t>(length, UINT_MAX));
        crc = crc32(crc, bytes, chunk);
        bytes += chunk;
        length -= chunk;
    }
    return static_cast<uint32_t>(crc);
}

uint32_t Crc32(std::string_view bytes)
{
    return Crc32(bytes.data(), bytes.size());
}

} // namespace wardlark
