#include "support/unitStreams.h"
#include "support/unitErrors.h"
#include "support/unitFileStream.h"
#include "testFixtures.h"

#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace wardlark;

namespace
{

const std::string kBytes150(150, 'x');

TEST(MemoryStream, LimitCutsWriteToMaximum)
{
    TMemoryStream stream(0, 100, 0);
    EXPECT_EQ(stream.Write(kBytes150.data(), 150), 100);
    EXPECT_EQ(stream.LastError(), kStreamLimitReached);
    EXPECT_EQ(stream.Size(), 100);
}

TEST(MemoryStream, LimitCutsGrowthRequestButWriteCompletes)
{
    // Automatic growth asks for 10 + 8192 bytes, which the limit cuts to 100.
    TMemoryStream stream(0, 100, 0);
    EXPECT_EQ(stream.Write("0123456789", 10), 10);
    EXPECT_EQ(stream.Size(), 10);
    EXPECT_EQ(stream.Capacity(), 100);
    EXPECT_EQ(stream.LastError(), kStreamLimitReached);
    // The next operation resets the code.
    EXPECT_EQ(stream.Write("ab", 2), 2);
    EXPECT_EQ(stream.LastError(), kStreamOk);
}

TEST(MemoryStream, FixedBufferWritesNothingWhenItWouldOverflow)
{
    TMemoryStream stream(10, 0, -1);
    EXPECT_EQ(stream.Write("01234567890", 11), 0);
    EXPECT_EQ(stream.LastError(), kStreamCannotGrow);
    EXPECT_EQ(stream.Size(), 0);
    EXPECT_EQ(stream.Write("0123456789", 10), 10);
}

TEST(MemoryStream, GrowsGeometricallyAndKeepsContent)
{
    TMemoryStream stream;
    std::string expected;
    for (int i = 0; i < 5000; ++i)
    {
        const std::string piece = std::to_string(i) + ",";
        expected += piece;
        ASSERT_EQ(stream.Write(piece.data(), static_cast<int32_t>(piece.size())), static_cast<int32_t>(piece.size()));
    }
    EXPECT_EQ(stream.AsString(), expected);
    EXPECT_GE(stream.Capacity(), 8192);
}

// Both concrete streams must behave alike for reads, seeks and gaps.
template <typename T>
class AnyMemoryStream : public ::testing::Test
{
};
using StreamTypes = ::testing::Types<TMemoryStream, TBlockStream>;
TYPED_TEST_SUITE(AnyMemoryStream, StreamTypes);

TYPED_TEST(AnyMemoryStream, SeekRules)
{
    TypeParam stream;
    stream.Write("hello", 5);
    EXPECT_EQ(stream.Seek(-1, soBeginning), -1);
    EXPECT_EQ(stream.Position(), 5);
    EXPECT_EQ(stream.Seek(0, 7), -1);
    EXPECT_EQ(stream.Seek(10, soEnd), 15);
    char buffer[4];
    EXPECT_EQ(stream.Read(buffer, 4), 0);
    EXPECT_EQ(stream.Seek(-4, soEnd), 1);
    EXPECT_EQ(stream.Read(buffer, 4), 4);
    EXPECT_EQ(std::string(buffer, 4), "ello");
}

TYPED_TEST(AnyMemoryStream, WriteBeyondEndFillsGapWithZeros)
{
    TypeParam stream;
    stream.Write("ab", 2);
    stream.Seek(5, soBeginning);
    stream.Write("cd", 2);
    EXPECT_EQ(stream.AsString(), std::string("ab\0\0\0cd", 7));
}

TYPED_TEST(AnyMemoryStream, CursorWalksEveryByteThenPointsNowhere)
{
    TypeParam stream;
    const std::string text = "cursor walks";
    stream.Write(text.data(), static_cast<int32_t>(text.size()));
    std::string walked;
    for (stream.SetCursor(0); stream.Cursor() != nullptr; stream.NextByte())
        walked += static_cast<char>(*stream.Cursor());
    EXPECT_EQ(walked, text);
    stream.SetCursor(stream.Size());
    EXPECT_EQ(stream.Cursor(), nullptr);
    stream.SetCursor(-1);
    EXPECT_EQ(stream.Cursor(), nullptr);
}

TYPED_TEST(AnyMemoryStream, SetSizePullsPositionBack)
{
    TypeParam stream;
    stream.Write("0123456789", 10);
    stream.SetSize(4);
    EXPECT_EQ(stream.Position(), 4);
    EXPECT_EQ(stream.AsString(), "0123");
    EXPECT_THROW(stream.SetSize(-1), EStreamError);
}

TYPED_TEST(AnyMemoryStream, FileRoundTripAndLoadLimits)
{
    test::TTempFolder folder;
    TypeParam stream;
    stream.Write(kBytes150.data(), 150);
    stream.SaveToFile(folder.File("data"), 1, 0);
    EXPECT_EQ(test::ReadWholeFile(folder.File("data")), kBytes150);

    TypeParam loaded;
    loaded.LoadFromFile(folder.File("data"), 1, 0);
    EXPECT_EQ(loaded.AsString(), kBytes150);
    EXPECT_EQ(loaded.Position(), 0);
    EXPECT_THROW(loaded.LoadFromFile(folder.File("missing"), 2, 1), EFileError);
}

TEST(BlockStream, HoldsWholeBlocksAndFreesSurplus)
{
    TBlockStream stream(4096);
    const std::string data(10000, 'b');
    EXPECT_EQ(stream.Write(data.data(), 10000), 10000);
    EXPECT_EQ(stream.BlockCount(), 3);
    stream.SetSize(4096);
    EXPECT_EQ(stream.BlockCount(), 1);
    EXPECT_EQ(stream.Size(), 4096);
}

TEST(BlockStream, LimitIsRoundedToWholeBlocks)
{
    TBlockStream stream(64, 100); // limit becomes 128
    const std::string data(200, 'c');
    EXPECT_EQ(stream.Write(data.data(), 200), 128);
    EXPECT_EQ(stream.LastError(), kStreamLimitReached);

    TMemoryStream source;
    source.Write(data.data(), 200);
    TBlockStream small(64, 100);
    try
    {
        small.LoadFromStream(source);
        FAIL() << "expected the load to report missing room";
    }
    catch (const EStreamError& error)
    {
        EXPECT_STREQ(error.what(), "Insufficient memory. 200 bytes needed. Only 128 bytes available.");
    }
    EXPECT_EQ(small.Size(), 128);
}

TEST(BlockStream, ZeroBlockSizeUsesOne)
{
    TBlockStream stream(0);
    EXPECT_EQ(stream.BlockSize(), 1);
    stream.Write("abc", 3);
    EXPECT_EQ(stream.AsString(), "abc");
}

TEST(BlockStream, SaveFromOffset)
{
    TBlockStream stream(4);
    stream.Write("0123456789", 10);
    TMemoryStream target;
    stream.SaveToStream(target, 6);
    EXPECT_EQ(target.AsString(), "6789");
}

TEST(FileStream, LockedFileFailsAfterAttempts)
{
    test::TTempFolder folder;
    const std::string path = folder.File("locked");
    test::WriteWholeFile(path, "x");
    const int holder = open(path.c_str(), O_RDWR);
    ASSERT_EQ(flock(holder, LOCK_EX), 0);
    EXPECT_THROW(TFileStream(path, TFileMode::ReadDenyWrite, 3, 1), EFileError);
    flock(holder, LOCK_UN);
    EXPECT_NO_THROW(TFileStream(path, TFileMode::ReadDenyWrite, 1, 0));
    close(holder);
}

TEST(FileStream, SaveReplacesWholeFileAndLeavesNoTemporary)
{
    test::TTempFolder folder;
    const std::string path = folder.File("target");
    test::WriteWholeFile(path, std::string(1000, 'o'));
    chmod(path.c_str(), 0640);
    TMemoryStream stream;
    stream.LoadFromString("new");
    stream.SaveToFile(path, 1, 0);
    EXPECT_EQ(test::ReadWholeFile(path), "new");
    struct stat info
    {
    };
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u); // permissions survive the replacement
    int entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder.Path()))
        ++entries;
    EXPECT_EQ(entries, 1);
    EXPECT_THROW(stream.SaveToFile(folder.File("no/such/folder/file"), 1, 0), EFileError);
}

} // namespace
