// Fuzzes template compilation and rendering. The input is a template, optionally followed by a
// NUL byte and up to 16 "Name=Value" lines of variables. Any input must compile or fail with an
// error code, and render within the limits without crashing, hanging or growing without bound.
#include "config/unitOptionsList.h"
#include "support/unitStreams.h"
#include "text/unitOLInserter.h"
#include "text/unitTmlInserter.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const size_t nul = input.find('\0');
    const std::string_view templateText = input.substr(0, nul);
    wardlark::TOptionsList variables;
    if (nul != std::string_view::npos)
    {
        std::string_view rest = input.substr(nul + 1);
        for (int line = 0; line < 16 && !rest.empty(); ++line)
        {
            const size_t end = rest.find('\n');
            variables.AddLine(std::string(rest.substr(0, end)));
            rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        }
    }

    wardlark::TTmlLimits limits;
    limits.maxOutput = 1 << 20;
    limits.maxSteps = 4 << 20;
    wardlark::TTmlInserter inserter;
    inserter.SetLimits(limits);
    inserter.SetTemplate(templateText);
    wardlark::TOLVarsSource source(variables, "/");
    wardlark::TMemoryStream output;
    inserter.RenderInto(&source, &output);
    if (output.Size() > limits.maxOutput)
        __builtin_trap();
    // The same input through the one-call interface, which raises on every error.
    try
    {
        wardlark::RenderTml(templateText, variables, limits);
    }
    catch (const wardlark::ETmlError&)
    {
    }
    return 0;
}
