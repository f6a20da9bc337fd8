#include "text/unitContentParser.h"

#include "config/unitOptionsList.h"
#include "support/unitTextRoutines.h"
#include "text/unitBooleanExpressions.h"

#include <bitset>
#include <climits>
#include <cstdint>
#include <optional>
#include <vector>

namespace wardlark
{

namespace
{

constexpr std::string_view kFieldOpen = "{{";
constexpr std::string_view kFieldClose = "}}";
constexpr int kDefaultMaxLength = 2147483647;
constexpr char kEscapeCode = '\\';

using TByteSet = std::bitset<256>;

unsigned char Byte(char c)
{
    return static_cast<unsigned char>(c);
}

void AddRange(TByteSet& set, int first, int last)
{
    for (int b = first; b <= last; ++b)
        set.set(static_cast<size_t>(b));
}

// The bytes one class code stands for; the same classes serve the value checks and the
// removing filters.
void AddClass(TByteSet& set, unsigned char code)
{
    switch (code)
    {
    case '#':
        AddRange(set, '0', '9');
        break;
    case '$':
        AddRange(set, '0', '9');
        set.set(',');
        set.set('.');
        break;
    case '*':
        set.set();
        break;
    case 'Z':
        AddRange(set, 'A', 'Z');
        break;
    case 'z':
        AddRange(set, 'a', 'z');
        break;
    case '^':
    {
        // Upper-casing maps ASCII letters only, so everything but a-z is its own upper case.
        TByteSet lower;
        AddRange(lower, 'a', 'z');
        set |= ~lower;
        break;
    }
    case '_':
    {
        TByteSet upper;
        AddRange(upper, 'A', 'Z');
        set |= ~upper;
        break;
    }
    case 'n':
        set.set('\n');
        break;
    case 'r':
        set.set('\r');
        break;
    case 't':
        set.set('\t');
        break;
    case '(':
        set.set('{');
        break;
    case ')':
        set.set('}');
        break;
    case '/':
        set.set('|');
        break;
    case 0xDF:
        AddRange(set, 0xC0, 0xDF);
        break;
    case 0xFF:
        AddRange(set, 0xE0, 0xFF);
        break;
    default:
        set.set(code);
        break;
    }
}

// Compiles a run of class codes into one byte set; returns false when the run holds no code
// (an empty part, or a lone escape at its end).
bool CompileClasses(std::string_view codes, TByteSet& set)
{
    bool any = false;
    for (size_t i = 0; i < codes.size(); ++i)
    {
        if (codes[i] == kEscapeCode)
        {
            if (i + 1 < codes.size())
            {
                set.set(Byte(codes[++i]));
                any = true;
            }
            continue;
        }
        AddClass(set, Byte(codes[i]));
        any = true;
    }
    return any;
}

// A decimal length limit; nullopt when the part does not convert.
std::optional<int> ParseLength(std::string_view text)
{
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        negative = text[i++] == '-';
    if (i == text.size())
        return std::nullopt;
    int64_t value = 0;
    for (; i < text.size(); ++i)
    {
        if (text[i] < '0' || text[i] > '9')
            return std::nullopt;
        value = value * 10 + (text[i] - '0');
        if (value > static_cast<int64_t>(INT_MAX) + 1)
            return std::nullopt;
    }
    if (negative)
        value = -value;
    if (value > INT_MAX || value < INT_MIN)
        return std::nullopt;
    return static_cast<int>(value);
}

bool IsValidName(std::string_view name)
{
    if (name.empty() || (name[0] >= '0' && name[0] <= '9'))
        return false;
    for (const char c : name)
    {
        const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
                        c == ' ' || c == '/';
        if (!ok)
            return false;
    }
    return true;
}

// One field of the template with its codes compiled. Views point into the template.
struct TField
{
    std::string_view name; // empty when the name is not valid
    int minLength = 0;
    int maxLength = kDefaultMaxLength;
    bool hasAllowed = false;
    TByteSet allowed;
    bool hasForbidden = false;
    TByteSet forbidden;
    std::string_view filters;
    std::string_view expression;
};

std::string_view NextPart(std::string_view spec, size_t& from)
{
    if (from > spec.size())
        return {};
    const size_t bar = spec.find('|', from);
    const size_t end = bar == std::string_view::npos ? spec.size() : bar;
    const std::string_view part = spec.substr(from, end - from);
    from = end + 1;
    return part;
}

TField ParseField(std::string_view spec)
{
    TField field;
    size_t from = 0;
    const std::string_view name = NextPart(spec, from);
    if (IsValidName(name))
        field.name = name;
    if (const auto minLength = ParseLength(NextPart(spec, from)))
        field.minLength = *minLength;
    if (const auto maxLength = ParseLength(NextPart(spec, from)))
        field.maxLength = *maxLength;
    field.hasAllowed = CompileClasses(NextPart(spec, from), field.allowed);
    field.hasForbidden = CompileClasses(NextPart(spec, from), field.forbidden);
    field.filters = NextPart(spec, from);
    field.expression = NextPart(spec, from);
    return field;
}

// The value checks run once per attempt over values that may be most of the text, so they use a
// plain table rather than the bit set's checked access.
struct TByteTable
{
    explicit TByteTable(const TByteSet& set)
    {
        for (size_t b = 0; b < 256; ++b)
            member[b] = set[b];
    }
    bool member[256];
};

bool AllIn(std::string_view value, const TByteTable& table)
{
    for (const char c : value)
        if (!table.member[Byte(c)])
            return false;
    return true;
}

bool NoneIn(std::string_view value, const TByteTable& table)
{
    for (const char c : value)
        if (table.member[Byte(c)])
            return false;
    return true;
}

bool Accepts(const TField& field, std::string_view value, TBooleanWrapper& wrapper)
{
    const auto length = static_cast<int64_t>(value.size());
    if (length < field.minLength || length > field.maxLength)
        return false;
    if (field.hasAllowed && !AllIn(value, TByteTable(field.allowed)))
        return false;
    if (field.hasForbidden && !NoneIn(value, TByteTable(field.forbidden)))
        return false;
    if (!field.expression.empty() && !wrapper.Evaluate(value, field.expression))
        return false;
    return true;
}

std::string RemoveBytes(const std::string& value, const TByteSet& set)
{
    std::string out;
    out.reserve(value.size());
    for (const char c : value)
        if (!set.test(Byte(c)))
            out.push_back(c);
    return out;
}

bool IsRemovingClass(unsigned char code)
{
    switch (code)
    {
    case '#':
    case 'Z':
    case 'z':
    case 'n':
    case 'r':
    case 't':
    case 0xDF:
    case 0xFF:
        return true;
    default:
        return false;
    }
}

bool IsTransformingFilter(char code)
{
    return code == '!' || code == '&' || code == '<' || code == '>' || code == '^' || code == '_';
}

std::string ApplyFilters(std::string value, std::string_view filters)
{
    size_t i = 0;
    while (i < filters.size() && !value.empty())
    {
        const char code = filters[i];
        if (IsTransformingFilter(code))
        {
            switch (code)
            {
            case '!':
                value = CollapseSpaces(value);
                break;
            case '&':
                value = StripTags(value);
                for (const std::string_view entity : {"&nbsp;", "&amp;", "&gt;", "&lt;"})
                    value = ReplaceAll(value, entity, "");
                break;
            case '<':
            {
                size_t end = value.size();
                while (end > 0 && Byte(value[end - 1]) <= 32)
                    --end;
                value.resize(end);
                break;
            }
            case '>':
            {
                size_t start = 0;
                while (start < value.size() && Byte(value[start]) <= 32)
                    ++start;
                value.erase(0, start);
                break;
            }
            case '^':
                value = UpperCase(value);
                break;
            default:
                value = LowerCase(value);
                break;
            }
            ++i;
            continue;
        }
        // A run of removing codes is one pass over the value: the order among them does not
        // matter, and long filter parts would otherwise cost a pass per code.
        TByteSet remove;
        while (i < filters.size() && !IsTransformingFilter(filters[i]))
        {
            const unsigned char removing = Byte(filters[i]);
            if (removing == Byte(kEscapeCode))
            {
                if (i + 1 < filters.size())
                    remove.set(Byte(filters[i + 1]));
                i += 2;
                continue;
            }
            if (IsRemovingClass(removing))
                AddClass(remove, removing);
            else
                remove.set(removing);
            ++i;
        }
        value = RemoveBytes(value, remove);
    }
    return value;
}

// A value that passed its checks; filtered and stored only when the whole template matches, so
// that values thrown away by a restart cost nothing.
struct TCapture
{
    std::string_view name;
    std::string_view value;
    std::string_view filters;
};

// Applies the captures in order with the option list's rules: a later value of the same name
// replaces the earlier one, an empty value removes it.
void StoreCaptures(const std::vector<TCapture>& captures, TOptionsList& target)
{
    std::vector<std::pair<std::string_view, std::string>> values;
    for (const TCapture& capture : captures)
    {
        std::string value = ApplyFilters(std::string(capture.value), capture.filters);
        size_t index = 0;
        while (index < values.size() && !SameText(values[index].first, capture.name))
            ++index;
        if (value.empty())
        {
            if (index < values.size())
                values.erase(values.begin() + static_cast<std::ptrdiff_t>(index));
        }
        else if (index < values.size())
            values[index].second = std::move(value);
        else
            values.emplace_back(capture.name, std::move(value));
    }
    for (const auto& [name, value] : values)
        target.WriteString(name, value);
}

} // namespace

int ParseContent(std::string_view sourceText, std::string_view searchText, std::string_view parsingTemplate,
                 int* firstAnchor, int startPosition, TOptionsList& target)
{
    if (firstAnchor != nullptr)
        *firstAnchor = 0;
    // Positions are handed out as int, and the end of the text + 1 must fit.
    if (sourceText.size() != searchText.size() || sourceText.size() >= static_cast<size_t>(INT_MAX))
        return -1;
    constexpr size_t npos = std::string_view::npos;
    const size_t length = sourceText.size();
    const size_t start = startPosition < 1 ? 0 : static_cast<size_t>(startPosition) - 1;

    size_t templatePos = 0;
    size_t textPos = start < length ? start : length;
    TField pending;
    size_t firstAnchorPos = npos;
    std::vector<TCapture> captures;
    TBooleanWrapper wrapper;

    const auto noteFirstAnchor = [&](size_t found)
    {
        firstAnchorPos = found;
        if (firstAnchor != nullptr)
            *firstAnchor = found == npos ? 0 : static_cast<int>(found) + 1;
    };
    // False when there is nothing further on to try: no anchor was found in this attempt.
    const auto restart = [&]() -> bool
    {
        if (firstAnchorPos == npos)
            return false;
        captures.clear();
        pending = TField();
        templatePos = 0;
        textPos = firstAnchorPos + 1;
        firstAnchorPos = npos;
        return true;
    };
    const auto capture = [&](std::string_view value)
    {
        if (!pending.name.empty())
            captures.push_back({pending.name, value, pending.filters});
    };

    for (int step = 1; step <= kParseStepLimit; ++step)
    {
        const size_t open = parsingTemplate.find(kFieldOpen, templatePos);
        if (open == npos)
        {
            const std::string_view tail = parsingTemplate.substr(templatePos);
            size_t valueEnd = length;
            size_t matchEnd = length;
            if (!tail.empty())
            {
                const size_t found = searchText.find(tail, textPos);
                // A template whose only literal text is its tail anchors its retries there.
                if (firstAnchorPos == npos)
                    noteFirstAnchor(found);
                if (found == npos)
                    return -1;
                valueEnd = found;
                matchEnd = found + tail.size();
            }
            const std::string_view value = sourceText.substr(textPos, valueEnd - textPos);
            if (!Accepts(pending, value, wrapper))
            {
                if (!restart())
                    return -1;
                continue;
            }
            capture(value);
            StoreCaptures(captures, target);
            return static_cast<int>(matchEnd) + 1;
        }

        const size_t close = parsingTemplate.find(kFieldClose, open + kFieldOpen.size());
        if (close == npos)
            return -1;
        const std::string_view anchor = parsingTemplate.substr(templatePos, open - templatePos);
        if (!anchor.empty())
        {
            const size_t found = searchText.find(anchor, textPos);
            if (firstAnchorPos == npos)
                noteFirstAnchor(found);
            if (found == npos)
                return -1;
            const std::string_view value = sourceText.substr(textPos, found - textPos);
            if (!Accepts(pending, value, wrapper))
            {
                if (!restart())
                    return -1;
                continue;
            }
            capture(value);
            textPos = found + anchor.size();
        }
        const size_t specStart = open + kFieldOpen.size();
        pending = ParseField(parsingTemplate.substr(specStart, close - specStart));
        templatePos = close + kFieldClose.size();
    }
    return -1;
}

std::string PrepareTemplate(std::string_view parsingTemplate)
{
    std::string out;
    out.reserve(parsingTemplate.size());
    size_t pos = 0;
    while (pos < parsingTemplate.size())
    {
        const size_t open = parsingTemplate.find(kFieldOpen, pos);
        if (open == std::string_view::npos)
        {
            out += LowerCase(parsingTemplate.substr(pos));
            break;
        }
        out += LowerCase(parsingTemplate.substr(pos, open - pos));
        size_t end = parsingTemplate.find('}', open + kFieldOpen.size());
        if (end != std::string_view::npos)
            end = parsingTemplate.find('}', end + 1);
        if (end == std::string_view::npos)
        {
            out += parsingTemplate.substr(open);
            break;
        }
        out += parsingTemplate.substr(open, end + 1 - open);
        pos = end + 1;
    }
    return out;
}

} // namespace wardlark
