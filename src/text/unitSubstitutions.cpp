#include "text/unitSubstitutions.h"

#include "config/unitOptionsList.h"
#include "support/unitTextRoutines.h"

namespace wardlark
{

namespace
{

constexpr std::string_view kOpen = "{{";
constexpr std::string_view kClose = "}}";
constexpr std::string_view kNestedOpen = "|{";
constexpr std::string_view kNestedClose = "}|";
// The rewriting can only bring back "}|" right after a "}", which closes the enclosing name
// first, so nesting goes one level deep; the limit keeps the recursion bounded regardless.
constexpr int kMaxSubstitutionDepth = 16;

std::string SubstituteNested(std::string_view text, const TOptionsList& list, int depth)
{
    std::string out;
    out.reserve(text.size());
    size_t pos = 0;
    while (true)
    {
        const size_t open = text.find(kOpen, pos);
        const size_t close = open == std::string_view::npos ? open : text.find(kClose, open + kOpen.size());
        // The literal text before an unclosed "{{" is kept as well: dropping it would lose
        // parts of file names.
        if (close == std::string_view::npos)
        {
            out += text.substr(pos);
            return out;
        }
        out += text.substr(pos, open - pos);
        const std::string_view name = text.substr(open + kOpen.size(), close - open - kOpen.size());
        if (name.find(kNestedOpen) != std::string_view::npos && name.find(kNestedClose) != std::string_view::npos)
        {
            const std::string nested = ReplaceAll(ReplaceAll(name, kNestedOpen, kOpen), kNestedClose, kClose);
            out += depth < kMaxSubstitutionDepth ? SubstituteNested(nested, list, depth + 1) : nested;
        }
        else
            out += list.ReadString(name);
        pos = close + kClose.size();
    }
}

} // namespace

std::string SubstituteNames(std::string_view text, const TOptionsList& list)
{
    return SubstituteNested(text, list, 0);
}

std::string SubstituteMarkers(std::string_view text, const TOptionsList& list, std::string_view startMarker,
                              std::string_view endMarker)
{
    if (startMarker.empty() || endMarker.empty())
        return {};
    std::string out;
    out.reserve(text.size());
    size_t pos = 0;
    while (true)
    {
        const size_t open = text.find(startMarker, pos);
        const size_t close = open == std::string_view::npos ? open : text.find(endMarker, open + startMarker.size());
        if (close == std::string_view::npos)
        {
            out += text.substr(pos);
            return out;
        }
        out += text.substr(pos, open - pos);
        out += list.ReadString(text.substr(open + startMarker.size(), close - open - startMarker.size()));
        pos = close + endMarker.size();
    }
}

} // namespace wardlark
