#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace wardlark
{

// Date and time values and the conversions the program shares: the local time-zone offset,
// RFC 822 date texts, Unix time stamps, duration texts and a formatter for the program's fixed
// date patterns. Every function is safe to call from any thread; the offset functions read the
// process's time zone (TZ) as the C library holds it.

// A date-time value: days since 1899-12-30 00:00, the fraction being the time of day. Local
// time unless a function says otherwise. Day 25569 is 1970-01-01. Before day 0 the fraction
// counts away from zero (-1.25 is 1899-12-29 06:00).
using TDateTime = double;

inline constexpr double kUnixEpochDay = 25569.0;
inline constexpr double kSecondsPerDay = 86400.0;

// Fixed English name tables, independent of the user's locale.
inline constexpr std::array<const char*, 7> kShortDayNames = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
inline constexpr std::array<const char*, 12> kShortMonthNames = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                                 "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
// Lower-case month names, for parsing dates case-insensitively.
inline constexpr std::array<const char*, 12> kLowerMonthNames = {"jan", "feb", "mar", "apr", "may", "jun",
                                                                 "jul", "aug", "sep", "oct", "nov", "dec"};

struct TDateParts
{
    int year = 1899;
    int month = 12; // 1..12
    int day = 30;   // 1..31
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
    int dayOfWeek = 6; // 0 Sunday .. 6 Saturday
};

// The current local date and time, to the millisecond.
TDateTime Now();

// Builds a date-time from its parts (proleptic Gregorian calendar); the day of week is ignored.
TDateTime EncodeDateTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
                         int millisecond = 0);
// Splits a date-time into its parts; times are rounded to the nearest millisecond.
TDateParts DecodeDateTime(TDateTime value);

// Local time minus UTC now, as a fraction of a day (positive east of Greenwich), daylight
// saving included when it is in force now.
// Throws EWardlarkError "Failed attempting to retrieve time zone information." when the
// system cannot tell.
TDateTime LocalOffset();

// Local time minus UTC in force at the local date-time `localTime`, as a fraction of a day.
// A local time that a daylight-saving change skips or repeats gets one of the two offsets
// around the change. Throws EWardlarkError as LocalOffset does.
TDateTime LocalOffsetAt(TDateTime localTime);

// "GMT" when `allowGMT` and `offset` (a fraction of a day) rounds to zero minutes; otherwise the
// sign ("+" unless the offset is below zero) and the offset's hours and minutes as two digits
// each: "+0200", "-0530", "+0000".
std::string ZoneText(bool allowGMT, TDateTime offset);

// The local date-time `t` as an RFC 822 date, "Wed, 9 Dec 2026 23:53:39 +0100", with the zone
// offset in force at `t` (not the current one, which differs across daylight-saving changes).
// Throws EWardlarkError when the time zone cannot be read.
std::string RFC822Date(TDateTime t);

// A span of milliseconds as hours (at least two digits, not wrapped at 24), minutes and
// seconds: 3723000 gives "01:02:03", 360000000 gives "100:00:00". Parts of a second are
// dropped; a negative span gets a leading "-".
std::string DurationText(int64_t ms);

// Seconds from 1970-01-01 00:00 UTC to the local date-time `t`, rounded to whole seconds,
// converted with the offset in force at `t`. Negative before the epoch.
// Throws EWardlarkError when the time zone cannot be read.
int64_t ToUnixTime(TDateTime t);

// The date-time `seconds` after 1970-01-01 00:00, without any zone correction (so a Unix
// time stamp gives UTC).
TDateTime FromUnixTime(int64_t seconds);

// Formats `t` with a fixed pattern. Letters are case-insensitive:
//   d, dd, ddd   day of month without / with a leading zero, short day name
//   m, mm, mmm   month without / with a leading zero, short month name (m is always the month)
//   yy, yyyy     two-digit, four-digit year (one or two y are two digits, more are four)
//   h, hh        hour (0..23) without / with a leading zero
//   n, nn        minute without / with a leading zero
//   s, ss        second without / with a leading zero
//   z, zzz       millisecond without / with leading zeros (three digits)
// Text in single or double quotes is copied without its quotes; every other character
// (such as "-", ":", ".", "/", blanks) is copied as it is.
// Example: FormatDateTime("dd-mm-yyyy hh:nn:ss", t) gives "09-12-2026 23:53:39".
std::string FormatDateTime(std::string_view pattern, TDateTime t);

// The system's long time format of the current local time: "hh:nn:ss" (24 hours). Check-log
// lines carry it.
std::string LongTimeText();

} // namespace wardlark
