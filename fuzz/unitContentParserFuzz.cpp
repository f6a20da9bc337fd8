// Fuzzes parsing templates: the input is a template, a NUL byte and the content. The template is
// run over the content as the monitor import does, record after record, and its text is also
// used as a substitution text. Every result must stay inside the text and every call must end.
#include "config/unitOptionsList.h"
#include "support/unitTextRoutines.h"
#include "text/unitContentParser.h"
#include "text/unitSubstitutions.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const size_t split = input.find('\0');
    const std::string_view rawTemplate = input.substr(0, split);
    const std::string_view content = split == std::string_view::npos ? std::string_view() : input.substr(split + 1);

    const std::string parsingTemplate = wardlark::PrepareTemplate(rawTemplate);
    const std::string search = wardlark::LowerCase(content);
    const int length = static_cast<int>(content.size());
    wardlark::TOptionsList variables;
    int position = 1;
    while (position <= length + 1)
    {
        int firstAnchor = 0;
        const int next = wardlark::ParseContent(content, search, parsingTemplate, &firstAnchor, position, variables);
        if (next < 0)
            break;
        if (next <= position - (position > length ? 1 : 0) || next > length + 1 || firstAnchor < 0 ||
            firstAnchor > length)
            __builtin_trap();
        if (next == length + 1)
            break;
        position = next;
    }

    variables.WriteString("a", "x");
    (void)wardlark::SubstituteNames(rawTemplate, variables);
    (void)wardlark::SubstituteMarkers(rawTemplate, variables, "{{", "}}");
    (void)wardlark::SubstituteMarkers(content, variables, "[", "]");
    return 0;
}
