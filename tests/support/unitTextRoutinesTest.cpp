#include "support/unitTextRoutines.h"

#include "support/unitMD5.h"

#include <gtest/gtest.h>

#include <string>

namespace wardlark
{
namespace
{

struct TextCase
{
    std::string input;
    std::string expected;
};

std::string AllBytes()
{
    std::string bytes;
    for (int i = 0; i < 256; ++i)
        bytes += static_cast<char>(i);
    return bytes;
}

TEST(TextRoutinesTest, Field)
{
    struct Case
    {
        const char* text;
        int n;
        const char* expected;
    };
    const Case cases[] = {
        {"M|10|20|300|400", 0, "M"},
        {"M|10|20|300|400", 4, "400"},
        {"M|10|20|300|400", 5, ""},
        {"M|10|20|300|400", -1, ""},
        {"a||b", 1, ""},
        {"a||b", 2, "b"},
        {"abc|", 1, ""},
        {"", 0, ""},
        {"abc", 0, "abc"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Field(c.text, c.n, '|'), c.expected) << c.text << " " << c.n;
    EXPECT_EQ(Field("1.2.3.4", 2, '.'), "3");
}

TEST(TextRoutinesTest, FieldCount)
{
    struct Case
    {
        const char* text;
        int expected;
    };
    const Case cases[] = {{"", 0}, {"abc", 1}, {"a|b", 2}, {"|", 2}, {"a||", 3}, {"M|10|20|300|400", 5}};
    for (const Case& c : cases)
        EXPECT_EQ(FieldCount(c.text, '|'), c.expected) << c.text;
}

TEST(TextRoutinesTest, FieldsOutsideParens)
{
    const std::string list = "Ann <a@x.org> (Sales, North), bob@y.org";
    EXPECT_EQ(FieldCountOutsideParens(list, ','), 2);
    EXPECT_EQ(FieldOutsideParens(list, 0, ','), "Ann <a@x.org> (Sales, North)");
    EXPECT_EQ(FieldOutsideParens(list, 1, ','), " bob@y.org");
    EXPECT_EQ(FieldOutsideParens(list, 2, ','), "");
    // Parentheses do not nest: the first ")" ends the protected part.
    EXPECT_EQ(FieldCountOutsideParens("((a,b),c),d", ','), 3);
    // An unclosed "(" protects the rest; a lone ")" protects nothing.
    EXPECT_EQ(FieldCountOutsideParens("a,(b,c", ','), 2);
    EXPECT_EQ(FieldCountOutsideParens(")a,b", ','), 2);
    EXPECT_EQ(FieldCountOutsideParens("", ','), 0);
}

TEST(TextRoutinesTest, SubstringBetween)
{
    struct Case
    {
        const char* text;
        const char* after;
        const char* before;
        const char* expected;
    };
    const Case cases[] = {
        {"<Title>Hello World</TITLE>", "<title>", "</title>", "Hello World"},
        {"Version: 1.2 (beta)", "", " (", "Version: 1.2"},
        {"Version: 1.2 (beta)", "version: ", "", "1.2 (beta)"},
        {"Version: 1.2 (beta)", "version: ", "]", "1.2 (beta)"},
        {"Version: 1.2 (beta)", "release", "", ""},
        // "before" is searched only after the "after" marker.
        {"x]a[b]c", "[", "]", "b"},
        // Markers are matched against the lower-cased text, so upper-case markers never match.
        {"ABC", "B", "", ""},
        {"", "", "", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SubstringBetween(c.text, c.after, c.before), c.expected) << c.text << " " << c.after;
}

TEST(TextRoutinesTest, CopyRange)
{
    struct Case
    {
        int from;
        int to;
        const char* expected;
    };
    const Case cases[] = {{2, 4, "bcd"}, {1, 6, "abcdef"}, {0, 2, "ab"}, {5, 10, "ef"},
                          {4, 3, ""},    {7, 9, ""},       {3, 3, "c"},  {-5, -1, ""}};
    for (const Case& c : cases)
        EXPECT_EQ(CopyRange("abcdef", c.from, c.to), c.expected) << c.from << ".." << c.to;
}

TEST(TextRoutinesTest, FindFrom)
{
    struct Case
    {
        const char* pattern;
        const char* text;
        int from;
        bool caseSensitive;
        int expected;
    };
    const Case cases[] = {
        {"b", "abcb", 1, true, 2},   {"b", "abcb", 3, true, 4}, {"b", "abcb", 5, true, 0},
        {"b", "abcb", 0, true, 2},   {"B", "abcb", 1, true, 0}, {"B", "abcb", 1, false, 2},
        {"cB", "ABCB", 2, false, 3}, {"", "abc", 1, true, 0},   {"abcd", "abc", 1, true, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FindFrom(c.pattern, c.text, c.from, c.caseSensitive), c.expected)
            << c.pattern << " in " << c.text << " from " << c.from;
}

TEST(TextRoutinesTest, ReplaceAll)
{
    EXPECT_EQ(ReplaceAll("aaa", "a", "aa"), "aaaaaa"); // inserted text is not rescanned
    EXPECT_EQ(ReplaceAll("abab", "ab", ""), "");
    EXPECT_EQ(ReplaceAll("a.b.c", ".", "::"), "a::b::c");
    EXPECT_EQ(ReplaceAll("aaaa", "aa", "b"), "bb");
    EXPECT_EQ(ReplaceAll("x", "", "y"), "x");
    EXPECT_EQ(ReplaceAll("\r\n\r\n", "\r\n", "<br>"), "<br><br>");
}

TEST(TextRoutinesTest, NameAndValue)
{
    EXPECT_EQ(NameOf("Name=Val=ue"), "Name");
    EXPECT_EQ(ValueOf("Name=Val=ue"), "Val=ue");
    EXPECT_EQ(NameOf("NoEquals"), "NoEquals");
    EXPECT_EQ(ValueOf("NoEquals"), "");
    EXPECT_EQ(NameOf("=x"), "");
    EXPECT_EQ(ValueOf("=x"), "x");
}

TEST(TextRoutinesTest, ZeroPad)
{
    EXPECT_EQ(ZeroPad(5, 3), "005");
    EXPECT_EQ(ZeroPad(1234, 2), "1234");
    EXPECT_EQ(ZeroPad(0, 1), "0");
    EXPECT_EQ(ZeroPad(7, 0), "7");
    EXPECT_EQ(ZeroPad(-5, 3), "-005");
    EXPECT_EQ(ZeroPad(INT64_MIN, 1), "-9223372036854775808");
}

TEST(TextRoutinesTest, CaseMappingKeepsUtf8)
{
    EXPECT_EQ(LowerCase("ÄbC Straße"), "Äbc straße");
    EXPECT_EQ(UpperCase("äbc straße"), "äBC STRAßE");
    EXPECT_TRUE(SameText("Hello", "hELLO"));
    EXPECT_FALSE(SameText("a", "ab"));
    EXPECT_FALSE(SameText("Ä", "ä"));
    EXPECT_FALSE(SameText("@", "`")); // neighbours of the letter ranges are not letters
}

TEST(TextRoutinesTest, Reshaping)
{
    struct Case
    {
        std::string (*function)(std::string_view);
        std::string input;
        std::string expected;
    };
    const Case cases[] = {
        {StripTags, "<b>bold</b> text", "bold text"},
        {StripTags, "a < b", "a "},
        {StripTags, "x>y", "x>y"},
        {CollapseSpaces, "  a \t\r\n b  ", " a b"},
        {CollapseSpaces, std::string("a\0b", 3), "a b"},
        {CollapseSpaces, "", ""},
        {CollapseSpaces, "  ", ""},
        {JoinLines, "a\r\nb", "a b"},
        {JoinLines, "a\rb", "a b"},
        {JoinLines, "a\nb", "ab"},
        {JoinLines, "\r\nx", "x"},
        {JoinLines, "a\r\n\r\nb\r", "a  b "},
        {Capitalize, "hello world", "Hello World"},
        {Capitalize, "a\tb\nc  d", "A\tB\nC  D"},
        {Capitalize, "mIxEd", "MIxEd"},
        {Capitalize, "x\xC2\xA0y", "X\xC2\xA0Y"},
        // 0xA0 is also the tail of "à" (C3 A0): it must not start a word.
        {Capitalize,
         "\xC3\xA0"
         "b",
         "\xC3\xA0"
         "b"},
        {Capitalize, "éa", "éa"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.function(c.input), c.expected) << c.input;
}

TEST(TextRoutinesTest, FormEncoding)
{
    const TextCase encode[] = {
        {"a b", "a+b"},  {"!$&'()*,-.=_", "!$&'()*,-.=_"}, {"~/?#%+:", "%7E%2F%3F%23%25%2B%3A"},
        {"é", "%C3%A9"}, {std::string(1, '\0'), "%00"},
    };
    for (const TextCase& c : encode)
        EXPECT_EQ(FormEncode(c.input), c.expected) << c.input;

    const TextCase decode[] = {
        {"a+b", "a b"}, {"%41%62", "Ab"}, {"%c3%a9", "é"}, {"100%", "100"},
        {"%zzA", "A"},  {"%4", ""},       {"a%4", "a"},    {"%%41", "1"},
    };
    for (const TextCase& c : decode)
        EXPECT_EQ(FormDecode(c.input), c.expected) << c.input;

    EXPECT_EQ(FormDecode(FormEncode(AllBytes())), AllBytes());
}

TEST(TextRoutinesTest, Base64Rfc4648Vectors)
{
    const TextCase cases[] = {{"", ""},
                              {"f", "Zg=="},
                              {"fo", "Zm8="},
                              {"foo", "Zm9v"},
                              {"foob", "Zm9vYg=="},
                              {"fooba", "Zm9vYmE="},
                              {"foobar", "Zm9vYmFy"}};
    for (const TextCase& c : cases)
    {
        EXPECT_EQ(Base64Encode(c.input), c.expected) << c.input;
        EXPECT_EQ(Base64Decode(c.expected), c.input) << c.expected;
    }
    EXPECT_EQ(Base64Encode("\xFB\xFF"), "+/8=");
}

TEST(TextRoutinesTest, Base64LineBreaks)
{
    // 54 bytes fill exactly one line of 72 characters, which still gets its CR LF.
    const std::string line = Base64Encode(std::string(54, 'x'), 72);
    EXPECT_EQ(line.size(), 74u);
    EXPECT_EQ(line.substr(72), "\r\n");
    EXPECT_EQ(Base64Encode("foob", 3), "Zm9\r\nvYg\r\n==");
    EXPECT_EQ(Base64Encode("foobar", 4), "Zm9v\r\nYmFy\r\n");
    EXPECT_EQ(Base64Encode("fo", 76), "Zm8=");

    const std::string all = AllBytes();
    EXPECT_EQ(Base64Decode(Base64Encode(all, 60)), all);
}

TEST(TextRoutinesTest, Base64DecodeStopsCleanly)
{
    const TextCase cases[] = {
        {"Zm9v\r\nYmFy", "foobar"},
        {"Zm9v*YmFy", "foo"}, // invalid byte ends the text
        {"Zm9v YmFy", "foo"}, // so does a blank
        {"Zm9", "fo"},        // missing padding
        {"Zg", "f"},
        {"Z", ""},
        {"Zg==Zm9v", "f"}, // nothing after the padding
        {"\xC3\xA9", ""},
        {"\r\n", ""},
    };
    for (const TextCase& c : cases)
        EXPECT_EQ(Base64Decode(c.input), c.expected) << c.input;
}

TEST(TextRoutinesTest, MD5Rfc1321Vectors)
{
    const TextCase cases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const TextCase& c : cases)
        EXPECT_EQ(MD5Hex(c.input), c.expected) << c.input;

    const std::string digest = MD5Digest("abc");
    ASSERT_EQ(digest.size(), 16u);
    EXPECT_EQ(static_cast<unsigned char>(digest[0]), 0x90);
    EXPECT_EQ(static_cast<unsigned char>(digest[15]), 0x72);
    // Embedded zero bytes are part of the input.
    EXPECT_NE(MD5Hex(std::string("a\0b", 3)), MD5Hex("a"));
}

TEST(TextRoutinesTest, WrapText)
{
    struct Case
    {
        const char* text;
        int width;
        const char* expected;
    };
    const Case cases[] = {
        {"The quick brown fox", 10, "The quick\r\nbrown fox"},
        {"aaaa-bbbb-cccc", 6, "aaaa-\r\nbbbb-\r\ncccc"},
        {"a,b,c,d", 4, "a,b,\r\nc,d"},
        // A blank just past the width still allows the break; it is dropped with its run.
        {"abcde fgh", 5, "abcde\r\nfgh"},
        {"word    next", 6, "word\r\nnext"},
        // Without a break within the width the line breaks at the first chance after it.
        {"abcdefghij klm", 5, "abcdefghij\r\nklm"},
        {"abcd, efg", 4, "abcd,\r\nefg"},
        {"abcdefghij", 5, "abcdefghij"},
        // Existing breaks are kept as they are and restart the count.
        {"one two\r\nthree four", 8, "one two\r\nthree\r\nfour"},
        {"one\ntwo three", 5, "one\ntwo\r\nthree"},
        {"ab\r\r\ncd", 1, "ab\r\r\ncd"},
        // Leading blanks of the first line stay.
        {"  indented text here", 10, "  indented\r\ntext here"},
        {"short", 10, "short"},
        {"no change", 0, "no change"},
        // Width counts characters, not UTF-8 bytes.
        {"äää ööö", 3, "äää\r\nööö"},
        {"", 5, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(WrapText(c.text, c.width), c.expected) << c.text << " / " << c.width;
    EXPECT_EQ(WrapText("a.b c", 3, " "), "a.b\r\nc");
}

} // namespace
} // namespace wardlark
