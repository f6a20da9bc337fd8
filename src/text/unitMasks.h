#pragma once

#include <string_view>

namespace wardlark
{

// The simple mask language, used to match request paths, process names and captured values.
// A mask is read left to right against the text, case-sensitively:
//   #        one digit 0-9
//   ?        any one character
//   *        at the end of the mask: the rest of the text, whatever it is; elsewhere: skips to
//            the first occurrence of the literal run that follows it (no backtracking)
//   [set]    a run of characters from `set` up to the first occurrence of the literal run after
//            the "]" (to the end of the text when there is none); "[!set]" takes characters
//            not in `set`; the set holds plain characters, without ranges
//   other    that very character
// A mask never matches an empty text, and an empty mask matches nothing. A mask containing any
// of the pairs "*?", "*#", "*[", "**", "]?", "]#", "][", "]*" is rejected and matches nothing.
// Matching is greedy and never backtracks, so it takes at most O(length(text) * length(mask))
// steps.
//
// Returns true when `text` matches `mask`. Never throws; safe to call from any thread.
bool MatchesMask(std::string_view text, std::string_view mask) noexcept;

} // namespace wardlark
