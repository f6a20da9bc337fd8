#include "support/unitTextRoutines.h"

#include <algorithm>

namespace wardlark
{

namespace
{

char ToLower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

char ToUpper(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool IsControlOrBlank(char c)
{
    return static_cast<unsigned char>(c) <= 32;
}

bool IsBlankOrTab(char c)
{
    return c == ' ' || c == '\t';
}

bool IsAsciiAlnum(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Byte ranges [begin, end) of the fields of `text`; a separator inside parentheses does not
// count when `outsideParens` is set. Calls `visit(index, begin, end)` for each field and stops
// when it returns false.
template <typename Visit>
void ForEachField(std::string_view text, char sep, bool outsideParens, Visit visit)
{
    if (text.empty())
        return;
    int index = 0;
    size_t begin = 0;
    bool inParens = false;
    for (size_t i = 0; i < text.size(); ++i)
    {
        const char c = text[i];
        if (outsideParens && c == '(')
            inParens = true;
        else if (outsideParens && c == ')')
            inParens = false;
        if (c == sep && !inParens)
        {
            if (!visit(index, begin, i))
                return;
            ++index;
            begin = i + 1;
        }
    }
    visit(index, begin, text.size());
}

std::string FieldOf(std::string_view text, int n, char sep, bool outsideParens)
{
    std::string result;
    if (n < 0)
        return result;
    ForEachField(text, sep, outsideParens,
                 [&](int index, size_t begin, size_t end)
                 {
                     if (index != n)
                         return true;
                     result.assign(text.substr(begin, end - begin));
                     return false;
                 });
    return result;
}

int CountOf(std::string_view text, char sep, bool outsideParens)
{
    int count = 0;
    ForEachField(text, sep, outsideParens,
                 [&](int, size_t, size_t)
                 {
                     ++count;
                     return true;
                 });
    return count;
}

size_t CodePoints(std::string_view text)
{
    size_t count = 0;
    for (const char c : text)
        if ((static_cast<unsigned char>(c) & 0xC0u) != 0x80u)
            ++count;
    return count;
}

bool IsCodePointStart(char c)
{
    return (static_cast<unsigned char>(c) & 0xC0u) != 0x80u;
}

// Wraps one line that holds no line break, appending the result to `out`.
void WrapLine(std::string_view line, size_t width, std::string_view breakChars, std::string& out)
{
    while (CodePoints(line) > width)
    {
        // The best break keeps the longest line within the width; failing that, the first break
        // that gives a non-empty line at all.
        size_t bestEnd = 0;  // bytes of the line up to and including the break character
        size_t bestKeep = 0; // bytes kept once trailing blanks are dropped
        size_t firstEnd = 0;
        size_t firstKeep = 0;
        size_t chars = 0;     // code points before position i
        size_t keepBytes = 0; // bytes up to the last character that is not a blank or tab
        size_t keepChars = 0;
        for (size_t i = 0; i < line.size(); ++i)
        {
            const char c = line[i];
            if (breakChars.find(c) != std::string_view::npos)
            {
                const bool blank = IsBlankOrTab(c);
                const size_t lineKeep = blank ? keepBytes : i + 1;
                const size_t lineChars = blank ? keepChars : chars + 1;
                if (lineKeep > 0)
                {
                    if (lineChars <= width)
                    {
                        bestEnd = i + 1;
                        bestKeep = lineKeep;
                    }
                    else if (firstEnd == 0)
                    {
                        firstEnd = i + 1;
                        firstKeep = lineKeep;
                    }
                }
            }
            if (IsCodePointStart(c))
                ++chars;
            if (!IsBlankOrTab(c))
            {
                keepBytes = i + 1;
                keepChars = chars;
            }
            if (keepChars > width && (bestEnd != 0 || firstEnd != 0))
                break;
        }
        if (bestEnd == 0)
        {
            bestEnd = firstEnd;
            bestKeep = firstKeep;
        }
        if (bestEnd == 0)
            break;
        std::string_view rest = line.substr(bestEnd);
        while (!rest.empty() && IsBlankOrTab(rest.front()))
            rest.remove_prefix(1);
        out.append(line.substr(0, bestKeep));
        line = rest;
        if (line.empty())
            return;
        out += "\r\n";
    }
    out.append(line);
}

constexpr char kBase64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int Base64Value(char c)
{
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}

} // namespace

std::string LowerCase(std::string_view text)
{
    std::string result(text);
    for (char& c : result)
        c = ToLower(c);
    return result;
}

std::string UpperCase(std::string_view text)
{
    std::string result(text);
    for (char& c : result)
        c = ToUpper(c);
    return result;
}

bool SameText(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (ToLower(a[i]) != ToLower(b[i]))
            return false;
    return true;
}

std::string Field(std::string_view text, int n, char sep)
{
    return FieldOf(text, n, sep, false);
}

int FieldCount(std::string_view text, char sep)
{
    return CountOf(text, sep, false);
}

std::string FieldOutsideParens(std::string_view text, int n, char sep)
{
    return FieldOf(text, n, sep, true);
}

int FieldCountOutsideParens(std::string_view text, char sep)
{
    return CountOf(text, sep, true);
}

std::string SubstringBetween(std::string_view text, std::string_view after, std::string_view before)
{
    const std::string lower = LowerCase(text);
    size_t start = 0;
    if (!after.empty())
    {
        const size_t found = lower.find(after);
        if (found == std::string::npos)
            return {};
        start = found + after.size();
    }
    size_t end = text.size();
    if (!before.empty())
    {
        const size_t found = lower.find(before, start);
        if (found != std::string::npos)
            end = found;
    }
    return std::string(text.substr(start, end - start));
}

std::string CopyRange(std::string_view text, int from, int to)
{
    const int64_t first = from < 1 ? 1 : from;
    const int64_t last = std::min<int64_t>(to, static_cast<int64_t>(text.size()));
    if (first > last)
        return {};
    return std::string(text.substr(static_cast<size_t>(first - 1), static_cast<size_t>(last - first + 1)));
}

int FindFrom(std::string_view pattern, std::string_view text, int from, bool caseSensitive)
{
    if (pattern.empty())
        return 0;
    const size_t start = from < 1 ? 0 : static_cast<size_t>(from - 1);
    if (start >= text.size())
        return 0;
    size_t found;
    if (caseSensitive)
        found = text.find(pattern, start);
    else
        found = LowerCase(text).find(LowerCase(pattern), start);
    return found == std::string_view::npos ? 0 : static_cast<int>(found + 1);
}

std::string ReplaceAll(std::string_view text, std::string_view oldText, std::string_view newText)
{
    if (oldText.empty())
        return std::string(text);
    std::string result;
    result.reserve(text.size());
    size_t position = 0;
    for (;;)
    {
        const size_t found = text.find(oldText, position);
        if (found == std::string_view::npos)
            break;
        result.append(text.substr(position, found - position));
        result.append(newText);
        position = found + oldText.size();
    }
    result.append(text.substr(position));
    return result;
}

std::string NameOf(std::string_view line)
{
    return std::string(line.substr(0, line.find('=')));
}

std::string ValueOf(std::string_view line)
{
    const size_t equals = line.find('=');
    return equals == std::string_view::npos ? std::string() : std::string(line.substr(equals + 1));
}

std::string ZeroPad(int64_t number, int width)
{
    const uint64_t magnitude = number < 0 ? 0u - static_cast<uint64_t>(number) : static_cast<uint64_t>(number);
    std::string digits = std::to_string(magnitude);
    if (width > 0 && digits.size() < static_cast<size_t>(width))
        digits.insert(0, static_cast<size_t>(width) - digits.size(), '0');
    return number < 0 ? "-" + digits : digits;
}

std::string StripTags(std::string_view text)
{
    std::string result;
    result.reserve(text.size());
    bool inTag = false;
    for (const char c : text)
    {
        if (inTag)
            inTag = c != '>';
        else if (c == '<')
            inTag = true;
        else
            result += c;
    }
    return result;
}

std::string Trim(std::string_view text)
{
    size_t first = 0;
    size_t last = text.size();
    while (first < last && static_cast<unsigned char>(text[first]) <= 32)
        ++first;
    while (last > first && static_cast<unsigned char>(text[last - 1]) <= 32)
        --last;
    return std::string(text.substr(first, last - first));
}

std::string CollapseSpaces(std::string_view text)
{
    std::string result;
    result.reserve(text.size());
    bool pending = false;
    for (const char c : text)
    {
        if (IsControlOrBlank(c))
        {
            pending = true;
            continue;
        }
        if (pending)
            result += ' ';
        pending = false;
        result += c;
    }
    return result;
}

std::string JoinLines(std::string_view text)
{
    std::string result;
    result.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i)
    {
        const char c = text[i];
        if (c == '\r')
        {
            if (i > 0)
                result += ' ';
            if (i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        }
        else if (c != '\n')
            result += c;
    }
    return result;
}

std::string Capitalize(std::string_view text)
{
    std::string result(text);
    bool wordStart = true;
    for (size_t i = 0; i < result.size(); ++i)
    {
        const char c = result[i];
        if (IsControlOrBlank(c))
        {
            wordStart = true;
        }
        else if (static_cast<unsigned char>(c) == 0xC2 && i + 1 < result.size() &&
                 static_cast<unsigned char>(result[i + 1]) == 0xA0)
        {
            // The non-breaking space is two bytes in UTF-8; a lone 0xA0 byte is the tail of
            // some other character and must not start a word.
            wordStart = true;
            ++i;
        }
        else
        {
            if (wordStart)
                result[i] = ToUpper(c);
            wordStart = false;
        }
    }
    return result;
}

std::string FormEncode(std::string_view text)
{
    static constexpr std::string_view kKept = "!$&'()*,-.=_";
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string result;
    result.reserve(text.size());
    for (const char c : text)
    {
        if (c == ' ')
        {
            result += '+';
        }
        else if (IsAsciiAlnum(c) || kKept.find(c) != std::string_view::npos)
        {
            result += c;
        }
        else
        {
            const auto byte = static_cast<unsigned char>(c);
            result += '%';
            result += kHex[byte >> 4];
            result += kHex[byte & 0x0F];
        }
    }
    return result;
}

std::string FormDecode(std::string_view text)
{
    std::string result;
    result.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i)
    {
        const char c = text[i];
        if (c == '+')
        {
            result += ' ';
        }
        else if (c == '%')
        {
            const int high = i + 1 < text.size() ? HexValue(text[i + 1]) : -1;
            const int low = i + 2 < text.size() ? HexValue(text[i + 2]) : -1;
            if (high >= 0 && low >= 0)
                result += static_cast<char>(high * 16 + low);
            i = std::min(i + 2, text.size() - 1);
        }
        else
        {
            result += c;
        }
    }
    return result;
}

std::string Base64Encode(std::string_view bytes, int lineLength)
{
    std::string result;
    result.reserve((bytes.size() + 2) / 3 * 4 + (lineLength > 0 ? bytes.size() / 2 : 0));
    int column = 0;
    auto put = [&](char c)
    {
        result += c;
        if (lineLength > 0 && ++column == lineLength)
        {
            result += "\r\n";
            column = 0;
        }
    };
    size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3)
    {
        const uint32_t group = static_cast<uint32_t>(static_cast<unsigned char>(bytes[i])) << 16 |
                               static_cast<uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8 |
                               static_cast<uint32_t>(static_cast<unsigned char>(bytes[i + 2]));
        put(kBase64Alphabet[group >> 18]);
        put(kBase64Alphabet[group >> 12 & 0x3F]);
        put(kBase64Alphabet[group >> 6 & 0x3F]);
        put(kBase64Alphabet[group & 0x3F]);
    }
    const size_t left = bytes.size() - i;
    if (left > 0)
    {
        uint32_t group = static_cast<uint32_t>(static_cast<unsigned char>(bytes[i])) << 16;
        if (left == 2)
            group |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8;
        put(kBase64Alphabet[group >> 18]);
        put(kBase64Alphabet[group >> 12 & 0x3F]);
        put(left == 2 ? kBase64Alphabet[group >> 6 & 0x3F] : '=');
        put('=');
    }
    return result;
}

std::string Base64Decode(std::string_view text)
{
    std::string result;
    result.reserve(text.size() / 4 * 3 + 2);
    uint32_t bits = 0;
    int bitCount = 0;
    for (const char c : text)
    {
        if (c == '\r' || c == '\n')
            continue;
        const int value = Base64Value(c);
        if (value < 0)
            break;
        bits = (bits << 6 | static_cast<uint32_t>(value)) & 0xFFFFFFu;
        bitCount += 6;
        if (bitCount >= 8)
        {
            bitCount -= 8;
            result += static_cast<char>(bits >> bitCount & 0xFFu);
        }
    }
    return result;
}

std::string WrapText(std::string_view text, int width, std::string_view breakChars)
{
    if (width < 1)
        return std::string(text);
    std::string result;
    result.reserve(text.size() + text.size() / static_cast<size_t>(width) * 2);
    size_t position = 0;
    while (position < text.size())
    {
        size_t end = text.find_first_of("\r\n", position);
        if (end == std::string_view::npos)
            end = text.size();
        WrapLine(text.substr(position, end - position), static_cast<size_t>(width), breakChars, result);
        if (end == text.size())
            break;
        const size_t breakLength = text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1;
        result.append(text.substr(end, breakLength));
        position = end + breakLength;
    }
    return result;
}

} // namespace wardlark
