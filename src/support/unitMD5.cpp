#include "support/unitMD5.h"

#include "support/unitErrors.h"

#include <openssl/evp.h>

namespace wardlark
{

std::string MD5Digest(std::string_view bytes)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_md5(), nullptr) != 1 || length != 16)
        throw EWardlarkError("MD5 digest is not available.");
    return std::string(reinterpret_cast<const char*>(digest), length);
}

std::string MD5Hex(std::string_view bytes)
{
    static constexpr char kHex[] = "0123456789abcdef";
    const std::string digest = MD5Digest(bytes);
    std::string hex;
    hex.reserve(digest.size() * 2);
    for (const char c : digest)
    {
        const auto byte = static_cast<unsigned char>(c);
        hex += kHex[byte >> 4];
        hex += kHex[byte & 0x0F];
    }
    return hex;
}

} // namespace wardlark
