#include "support/unitDateRoutines.h"

#include "support/unitErrors.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace wardlark
{

namespace
{

// Days from 0000-03-01 style civil calendar arithmetic (Howard Hinnant's algorithm).
int64_t DaysFromCivil(int64_t year, int month, int day)
{
    year -= month <= 2 ? 1 : 0;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const int64_t yearOfEra = year - era * 400;
    const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468; // days since 1970-01-01
}

void CivilFromDays(int64_t days, int& year, int& month, int& day)
{
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const int64_t dayOfEra = days - era * 146097;
    const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t mp = (5 * dayOfYear + 2) / 153;
    day = static_cast<int>(dayOfYear - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(yearOfEra + era * 400 + (month <= 2 ? 1 : 0));
}

constexpr const char* kTimeZoneError = "Failed attempting to retrieve time zone information.";

// A date-time as a plain count of days: before day 0 the stored fraction counts away from zero,
// so it is turned around to make arithmetic on the value continuous.
double LinearDays(TDateTime value)
{
    if (value >= 0)
        return value;
    const double whole = std::trunc(value);
    return whole + std::fabs(value - whole);
}

TDateTime FromLinearDays(double days)
{
    if (days >= 0)
        return days;
    const double whole = std::floor(days);
    return whole - (days - whole);
}

// Offset in seconds (local minus UTC) at the instant `moment`.
int64_t OffsetSecondsAtInstant(time_t moment)
{
    tm local{};
    if (localtime_r(&moment, &local) == nullptr)
        throw EWardlarkError(kTimeZoneError);
    return local.tm_gmtoff;
}

// Offset in seconds in force at a local wall-clock time; mktime with tm_isdst -1 lets the
// time-zone rules decide whether daylight saving applies at that date.
int64_t OffsetSecondsAtLocal(TDateTime localTime)
{
    const TDateParts parts = DecodeDateTime(localTime);
    tm wanted{};
    wanted.tm_year = parts.year - 1900;
    wanted.tm_mon = parts.month - 1;
    wanted.tm_mday = parts.day;
    wanted.tm_hour = parts.hour;
    wanted.tm_min = parts.minute;
    wanted.tm_sec = parts.second;
    wanted.tm_isdst = -1;
    tm normalised = wanted;
    const time_t moment = mktime(&normalised);
    if (moment == static_cast<time_t>(-1))
    {
        // -1 is also the valid answer for one second before the epoch in UTC; mktime fails
        // only when the local fields of -1 are not the ones asked for.
        tm check{};
        const time_t minusOne = -1;
        if (localtime_r(&minusOne, &check) == nullptr || check.tm_year != wanted.tm_year ||
            check.tm_mon != wanted.tm_mon || check.tm_mday != wanted.tm_mday || check.tm_hour != wanted.tm_hour ||
            check.tm_min != wanted.tm_min || check.tm_sec != wanted.tm_sec)
            throw EWardlarkError(kTimeZoneError);
    }
    return OffsetSecondsAtInstant(moment);
}

char AsciiLower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

void AppendNumber(std::string& out, int64_t value, int digits)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%0*lld", digits, static_cast<long long>(value));
    out += buffer;
}

} // namespace

TDateTime Now()
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm local{};
    localtime_r(&now.tv_sec, &local);
    const double localSeconds =
        static_cast<double>(now.tv_sec + local.tm_gmtoff) + static_cast<double>(now.tv_nsec / 1000000) / 1000.0;
    return localSeconds / kSecondsPerDay + kUnixEpochDay;
}

TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int millisecond)
{
    const double days = static_cast<double>(DaysFromCivil(year, month, day)) + kUnixEpochDay;
    const double time = ((hour * 60.0 + minute) * 60.0 + second + millisecond / 1000.0) / kSecondsPerDay;
    // Before 1899-12-30 the fraction counts away from day 0, as the value's sign says.
    return days >= 0 ? days + time : days - time;
}

TDateParts DecodeDateTime(TDateTime value)
{
    TDateParts parts;
    // Values that name no day of the years 1..9999 (NaN, infinities, corrupt stored doubles)
    // decode as day 0 rather than overflowing the integer conversions below.
    if (!std::isfinite(value) || value < -693593.0 || value > 2958466.0)
        return parts;
    double whole = std::trunc(value);
    auto ms = static_cast<int64_t>(std::llround(std::fabs(value - whole) * kSecondsPerDay * 1000.0));
    if (ms >= 86400000)
    {
        ms -= 86400000;
        whole += value >= 0 ? 1 : -1;
    }
    const auto days = static_cast<int64_t>(whole) - static_cast<int64_t>(kUnixEpochDay);
    CivilFromDays(days, parts.year, parts.month, parts.day);
    parts.hour = static_cast<int>(ms / 3600000);
    parts.minute = static_cast<int>(ms / 60000 % 60);
    parts.second = static_cast<int>(ms / 1000 % 60);
    parts.millisecond = static_cast<int>(ms % 1000);
    // 1970-01-01 was a Thursday.
    parts.dayOfWeek = static_cast<int>(((days % 7) + 7 + 4) % 7);
    return parts;
}

