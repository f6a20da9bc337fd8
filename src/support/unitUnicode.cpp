#include "support/unitUnicode.h"

namespace wardlark
{

namespace
{

// Decodes one sequence at `i`; returns the code point and advances `i`, or -1 when malformed.
long DecodeOne(const std::string& text, size_t& i)
{
    const auto lead = static_cast<unsigned char>(text[i]);
    int extra = 0;
    long code = 0;
    long minimum = 0;
    if (lead < 0x80)
    {
        ++i;
        return lead;
    }
    if (lead >= 0xC2 && lead <= 0xDF)
    {
        extra = 1;
        code = lead & 0x1F;
        minimum = 0x80;
    }
    else if (lead >= 0xE0 && lead <= 0xEF)
    {
        extra = 2;
        code = lead & 0x0F;
        minimum = 0x800;
    }
    else if (lead >= 0xF0 && lead <= 0xF4)
    {
        extra = 3;
        code = lead & 0x07;
        minimum = 0x10000;
    }
    else
        return -1;
    if (i + static_cast<size_t>(extra) >= text.size())
        return -1;
    for (int k = 1; k <= extra; ++k)
    {
        const auto next = static_cast<unsigned char>(text[i + static_cast<size_t>(k)]);
        if ((next & 0xC0) != 0x80)
            return -1;
        code = (code << 6) | (next & 0x3F);
    }
    if (code < minimum || code > 0x10FFFF)
        return -1;
    i += static_cast<size_t>(extra) + 1;
    return code;
}

void Append(std::u16string& out, long code)
{
    if (code >= 0x10000)
    {
        code -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
    }
    else
        out.push_back(static_cast<char16_t>(code));
}

} // namespace

bool TryUtf8ToUtf16(const std::string& text, std::u16string& out)
{
    std::u16string result;
    result.reserve(text.size());
    for (size_t i = 0; i < text.size();)
    {
        const long code = DecodeOne(text, i);
        if (code < 0)
            return false;
        Append(result, code);
    }
    out = std::move(result);
    return true;
}

std::u16string Utf8ToUtf16(const std::string& text)
{
    std::u16string result;
    if (TryUtf8ToUtf16(text, result))
        return result;
    result.clear();
    for (const char c : text)
        result.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
    return result;
}

std::string Utf16ToUtf8(const std::u16string& text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i)
    {
        unsigned long code = text[i];
        if (code >= 0xD800 && code <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF)
        {
            code = 0x10000 + ((code - 0xD800) << 10) + (text[i + 1] - 0xDC00u);
            ++i;
        }
        if (code < 0x80)
            out.push_back(static_cast<char>(code));
        else if (code < 0x800)
        {
            out.push_back(static_cast<char>(0xC0 | (code >> 6)));
            out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        }
        else if (code < 0x10000)
        {
            out.push_back(static_cast<char>(0xE0 | (code >> 12)));
            out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        }
        else
        {
            out.push_back(static_cast<char>(0xF0 | (code >> 18)));
            out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        }
    }
    return out;
}

size_t Utf16Length(const std::string& text)
{
    size_t units = 0;
    for (size_t i = 0; i < text.size();)
    {
        const long code = DecodeOne(text, i);
        if (code < 0)
            return text.size(); // taken byte by byte
        units += code >= 0x10000 ? 2 : 1;
    }
    return units;
}

} // namespace wardlark
