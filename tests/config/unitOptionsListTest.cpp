#include "config/unitOptionsList.h"
#include "config/unitMultiOptions.h"
#include "support/unitErrors.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>

using namespace wardlark;

namespace
{

TEST(OptionValues, EncodingEscapesControlHighAndPercentBytes)
{
    const struct
    {
        std::string value;
        std::string stored;
    } cases[] = {
        {"plain123", "plain123"},     {"50%\r\nnext", "50%25%0D%0Anext"},
        {"caf\xC3\xA9", "caf%C3%A9"}, {std::string("a\0b", 3), "a%00b"},
        {"a=b=c", "a=b=c"},           {"\x7F~ ", "\x7F~ "},
    };
    for (const auto& c : cases)
    {
        EXPECT_EQ(EncodeOptionValue(c.value), c.stored);
        EXPECT_EQ(DecodeOptionValue(c.stored), c.value);
    }
}

TEST(OptionValues, DecodingKeepsWhatIsNotAnEscape)
{
    const struct
    {
        const char* stored;
        const char* value;
    } cases[] = {
        {"%41", "A"},     {"x%4G", "x%4G"}, // one digit, then a non-digit
        {"x%4", "x%4"},                     // one digit at the end
        {"x%zz", "x%zz"},                   // two non-digits
        {"x%", "x%"},                       // at the end
        {"x%4a", "x%4a"},                   // lower-case digits are not recognised
    };
    for (const auto& c : cases)
        EXPECT_EQ(DecodeOptionValue(c.stored), c.value) << c.stored;
}

TEST(OptionValues, OlderQuotedForm)
{
    EXPECT_EQ(DecodeOptionValue("%abc%%def%"), "abc%def");
    EXPECT_EQ(DecodeOptionValue("%x%41%4a%"), "xAJ"); // either case of hexadecimal digits
    EXPECT_EQ(DecodeOptionValue("%a=>\x01NULL\x01<=b%"), std::string("a\0b", 3));
    EXPECT_EQ(DecodeOptionValue("%a%zb%"), "a%%zb");
}

TEST(OptionsList, WriteReplacesInPlaceAppendsAndRemoves)
{
    TOptionsList list;
    list.WriteString("Host", "example.org");
    list.WriteString("Port", "80");
    list.WriteString("HOST", "other.org");
    EXPECT_EQ(list.Text(), "HOST=other.org\r\nPort=80"); // replaced in place, under the name written
    EXPECT_EQ(list.ReadString("host"), "other.org");
    list.WriteString("host", "");
    EXPECT_EQ(list.Text(), "Port=80");
    EXPECT_EQ(list.ReadString("Host"), "");
    EXPECT_EQ(list.ReadString("Port"), "80"); // the index follows the removal
    list.WriteString("Missing", "");
    EXPECT_EQ(list.Count(), 1);
}

TEST(OptionsList, ValueWithLineBreaksSurvivesTheText)
{
    TOptionsList list;
    list.WriteString("ScriptText", "line1\r\nline2\n%done");
    TOptionsList copy;
    copy.SetText(list.Text());
    EXPECT_EQ(copy.ReadString("ScriptText"), "line1\r\nline2\n%done");
}

TEST(OptionsList, TextSplitsAtAnyLineBreak)
{
    TOptionsList list;
    list.SetText("a=1\rb=2\nc=3\r\nd=4\r\n");
    EXPECT_EQ(list.Count(), 4);
    EXPECT_EQ(list.ReadString("d"), "4");
}

TEST(OptionsList, BooleansAreExactlyTRUE)
{
    TOptionsList list;
    list.SetText("A=TRUE\r\nB=true\r\nC=1\r\nD=FALSE");
    EXPECT_TRUE(list.ReadBool("A"));
    EXPECT_FALSE(list.ReadBool("B"));
    EXPECT_FALSE(list.ReadBool("C"));
    EXPECT_FALSE(list.ReadBool("D"));
    EXPECT_FALSE(list.ReadBool("Missing"));
    list.WriteBool("E", true);
    EXPECT_EQ(list.Line(4), "E=TRUE");
}

TEST(OptionsList, IntegersFallBackToTheDefault)
{
    TOptionsList list;
    list.SetText("A=42\r\nB=-7\r\nC=12x\r\nD=\r\nE=99999999999\r\nF= 5");
    EXPECT_EQ(list.ReadInteger("A", 1), 42);
    EXPECT_EQ(list.ReadInteger("B", 1), -7);
    EXPECT_EQ(list.ReadInteger("C", 1), 1);
    EXPECT_EQ(list.ReadInteger("D", 1), 1);
    EXPECT_EQ(list.ReadInteger("E", 1), 1);
    EXPECT_EQ(list.ReadInteger("F", 1), 1);
    EXPECT_EQ(list.ReadInteger("Missing", 53280), 53280);
}

TEST(OptionsList, CopyTakesSectionNameAndIndex)
{
    TOptionsList list;
    list.SetSectionName("cpu");
    list.SetSectionIndex(3);
    list.WriteString("Load", "12");
    TOptionsList copy = list;
    EXPECT_EQ(copy.SectionName(), "cpu");
    EXPECT_EQ(copy.SectionIndex(), 3);
    EXPECT_EQ(copy.ReadString("load"), "12");
}

TEST(OptionsList, DefaultSectionNamesFollowTheirPattern)
{
    const std::regex pattern("([0-9]+)6-([0-9]+)2");
    std::set<int> counters;
    for (int i = 0; i < 150; ++i)
    {
        TOptionsList list;
        std::smatch match;
        ASSERT_TRUE(std::regex_match(list.SectionName(), match, pattern)) << list.SectionName();
        EXPECT_LE(std::stoi(match[1]), 999998);
        counters.insert(std::stoi(match[2]));
    }
    EXPECT_EQ(*counters.rbegin(), 99); // the counter wraps after 99
    EXPECT_EQ(counters.size(), 100u);
}

TEST(Passwords, ScrambleRoundTripsAndHasBase64Length)
{
    for (const std::string password : {"", "a", "ab", "abc", "secret-pass", "p\xC3\xA4ss"})
    {
        const std::string stored = ScramblePassword(password);
        EXPECT_EQ(stored.size(), 4 * ((password.size() + 2) / 3)) << password;
        EXPECT_EQ(UnscramblePassword(stored), password);
    }
    EXPECT_EQ(ScramblePassword("QuillFen"), "AAAAAAAAAAA="); // XOR with the key itself
    EXPECT_EQ(MaskPassword("p\xC3\xA4ss"), "****");

    TOptionsList list;
    list.WritePassword("Pass", "hunter2");
    EXPECT_NE(list.ReadString("Pass"), "hunter2");
    EXPECT_EQ(list.ReadPassword("Pass"), "hunter2");
}

TEST(MultiOptions, TextFormRoundTrips)
{
    TMultiOptions bag;
    TOptionsList* cpu = bag.FindOrAddSection("cpu");
    cpu->WriteString("Load", "12%");
    bag.FindOrAddSection("disk C")->WriteString("Free", "100");
    EXPECT_EQ(bag.Text(), "[cpu]\r\nLoad=12%25\r\n\r\n[disk C]\r\nFree=100\r\n\r\n");

    TMultiOptions copy;
    copy.SetText(bag.Text());
    ASSERT_EQ(copy.Count(), 2);
    EXPECT_EQ(copy.FindSection("cpu")->ReadString("Load"), "12%");
    EXPECT_EQ(copy.FindSection("CPU"), nullptr);
    EXPECT_EQ(copy.Section(1)->SectionIndex(), 1);
    EXPECT_EQ(copy.Section(2), nullptr);
    EXPECT_EQ(copy.Section(0)->Owner(), &copy);
}

TEST(MultiOptions, RepeatedHeaderKeepsOnlyTheLastBlock)
{
    TMultiOptions bag;
    bag.SetText("lost=1\r\n[a]\r\nx=1\r\n\r\n[b]\r\ny=2\r\n[a]\r\nz=3\r\n");
    ASSERT_EQ(bag.Count(), 2);
    EXPECT_EQ(bag.Section(0)->SectionName(), "a");
    EXPECT_EQ(bag.Section(0)->Text(), "z=3");
    EXPECT_EQ(bag.Section(1)->Text(), "y=2");
}

TEST(MultiOptions, AssignCopiesThroughTheTextForm)
{
    TMultiOptions bag;
    bag.FindOrAddSection("s")->WriteString("k", "v");
    TMultiOptions copy;
    copy.Assign(bag);
    EXPECT_EQ(copy.Text(), bag.Text());
}

// A plain persist-object list uses the binary framing.
class TOptionsListList : public TPersistObjList
{
protected:
    std::unique_ptr<TPersistObj> CreateItem() const override { return std::make_unique<TOptionsList>(); }
};

TEST(PersistObjList, BinaryFraming)
{
    TOptionsListList list;
    static_cast<TOptionsList*>(list.NewItem())->WriteString("a", "b");
    list.NewItem();
    TMemoryStream stream;
    list.SaveToStream(stream);
    EXPECT_EQ(stream.AsString(), std::string("\x04\x00\x02\x00\x00\x00\x03\x00\x00\x00"
                                             "a=b\x00\x00\x00\x00",
                                             17));

    TOptionsListList copy;
    copy.Assign(list);
    ASSERT_EQ(copy.Count(), 2);
    EXPECT_EQ(static_cast<TOptionsList*>(copy.Item(0))->ReadString("a"), "b");

    TMemoryStream cut;
    cut.LoadFromString(stream.AsString().substr(0, 12));
    EXPECT_THROW(copy.LoadFromStream(cut), EStreamError);
}

} // namespace