TDateTime LocalOffset()
{
    return static_cast<double>(OffsetSecondsAtInstant(time(nullptr))) / kSecondsPerDay;
}

TDateTime LocalOffsetAt(TDateTime localTime)
{
    return static_cast<double>(OffsetSecondsAtLocal(localTime)) / kSecondsPerDay;
}

std::string ZoneText(bool allowGMT, TDateTime offset)
{
    // The sign follows the rounded minutes so that a tiny negative offset never reads "-0000".
    const auto minutes = static_cast<int64_t>(std::llround(offset * 24.0 * 60.0));
    if (allowGMT && minutes == 0)
        return "GMT";
    const int64_t magnitude = minutes < 0 ? -minutes : minutes;
    std::string text = minutes < 0 ? "-" : "+";
    AppendNumber(text, magnitude / 60, 2);
    AppendNumber(text, magnitude % 60, 2);
    return text;
}

std::string RFC822Date(TDateTime t)
{
    const TDateParts parts = DecodeDateTime(t);
    const std::string zone = ZoneText(false, LocalOffsetAt(t));
    char buffer[96];
    std::snprintf(buffer, sizeof buffer, "%s, %d %s %04d %02d:%02d:%02d %s",
                  kShortDayNames[static_cast<size_t>(parts.dayOfWeek)], parts.day,
                  kShortMonthNames[static_cast<size_t>(parts.month - 1)], parts.year, parts.hour, parts.minute,
                  parts.second, zone.c_str());
    return buffer;
}

std::string DurationText(int64_t ms)
{
    // Unsigned arithmetic keeps the most negative value representable.
    const uint64_t magnitude = ms < 0 ? 0u - static_cast<uint64_t>(ms) : static_cast<uint64_t>(ms);
    const uint64_t seconds = magnitude / 1000u;
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%s%02llu:%02llu:%02llu", ms < 0 ? "-" : "",
                  static_cast<unsigned long long>(seconds / 3600u),
                  static_cast<unsigned long long>(seconds / 60u % 60u), static_cast<unsigned long long>(seconds % 60u));
    return buffer;
}

int64_t ToUnixTime(TDateTime t)
{
    const auto localSeconds = static_cast<int64_t>(std::llround((LinearDays(t) - kUnixEpochDay) * kSecondsPerDay));
    return localSeconds - OffsetSecondsAtLocal(t);
}

TDateTime FromUnixTime(int64_t seconds)
{
    return FromLinearDays(static_cast<double>(seconds) / kSecondsPerDay + kUnixEpochDay);
}

std::string FormatDateTime(std::string_view pattern, TDateTime t)
{
    const TDateParts parts = DecodeDateTime(t);
    std::string out;
    size_t i = 0;
    while (i < pattern.size())
    {
        const char c = pattern[i];
        if (c == '\'' || c == '"')
        {
            const size_t close = pattern.find(c, i + 1);
            const size_t end = close == std::string_view::npos ? pattern.size() : close;
            out.append(pattern.substr(i + 1, end - i - 1));
            i = end == pattern.size() ? end : end + 1;
            continue;
        }
        const char letter = AsciiLower(c);
        size_t run = 1;
        while (i + run < pattern.size() && AsciiLower(pattern[i + run]) == letter)
            ++run;
        switch (letter)
        {
        case 'd':
            run = std::min<size_t>(run, 3);
            if (run == 3)
                out += kShortDayNames[static_cast<size_t>(parts.dayOfWeek)];
            else
                AppendNumber(out, parts.day, static_cast<int>(run));
            break;
        case 'm':
            run = std::min<size_t>(run, 3);
            if (run == 3)
                out += kShortMonthNames[static_cast<size_t>(parts.month - 1)];
            else
                AppendNumber(out, parts.month, static_cast<int>(run));
            break;
        case 'y':
            run = std::min<size_t>(run, 4);
            if (run <= 2)
                AppendNumber(out, parts.year % 100, 2);
            else
                AppendNumber(out, parts.year, 4);
            break;
        case 'h':
            run = std::min<size_t>(run, 2);
            AppendNumber(out, parts.hour, static_cast<int>(run));
            break;
        case 'n':
            run = std::min<size_t>(run, 2);
            AppendNumber(out, parts.minute, static_cast<int>(run));
            break;
        case 's':
            run = std::min<size_t>(run, 2);
            AppendNumber(out, parts.second, static_cast<int>(run));
            break;
        case 'z':
            run = run >= 3 ? 3 : 1;
            AppendNumber(out, parts.millisecond, static_cast<int>(run));
            break;
        default:
            run = 1;
            out += c;
            break;
        }
        i += run;
    }
    return out;
}

std::string LongTimeText()
{
    return FormatDateTime("hh:nn:ss", Now());
}

} // namespace wardlark
