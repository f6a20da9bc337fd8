#pragma once

#include <string>
#include <string_view>

namespace wardlark
{

// MD5 message digest (RFC 1321), computed through OpenSSL. Safe to call from any thread.

// The 16 raw bytes of the MD5 digest of `bytes`.
// Throws EWardlarkError "MD5 digest is not available." when the crypto library refuses the
// algorithm (for example in a FIPS-only configuration).
std::string MD5Digest(std::string_view bytes);

// The MD5 digest of `bytes` as 32 lower-case hexadecimal digits. Throws as MD5Digest does.
std::string MD5Hex(std::string_view bytes);

} // namespace wardlark
