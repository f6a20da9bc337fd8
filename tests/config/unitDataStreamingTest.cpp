#include "config/unitDataStreaming.h"
#include "support/unitCrc32.h"
#include "support/unitErrors.h"
#include "testFixtures.h"

#include <functional>

using namespace wardlark;

namespace
{

std::string Bytes(std::initializer_list<int> values)
{
    std::string out;
    for (const int v : values)
        out.push_back(static_cast<char>(v));
    return out;
}

TEST(TypedValues, ByteExactLayout)
{
    TMemoryStream stream;
    WriteTypedInteger(stream, 0x01020304);
    WriteTypedString(stream, "abc");
    WriteTypedWideString(stream, "ab");
    WriteTypedDouble(stream, 1.0);
    EXPECT_EQ(stream.AsString(), Bytes({1, 4, 0, 0, 0, 4,   3,   2,   1, //
                                        5, 3, 0, 0, 0, 'a', 'b', 'c',    //
                                        6, 4, 0, 0, 0, 'a', 0,   'b', 0, //
                                        3, 8, 0, 0, 0, 0,   0,   0,   0, 0, 0, 0xF0, 0x3F}));
    stream.Seek(0, soBeginning);
    EXPECT_EQ(ReadTypedInteger(stream), 0x01020304);
    EXPECT_EQ(ReadTypedString(stream), "abc");
    EXPECT_EQ(ReadTypedWideString(stream), "ab");
    EXPECT_EQ(ReadTypedDouble(stream), 1.0);
    EXPECT_EQ(stream.Position(), stream.Size());
}

TEST(TypedValues, WideTextsRoundTripOutsideTheBasicPlane)
{
    const std::string text = "Größe \xE2\x82\xAC \xF0\x9F\x90\xA6"; // umlauts, euro sign, a bird (surrogate pair)
    TMemoryStream stream;
    WriteTypedWideString(stream, text);
    EXPECT_EQ(stream.Size(), TypedWideStringSize(text));
    EXPECT_EQ(TypedWideStringSize(text), 5 + 2 * 10);
    stream.Seek(0, soBeginning);
    EXPECT_EQ(ReadTypedWideString(stream), text);
}

struct ReadErrorCase
{
    const char* name;
    std::string bytes;
    std::function<void(TStream&)> read;
    const char* message;
};

TEST(TypedValues, ReadErrorsCarryTheFixedTexts)
{
    const auto readInt = [](TStream& s) { ReadTypedInteger(s); };
    const auto readText = [](TStream& s) { ReadTypedString(s); };
    const auto readDouble = [](TStream& s) { ReadTypedDouble(s); };
    const ReadErrorCase cases[] = {
        {"empty stream", "", readInt, kErrorReading},
        {"text where an integer belongs", Bytes({5, 3, 0, 0, 0, 'a', 'b', 'c'}), readInt, kErrorIncorrectType},
        {"integer of length 8", Bytes({1, 8, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8}), readInt, kErrorIncorrectSize},
        {"double of length 4", Bytes({3, 4, 0, 0, 0, 1, 2, 3, 4}), readDouble, kErrorIncorrectSize},
        {"cut inside the length", Bytes({1, 4, 0}), readInt, kErrorReading},
        {"cut inside the payload", Bytes({1, 4, 0, 0, 0, 1, 2}), readInt, kErrorReading},
        {"text longer than the stream", Bytes({5, 9, 0, 0, 0, 'a', 'b'}), readText, kErrorReading},
        {"negative text length", Bytes({5, 0xFF, 0xFF, 0xFF, 0xFF}), readText, kErrorReading},
        {"huge text length", Bytes({5, 0xFF, 0xFF, 0xFF, 0x7F, 'a'}), readText, kErrorReading},
    };
    for (const auto& c : cases)
    {
        TMemoryStream stream;
        stream.LoadFromString(c.bytes);
        try
        {
            c.read(stream);
            ADD_FAILURE() << c.name << ": no error";
        }
        catch (const EStreamError& error)
        {
            EXPECT_STREQ(error.what(), c.message) << c.name;
        }
    }
}

TEST(TypedValues, ShortWriteFails)
{
    TMemoryStream full(8, 0, -1);
    try
    {
        WriteTypedInteger(full, 1);
        FAIL() << "no error";
    }
    catch (const EStreamError& error)
    {
        EXPECT_STREQ(error.what(), kErrorWriting);
    }
}

// Record files: the ".crc" companion decides between the data file and its ".bkp" copy.
class RecordFile : public ::testing::Test
{
protected:
    std::string Path() const { return folder_.File("list.dat"); }

    void Save(const std::string& bytes)
    {
        TMemoryStream data;
        data.LoadFromString(bytes);
        SaveRecordFile(data, Path(), true, 1, 0);
    }

    std::string Load() { return ReadRecordFile(Path(), true, 1, 0)->AsString(); }

    test::TTempFolder folder_;
};

TEST_F(RecordFile, SaveWritesDataChecksumAndBackup)
{
    Save("records");
    EXPECT_EQ(test::ReadWholeFile(Path()), "records");
    EXPECT_EQ(test::ReadWholeFile(Path() + ".crc"), std::to_string(Crc32("records")));
    EXPECT_EQ(test::ReadWholeFile(Path() + ".bkp"), "records");
    EXPECT_EQ(Load(), "records");
}

TEST_F(RecordFile, ChecksumDecidesBetweenDataAndBackup)
{
    struct Case
    {
        const char* name;
        const char* data;
        const char* crc; // nullptr: no .crc file
        const char* bkp; // nullptr: no .bkp file
        const char* expected;
    };
    const std::string goodCrc = std::to_string(Crc32("good"));
    const Case cases[] = {
        {"matching checksum keeps the data", "good", goodCrc.c_str(), "backup", "good"},
        {"mismatch loads the backup", "torn", goodCrc.c_str(), "good", "good"},
        {"mismatch without backup keeps the data", "torn", goodCrc.c_str(), nullptr, "torn"},
        {"no checksum file means no test", "torn", nullptr, "good", "torn"},
        {"checksum that is not a number loads the backup", "good", "abc", "backup", "backup"},
        {"missing data with a checksum of another file loads the backup", nullptr, goodCrc.c_str(), "good", "good"},
        {"missing data and the checksum of nothing", nullptr, "0", "good", ""},
    };
    for (const auto& c : cases)
    {
        std::filesystem::remove(Path());
        std::filesystem::remove(Path() + ".crc");
        std::filesystem::remove(Path() + ".bkp");
        if (c.data != nullptr)
            test::WriteWholeFile(Path(), c.data);
        if (c.crc != nullptr)
            test::WriteWholeFile(Path() + ".crc", c.crc);
        if (c.bkp != nullptr)
            test::WriteWholeFile(Path() + ".bkp", c.bkp);
        EXPECT_EQ(Load(), c.expected) << c.name;
    }
}

TEST_F(RecordFile, WithoutChecksumOptionOnlyTheDataFileIsWritten)
{
    TMemoryStream data;
    data.LoadFromString("plain");
    SaveRecordFile(data, Path(), false, 1, 0);
    EXPECT_TRUE(std::filesystem::exists(Path()));
    EXPECT_FALSE(std::filesystem::exists(Path() + ".crc"));
    EXPECT_FALSE(std::filesystem::exists(Path() + ".bkp"));
}

} // namespace
