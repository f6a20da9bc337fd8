#include "text/unitMasks.h"

namespace wardlark
{

namespace
{

bool IsMaskSpecial(char c)
{
    return c == '#' || c == '*' || c == '?' || c == '[';
}

// The literal run of the mask starting at `from`: up to the next wildcard or the end.
std::string_view LiteralRun(std::string_view mask, size_t from)
{
    size_t end = from;
    while (end < mask.size() && !IsMaskSpecial(mask[end]))
    {
        ++end;
    }
    return mask.substr(from, end - from);
}

bool HasRejectedPair(std::string_view mask)
{
    static constexpr std::string_view kRejected[] = {"*?", "*#", "*[", "**", "]?", "]#", "][", "]*"};
    for (std::string_view pair : kRejected)
    {
        if (mask.find(pair) != std::string_view::npos)
        {
            return true;
        }
    }
    return false;
}

} // namespace

bool MatchesMask(std::string_view text, std::string_view mask) noexcept
{
    if (text.empty() || mask.empty() || HasRejectedPair(mask))
    {
        return false;
    }
    size_t m = 0; // next mask character
    size_t t = 0; // next text character
    while (m < mask.size() && t < text.size())
    {
        const char c = mask[m];
        if (c == '#')
        {
            if (text[t] < '0' || text[t] > '9')
            {
                return false;
            }
            ++t;
            ++m;
        }
        else if (c == '?')
        {
            ++t;
            ++m;
        }
        else if (c == '*')
        {
            if (m + 1 == mask.size())
            {
                return true;
            }
            // The run is never empty here: the rejected pairs exclude a wildcard after '*'.
            const size_t found = text.find(LiteralRun(mask, m + 1), t);
            if (found == std::string_view::npos)
            {
                return false;
            }
            t = found;
            ++m;
        }
        else if (c == '[')
        {
            const size_t close = mask.find(']', m + 1);
            if (close == std::string_view::npos)
            {
                return false;
            }
            std::string_view set = mask.substr(m + 1, close - m - 1);
            bool negated = false;
            if (!set.empty() && set.front() == '!')
            {
                negated = true;
                set.remove_prefix(1);
            }
            if (set.empty())
            {
                return false;
            }
            const std::string_view run = LiteralRun(mask, close + 1);
            size_t stop = run.empty() ? std::string_view::npos : text.find(run, t);
            if (stop == std::string_view::npos)
            {
                stop = text.size();
            }
            for (; t < stop; ++t)
            {
                if ((set.find(text[t]) != std::string_view::npos) == negated)
                {
                    return false;
                }
            }
            m = close + 1;
        }
        else
        {
            if (text[t] != c)
            {
                return false;
            }
            ++t;
            ++m;
        }
    }
    if (t == text.size())
    {
        return m == mask.size() || (m + 1 == mask.size() && mask[m] == '*');
    }
    return false;
}

} // namespace wardlark
