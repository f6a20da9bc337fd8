#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace wardlark
{

// Plain text helpers shared by the whole program: field access in "|"-separated values,
// name=value lines, searching and replacing, and the web encodings (form encoding, Base64).
// Texts are byte strings holding UTF-8. Case mapping touches the ASCII letters only and leaves
// every byte from 128 up unchanged, so UTF-8 sequences survive it. Positions are counted from 1
// and 0 means "not found"; field indexes are counted from 0. None of these functions throws
// (apart from std::bad_alloc); all are safe to call from any thread.

// `text` with the ASCII letters mapped to lower / upper case.
std::string LowerCase(std::string_view text);
std::string UpperCase(std::string_view text);
// True when the two texts are equal apart from the case of ASCII letters.
bool SameText(std::string_view a, std::string_view b);

// The field with index `n` (from 0) of `text` split at `sep`; the text after the last separator
// is the last field. An index below 0 or beyond the last field gives "".
// Example: Field("M|10|20", 1, '|') is "10".
std::string Field(std::string_view text, int n, char sep);
// Number of fields: 0 for an empty text, otherwise the number of separators + 1.
int FieldCount(std::string_view text, char sep);

// As Field and FieldCount, but a separator that stands between "(" and the next ")" does not
// split (parentheses do not nest; an unclosed "(" protects the rest of the text).
std::string FieldOutsideParens(std::string_view text, int n, char sep);
int FieldCountOutsideParens(std::string_view text, char sep);

// The part of `text` after the first occurrence of `after` (from the start when `after` is
// empty) and before the next occurrence of `before` (to the end when `before` is empty or not
// found); "" when `after` is given but not found. The markers are searched in the lower-cased
// text as given, so they must be written in lower case; the result keeps the text's own case.
std::string SubstringBetween(std::string_view text, std::string_view after, std::string_view before);

// The bytes from position `from` to position `to` inclusive, counted from 1; positions outside
// the text are clipped to it, and `from` > `to` gives "".
std::string CopyRange(std::string_view text, int from, int to);

// Position (from 1) of `pattern` in `text` at or after position `from` (below 1 counts as 1),
// compared with or without regard to the case of ASCII letters; 0 when absent or when
// `pattern` is empty.
int FindFrom(std::string_view pattern, std::string_view text, int from, bool caseSensitive);

// `text` with every occurrence of `oldText` replaced by `newText`, scanning left to right and
// never rescanning inserted text. An empty `oldText` leaves the text unchanged.
std::string ReplaceAll(std::string_view text, std::string_view oldText, std::string_view newText);

// The part of `line` before / after its first "=": the whole line / "" when there is none.
std::string NameOf(std::string_view line);
std::string ValueOf(std::string_view line);

// `number` in decimal with leading zeros up to `width` digits; a negative number keeps its "-"
// in front of the padded digits (ZeroPad(-5, 3) is "-005").
std::string ZeroPad(int64_t number, int width);

// `text` without everything from each "<" to the next ">" inclusive (an unclosed "<" drops the
// rest of the text).
std::string StripTags(std::string_view text);

// Every run of bytes 0 to 32 that is followed by another byte becomes one blank (so a leading
// The text without leading and trailing blanks and control characters (codes 0 to 32).
std::string Trim(std::string_view text);
// run becomes one blank too); a trailing run is dropped.
std::string CollapseSpaces(std::string_view text);

// CR LF and lone CR become one blank each (a CR at the very start is dropped); a lone LF is
// dropped.
std::string JoinLines(std::string_view text);

// The first letter of every word upper-cased (ASCII letters), the rest unchanged. Words are
// separated by bytes 0 to 32 and by the UTF-8 non-breaking space (C2 A0).
std::string Capitalize(std::string_view text);

// Form encoding: blank becomes "+"; ASCII letters, digits and ! $ & ' ( ) * , - . = _ stay;
// every other byte becomes "%" and two upper-case hexadecimal digits.
std::string FormEncode(std::string_view text);
// The reverse: "+" becomes a blank, "%" with two hexadecimal digits becomes that byte; a
// malformed escape ("%" and the up to two bytes after it) is dropped.
std::string FormDecode(std::string_view text);

// Standard Base64 (RFC 4648 alphabet, "=" padding) of `bytes`. With a positive `lineLength`,
// CR LF follows every `lineLength` output characters, including the last ones when the output
// length is a multiple of `lineLength`.
std::string Base64Encode(std::string_view bytes, int lineLength = 0);
// The bytes of a Base64 text. CR and LF are skipped; decoding stops at the first "=" or at any
// other byte outside the alphabet and returns what was decoded before it. A final group of
// two or three characters without padding still gives its one or two bytes.
std::string Base64Decode(std::string_view text);

// The break characters WrapText uses unless told otherwise: blank, tab and - , . ; : ! ?
inline constexpr std::string_view kWrapBreakChars = " \t-,.;:!?";

// `text` re-broken with CR LF so that no line is longer than `width` characters (UTF-8 code
// points) wherever a break character allows it. A line breaks after a break character, which
// stays on it, except that blanks and tabs at the end of a broken line are dropped; leading
// blanks and tabs of each continuation line are removed. A line without a break character
// within `width` breaks at the first one after it, or not at all. Existing line breaks (CR LF,
// CR, LF) are kept as they are. A `width` below 1 leaves the text unchanged.
// REQUIRES: `breakChars` holds ASCII characters only, so that no break splits a UTF-8 sequence.
std::string WrapText(std::string_view text, int width, std::string_view breakChars = kWrapBreakChars);

} // namespace wardlark
