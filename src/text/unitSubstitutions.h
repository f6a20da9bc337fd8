#pragma once

#include <string>
#include <string_view>

namespace wardlark
{

class TOptionsList;

// Filling names into texts: log file names, report folder names and imported monitors.

// `text` with every "{{Name}}" replaced by the value of Name in `list` (the empty text when the
// name is missing; names are matched as the option list matches them, without regard to ASCII
// case). A name that contains both "|{" and "}|" is a text of its own in which "|{" and "}|"
// stand for "{{" and "}}": it is rewritten that way, substituted in turn, and the result is
// inserted as it is. A "{{" without a "}}" after it ends the scan, and the rest of the text from
// there on is copied unchanged.
std::string SubstituteNames(std::string_view text, const TOptionsList& list);

// `text` with every `startMarker` + Name + `endMarker` replaced by the value of Name in `list`;
// a start marker without an end marker after it is copied with the rest of the text. Returns
// the empty text when either marker is empty.
std::string SubstituteMarkers(std::string_view text, const TOptionsList& list, std::string_view startMarker,
                              std::string_view endMarker);

} // namespace wardlark
