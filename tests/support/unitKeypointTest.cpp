#include "support/unitKeypoint.h"

#include "support/unitDateRoutines.h"
#include "support/unitSystem.h"

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <sys/file.h>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace wardlark
{
namespace
{

constexpr uint32_t kNoTimedFlush = 0xFFFFFFFFu;

struct TRecord
{
    uint32_t id = 0;
    uint32_t runStamp = 0;
    uint32_t thread = 0;
    int32_t code = 0;
    double time = 0;
};

uint32_t GetUint32(const unsigned char* p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

std::string ReadFile(const std::string& path)
{
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    std::string data(error ? 0 : size, '\0');
    std::ifstream in(path, std::ios::binary);
    in.read(data.data(), static_cast<std::streamsize>(data.size()));
    data.resize(static_cast<size_t>(in.gcount()));
    return data;
}

void WriteFile(const std::string& path, const std::string& content)
{
    std::ofstream(path, std::ios::binary) << content;
}

// Records of the file from byte `from` on; the rest must be whole records.
std::vector<TRecord> ReadRecords(const std::string& path, size_t from = 0)
{
    const std::string data = ReadFile(path);
    EXPECT_GE(data.size(), from);
    EXPECT_EQ((data.size() - from) % 24, 0u);
    std::vector<TRecord> records;
    for (size_t at = from; at + 24 <= data.size(); at += 24)
    {
        const auto* p = reinterpret_cast<const unsigned char*>(data.data() + at);
        TRecord record;
        record.id = GetUint32(p);
        record.runStamp = GetUint32(p + 4);
        record.thread = GetUint32(p + 8);
        record.code = static_cast<int32_t>(GetUint32(p + 12));
        uint64_t bits = 0;
        for (int i = 7; i >= 0; --i)
            bits = bits << 8 | p[16 + i];
        std::memcpy(&record.time, &bits, sizeof bits);
        records.push_back(record);
    }
    return records;
}

int64_t SizeOf(const std::string& path)
{
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    return error ? -1 : static_cast<int64_t>(size);
}

class KeypointTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/wardlark-keypoint-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder_ = std::string(pattern) + "/";
        path_ = folder_ + "keypoints.dat";
    }

    void TearDown() override
    {
        // The facility is process-wide: leave it off for whatever runs next.
        FinishKeypoints();
        std::filesystem::remove_all(folder_);
    }

    std::string folder_;
    std::string path_;
};

TEST_F(KeypointTest, KeepsOnlyNegativeCodesInTheExactRecordLayout)
{
    InitKeypoints(path_, 1000, kNoTimedFlush);
    const TDateTime before = Now();
    AddKeypoint(0x8A0B0C0Du, 0);
    AddKeypoint(0x8A0B0C0Du, 5);
    AddKeypoint(0x8A0B0C0Du, -1);
    FlushKeypoints();
    const TDateTime after = Now();

    const std::string data = ReadFile(path_);
    ASSERT_EQ(data.size(), 24u);
    const uint32_t stamp = KeypointRunStamp();
    const auto* bytes = reinterpret_cast<const unsigned char*>(data.data());
    const unsigned char id[] = {0x0D, 0x0C, 0x0B, 0x8A};
    const unsigned char threadAndCode[] = {0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(0, std::memcmp(bytes, id, sizeof id));
    EXPECT_EQ(GetUint32(bytes + 4), stamp);
    EXPECT_EQ(0, std::memcmp(bytes + 8, threadAndCode, sizeof threadAndCode));
    EXPECT_NE(stamp, 0u);
    EXPECT_LE(TickCount() - stamp, TickCount()); // taken in this boot, not in the future

    const std::vector<TRecord> records = ReadRecords(path_);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_GE(records[0].time, before);
    EXPECT_LE(records[0].time, after);
    EXPECT_GT(records[0].time, EncodeDateTime(2020, 1, 1));
}

// Records must be appended: a flush that truncated the file, or wrote a partly filled buffer,
// shows in the size. A capacity outside 1..100000 must be clamped, not used or refused.
TEST_F(KeypointTest, FullBufferIsAppendedAtOnceWithClampedCapacity)
{
    struct TCase
    {
        int32_t requested;
        int32_t effective;
    };
    const TCase cases[] = {{0, 1}, {-3, 1}, {2, 2}, {1000, 1000}, {200000, 100000}};
    const std::string existing = "7 bytes";
    for (const TCase& c : cases)
    {
        SCOPED_TRACE(c.requested);
        const std::string path = folder_ + "capacity" + std::to_string(c.requested) + ".dat";
        WriteFile(path, existing);
        InitKeypoints(path, c.requested, kNoTimedFlush);
        for (int32_t i = 1; i < c.effective; ++i)
            AddKeypoint(static_cast<uint32_t>(i), -1);
        EXPECT_EQ(SizeOf(path), 7);
        AddKeypoint(static_cast<uint32_t>(c.effective), -1);
        ASSERT_EQ(SizeOf(path), 7 + int64_t{24} * c.effective);

        const std::vector<TRecord> records = ReadRecords(path, existing.size());
        EXPECT_EQ(records.front().id, 1u);
        EXPECT_EQ(records.back().id, static_cast<uint32_t>(c.effective));
        for (const TRecord& record : records)
            ASSERT_EQ(record.runStamp, KeypointRunStamp());
    }
}

TEST_F(KeypointTest, LockedFileKeepsTheBufferAndDropsTheOverflow)
{
    InitKeypoints(path_, 1000, kNoTimedFlush);
    const int holder = open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);

    for (uint32_t i = 0; i < 1000; ++i)
        AddKeypoint(i, -1);
    AddKeypoint(5000, -1);
    AddKeypoint(5001, -1);
    FlushKeypoints();
    EXPECT_EQ(SizeOf(path_), 0);

    close(holder);
    AddKeypoint(6000, -1); // writes the full buffer, then takes its own place
    EXPECT_EQ(SizeOf(path_), 24000);
    FlushKeypoints();

    const std::vector<TRecord> records = ReadRecords(path_);
    ASSERT_EQ(records.size(), 1001u);
    for (uint32_t i = 0; i < 1000; ++i)
        ASSERT_EQ(records[i].id, i);
    EXPECT_EQ(records[1000].id, 6000u);
}

// A write cut short (here by the file size limit) must leave the file as it was and keep the
// records for the next flush, never a partial record.
TEST_F(KeypointTest, ShortWriteRestoresTheFileAndKeepsTheRecords)
{
    const std::string existing(100, 'x');
    WriteFile(path_, existing);
    InitKeypoints(path_, 10, kNoTimedFlush);

    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit limited = saved;
    limited.rlim_cur = 100 + 24 * 3 + 5;
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    for (uint32_t i = 0; i < 10; ++i)
        AddKeypoint(i, -1);
    const int64_t sizeWhileLimited = SizeOf(path_);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &saved), 0);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(sizeWhileLimited, 100);
    EXPECT_EQ(ReadFile(path_), existing);
    FlushKeypoints();
    const std::vector<TRecord> records = ReadRecords(path_, existing.size());
    ASSERT_EQ(records.size(), 10u);
    for (uint32_t i = 0; i < 10; ++i)
        EXPECT_EQ(records[i].id, i);
}

