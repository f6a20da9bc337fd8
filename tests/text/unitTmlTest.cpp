#include "text/unitOLInserter.h"
#include "text/unitTmlInserter.h"

#include "config/unitOptionsList.h"
#include "support/unitStreams.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <utility>

namespace wardlark
{
namespace
{

using TVars = std::initializer_list<std::pair<const char*, const char*>>;

TOptionsList MakeList(TVars vars)
{
    TOptionsList list;
    for (const auto& [name, value] : vars)
        list.WriteString(name, value);
    return list;
}

std::string Render(const std::string& text, TVars vars = {})
{
    return RenderTml(text, MakeList(vars));
}

struct TCompileResult
{
    int code;
    int position;
};

TCompileResult Compile(const std::string& text, bool strict = false)
{
    TTmlInserter inserter;
    inserter.SetStrictParams(strict);
    inserter.SetTemplate(text);
    return {inserter.ErrorCode(), inserter.ErrorPosition()};
}

struct TRenderCase
{
    const char* name;
    std::string text;
    TVars vars;
    std::string expected;
};

void RunCases(std::initializer_list<TRenderCase> cases)
{
    for (const TRenderCase& c : cases)
        EXPECT_EQ(Render(c.text, c.vars), c.expected) << c.name << ": " << c.text;
}

TEST(TmlRenderTest, PlainTextAndValues)
{
    RunCases({
        {"no markup loses outer blanks", " \r\n\tHello,\r\n  world \t\r\n", {}, "Hello,\r\n  world"},
        {"value", "Host: {{Host}}.", {{"Host", "example.org"}}, "Host: example.org."},
        {"missing value", "[{{Host}}]", {}, "[]"},
        {"name lookup ignores case", "{{HOST}}", {{"host", "h"}}, "h"},
        {"lone brace kept", "a{b}c", {}, "a{b}c"},
        {"brace that ends the text dropped", "ab{", {}, "ab"},
        {"bars kept", "a|b||c", {}, "a|b||c"},
        {"unknown parameter ignored", "{{A Colour=red}}", {{"A", "v"}}, "v"},
        {"quoted values keep braces and bars", "{{A Prefix=\"{|x|}\"}}", {{"A", "v"}}, "{|x|}v"},
        {"separators inside a reference", "{{\r\n A\tPrefix=\"<\"\n}}", {{"A", "v"}}, "<v"},
        {"whitespace before a measured reference is kept", "Host: {{H Skip=Empty}}!", {{"H", "x"}}, "Host: x!"},
        {"trailing whitespace of a value is held back", "{{A}}", {{"A", "v  "}}, "v"},
        {"leading blanks of a value trimmed at item start", "{{A}}", {{"A", "  v"}}, "v"},
    });
}

TEST(TmlRenderTest, PrefixPostfixDefaultAndSkip)
{
    const std::string port = "{{Port Prefix=\"Port: \" Postfix=\"<br>\" Skip=Empty}}";
    const std::string untitled = "{{Name Prefix=\"[\" Postfix=\"]\" Default=\"Untitled\"";
    RunCases({
        {"skip empty, value", port, {{"Port", "80"}}, "Port: 80<br>"},
        {"skip empty, missing", port, {}, ""},
        {"skip empty, blank value", port, {{"Port", "   "}}, ""},
        {"default", "{{Name Default=\"Untitled\"}}", {}, "Untitled"},
        {"default with skip none", untitled + "}}", {}, "[Untitled]"},
        {"default with skip empty still frames", untitled + " Skip=Empty}}", {}, "[Untitled]"},
        {"default not used", untitled + "}}", {{"Name", "N"}}, "[N]"},
        {"skip none frames nothing", "{{X Prefix=\"<\" Postfix=\">\"}}", {}, "<>"},
        {"never", "a{{X Render=Never Default=\"d\"}}b", {{"X", "x"}}, "ab"},
    });
}

TEST(TmlRenderTest, Iteration)
{
    const TVars items = {{"Item_1", "a"}, {"Item_2", "b"}, {"Item_3", "c"}};
    const TVars gaps = {{"Item_1", "a"}, {"Item_3", "c"}};
    const std::string list = "{|L Iterate=Children|{{IdxO}}.{{Item Iterate=Parent}} |}";
    RunCases({
        {"children of a variable", "{{Item Iterate=Children Divider=\", \"}}", items, "a, b, c"},
        {"children of a block", list + "{{L}}", items, "1.a 2.b 3.c"},
        {"plain name is item 0", "{{Item Iterate=Children Divider=\",\"}}", {{"Item", "z"}, {"Item_1", "a"}}, "z,a"},
        {"default fills gaps", "{{Item Iterate=Children Divider=\",\" Default=\"-\"}}", gaps, "a,-,c"},
        {"skip empty drops gaps", "{{Item Iterate=Children Divider=\",\" Skip=Empty}}", gaps, "a,c"},
        {"no items, no frame", "{{Item Iterate=Children Prefix=\"<\" Skip=Empty}}", {}, ""},
        {"no range renders nothing even unskipped", "{{Item Iterate=Children Prefix=\"<\"}}", {}, ""},
        {"kept items are numbered in order",
         "{|R Iterate=Fixed:1:3 Skip=Static Divider=\";\"|{{IdxO}}={{Item Iterate=Parent}}|}{{R}}", gaps, "1=a;2=c"},
        {"index variables", "{|R Iterate=Fixed:2:4|{{IdxZ}}{{IdxO}}{{IdxR}} |}{{R}}", {}, "012 123 234"},
        {"index outside iteration is empty", "[{{IdxO}}]", {}, "[]"},
        {"index variables do not make an item count",
         "{|R Iterate=Fixed:1:2 Skip=Empty|{{IdxO}}{{Item Iterate=Parent}}|}{{R}}",
         {},
         ""},
        {"parent without an iterating ancestor", "[{{Item Iterate=Parent}}]", items, "[]"},
        {"fixed range on a variable", "{{Item Iterate=Fixed:2:3 Divider=\"+\"}}", items, "b+c"},
        {"nested parent climbs through parent blocks",
         "{|In Iterate=Parent|{{Item Iterate=Parent}}{{IdxR}}|}{|Out Iterate=Children Divider=\",\"|{{In "
         "Iterate=Parent}}|}"
         "{{Out}}",
         items, "a1,b2,c3"},
    });
}

TEST(TmlRenderTest, BlocksInquireAndDepth)
{
    const std::string inquire = "{|Flag Render=Inquire|shown|}{{Flag}}";
    RunCases({
        {"inquire TRUE", inquire, {{"Flag", "TRUE"}}, "shown"},
        {"inquire yes", inquire, {{"Flag", "yes"}}, "shown"},
        {"inquire lower-case false", inquire, {{"Flag", "false"}}, "shown"},
        {"inquire FALSE", inquire, {{"Flag", "FALSE"}}, ""},
        {"inquire missing", inquire, {}, ""},
        {"inquire per item",
         "{|F Render=Inquire Iterate=Parent|{{IdxO}}|}{|L Iterate=Fixed:1:3|{{F Iterate=Parent}}|}{{L}}",
         {{"f_2", "TRUE"}},
         "2"},
        {"reference before definition", "{{B}}{|B|x|}", {}, "x"},
        {"definition renders nothing where it stands", "a{|B|x|}b", {}, "ab"},
        {"nested definitions are global", "{|Outer|{|Inner|in|}o|}{{Inner}}", {}, "in"},
        {"nested definition skipped in its container", "{|Outer|<{|Inner|in|}>|}{{Outer}}", {}, "<>"},
        {"reference parameters override the block", "{|B Prefix=\"(\"|x|}{{B Prefix=\"[\"}}", {}, "[x"},
        {"self reference stops at the depth limit", "{|A|x{{A}}|}{{A}}", {}, "xxxxxxxxx"},
        {"self reference through children terminates", "{|A Iterate=Children|x{{A Iterate=Parent}}|}{{A}}", {}, ""},
        {"full path at top level", "{{V FullPath=1}}", {{"/V", "top"}, {"V", "plain"}}, "top"},
        {"full path inside a block", "{|Sum|{{V FullPath=true}}|}{{Sum}}", {{"/sum/V", "in"}}, "in"},
    });
}

TEST(TmlRenderTest, TrimModes)
{
    const TVars spaced = {{"V", "x   y  "}};
    RunCases({
        {"block body trimmed left by default", "{|B|  \r\n body  |}[{{B}}]", {}, "[body  ]"},
        {"both", "{|B Trim=Both|  body  |}[{{B}}]", {}, "[body]"},
        {"none keeps the body", "{|B Trim=None|  body  |}[{{B}}]", {}, "[  body  ]"},
        {"right keeps leading blanks", "{|B Trim=Right|  body  |}[{{B}}]", {}, "[  body]"},
        {"static collapses literal blanks", "{|B Trim=Static|  a  \r\n  b {{V}} c  |}[{{B}}]", spaced, "[a b x   y c]"},
        {"all collapses values too", "{|B Trim=All|a {{V}} b|}[{{B}}]", spaced, "[a x y b]"},
        {"static keeps a value's line breaks", "{|B Trim=Static|a {{V}}|}{{B}}", {{"V", "1\r\n2"}}, "a 1\r\n2"},
        {"right trims a value", "{{V Trim=Right Postfix=\"|\"}}", spaced, "x   y|"},
    });
}

TEST(TmlRenderTest, IndentAndWrap)
{
    RunCases({
        {"relative indent continues lines",
         "Name:     {{Name Indent=11}}",
         {{"Name", "a\r\nb"}},
         "Name:     a\r\n           b"},
        {"absolute indent replaces", "{|B Indent=4|{{V Indent=absolute:2}}|}x{{B}}", {{"V", "a\nb"}}, "xa\n  b"},
        {"relative indents add up", "{|B Indent=2|{{V Indent=relative:3}}|}x{{B}}", {{"V", "a\nb"}}, "xa\n     b"},
        {"indent applies from the first line start", "{{V Indent=2}}", {{"V", "a"}}, "  a"},
        {"commas wrap", "{{V Wrap=Commas:4}}", {{"V", "aa,bb,   cc,d"}}, "aa,bb,\r\ncc,d"},
    });
}

TEST(TmlRenderTest, SpacesWrapBreaksAtColumnAndIndents)
{
    std::string words;
    for (int i = 0; i < 40; ++i)
        words += "word" + std::to_string(i % 10) + " ";
    const std::string out = Render("  {{Desc Indent=8 Wrap=Spaces:80}}", {{"Desc", words.c_str()}});
    size_t start = 0;
    int lines = 0;
    while (start < out.size())
    {
        size_t end = out.find("\r\n", start);
        if (end == std::string::npos)
            end = out.size();
        const std::string line = out.substr(start, end - start);
        // A break comes at the first blank once 79 characters are on the line.
        EXPECT_LE(line.size(), 84u) << line;
        if (lines > 0)
        {
            EXPECT_EQ(line.substr(0, 8), std::string(8, ' '));
            EXPECT_NE(line[8], ' ');
        }
        if (end < out.size())
        {
            EXPECT_GE(line.size(), 79u) << line;
        }
        ++lines;
        start = end + 2;
    }
    EXPECT_GE(lines, 3);
}

TEST(TmlRenderTest, SkipStaticJudgesValuesOnly)
{
    const std::string text = "{|Lbl Static=1|{{Title}}|}{|B Skip=Static Prefix=\"<\" Postfix=\">\"|label {{Lbl}}: "
                             "{{V}}|}{{B}}";
    const std::string plain = "{|B Skip=Static|label {{Title}}|}{{B}}";
    RunCases({
        {"no value", text, {{"Title", "T"}}, ""},
        {"value", text, {{"Title", "T"}, {"V", "1"}}, "<label T: 1>"},
        {"values of a non-static record count", plain, {{"Title", "T"}}, "label T"},
        {"literal text alone does not count", plain, {}, ""},
    });
}

TEST(TmlCompileTest, ErrorsAndPositions)
{
    const std::string longName(256, 'n');
    const struct
    {
        std::string text;
        int code;
        int position;
    } cases[] = {
        {"{{A Render=Sometimes}}", kTmlInvalidValue, 12},
        {"{|X|a|}{|x|b|}", kTmlBlockExists, 10},
        {"ab|}", kTmlUnexpectedBlockEnd, 3},
        {"{{X Iterate=Fixed:3:1}}", kTmlInvalidValue, 13},
        {"{{X Iterate=Fixed:1}}", kTmlInvalidValue, 13},
        {"{{X Iterate=Fixed:1:99999999999}}", kTmlInvalidValue, 13},
        {"{{X Wrap=Spaces:0}}", kTmlInvalidValue, 10},
        {"{{X Indent=-1}}", kTmlInvalidValue, 12},
        {"{{X Indent=left:3}}", kTmlInvalidValue, 12},
        {"ab{{Name Indent=8", kTmlUnterminatedVariable, 5},
        {"{|A|abc", kTmlUnterminatedBlock, 3},
        {"x{|A|{|B|b|}", kTmlUnterminatedBlock, 4},
        {"{|A|{|B|b", kTmlUnterminatedBlock, 7},
        {"{|A Trim=Left", kTmlUnterminatedBlock, 3},
        {"{| |x|}", kTmlBlockNameExpected, 3},
        {"{|" + longName + "|x|}", kTmlBlockNameTooLong, 259},
        {"{|A }|", kTmlBlockParamExpected, 5},
        {"{{ }}", kTmlVariableNameExpected, 3},
        {"{{" + longName + "}}", kTmlVariableNameTooLong, 259},
        {"{{A -}}", kTmlVariableParamExpected, 5},
        {"{{A }x", kTmlBraceExpected, 6},
        {"{{A B}}", kTmlEqualsExpected, 6},
        {"{{A B=", kTmlValueExpected, 7},
        {"{{A B=\"xx}}", kTmlUnterminatedString, 8},
        {"{|A B=\"xx|}", kTmlUnterminatedString, 8},
        {"{{A FullPath=maybe}}", kTmlBooleanExpected, 14},
        {"{|A Static=2|x|}", kTmlBooleanExpected, 12},
        {"{{A Skip=all}}", kTmlInvalidValue, 10},
        {"{|A|x|}{|B|{{A}}|}", kTmlOk, 0},
        {"{{A Iterate=Fixed:0:0 Wrap=commas:1 Indent=ABSOLUTE:0 Trim=STATIC}}", kTmlOk, 0},
    };
    for (const auto& c : cases)
    {
        const TCompileResult result = Compile(c.text);
        EXPECT_EQ(result.code, c.code) << c.text;
        EXPECT_EQ(result.position, c.position) << c.text;
    }
    EXPECT_EQ(Compile("{{A Colour=red}}", true).code, kTmlUnknownParameter);
    EXPECT_EQ(Compile("{{A Colour=red}}", true).position, 5);
}

TEST(TmlCompileTest, RenderTmlRaisesWithTextAndPosition)
{
    const struct
    {
        std::string text;
        std::string message;
    } cases[] = {
        {"{{A Render=Sometimes}}", "Invalid parameter value. Position: 12"},
        {"{|X|a|}{|X|b|}", "Block name already exists. Position: 10"},
        {"ab|}", "Unexpected end of the block. Position: 3"},
        {"ab{{Name Indent=8", "Unterminated variable. Position: 5"},
    };
    for (const auto& c : cases)
    {
        try
        {
            Render(c.text);
            ADD_FAILURE() << "no exception for " << c.text;
        }
        catch (const ETmlError& error)
        {
            EXPECT_EQ(error.what(), c.message);
        }
    }
}

TEST(TmlCompileTest, ErrorTexts)
{
    EXPECT_EQ(TmlErrorText(0), "OK.");
    EXPECT_EQ(TmlErrorText(-1), "Unknown error.");
    EXPECT_EQ(TmlErrorText(12), "Parameter name or \"}}\" are expected.");
    EXPECT_EQ(TmlErrorText(13), "\"}\" character is expected.");
    EXPECT_EQ(TmlErrorText(24), "Output stream is not assigned.");
    EXPECT_EQ(TmlErrorText(99), "Undefined error code: 99");
    EXPECT_EQ(TmlErrorText(-7), "Undefined error code: -7");
}

TEST(TmlInserterTest, RendersRepeatedlyAndReportsMissingArguments)
{
    TTmlInserter inserter;
    inserter.SetTemplate("{{A}}-{|B Indent=3|{{A}}|}{{B}}");
    ASSERT_EQ(inserter.ErrorCode(), kTmlOk);
    EXPECT_EQ(inserter.BlockCount(), 1);
    TOptionsList first = MakeList({{"A", "1\n2"}});
    TOptionsList second = MakeList({{"A", "x"}});
    TOLVarsSource firstSource(first, "/");
    TOLVarsSource secondSource(second, "/");
    TMemoryStream out1;
    TMemoryStream out2;
    inserter.RenderInto(&firstSource, &out1);
    inserter.RenderInto(&secondSource, &out2);
    // The second rendering starts again at column 1 with no indent.
    EXPECT_EQ(out1.AsString(), "1\n2-1\n   2");
    EXPECT_EQ(out2.AsString(), "x-x");

    inserter.RenderInto(nullptr, &out1);
    EXPECT_EQ(inserter.ErrorCode(), kTmlNoVarsSource);
    EXPECT_EQ(inserter.ErrorPosition(), 1);
    inserter.RenderInto(&firstSource, nullptr);
    EXPECT_EQ(inserter.ErrorCode(), kTmlNoOutputStream);

    // A template that failed to compile renders nothing and keeps its error.
    inserter.SetTemplate("x|}");
    TMemoryStream out3;
    inserter.RenderInto(&firstSource, &out3);
    EXPECT_EQ(inserter.ErrorCode(), kTmlUnexpectedBlockEnd);
    EXPECT_EQ(out3.Size(), 0);
}

TEST(TmlInserterTest, CancelStopsRendering)
{
    TTmlInserter inserter;
    // Enough nested work to run well past the first 200 ms poll of the callback.
    inserter.SetTemplate(
        "{|A Iterate=Fixed:0:999|{{B}}|}{|B Iterate=Fixed:0:999|{{C}}|}{|C Iterate=Fixed:0:999|.|}{{A}}");
    int asked = 0;
    inserter.OnCancel = [&]
    {
        ++asked;
        return true;
    };
    TOptionsList vars;
    TOLVarsSource source(vars, "/");
    TMemoryStream out;
    inserter.RenderInto(&source, &out);
    EXPECT_EQ(inserter.ErrorCode(), kTmlCancelled);
    EXPECT_EQ(asked, 1);
    EXPECT_GT(inserter.ErrorPosition(), 0);
}

} // namespace
} // namespace wardlark
