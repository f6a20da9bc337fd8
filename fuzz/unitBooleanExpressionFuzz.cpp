// Fuzzes token expressions, mask expressions and the mask matcher. The first input byte picks
// the mode and the switches; the rest is split at the first NUL into a subject text and an
// expression or mask. Nothing may crash, hang or run out of memory, and every error must carry
// a position inside the expression (or just after it).
#include "text/unitBooleanExpressions.h"
#include "text/unitMasks.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
    {
        return 0;
    }
    const uint8_t mode = data[0];
    std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
    std::string_view text;
    std::string_view expression = rest;
    const size_t nul = rest.find('\0');
    if (nul != std::string_view::npos)
    {
        text = rest.substr(0, nul);
        expression = rest.substr(nul + 1);
    }

    switch (mode % 3)
    {
    case 0:
    {
        (void)wardlark::MatchesMask(text, expression);
        break;
    }
    case 1:
    {
        wardlark::TBooleanWrapper wrapper;
        (void)wrapper.Evaluate(text, expression);
        const auto& e = wrapper.Expression();
        if (e.ErrorCode() != 0 &&
            (e.ErrorPosition() < 1 || static_cast<size_t>(e.ErrorPosition()) > expression.size() + 1))
        {
            abort();
        }
        break;
    }
    default:
    {
        // Tokens are true when they occur in the text; tokens starting with "?" are unknown.
        wardlark::TBooleanExpression e{std::string(expression)};
        e.ShortCircuit = (mode & 4) != 0;
        e.OnToken = [text](const std::string& token, bool& known)
        {
            known = token.empty() || token[0] != '?';
            return text.find(token) != std::string_view::npos;
        };
        (void)e.Evaluate();
        if (e.ErrorCode() == 0
                ? e.ErrorPosition() != -1
                : (e.ErrorPosition() < 1 || static_cast<size_t>(e.ErrorPosition()) > expression.size() + 1))
        {
            abort();
        }
        break;
    }
    }
    return 0;
}
