#pragma once

#include "support/unitDateRoutines.h"

#include <string_view>

namespace wardlark
{

// Date specs: short texts that name one date of a given year, used by the monthly
// "ordinal weekday" rule of schedules and by anything else that lets the user name a holiday.
//
//   "N"                 day N of the year (N above 0; 1 is 1 January)
//   "d1.m1.yyyy, ..."   a comma-separated list of full dates; the first whose year is the
//                       year asked for wins
//   "n.w.m"             the n-th weekday w (1 Monday .. 7 Sunday) of month m; n = 0 is the last
//   "d.m"               day d of month m
//   "easter", "weaster" Orthodox / Western Easter Sunday (the text holds "easter"; a "w"
//                       anywhere makes it Western), optionally shifted by "+N" or "-N" days
//
// All functions are pure (ParseDateSpec reads the clock only for a year below 0) and safe to
// call from any thread. They never throw.

// The first and last year of the built-in Easter tables.
inline constexpr int kEasterFirstYear = 2008;
inline constexpr int kEasterLastYear = 2050;

// Days in `month` (1 .. 12) of `year`, leap years counted by the Gregorian rule; 0 for a
// month outside 1 .. 12.
int DaysInMonth(int year, int month);

// Easter Sunday of `year` as a date serial (whole days since 1899-12-30): the Western
// (Gregorian) date, or the Orthodox date (Julian computus) expressed in the Gregorian
// calendar. -1 for a year outside kEasterFirstYear .. kEasterLastYear.
TDateTime WesternEaster(int year);
TDateTime OrthodoxEaster(int year);

// The date that `spec` names in `year` (a year below 0 means the current local year), as a
// whole-day date serial. Returns 0 when the text matches no form, when a number does not
// parse or a date does not exist (31.4, the fifth Friday of a month with four, a year
// outside 1 .. 9999). An Easter form for a year outside the tables gives -1 plus its shift.
TDateTime ParseDateSpec(std::string_view spec, int year);

} // namespace wardlark
