#include "config/unitOptionsList.h"

#include "support/unitErrors.h"
#include "support/unitTextRoutines.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <random>

namespace wardlark
{

namespace
{

constexpr std::string_view kPasswordKey = "QuillFen";
// After unquoting the older form, this sequence stands for one NUL byte.
constexpr std::string_view kQuotedNul = "=>\x01NULL\x01<=";

int HexValue(char c, bool allowLower)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (allowLower && c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

char AsciiLower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string DecodeQuoted(std::string_view inner)
{
    std::string out;
    out.reserve(inner.size());
    for (size_t i = 0; i < inner.size(); ++i)
    {
        if (inner[i] != '%')
        {
            out.push_back(inner[i]);
            continue;
        }
        if (i + 1 < inner.size() && inner[i + 1] == '%')
        {
            out.push_back('%');
            ++i;
            continue;
        }
        const int high = i + 1 < inner.size() ? HexValue(inner[i + 1], true) : -1;
        const int low = i + 2 < inner.size() ? HexValue(inner[i + 2], true) : -1;
        if (high >= 0 && low >= 0)
        {
            out.push_back(static_cast<char>(high * 16 + low));
            i += 2;
        }
        else
            out.append("%%");
    }
    for (size_t at = out.find(kQuotedNul); at != std::string::npos; at = out.find(kQuotedNul, at + 1))
        out.replace(at, kQuotedNul.size(), 1, '\0');
    return out;
}

std::string XorWithKey(const std::string& bytes)
{
    std::string out(bytes);
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = static_cast<char>(out[i] ^ kPasswordKey[i % kPasswordKey.size()]);
    return out;
}

std::string DefaultSectionName()
{
    static std::atomic<int> counter{0};
    thread_local std::mt19937 random{std::random_device{}()};
    int previous = counter.load();
    int next = 0;
    do
        next = previous >= 99 ? 0 : previous + 1;
    while (!counter.compare_exchange_weak(previous, next));
    std::uniform_int_distribution<int> pick(0, 999998);
    return std::to_string(pick(random)) + "6-" + std::to_string(next) + "2";
}

const std::string kEmpty;

} // namespace

std::string EncodeOptionValue(std::string_view value)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(value.size());
    for (const char c : value)
    {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 32 || byte >= 128 || byte == '%')
        {
            out.push_back('%');
            out.push_back(kHex[byte >> 4]);
            out.push_back(kHex[byte & 15]);
        }
        else
            out.push_back(c);
    }
    return out;
}

std::string DecodeOptionValue(std::string_view stored)
{
    if (stored.size() >= 2 && stored.front() == '%' && stored.back() == '%')
        return DecodeQuoted(stored.substr(1, stored.size() - 2));
    std::string out;
    out.reserve(stored.size());
    for (size_t i = 0; i < stored.size(); ++i)
    {
        if (stored[i] != '%')
        {
            out.push_back(stored[i]);
            continue;
        }
        const int high = i + 1 < stored.size() ? HexValue(stored[i + 1], false) : -1;
        const int low = i + 2 < stored.size() ? HexValue(stored[i + 2], false) : -1;
        if (high >= 0 && low >= 0)
        {
            out.push_back(static_cast<char>(high * 16 + low));
            i += 2;
        }
        else
            out.push_back('%'); // what follows is copied as it stands
    }
    return out;
}

std::string ScramblePassword(const std::string& password)
{
    return Base64Encode(XorWithKey(password), 0);
}

std::string UnscramblePassword(const std::string& stored)
{
    return stored.empty() ? std::string() : XorWithKey(Base64Decode(stored));
}

std::string MaskPassword(const std::string& password)
{
    size_t characters = 0;
    for (const char c : password)
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80)
            ++characters;
    return std::string(characters, '*');
}

// --- TOptionsList --------------------------------------------------------------------------

size_t TOptionsList::NameHash::operator()(std::string_view name) const noexcept
{
    size_t hash = 14695981039346656037ull;
    for (const char c : name)
    {
        hash ^= static_cast<unsigned char>(AsciiLower(c));
        hash *= 1099511628211ull;
    }
    return hash;
}

bool TOptionsList::NameEqual::operator()(std::string_view a, std::string_view b) const noexcept
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (AsciiLower(a[i]) != AsciiLower(b[i]))
            return false;
    return true;
}

TOptionsList::TOptionsList() : sectionName_(DefaultSectionName())
{
}

TOptionsList::TOptionsList(const TOptionsList& other)
    : TPersistObj(other), lines_(other.lines_), index_(), indexValid_(false), sectionName_(other.sectionName_),
      sectionIndex_(other.sectionIndex_)
{
}

