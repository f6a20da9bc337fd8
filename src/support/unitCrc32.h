#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace wardlark
{

// CRC-32 of the IEEE 802.3 polynomial in reflected form, initial value FFFFFFFF and final
// complement: the checksum of zlib and PNG. It names monitors (their ID is the CRC of the
// UIN) and guards record files (the ".crc" companion).
uint32_t Crc32(const void* data, size_t length);
uint32_t Crc32(std::string_view bytes);
// Continues a checksum over more bytes: Crc32Update(Crc32(a), b) == Crc32(a + b), and
// Crc32Update(0, ...) starts a new one.
uint32_t Crc32Update(uint32_t crc, const void* data, size_t length);

} // namespace wardlark