TEST_F(KeypointTest, RecordsCarryTheThreadAndOneRunStamp)
{
    InitKeypoints(path_, 1000, kNoTimedFlush);
    uint32_t workerId = 0;
    std::thread worker(
        [&workerId]
        {
            workerId = CurrentThreadId();
            AddKeypoint(1, -1);
        });
    worker.join();
    AddKeypoint(2, -50);
    FlushKeypoints();

    const std::vector<TRecord> records = ReadRecords(path_);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].id, 1u);
    EXPECT_NE(workerId, 0u);
    EXPECT_EQ(records[0].thread, workerId);
    EXPECT_EQ(records[1].thread, 0u);
    EXPECT_EQ(records[1].code, -50);
    EXPECT_EQ(records[0].runStamp, records[1].runStamp);
}

// The limit is counted under the keypoint lock: threads racing on one identifier must not
// exceed it.
TEST_F(KeypointTest, MaxRepeatsLimitsOneIdentifierFromAnyThread)
{
    InitKeypoints(path_, 1000, kNoTimedFlush);
    for (int i = 0; i < 5; ++i)
    {
        AddKeypoint(10, -1, 3);
        AddKeypoint(20, -1);
    }
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back(
            [&go]
            {
                while (!go)
                    std::this_thread::yield();
                for (int i = 0; i < 200; ++i)
                    AddKeypoint(30, -1, 10);
            });
    go = true;
    for (std::thread& thread : threads)
        thread.join();
    FlushKeypoints();

    std::map<uint32_t, int> counts;
    for (const TRecord& record : ReadRecords(path_))
        ++counts[record.id];
    EXPECT_EQ(counts[10], 3);
    EXPECT_EQ(counts[20], 5);
    EXPECT_EQ(counts[30], 10);
}

