#include "config/unitOptionsList.h"
#include "support/unitTextRoutines.h"
#include "text/unitContentParser.h"

#include <benchmark/benchmark.h>

#include <string>

namespace
{

// About 1 MB of table rows, as a status page or a long report would be, with the block the
// template looks for near its end.
std::string MakePage()
{
    std::string page = "<html><head><title>Server status</title></head><body><table>\n";
    for (int row = 0; page.size() < 1000000; ++row)
        page += "<tr><td class=\"name\">Item " + std::to_string(row) + "</td><td class=\"price\">" +
                std::to_string(row % 1000) + ".50</td><td class=\"note\">in stock</td></tr>\n";
    page += "</table><div id=\"status\"><span class=\"cpu\">42</span><span class=\"memory\">1024</span>"
            "<span class=\"state\">Running normally</span></div>\n";
    for (int row = 0; row < 20; ++row)
        page += "<p>footer line " + std::to_string(row) + "</p>\n";
    return page + "</body></html>\n";
}

// Parsing 1 MB of HTML (already lower-cased, as the checks pass it) with a three-field template
// whose anchors occur only near the end of the page.
void BM_ParseContent(benchmark::State& state)
{
    const std::string content = wardlark::LowerCase(MakePage());
    const std::string parsingTemplate = wardlark::PrepareTemplate(
        "<div id=\"status\"><span class=\"cpu\">{{Cpu|1|5|#}}</span><span class=\"memory\">{{Memory|1|10|#}}"
        "</span><span class=\"state\">{{State|1|100||<>|!^}}</span>");
    for (auto _ : state)
    {
        wardlark::TOptionsList variables;
        const int end = wardlark::ParseContent(content, content, parsingTemplate, nullptr, 1, variables);
        if (end < 0 || variables.ReadString("Cpu") != "42")
            state.SkipWithError("the template did not match");
        benchmark::DoNotOptimize(end);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(content.size()));
}
BENCHMARK(BM_ParseContent)->Unit(benchmark::kMicrosecond);

} // namespace
