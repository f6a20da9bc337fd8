// Speed of the expression languages on the inputs a check meets: a success-criteria expression
// of ten comparisons over parsed variables, a content filter, and request-path masks.
#include "text/unitBooleanEvaluator.h"
#include "text/unitBooleanExpressions.h"
#include "text/unitMasks.h"

#include <benchmark/benchmark.h>

#include <string>
#include <unordered_map>
#include <vector>

namespace
{

using namespace wardlark;

void BM_SuccessCriteriaTenComparisons(benchmark::State& state)
{
    const std::unordered_map<std::string, std::string> variables = {
        {"_a", "15"}, {"_b", "12"},   {"_c", "3.5"}, {"_d", "ok"},   {"_e", "100"},
        {"_f", "7"},  {"_g", "0.25"}, {"_h", "42"},  {"_i", "1000"}, {"_j", "yes"},
    };
    TBooleanEvaluator evaluator;
    // Callers switch short-circuiting off, so every name is resolved.
    evaluator.ShortCircuit = false;
    evaluator.OnVariable =
        [&variables](void*, const std::string& name, const std::vector<std::string>&, std::string& value, bool& handled)
    {
        const auto found = variables.find(name);
        if (found != variables.end())
        {
            value = found->second;
            handled = true;
        }
    };
    evaluator.Expression = "_a > 10 and _b < 20 and _c >= 3.5 and _d = \"ok\" and _e <> 99 and _f <= 7 and "
                           "_g < 1 and _h = 42 and _i > 999 and _j = \"yes\"";
    for (auto _ : state)
    {
        benchmark::DoNotOptimize(evaluator.Evaluate());
    }
    if (!evaluator.Result())
    {
        state.SkipWithError("expression did not hold");
    }
}
BENCHMARK(BM_SuccessCriteriaTenComparisons);

void BM_ContentFilter(benchmark::State& state)
{
    const std::string content(20000, 'x');
    TBooleanExpression expression("(\"Welcome\" or \"Login\") and not \"Error\" and not \"Exception\"");
    expression.OnToken = [&content](const std::string& token, bool& known)
    {
        known = true;
        return content.find(token) != std::string::npos;
    };
    for (auto _ : state)
    {
        benchmark::DoNotOptimize(expression.Evaluate());
    }
}
BENCHMARK(BM_ContentFilter);

void BM_MatchesMask(benchmark::State& state)
{
    const std::string path = "/reports/monitor-00042/charts/availability.png";
    for (auto _ : state)
    {
        benchmark::DoNotOptimize(MatchesMask(path, "/reports/*/charts/*.png"));
    }
}
BENCHMARK(BM_MatchesMask);

void BM_MatchesMaskPathological(benchmark::State& state)
{
    const std::string text(static_cast<size_t>(state.range(0)), 'a');
    for (auto _ : state)
    {
        benchmark::DoNotOptimize(MatchesMask(text, "*a*a*a*a*a*a*a*a*b"));
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_MatchesMaskPathological)->Range(1 << 10, 1 << 16)->Complexity();

} // namespace
