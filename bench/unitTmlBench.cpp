// Rendering a report index: a table that iterates 1,000 monitors with 20 fields each.
#include "config/unitOptionsList.h"
#include "support/unitStreams.h"
#include "text/unitOLInserter.h"
#include "text/unitTmlInserter.h"

#include <benchmark/benchmark.h>

#include <string>

namespace
{

constexpr int kMonitors = 1000;
constexpr int kFields = 20;

std::string FieldName(int field)
{
    return "Field" + std::to_string(field);
}

std::string IndexTemplate()
{
    std::string row = "{|Row Iterate=Children Trim=Both Divider=\"\r\n\"|<tr class=\"{{Odd Iterate=Parent "
                      "Default=\"even\"}}\"><td>{{IdxO}}</td>";
    for (int f = 0; f < kFields; ++f)
        row += "\r\n    <td>{{" + FieldName(f) + " Iterate=Parent Default=\"&nbsp;\"}}</td>";
    row += "\r\n  {{Note Iterate=Parent Prefix=\"<td class=note>\" Postfix=\"</td>\" Skip=Empty}}</tr>|}";
    return "<html>\r\n<head><title>{{Title}}</title>\r\n<link rel=stylesheet href=\"default.css\"></head>\r\n"
           "<body>\r\n{|Header Render=Inquire|<h1>{{Title}}</h1>\r\n<p>{{Generated Prefix=\"Generated: \"}}</p>|}"
           "{{Header}}\r\n<table>\r\n" +
           row + "\r\n{{Row}}\r\n</table>\r\n</body>\r\n</html>\r\n";
}

wardlark::TOptionsList IndexVariables()
{
    wardlark::TOptionsList vars;
    vars.WriteString("Title", "Summary report");
    vars.WriteString("Header", "TRUE");
    vars.WriteString("Generated", "2024-05-01 12:00:00");
    for (int m = 1; m <= kMonitors; ++m)
    {
        const std::string suffix = "_" + std::to_string(m);
        for (int f = 0; f < kFields; ++f)
            vars.WriteString(FieldName(f) + suffix, "value " + std::to_string(f) + " of monitor " + std::to_string(m));
        if (m % 2 == 1)
            vars.WriteString("Odd" + suffix, "odd");
        if (m % 10 == 0)
            vars.WriteString("Note" + suffix, "check failed");
    }
    return vars;
}

// The whole call as report pages make it: compile, index the variables, render.
void BM_RenderTmlIndex(benchmark::State& state)
{
    const std::string text = IndexTemplate();
    const wardlark::TOptionsList vars = IndexVariables();
    size_t bytes = 0;
    for (auto _ : state)
    {
        const std::string out = wardlark::RenderTml(text, vars);
        bytes = out.size();
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["output_bytes"] = static_cast<double>(bytes);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes));
}
BENCHMARK(BM_RenderTmlIndex)->Unit(benchmark::kMillisecond);

// Rendering alone, with the template compiled once.
void BM_RenderIntoIndex(benchmark::State& state)
{
    const wardlark::TOptionsList vars = IndexVariables();
    wardlark::TTmlInserter inserter;
    inserter.SetTemplate(IndexTemplate());
    for (auto _ : state)
    {
        wardlark::TOLVarsSource source(vars, "/");
        wardlark::TMemoryStream out(1 << 21);
        inserter.RenderInto(&source, &out);
        if (inserter.ErrorCode() != 0)
            state.SkipWithError("rendering failed");
        benchmark::DoNotOptimize(out.Memory());
    }
}
BENCHMARK(BM_RenderIntoIndex)->Unit(benchmark::kMillisecond);

} // namespace
