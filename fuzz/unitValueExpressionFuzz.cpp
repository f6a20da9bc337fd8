// Fuzzes value expressions. The first input byte sets the switches; the rest is the expression.
// Names resolve through a small table (and arguments are echoed back), other names are unknown.
// Nothing may crash, hang or run out of memory, and every error must carry a position inside
// the expression (or just after it).
#include "text/unitBooleanEvaluator.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
    {
        return 0;
    }
    const uint8_t mode = data[0];
    wardlark::TBooleanEvaluator evaluator;
    evaluator.Expression.assign(reinterpret_cast<const char*>(data + 1), size - 1);
    evaluator.ShortCircuit = (mode & 1) != 0;
    evaluator.OnVariable =
        [](void*, const std::string& name, const std::vector<std::string>& arguments, std::string& value, bool& handled)
    {
        if (name == "x")
        {
            value = "9223372036854775807";
        }
        else if (name == "y")
        {
            value = "-1";
        }
        else if (name == "z")
        {
            value = "1,5e300";
        }
        else if (name == "s")
        {
            value = "text";
        }
        else if (name == "f")
        {
            for (const std::string& argument : arguments)
            {
                value += argument;
            }
        }
        else
        {
            return;
        }
        handled = true;
    };
    (void)evaluator.Evaluate();
    const int code = evaluator.ErrorCode();
    const int position = evaluator.ErrorPosition();
    if (code == 0 ? (position != -1 || evaluator.Result() == evaluator.ResultValue().empty())
                  : (position < 1 || static_cast<size_t>(position) > size))
    {
        abort();
    }
    return 0;
}
