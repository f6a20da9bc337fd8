#include "text/unitMasks.h"

#include <string>

#include <gtest/gtest.h>

namespace wardlark
{
namespace
{

struct TMaskCase
{
    const char* text;
    const char* mask;
    bool matches;
};

TEST(MasksTest, MatchesTable)
{
    const TMaskCase cases[] = {
        {"log.txt", "*.txt", true},
        {"log.txt", "log.???", true},
        {"log.txt", "log.??", false},
        {"log.txt", "[!.]*", false}, // "]*" is a rejected pair
        {"x", "[!.]*", false},
        {"12", "##", true},
        {"12", "#", false},
        {"1a", "##", false},
        {"ab", "a", false},
        {"ab", "abc", false},
        {"abc", "abc*", true},
        {"ab", "a*", true},
        {"", "*", false},
        {"", "", false},
        {"abc", "", false},
        {"abc", "ABC", false}, // case-sensitive
        {"abc", "a*c", true},
        {"abc", "*b", false},
        {"a.b.txt", "*.txt", true},
        // "*" jumps to the first occurrence of the following run and never backtracks.
        {"x.txt.txt", "*.txt", false},
        {"abc", "?b?", true},
        {"abc", "[abc]", true},
        {"abd", "[abc]", false},
        {"abd", "[!xyz]", true},
        {"abd", "[!xyd]", false},
        {"aab.txt", "[ab].txt", true},
        {"acb.txt", "[ab].txt", false},
        {"x.txt", "[ab].txt", false},
        {".txt", "[ab].txt", true}, // the set may take no character
        {"abb", "a[b]", true},
        {"abc", "a[b]", false},
        {"ab", "ab[c]", false},
        {"abc", "[", false},
        {"abc", "a[", false},
        {"abc", "[abc", false},
        {"abc", "[]abc", false},
        {"abc", "[!]abc", false},
        {"abc", "**", false},
        {"abc", "*?", false},
        {"abc", "*#", false},
        {"abc", "*[a]", false},
        {"a1", "[a]#", false},
        {"aa", "[a]?", false},
        {"ab", "[a][b]", false},
        {"a]b", "a]b", true},
        {"a]b", "*]b", true},
        {"wardlark", "ward*", true},
        {"/img/logo.png", "/img/*.png", true},
        {"/img/logo.png", "/img/*.gif", false},
    };
    for (const TMaskCase& c : cases)
    {
        EXPECT_EQ(MatchesMask(c.text, c.mask), c.matches) << "text '" << c.text << "' mask '" << c.mask << "'";
    }
}

// A backtracking matcher takes exponential time here; the greedy one answers at once.
TEST(MasksTest, PathologicalMaskOnLongText)
{
    const std::string text(200000, 'a');
    EXPECT_FALSE(MatchesMask(text, "*a*a*a*a*a*a*a*a*a*a*a*a*b"));
    EXPECT_TRUE(MatchesMask(text + "b", "*a*a*a*a*a*a*a*a*a*a*a*a*b"));
    EXPECT_FALSE(MatchesMask(text, "[a]b"));
}

TEST(MasksTest, BinaryBytesAreOrdinaryCharacters)
{
    const std::string text("a\0b\xff", 4);
    EXPECT_TRUE(MatchesMask(text, std::string("a\0?\xff", 4)));
    EXPECT_TRUE(MatchesMask(text, std::string("a*\xff", 3)));
}

} // namespace
} // namespace wardlark
