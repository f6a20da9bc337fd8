#include "text/unitSubstitutions.h"

#include "config/unitOptionsList.h"

#include <gtest/gtest.h>

#include <string>

namespace wardlark
{
namespace
{

class SubstitutionsTest : public testing::Test
{
protected:
    SubstitutionsTest()
    {
        names_.WriteString("Year", "2024");
        names_.WriteString("Month", "5");
        names_.WriteString("Host Name", "a{{Year}}b");
    }
    TOptionsList names_;
};

TEST_F(SubstitutionsTest, SubstituteNames)
{
    const struct
    {
        std::string text;
        std::string expected;
    } cases[] = {
        {"{{Year}}-{{Month}}.htm", "2024-5.htm"},
        {"log {{Unknown}}.txt", "log .txt"},
        {"{{year}}", "2024"},
        {"{{}}", ""},
        {"no names", "no names"},
        {"", ""},
        // Values are inserted as they are, never substituted again.
        {"{{Host Name}}", "a{{Year}}b"},
        // A nested text: "|{" and "}|" stand for the markers and the result is not looked up.
        {"[{{x|{Year}|y}}]", "[x2024y]"},
        {"{{|{Month}|/|{Year}|}}", "5/2024"},
        // Runs of bars rewrite from the right end of each run.
        {"{{|||{Year}|||}}", "||2024||"},
        // Only one of the nested markers: a plain (unknown) name.
        {"{{a|{Year}}}", "}"},
        // An unclosed "{{" stops the scan; the text before it stays.
        {"log-{{Year}}-{{Month", "log-2024-{{Month"},
        {"{{Year", "{{Year"},
        {"}}{{Year}}", "}}2024"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SubstituteNames(c.text, names_), c.expected) << c.text;
}

TEST_F(SubstitutionsTest, SubstituteMarkers)
{
    const struct
    {
        std::string text;
        std::string start;
        std::string end;
        std::string expected;
    } cases[] = {
        {"{{Year}}/{{Month}}", "{{", "}}", "2024/5"},
        {"[Year]-[Month]", "[", "]", "2024-5"},
        {"<%Year%>", "<%", "%>", "2024"},
        {"a[Year]b[Month", "[", "]", "a2024b[Month"},
        {"[x|{Year}|y]", "[", "]", ""},
        {"[Year]", "", "]", ""},
        {"[Year]", "[", "", ""},
        {"plain", "[", "]", "plain"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SubstituteMarkers(c.text, names_, c.start, c.end), c.expected) << c.text;
}

} // namespace
} // namespace wardlark