TOptionsList& TOptionsList::operator=(const TOptionsList& other)
{
    if (this != &other)
    {
        lines_ = other.lines_;
        indexValid_ = false;
        sectionName_ = other.sectionName_;
        sectionIndex_ = other.sectionIndex_;
    }
    return *this;
}

std::string_view TOptionsList::NameOfLine(std::string_view line)
{
    const size_t equals = line.find('=');
    return equals == std::string_view::npos ? line : line.substr(0, equals);
}

void TOptionsList::RebuildIndex() const
{
    index_.clear();
    index_.reserve(lines_.size());
    for (size_t i = 0; i < lines_.size(); ++i)
        index_.emplace(std::string(NameOfLine(lines_[i])), static_cast<int>(i));
    indexValid_ = true;
}

int TOptionsList::IndexOfName(std::string_view name) const
{
    if (!indexValid_)
        RebuildIndex();
    const auto found = index_.find(name);
    return found == index_.end() ? -1 : found->second;
}

std::string TOptionsList::ReadString(std::string_view name) const
{
    const int index = IndexOfName(name);
    if (index < 0)
        return {};
    const std::string& line = lines_[static_cast<size_t>(index)];
    const size_t equals = line.find('=');
    return equals == std::string::npos ? std::string() : DecodeOptionValue(std::string_view(line).substr(equals + 1));
}

void TOptionsList::WriteString(std::string_view name, std::string_view value)
{
    const int index = IndexOfName(name);
    if (value.empty())
    {
        if (index >= 0)
            DeleteLine(index);
        return;
    }
    std::string line(name);
    line += '=';
    line += EncodeOptionValue(value);
    if (index >= 0)
        lines_[static_cast<size_t>(index)] = std::move(line);
    else
        AddLine(std::move(line));
}

bool TOptionsList::ReadBool(std::string_view name) const
{
    return ReadString(name) == "TRUE";
}

void TOptionsList::WriteBool(std::string_view name, bool value)
{
    WriteString(name, value ? "TRUE" : "FALSE");
}

int TOptionsList::ReadInteger(std::string_view name, int defaultValue) const
{
    const std::string text = ReadString(name);
    if (text.empty())
        return defaultValue;
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || end == nullptr || *end != '\0' || value < INT_MIN || value > INT_MAX || text[0] == ' ' ||
        text[0] == '\t' || text[0] == '+')
        return defaultValue;
    return static_cast<int>(value);
}

void TOptionsList::WriteInteger(std::string_view name, int value)
{
    WriteString(name, std::to_string(value));
}

std::string TOptionsList::ReadPassword(std::string_view name) const
{
    return UnscramblePassword(ReadString(name));
}

void TOptionsList::WritePassword(std::string_view name, const std::string& password)
{
    WriteString(name, password.empty() ? std::string() : ScramblePassword(password));
}

const std::string& TOptionsList::Line(int index) const
{
    return index >= 0 && index < Count() ? lines_[static_cast<size_t>(index)] : kEmpty;
}

void TOptionsList::AddLine(std::string line)
{
    if (indexValid_)
        index_.emplace(std::string(NameOfLine(line)), Count());
    lines_.push_back(std::move(line));
}

void TOptionsList::DeleteLine(int index)
{
    if (index < 0 || index >= Count())
        return;
    lines_.erase(lines_.begin() + index);
    indexValid_ = false;
}

void TOptionsList::Clear()
{
    lines_.clear();
    index_.clear();
    indexValid_ = true;
}

std::string TOptionsList::Text() const
{
    std::string text;
    for (size_t i = 0; i < lines_.size(); ++i)
    {
        if (i > 0)
            text += "\r\n";
        text += lines_[i];
    }
    return text;
}

void TOptionsList::SetText(std::string_view text)
{
    Clear();
    indexValid_ = false;
    size_t start = 0;
    while (start < text.size())
    {
        size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos)
            end = text.size();
        lines_.emplace_back(text.substr(start, end - start));
        if (end < text.size() && text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n')
            ++end;
        start = end + 1;
    }
}

void TOptionsList::SaveToStream(TStream& stream) const
{
    const std::string text = Text();
    stream.WriteBuffer(text.data(), static_cast<int32_t>(text.size()));
}

void TOptionsList::LoadFromStream(TStream& stream)
{
    const int64_t length = stream.Size() - stream.Position();
    std::string text(static_cast<size_t>(length > 0 ? length : 0), '\0');
    stream.ReadBuffer(text.data(), static_cast<int32_t>(text.size()));
    SetText(text);
}

} // namespace wardlark
