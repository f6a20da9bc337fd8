#include "text/unitContentParser.h"

#include "config/unitOptionsList.h"
#include "support/unitTextRoutines.h"
#include "text/unitSubstitutions.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace wardlark
{
namespace
{

struct TParseOutcome
{
    int result = 0;
    int firstAnchor = 0;
    std::string variables; // the target list's text, lines joined with CR LF
};

// Runs the parser as the checks do: the template prepared, the anchors looked up in the
// lower-cased text, the values copied from `source` as given.
TParseOutcome Parse(const std::string& parsingTemplate, const std::string& source, int start = 1)
{
    TOptionsList target;
    TParseOutcome outcome;
    outcome.result =
        ParseContent(source, LowerCase(source), PrepareTemplate(parsingTemplate), &outcome.firstAnchor, start, target);
    outcome.variables = target.Text();
    return outcome;
}

struct TMatchCase
{
    const char* what;
    std::string parsingTemplate;
    std::string source;
    int result;
    std::string variables;
};

class ContentParserMatchTest : public testing::TestWithParam<TMatchCase>
{
};

TEST_P(ContentParserMatchTest, ResultAndVariables)
{
    const TMatchCase& c = GetParam();
    const TParseOutcome outcome = Parse(c.parsingTemplate, c.source);
    EXPECT_EQ(outcome.result, c.result) << c.what;
    EXPECT_EQ(outcome.variables, c.variables) << c.what;
}

const std::string kPrices = "price: abc eur ... price: 12.50 eur tail";

INSTANTIATE_TEST_SUITE_P(
    Matching, ContentParserMatchTest,
    testing::Values(
        TMatchCase{"title between anchors", "<title>{{Title}}</title>", "<html><title>status</title>", 28,
                   "Title=status"},
        TMatchCase{"values come from the source text, anchors from the search text", "<TITLE>{{Title}}</TITLE>",
                   "<title>Status OK</title>", 25, "Title=Status OK"},
        TMatchCase{"rejected value retried at the next first anchor", "price: {{Price|1|10|#$}} eur", kPrices, 36,
                   "Price=12.50"},
        TMatchCase{"field at the end takes the rest of the text", "a{{V}}", "xxabcabc", 9, "V=bcabc"},
        TMatchCase{"field before the first anchor starts at the start position", "{{Head}}:", "key: value", 5,
                   "Head=key"},
        TMatchCase{"adjacent fields leave the earlier one empty", "{{A}}{{B}}x", "hello x", 8, "B=hello "},
        TMatchCase{"name beginning with a digit still splits the text", "a{{1st}}b{{Second}}c", "a1b2c", 6, "Second=2"},
        TMatchCase{"later field of the same name replaces the earlier", "<{{V}}>{{V}}.", "<1>2.", 6, "V=2"},
        TMatchCase{"value emptied by its filters is not stored", "<{{V|||||#}}>", "<123>", 6, ""},
        TMatchCase{"names of letters, digits, blank, _ and / are valid", "<{{a b/c_1}}>", "<x>", 4, "a b/c_1=x"},
        TMatchCase{"other names are not stored", "<{{a-b}}>{{c.d}}.", "<x>y.", 6, ""},
        TMatchCase{"missing anchor", "<b>{{V}}</b>", "<i>text</i>", -1, ""},
        TMatchCase{"missing tail", "<b>{{V}}</b>", "<b>text", -1, ""},
        TMatchCase{"unterminated field", "<b>{{V</b>", "<b>x</b>", -1, ""},
        TMatchCase{"template without fields", "two", "one two three", 8, ""},
        TMatchCase{"template without any anchor is not retried", "{{V|5}}", "abc", -1, ""},
        TMatchCase{"tail-only template retries at the next occurrence of its tail", "{{V|||#}}-", "a-1-", 5, "V=1"},
        TMatchCase{"Min and Max bound the length", "<{{V|2|3}}>", "<a> <abcd> <abc>", 17, "V=abc"},
        TMatchCase{"Min and Max that do not convert keep their defaults", "<{{V|x|1y}}>", "<>", 3, ""},
        TMatchCase{"negative Max rejects every value", "<{{V|0|-1}}>", "<> <a>", -1, ""},
        TMatchCase{"forbidden codes", "<{{V||||#}}>", "<a1> <ab>", 10, "V=ab"},
        TMatchCase{"mask expression", "<{{V||||||*.txt}}>", "<a.doc> <b.txt>", 16, "V=b.txt"},
        TMatchCase{"mask expression keeps its case", "<{{V||||||*.TXT or *.DOC}}>", "<a.txt> <b.DOC>", 16, "V=b.DOC"},
        TMatchCase{"mask expression is never true for an empty value", "<{{V||||||*}}>", "<>", -1, ""}));

// Each class code against a value it accepts and one it rejects, in the Allowed part.
struct TClassCase
{
    std::string codes;
    std::string accepted;
    std::string rejected;
};

class ContentParserClassTest : public testing::TestWithParam<TClassCase>
{
};

TEST_P(ContentParserClassTest, AllowedCodes)
{
    const TClassCase& c = GetParam();
    const std::string parsingTemplate = "[{{V|||" + c.codes + "}}]";
    EXPECT_EQ(Parse(parsingTemplate, "[" + c.accepted + "]").result, static_cast<int>(c.accepted.size()) + 3)
        << c.codes;
    EXPECT_EQ(Parse(parsingTemplate, "[" + c.rejected + "]").result, -1) << c.codes;
}

INSTANTIATE_TEST_SUITE_P(Classes, ContentParserClassTest,
                         testing::Values(TClassCase{"#", "0129", "12a"}, TClassCase{"$", "1,2.3", "1;2"},
                                         TClassCase{"Z", "ABZ", "AbC"}, TClassCase{"z", "abz", "aBc"},
                                         TClassCase{"^", "AB1-\xC3\xA9", "Ab"}, TClassCase{"_", "ab1-", "aB"},
                                         TClassCase{"nrt", "\n\r\t", "\n "}, TClassCase{"()/", "{}|", "{("},
                                         TClassCase{"\\#", "##", "#1"}, TClassCase{"\\\\", "\\\\", "\\n"},
                                         TClassCase{"ab", "abba", "abc"},
                                         TClassCase{"\xDF", "\xC0\xD5\xDF", "\xC0\xE0"},
                                         TClassCase{"\xFF", "\xE0\xFF", "\xDF\xE0"}, TClassCase{"#Z", "A1", "A1a"}));

struct TFilterCase
{
    std::string filters;
    std::string value;
    std::string expected;
};

class ContentParserFilterTest : public testing::TestWithParam<TFilterCase>
{
};

TEST_P(ContentParserFilterTest, FiltersApplyInOrder)
{
    const TFilterCase& c = GetParam();
    TOptionsList target;
    const std::string source = "[" + c.value + "]";
    ASSERT_GT(ParseContent(source, LowerCase(source), "[{{V|||||" + c.filters + "}}]", nullptr, 1, target), 0);
    EXPECT_EQ(target.ReadString("V"), c.expected) << c.filters;
}

INSTANTIATE_TEST_SUITE_P(Filters, ContentParserFilterTest,
                         testing::Values(TFilterCase{"!&", "a  <b>bold</b>\r\n text", "a bold text"},
                                         TFilterCase{"!", " \t a \r\n b \n", " a b"},
                                         TFilterCase{"&", "x<b>y</b>&amp;z&nbsp;&lt;&gt;", "xyz"},
                                         TFilterCase{"<", "  a  ", "  a"}, TFilterCase{">", "  a  ", "a  "},
                                         TFilterCase{"<>", "\t a \n", "a"},
                                         TFilterCase{"^", "aB1\xC3\xA9", "AB1\xC3\xA9"}, TFilterCase{"_", "aB1", "ab1"},
                                         TFilterCase{"#", "a1b2", "ab"}, TFilterCase{"Z", "aBcD", "ac"},
                                         TFilterCase{"z", "aBcD", "BD"}, TFilterCase{"nrt", "a\nb\rc\td", "abcd"},
                                         TFilterCase{"\\^", "a^b", "ab"}, TFilterCase{"\\\\^", "a\\b", "AB"},
                                         TFilterCase{"\\#", "a#1", "a1"}, TFilterCase{"-.", "1-2.3", "123"},
                                         TFilterCase{"$", "$12", "12"}, TFilterCase{"\xDF", "a\xC0\xDF\xE0", "a\xE0"},
                                         TFilterCase{"\xFF", "a\xDF\xE0\xFF", "a\xDF"}, TFilterCase{"_^", "aB", "AB"},
                                         TFilterCase{"#_", "A1", "a"}));

TEST(ContentParserTest, FailedMatchLeavesTargetUnchanged)
{
    TOptionsList target;
    target.WriteString("Title", "old");
    target.WriteString("Other", "kept");
    EXPECT_EQ(ParseContent("<b>x", "<b>x", "<b>{{Title}}</b>", nullptr, 1, target), -1);
    EXPECT_EQ(target.Text(), "Title=old\r\nOther=kept");
    // A value rejected on every attempt must not leak into the target either.
    EXPECT_EQ(ParseContent("<b>x</b> <b>y</b>", "<b>x</b> <b>y</b>", "<b>{{Title}}</b>{{Bad|1|3}}", nullptr, 1, target),
              -1);
    EXPECT_EQ(target.Text(), "Title=old\r\nOther=kept");
    // A match replaces values of the same names and appends new ones.
    EXPECT_EQ(ParseContent("<b>new</b>", "<b>new</b>", "<b>{{title}}</b>{{Third}}", nullptr, 1, target), 11);
    EXPECT_EQ(target.ReadString("Title"), "new");
    EXPECT_EQ(target.ReadString("Other"), "kept");
}

TEST(ContentParserTest, FirstAnchorFollowsTheLastAttempt)
{
    TParseOutcome outcome = Parse("price: {{Price|1|10|#$}} eur", kPrices);
    EXPECT_EQ(outcome.firstAnchor, 20);
    outcome = Parse("<b>{{V}}</b>", "<i>");
    EXPECT_EQ(outcome.firstAnchor, 0);
    outcome = Parse("{{A}}x{{B}}y", "..x..y");
    EXPECT_EQ(outcome.firstAnchor, 3);
}

TEST(ContentParserTest, StartPositionAndReadingRecordInTurn)
{
    // The monitor import reads record after record with the returned position.
    const std::string source = "<a>1</a><a>22</a><a>333</a>";
    std::vector<std::string> values;
    int position = 1;
    while (position <= static_cast<int>(source.size()))
    {
        TOptionsList target;
        position = ParseContent(source, source, "<a>{{V}}</a>", nullptr, position, target);
        if (position < 0)
            break;
        values.push_back(target.ReadString("V"));
    }
    EXPECT_EQ(values, (std::vector<std::string>{"1", "22", "333"}));
    EXPECT_EQ(Parse("<a>{{V}}</a>", source, 0).variables, "V=1");
    EXPECT_EQ(Parse("<a>{{V}}</a>", source, 1000).result, -1);
    EXPECT_EQ(Parse("{{V}}", source, 1000).result, static_cast<int>(source.size()) + 1);
}

TEST(ContentParserTest, GivesUpAfterTheStepLimit)
{
    // Every rejected "xy" costs two steps; the good record at the end is reached only while
    // the failed attempts stay within the limit.
    const auto source = [](int rejected)
    {
        std::string text;
        for (int i = 0; i < rejected; ++i)
            text += "xy";
        return text + "xgoody";
    };
    const int withinLimit = (kParseStepLimit - 2) / 2;
    EXPECT_EQ(Parse("x{{V|1}}y", source(withinLimit)).variables, "V=good");
    EXPECT_EQ(Parse("x{{V|1}}y", source(withinLimit + 1)).result, -1);
}

TEST(ContentParserTest, TextsOfDifferentLengthDoNotMatch)
{
    TOptionsList target;
    EXPECT_EQ(ParseContent("abc", "ab", "{{V}}", nullptr, 1, target), -1);
    EXPECT_EQ(target.Count(), 0);
}

TEST(ContentParserTest, PrepareTemplateLowerCasesLiteralTextOnly)
{
    const struct
    {
        std::string input;
        std::string expected;
    } cases[] = {
        {"<TD>Price</TD>{{Price|1|10|Z||^|*.TXT}}<BR>", "<td>price</td>{{Price|1|10|Z||^|*.TXT}}<br>"},
        {"A{{B}}C{{D}}E", "a{{B}}c{{D}}e"},
        {"A{{B}X}C}}D", "a{{B}X}c}}d"},
        {"A{{Unclosed}", "a{{Unclosed}"},
        {"NO FIELDS", "no fields"},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PrepareTemplate(c.input), c.expected) << c.input;
}

// Inputs the fuzzer once found troublesome (a template, a NUL byte, the content), replayed as the
// fuzz target runs them: each must end with a result inside the text.
TEST(ContentParserTest, FuzzRegressionsReplay)
{
    const std::filesystem::path folder =
        std::filesystem::path(WARDLARK_SOURCE_DIR) / "fuzz" / "regressions" / "ContentParser";
    ASSERT_TRUE(std::filesystem::is_directory(folder) && !std::filesystem::is_empty(folder)) << folder;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
    {
        std::ifstream in(entry.path(), std::ios::binary);
        const std::string input((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const size_t split = input.find('\0');
        const std::string parsingTemplate = input.substr(0, split);
        const std::string content = split == std::string::npos ? std::string() : input.substr(split + 1);
        TOptionsList target;
        const int result =
            ParseContent(content, LowerCase(content), PrepareTemplate(parsingTemplate), nullptr, 1, target);
        EXPECT_TRUE(result == -1 || (result >= 1 && result <= static_cast<int>(content.size()) + 1)) << entry.path();
        SubstituteNames(parsingTemplate, target);
    }
}

} // namespace
} // namespace wardlark