TEST_F(KeypointTest, ReinitWritesTheOldBufferAndFailedInitStopsRecording)
{
    const std::string first = folder_ + "first.dat";
    InitKeypoints(first, 1000, kNoTimedFlush);
    AddKeypoint(1, -1);
    AddKeypoint(2, -1);
    InitKeypoints(path_, 1000, kNoTimedFlush);
    EXPECT_EQ(ReadRecords(first).size(), 2u);
    AddKeypoint(3, -1);

    // A folder cannot be made below a regular file.
    InitKeypoints(first + "/sub/keypoints.dat", 1000, kNoTimedFlush);
    EXPECT_EQ(KeypointFileName(), "");
    AddKeypoint(4, -1);
    FlushKeypoints();
    const std::vector<TRecord> records = ReadRecords(path_);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].id, 3u);
    EXPECT_EQ(SizeOf(first), 48);

    InitKeypoints(path_, 1000, kNoTimedFlush);
    FinishKeypoints();
    AddKeypoint(5, -1);
    FlushKeypoints();
    EXPECT_EQ(SizeOf(path_), 24);
}

TEST_F(KeypointTest, NamelessPathUsesTheProgramNameInACreatedFolder)
{
    const std::string folder = folder_ + "a/b/";
    InitKeypoints(folder, 1000, kNoTimedFlush);
    EXPECT_EQ(KeypointFileName(), folder + "WardlarkCoreTests.key");
    AddKeypoint(1, -1);
    FlushKeypoints();
    EXPECT_EQ(SizeOf(folder + "WardlarkCoreTests.key"), 24);
}

TEST_F(KeypointTest, TimeSinceTheLastWriteDecidesAnEarlyWrite)
{
    InitKeypoints(path_, 1000, 60000);
    AddKeypoint(1, -1);
    FlushKeypoints();
    AddKeypoint(2, -1);
    EXPECT_EQ(SizeOf(path_), 24); // the last write was less than a minute ago

    InitKeypoints(path_, 1000, 1);
    EXPECT_EQ(SizeOf(path_), 48);
    SleepMs(5);
    AddKeypoint(3, -1);
    EXPECT_EQ(SizeOf(path_), 72);
}

TEST(KeypointItemsTest, ByteSizeIsRoundedToWholeEntriesAndClamped)
{
    const std::pair<int32_t, int32_t> cases[] = {{6144, 1024}, {6149, 1024}, {125, 20},      {100, 20},
                                                 {0, 20},      {-6, 20},     {60005, 10000}, {70000, 10000}};
    for (const auto& [bytes, entries] : cases)
        EXPECT_EQ(TItems(bytes).Capacity(), entries) << bytes;
    EXPECT_EQ(TItems().Capacity(), 1024);
}

TEST(KeypointItemsTest, KeepsIdentifiersSortedUnsignedAndStopsWhenFull)
{
    TItems items(120);
    const uint32_t ids[] = {0x80000000u, 5, 0xFFFFFFFFu, 1, 7};
    for (const uint32_t id : ids)
    {
        const int32_t index = items.FindOrAdd(id);
        ASSERT_GE(index, 0);
        EXPECT_EQ(items.IdAt(index), id);
        EXPECT_EQ(items.CountAt(index), 0);
        items.SetCountAt(index, static_cast<uint16_t>(id & 0xFF));
    }
    const uint32_t sorted[] = {1, 5, 7, 0x80000000u, 0xFFFFFFFFu};
    ASSERT_EQ(items.Count(), 5);
    for (int32_t i = 0; i < 5; ++i)
        EXPECT_EQ(items.IdAt(i), sorted[i]);

    // The remembered lookup must follow the entries that later inserts shift.
    EXPECT_EQ(items.Find(6), -1);
    EXPECT_EQ(items.FindOrAdd(6), 2);
    EXPECT_EQ(items.Find(6), 2);
    EXPECT_EQ(items.Find(7), 3);
    EXPECT_EQ(items.FindOrAdd(5), 1);
    EXPECT_EQ(items.CountAt(1), 5);

    for (uint32_t id = 100; items.Count() < items.Capacity(); ++id)
        ASSERT_GE(items.FindOrAdd(id), 0);
    EXPECT_EQ(items.FindOrAdd(2), -1);
    EXPECT_EQ(items.Find(0xFFFFFFFFu), items.Count() - 1);
    items.Clear();
    EXPECT_EQ(items.Find(7), -1);
    EXPECT_EQ(items.Count(), 0);
}

} // namespace
} // namespace wardlark
