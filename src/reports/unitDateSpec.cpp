#include "reports/unitDateSpec.h"

#include "support/unitTextRoutines.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace wardlark
{

namespace
{

struct TMonthDay
{
    int month;
    int day;
};

constexpr int kEasterYears = kEasterLastYear - kEasterFirstYear + 1;

// Easter Sunday 2008 .. 2050 by the Gregorian computus.
constexpr std::array<TMonthDay, kEasterYears> kWesternEaster = {{
    {3, 23}, {4, 12}, {4, 4},  {4, 24}, {4, 8}, {3, 31}, {4, 20}, {4, 5}, {3, 27}, {4, 16}, {4, 1},
    {4, 21}, {4, 12}, {4, 4},  {4, 17}, {4, 9}, {3, 31}, {4, 20}, {4, 5}, {3, 28}, {4, 16}, {4, 1},
    {4, 21}, {4, 13}, {3, 28}, {4, 17}, {4, 9}, {3, 25}, {4, 13}, {4, 5}, {4, 25}, {4, 10}, {4, 1},
    {4, 21}, {4, 6},  {3, 29}, {4, 17}, {4, 9}, {3, 25}, {4, 14}, {4, 5}, {4, 18}, {4, 10},
}};

// Orthodox Easter Sunday 2008 .. 2050 by the Julian computus, as Gregorian dates.
constexpr std::array<TMonthDay, kEasterYears> kOrthodoxEaster = {{
    {4, 27}, {4, 19}, {4, 4}, {4, 24}, {4, 15}, {5, 5},  {4, 20}, {4, 12}, {5, 1},  {4, 16}, {4, 8},
    {4, 28}, {4, 19}, {5, 2}, {4, 24}, {4, 16}, {5, 5},  {4, 20}, {4, 12}, {5, 2},  {4, 16}, {4, 8},
    {4, 28}, {4, 13}, {5, 2}, {4, 24}, {4, 9},  {4, 29}, {4, 20}, {4, 5},  {4, 25}, {4, 17}, {5, 6},
    {4, 21}, {4, 13}, {5, 3}, {4, 24}, {4, 9},  {4, 29}, {4, 21}, {4, 5},  {4, 25}, {4, 17},
}};

std::string_view TrimBlanks(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

// A decimal integer with an optional sign and surrounding blanks that fits 32 bits; nothing
// for anything else (the caller turns that into "no date").
std::optional<int32_t> ParseInteger(std::string_view text)
{
    text = TrimBlanks(text);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-'))
    {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty())
        return std::nullopt;
    int64_t value = 0;
    for (const char c : text)
    {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
        if (value > 2147483648LL)
            return std::nullopt;
    }
    value = negative ? -value : value;
    if (value > INT32_MAX || value < INT32_MIN)
        return std::nullopt;
    return static_cast<int32_t>(value);
}

// The date serial of an existing date, or nothing.
std::optional<TDateTime> EncodeDay(int64_t year, int64_t month, int64_t day)
{
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1)
        return std::nullopt;
    if (day > DaysInMonth(static_cast<int>(year), static_cast<int>(month)))
        return std::nullopt;
    return EncodeDateTime(static_cast<int>(year), static_cast<int>(month), static_cast<int>(day));
}

// 1 Monday .. 7 Sunday of a valid date serial.
int WeekDayOfSerial(TDateTime serial)
{
    const int dayOfWeek = DecodeDateTime(serial).dayOfWeek;
    return dayOfWeek == 0 ? 7 : dayOfWeek;
}

std::optional<TDateTime> OrdinalWeekdayOf(int32_t n, int32_t weekDay, int32_t month, int year)
{
    if (weekDay < 1 || weekDay > 7 || n < 0 || n > 5)
        return std::nullopt;
    const std::optional<TDateTime> first = EncodeDay(year, month, 1);
    if (!first)
        return std::nullopt;
    const int days = DaysInMonth(year, month);
    int day = 0;
    if (n == 0)
    {
        const int lastWeekDay = WeekDayOfSerial(*first + days - 1);
        day = days - (lastWeekDay - weekDay + 7) % 7;
    }
    else
    {
        day = 1 + (weekDay - WeekDayOfSerial(*first) + 7) % 7 + 7 * (n - 1);
        if (day > days)
            return std::nullopt;
    }
    return *first + day - 1;
}

TDateTime EasterFromTable(const std::array<TMonthDay, kEasterYears>& table, int year)
{
    if (year < kEasterFirstYear || year > kEasterLastYear)
        return -1;
    const TMonthDay& date = table[static_cast<size_t>(year - kEasterFirstYear)];
    return EncodeDateTime(year, date.month, date.day);
}

std::optional<TDateTime> ParseDateList(std::string_view spec, int year)
{
    const std::string yearText = std::to_string(year);
    size_t start = 0;
    while (start <= spec.size())
    {
        size_t end = spec.find(',', start);
        if (end == std::string_view::npos)
            end = spec.size();
        const std::string_view entry = TrimBlanks(spec.substr(start, end - start));
        if (entry.size() == 10 && entry[2] == '.' && entry[5] == '.' && entry.substr(6) == yearText)
        {
            const std::optional<int32_t> day = ParseInteger(entry.substr(0, 2));
            const std::optional<int32_t> month = ParseInteger(entry.substr(3, 2));
            if (!day || !month)
                return std::nullopt;
            return EncodeDay(year, *month, *day);
        }
        start = end + 1;
    }
    return std::nullopt;
}

std::optional<TDateTime> ParseEaster(std::string_view spec, int year)
{
    const std::string lower = LowerCase(spec);
    TDateTime easter = lower.find('w') != std::string::npos ? WesternEaster(year) : OrthodoxEaster(year);
    const size_t plus = lower.find('+');
    const size_t minus = lower.find('-');
    if (plus != std::string::npos || minus != std::string::npos)
    {
        const bool forward = plus != std::string::npos;
        const std::optional<int32_t> shift = ParseInteger(std::string_view(lower).substr((forward ? plus : minus) + 1));
        if (!shift)
            return std::nullopt;
        easter += forward ? *shift : -static_cast<double>(*shift);
    }
    return easter;
}

std::optional<TDateTime> Parse(std::string_view spec, int year)
{
    if (const std::optional<int32_t> number = ParseInteger(spec))
    {
        if (*number > 0)
        {
            const std::optional<TDateTime> first = EncodeDay(year, 1, 1);
            return first ? std::optional<TDateTime>(*first + *number - 1) : std::nullopt;
        }
    }
    if (spec.find(',') != std::string_view::npos)
        return ParseDateList(spec, year);
    size_t dots = 0;
    for (const char c : spec)
        dots += c == '.' ? 1 : 0;
    if (dots == 2)
    {
        const size_t first = spec.find('.');
        const size_t second = spec.find('.', first + 1);
        const std::optional<int32_t> n = ParseInteger(spec.substr(0, first));
        const std::optional<int32_t> weekDay = ParseInteger(spec.substr(first + 1, second - first - 1));
        const std::optional<int32_t> month = ParseInteger(spec.substr(second + 1));
        if (!n || !weekDay || !month)
            return std::nullopt;
        return OrdinalWeekdayOf(*n, *weekDay, *month, year);
    }
    if (dots == 1)
    {
        const size_t dot = spec.find('.');
        const std::optional<int32_t> day = ParseInteger(spec.substr(0, dot));
        const std::optional<int32_t> month = ParseInteger(spec.substr(dot + 1));
        if (!day || !month)
            return std::nullopt;
        return EncodeDay(year, *month, *day);
    }
    if (LowerCase(spec).find("easter") != std::string::npos)
        return ParseEaster(spec, year);
    return std::nullopt;
}

} // namespace

int DaysInMonth(int year, int month)
{
    static constexpr std::array<int, 12> kDays = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12)
        return 0;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[static_cast<size_t>(month - 1)];
}

TDateTime WesternEaster(int year)
{
    return EasterFromTable(kWesternEaster, year);
}

TDateTime OrthodoxEaster(int year)
{
    return EasterFromTable(kOrthodoxEaster, year);
}

TDateTime ParseDateSpec(std::string_view spec, int year)
{
    if (year < 0)
        year = DecodeDateTime(Now()).year;
    return Parse(spec, year).value_or(0);
}

} // namespace wardlark
