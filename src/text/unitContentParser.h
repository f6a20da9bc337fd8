#pragma once

#include <string>
#include <string_view>

namespace wardlark
{

class TOptionsList;

// The content parser pulls named values out of free text with a parsing template: literal
// anchors that must occur in the text, with typed fields between them.
//
// A field is "{{" spec "}}", where spec holds up to seven parts separated by "|":
//
//   Name|Min|Max|Allowed|Forbidden|Filters|Expression
//
//   Name        variable that receives the value; stored only when it is not empty, does not
//               begin with a digit and holds only ASCII letters, digits, "_", " " and "/"
//               (otherwise the field still consumes text but nothing is stored)
//   Min, Max    least and largest allowed length in bytes (decimal; 0 and 2147483647 when
//               absent or not a number)
//   Allowed     class codes; every byte of the value must match one (when there are any)
//   Forbidden   class codes; no byte of the value may match one
//   Filters     filter codes applied, left to right, to an accepted value before it is stored
//   Expression  mask expression (TBooleanWrapper) the value must satisfy
//
// Class codes: "#" digit, "$" digit "," or ".", "*" any byte, "Z" A-Z, "z" a-z, "^" any byte
// but a-z, "_" any byte but A-Z, "n" "r" "t" line feed, carriage return, tab, "(" ")" "/" the
// braces "{" "}" and the bar "|", the byte DF any byte C0..DF, the byte FF any byte E0..FF,
// "\" the next code taken literally, any other byte itself.
//
// Filter codes: "!" every run of bytes 0..32 becomes one blank and a trailing run is dropped;
// "&" tags ("<" to ">") and the texts "&nbsp;", "&amp;", "&gt;", "&lt;" are removed; "<" and
// ">" trailing and leading bytes 0..32 are removed; "^" and "_" upper- and lower-case (ASCII);
// "\" every occurrence of the next code byte is removed; "#", "Z", "z", "n", "r", "t", DF, FF
// every byte of that class is removed; any other byte: its occurrences are removed.

// The number of loop steps after which ParseContent gives up.
inline constexpr int kParseStepLimit = 1000;

// Matches `parsingTemplate` (prepared with PrepareTemplate) against the text from
// `startPosition` (counted from 1; values below 1 count as 1). `sourceText` is the text values
// are copied from; `searchText` is the same text prepared for searching (callers pass the
// lower-cased content for both), in which the template's literal anchors are looked up exactly.
//
// On success returns the position just after the matched region (the text length + 1 when the
// template ends with a field) and writes the captured values into `target`, replacing values of
// the same names. Returns -1 and leaves `target` unchanged when the template does not match:
// an anchor is missing, a field is not closed by "}}", no candidate passes the value checks
// within kParseStepLimit steps, the two texts differ in length or are 2^31 - 1 bytes or longer.
//
// A value that fails its checks makes the match start again just after the place where the
// template's first anchor was found, so the template is tried at the next occurrence of that
// anchor; a template without any anchor is not retried. When the template's only literal text
// follows its last field, that text counts as the first anchor.
//
// `firstAnchor`, when not null, receives the position (from 1) where the first anchor of the
// last attempt was searched for and found, 0 when it was not found or never searched.
//
// Time is bounded by kParseStepLimit searches of the text; memory by the size of the inputs.
int ParseContent(std::string_view sourceText, std::string_view searchText, std::string_view parsingTemplate,
                 int* firstAnchor, int startPosition, TOptionsList& target);

// The template with its literal text lower-cased (ASCII) and the contents of its fields left as
// written (names, codes and masks keep their case). A field's contents begin after "{{" and end
// at the second "}" met after it; an unterminated field keeps the rest of the template as it is.
std::string PrepareTemplate(std::string_view parsingTemplate);

} // namespace wardlark
