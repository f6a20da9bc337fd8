#pragma once

#include <string>

namespace wardlark
{

// Conversions between the program's 8-bit texts (UTF-8) and UTF-16, used where a stored
// format or a protocol holds UTF-16.

// Decodes UTF-8 into UTF-16 (four-byte sequences become surrogate pairs; three-byte
// encodings of lone surrogates are accepted so that any UTF-16 text survives a round trip).
// Returns false and leaves `out` unchanged when the text is not well-formed.
bool TryUtf8ToUtf16(const std::string& text, std::u16string& out);

// UTF-8 to UTF-16; text that is not well-formed UTF-8 is taken byte by byte as Latin-1, so
// nothing is lost or rejected.
std::u16string Utf8ToUtf16(const std::string& text);

// UTF-16 to UTF-8; surrogate pairs become four-byte sequences, a lone surrogate its own
// three-byte form.
std::string Utf16ToUtf8(const std::u16string& text);

// Number of UTF-16 code units Utf8ToUtf16 produces for `text`, without building it.
size_t Utf16Length(const std::string& text);

} // namespace wardlark
