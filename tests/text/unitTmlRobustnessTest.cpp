#include "text/unitOLInserter.h"
#include "text/unitTmlInserter.h"

#include "config/unitOptionsList.h"
#include "support/unitStreams.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace wardlark
{
namespace
{

TTmlLimits SmallLimits()
{
    TTmlLimits limits;
    limits.maxOutput = 1 << 18;
    limits.maxSteps = 1 << 20;
    return limits;
}

// The code a rendering ends with (0 when it succeeded) and its output length.
std::pair<int, size_t> RenderLimited(const std::string& text, const TOptionsList& vars)
{
    TTmlInserter inserter;
    inserter.SetLimits(SmallLimits());
    inserter.SetTemplate(text);
    TOLVarsSource source(vars, "/");
    TMemoryStream out;
    inserter.RenderInto(&source, &out);
    return {inserter.ErrorCode(), static_cast<size_t>(out.Size())};
}

std::string Repeat(const std::string& piece, int count)
{
    std::string text;
    for (int i = 0; i < count; ++i)
        text += piece;
    return text;
}

// Templates whose output or work grows far beyond their size stop at a limit with an error
// instead of exhausting memory or time.
TEST(TmlRobustnessTest, RunawayTemplatesStopAtTheLimits)
{
    TOptionsList vars;
    vars.WriteString("V", "value");
    vars.WriteString("Blank", " ");
    vars.WriteString("Lines", "a\nb");
    std::string fanOut; // ten blocks, each referencing the next ten times: 10^9 leaves
    for (int level = 0; level < 9; ++level)
        fanOut += "{|L" + std::to_string(level) + "|" + Repeat("{{L" + std::to_string(level + 1) + "}}", 10) + "|}";
    fanOut += "{|L9|x|}{{L0}}";
    const struct
    {
        const char* name;
        std::string text;
        int code;
    } cases[] = {
        {"huge fixed range", "{{V Iterate=Fixed:0:2000000000}}", 0},
        {"huge range of nothing", "{{Missing Iterate=Fixed:0:2000000000}}", kTmlStepLimit},
        {"huge range of whitespace", "{{Blank Iterate=Fixed:0:2000000000 Trim=None}}", 0},
        {"huge indent", "{{V Indent=2000000000}}", kTmlOutputLimit},
        {"indents adding up", "{|I0 Indent=2000000000|{{Lines}}|}{|I1 Indent=2000000000|{{I0}}|}x{{I1}}",
         kTmlOutputLimit},
        {"nested fan-out", fanOut, kTmlStepLimit},
        {"self-referencing children fan-out", "{|A Iterate=Children|" + Repeat("{{A Iterate=Parent}}", 20) + "|}{{A}}",
         kTmlStepLimit},
    };
    for (const auto& c : cases)
    {
        const auto [code, size] = RenderLimited(c.text, vars);
        // 0: whichever limit comes first.
        if (c.code == 0)
            EXPECT_TRUE(code == kTmlOutputLimit || code == kTmlStepLimit) << c.name << " " << code;
        else
            EXPECT_EQ(code, c.code) << c.name;
        EXPECT_LE(size, size_t{1} << 18) << c.name;
    }
    EXPECT_THROW(RenderTml("{{V Iterate=Fixed:0:2000000000}}", vars, SmallLimits()), ETmlError);
}

// Deeply nested definitions compile without deep recursion; references to them stop at the
// depth limit.
TEST(TmlRobustnessTest, DeepNestingNeedsNoStack)
{
    const int depth = 200000;
    TOptionsList vars;
    EXPECT_EQ(RenderTml(Repeat("{|a|", depth) + "x" + Repeat("|}", depth) + "{{a}}", vars), "x");
    const auto [code, size] = RenderLimited(Repeat("{|a|", depth), vars);
    EXPECT_EQ(code, kTmlUnterminatedBlock);
    EXPECT_EQ(size, 0u);
    // Every block refers to the next: rendering stops after the root and nine references.
    std::string chain;
    for (int i = 0; i < 50; ++i)
        chain += "{|B" + std::to_string(i) + "|" + std::to_string(i % 10) + "{{B" + std::to_string(i + 1) + "}}|}";
    EXPECT_EQ(RenderTml(chain + "{{B0}}", vars), "012345678");
}

// Inputs that once failed the fuzz target replay here; each must render or fail cleanly.
TEST(TmlRobustnessTest, FuzzRegressionsReplay)
{
    const std::filesystem::path folder = std::filesystem::path(WARDLARK_SOURCE_DIR) / "fuzz" / "regressions" / "Tml";
    ASSERT_TRUE(std::filesystem::is_directory(folder)) << folder;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
    {
        std::ifstream in(entry.path(), std::ios::binary);
        const std::string input((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const size_t nul = input.find('\0');
        TOptionsList vars;
        if (nul != std::string::npos)
        {
            std::string rest = input.substr(nul + 1);
            for (int line = 0; line < 16 && !rest.empty(); ++line)
            {
                const size_t end = rest.find('\n');
                vars.AddLine(rest.substr(0, end));
                rest = end == std::string::npos ? std::string() : rest.substr(end + 1);
            }
        }
        const auto [code, size] = RenderLimited(input.substr(0, nul), vars);
        EXPECT_LE(size, size_t{1} << 18) << entry.path() << " code " << code;
    }
}

} // namespace
} // namespace wardlark
