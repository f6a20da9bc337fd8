#include "reports/unitBlockList.h"
#include "support/unitStreams.h"

#include <gtest/gtest.h>

#include <string>

using namespace wardlark;

namespace
{

TEST(BlockList, AddsBlocksContiguouslyAndRefusesBeyondLimit)
{
    TBlockList list(3, 2, 4);
    EXPECT_EQ(list.Memory(), nullptr);
    EXPECT_EQ(list.Add("abc"), 0);
    EXPECT_EQ(list.Add("def"), 1);
    // Full: refused, content unchanged.
    EXPECT_EQ(list.Add("ghi"), -1);
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(list.Memory()), 6), "abcdef");
    EXPECT_EQ(list.Item(1), list.Memory() + 3);
    EXPECT_EQ(list.Item(2), nullptr);
    EXPECT_EQ(list.Item(-1), nullptr);
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.Add("xyz"), 0);
}

struct TLoadCase
{
    const char* name;
    int32_t maxCount;
    std::string source;
    int64_t announced; // -1: the source's size
    std::string expected;
};

class BlockListLoad : public testing::TestWithParam<TLoadCase>
{
};

TEST_P(BlockListLoad, KeepsWholeBlocksWithinLimit)
{
    const TLoadCase& c = GetParam();
    TMemoryStream source;
    source.LoadFromString(c.source);
    TBlockList list(4, c.maxCount);
    list.Add("old!");
    const int64_t bytes = c.announced < 0 ? source.Size() : c.announced;
    const int32_t loaded = list.LoadFromStream(source, bytes);
    EXPECT_EQ(loaded, static_cast<int32_t>(c.expected.size() / 4));
    EXPECT_EQ(list.Count(), loaded);
    const std::string content =
        loaded > 0 ? std::string(reinterpret_cast<const char*>(list.Memory()), static_cast<size_t>(loaded) * 4) : "";
    EXPECT_EQ(content, c.expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, BlockListLoad,
                         testing::Values(TLoadCase{"Exact", 10, "aaaabbbb", -1, "aaaabbbb"},
                                         TLoadCase{"PartialTailIgnored", 10, "aaaabbbbcc", -1, "aaaabbbb"},
                                         TLoadCase{"Empty", 10, "", -1, ""},
                                         TLoadCase{"OverLimitKeepsNewest", 2, "aaaabbbbccccdd", -1, "bbbbcccc"},
                                         TLoadCase{"ZeroLimit", 0, "aaaa", -1, ""},
                                         // The source ends before the announced size: whole blocks read stay.
                                         TLoadCase{"ShortSource", 10, "aaaabb", 40, "aaaa"}),
                         [](const testing::TestParamInfo<TLoadCase>& param) { return std::string(param.param.name); });

TEST(BlockList, LoweringTheLimitDropsNewestBlocks)
{
    TBlockList list(1, 5);
    for (const char c : std::string("abcde"))
        list.Add(&c);
    list.SetMaxCount(3);
    EXPECT_EQ(list.Count(), 3);
    EXPECT_EQ(list.Add("z"), -1);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(list.Memory()), 3), "abc");
}

} // namespace
