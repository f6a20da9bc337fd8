#include "text/unitOLInserter.h"

#include "config/unitOptionsList.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace wardlark
{
namespace
{

TOptionsList MakeList(const std::vector<std::pair<std::string, std::string>>& vars)
{
    TOptionsList list;
    for (const auto& [name, value] : vars)
        list.WriteString(name, value);
    return list;
}

TEST(OLVarsSourceTest, Ranges)
{
    const struct
    {
        const char* name;
        std::vector<std::pair<std::string, std::string>> vars;
        int first;
        int last;
    } cases[] = {
        {"nothing", {}, -1, -1},
        {"plain name only is empty", {{"Item", "x"}}, 0, -1},
        {"indexed", {{"Item_5", "e"}, {"Item_2", "b"}}, 2, 5},
        {"plain and indexed", {{"Item", "x"}, {"Item_3", "c"}}, 0, 3},
        {"index zero", {{"Item_0", "z"}, {"Item_1", "a"}}, 0, 1},
        {"prefix test is case-sensitive", {{"item_1", "a"}}, -1, -1},
        {"leading zeros still a number", {{"Item_07", "a"}}, 7, 7},
        {"remainder not a number", {{"Item_x", "a"}, {"Item_1a", "b"}, {"Item_", "c"}}, -1, -1},
        {"longer names are other lists", {{"Item_1_2", "a"}, {"ItemName_1", "b"}}, -1, -1},
        {"numbers beyond int are ignored", {{"Item_99999999999", "a"}, {"Item_4", "d"}}, 4, 4},
    };
    for (const auto& c : cases)
    {
        const TOptionsList list = MakeList(c.vars);
        TOLVarsSource source(list, "/");
        int32_t first = 0;
        int32_t last = 0;
        source.GetRange("Item", first, last);
        EXPECT_EQ(first, c.first) << c.name;
        EXPECT_EQ(last, c.last) << c.name;
    }
}

TEST(OLVarsSourceTest, ValuesAndFlags)
{
    const TOptionsList list =
        MakeList({{"Name", "plain"}, {"name_2", "second"}, {"On", "TRUE"}, {"Lower", "false"}, {"Off", "FALSE"}});
    TOLVarsSource source(list, "/");
    std::string_view value;
    EXPECT_TRUE(source.GetValue("NAME", 0, value));
    EXPECT_EQ(value, "plain");
    EXPECT_TRUE(source.GetValue("Name", -1, value));
    EXPECT_EQ(value, "plain");
    EXPECT_TRUE(source.GetValue("Name", 2, value)); // the lookup ignores case
    EXPECT_EQ(value, "second");
    EXPECT_FALSE(source.GetValue("Name", 3, value));
    EXPECT_FALSE(source.GetValue("Missing", 0, value));

    EXPECT_TRUE(source.Inquire("On"));
    EXPECT_TRUE(source.Inquire("Lower"));
    EXPECT_FALSE(source.Inquire("Off"));
    EXPECT_FALSE(source.Inquire("Missing"));
    EXPECT_EQ(source.GetPathDelimiter(), "/");
}

TEST(OLVarsSourceTest, RenderTmlUsesEscapedValuesAndSlashPaths)
{
    TOptionsList list;
    list.WriteString("/report/Title", "50% done\r\nnext");
    EXPECT_EQ(RenderTml("{|Report|{{Title FullPath=1}}|}{{Report}}", list), "50% done\r\nnext");
}

} // namespace
} // namespace wardlark
