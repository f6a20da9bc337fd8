#include "config/unitDataStreaming.h"
#include "config/unitFailure.h"
#include "config/unitMonitorOptions.h"
#include "config/unitWardlark.h"
#include "support/unitCrc32.h"
#include "support/unitErrors.h"
#include "testFixtures.h"

#include <regex>
#include <vector>

using namespace wardlark;

namespace
{

std::unique_ptr<TNamedObject> Record(int32_t id, const std::string& name)
{
    auto record = std::make_unique<TNamedObject>();
    record->ID = id;
    record->Name = name;
    return record;
}

// Records every notification as "code:name-of-record".
struct TRecorder
{
    std::vector<std::string> seen;
    int answerTo = -1; // code to answer with `answer`
    int answer = naContinue;

    TNotifyCallback Callback()
    {
        return [this](void*, TNamedObject* record, int code)
        {
            seen.push_back(std::to_string(code) + ":" + (record != nullptr ? record->Name : ""));
            return code == answerTo ? answer : naContinue;
        };
    }
};

TEST(NamedObjectList, AddRemoveAndClearNotify)
{
    TNamedObjectList list;
    TRecorder recorder;
    list.Subscribe(&recorder, recorder.Callback());
    list.Subscribe(&recorder, recorder.Callback()); // a second subscription is ignored
    TNamedObject* a = list.Add(Record(1, "a"));
    list.Add(Record(2, "b"));
    EXPECT_EQ(a->Owner, &list);
    list.RemoveByID(1);
    list.RemoveByID(99); // unknown: nothing happens
    list.Clear();
    EXPECT_EQ(recorder.seen, (std::vector<std::string>{"1:a", "2:a", "1:b", "2:b", "3:a", "4:a", "7:"}));
    EXPECT_EQ(list.Item(-1), nullptr);
    EXPECT_EQ(list.Item(list.Count()), nullptr);
}

TEST(NamedObjectList, VetoOnAddingKeepsTheRecordWithTheCaller)
{
    TNamedObjectList list;
    TRecorder recorder;
    recorder.answerTo = nfAdding;
    recorder.answer = naTakeOver;
    list.Subscribe(&recorder, recorder.Callback());
    auto record = Record(1, "a");
    EXPECT_EQ(list.Add(record), naTakeOver);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->Owner, nullptr);
    EXPECT_EQ(list.Count(), 0);
}

TEST(NamedObjectList, VetoOnAddedUndoesTheAddition)
{
    TNamedObjectList list;
    TRecorder recorder;
    recorder.answerTo = nfAdded;
    recorder.answer = naTakeOver;
    list.Subscribe(&recorder, recorder.Callback());
    auto record = Record(1, "a");
    EXPECT_EQ(list.Add(record), naTakeOver);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->Owner, nullptr);
    EXPECT_EQ(list.Count(), 0);
}

TEST(NamedObjectList, TakeOverOnRemovedHandsTheRecordToTheSubscriber)
{
    TNamedObjectList list;
    std::unique_ptr<TNamedObject> taken;
    list.Subscribe(&taken,
                   [&taken](void*, TNamedObject* record, int code)
                   {
                       if (code != nfRemoved)
                           return int(naContinue);
                       taken.reset(record);
                       return int(naTakeOver);
                   });
    TNamedObject* added = list.Add(Record(5, "kept"));
    list.Remove(added);
    ASSERT_EQ(taken.get(), added);
    EXPECT_EQ(taken->Name, "kept");
}

TEST(NamedObjectList, NotifyAnswers)
{
    TNamedObjectList list;
    int told = 0;
    int first = 0;
    int second = 0;
    int third = 0;
    list.Subscribe(&first,
                   [&](void*, TNamedObject*, int) -> int
                   {
                       ++told;
                       throw std::runtime_error("skipped");
                   });
    list.Subscribe(&second,
                   [&](void*, TNamedObject*, int code)
                   {
                       ++told;
                       return code == nfChanged ? 1 : 2;
                   });
    list.Subscribe(&third,
                   [&](void*, TNamedObject*, int)
                   {
                       ++told;
                       return 0;
                   });
    EXPECT_EQ(list.Notify(nullptr, nfChanged), naStop);
    EXPECT_EQ(told, 2);                                     // the third subscriber is not told after a stop
    EXPECT_EQ(list.Notify(nullptr, nfRefresh), naContinue); // the last answer counts
}

TEST(NamedObjectList, UpdateBracketsNest)
{
    TNamedObjectList list;
    TRecorder recorder;
    list.Subscribe(&recorder, recorder.Callback());
    list.EndUpdate();
    list.BeginUpdate();
    list.BeginUpdate();
    list.EndUpdate();
    list.EndUpdate();
    list.EndUpdate();
    EXPECT_EQ(recorder.seen, (std::vector<std::string>{"9:", "10:"}));
    EXPECT_EQ(list.UpdateCount(), 0);
}

TEST(NamedObjectList, FindByNameIsCaseSensitive)
{
    TNamedObjectList list;
    list.Add(Record(7, "01A3C0B1F2E"));
    EXPECT_NE(list.FindByName("01A3C0B1F2E"), nullptr);
    EXPECT_EQ(list.FindByName("01a3c0b1f2e"), nullptr);
    EXPECT_EQ(list.FindByID(7)->Name, "01A3C0B1F2E");
    EXPECT_EQ(list.NotificationName(nfChanged), "Changed");
    EXPECT_EQ(list.NotificationName(11), "Unknown");
}

TEST(NamedObjectList, StreamBracketsAndCountedLoad)
{
    TNamedObjectList source;
    for (int i = 0; i < 3; ++i)
        source.Add(Record(i, "r" + std::to_string(i)));
    TMemoryStream stream;
    TRecorder saveRecorder;
    source.Subscribe(&saveRecorder, saveRecorder.Callback());
    source.SaveToStream(stream);
    EXPECT_EQ(saveRecorder.seen, (std::vector<std::string>{"13:", "9:", "10:", "14:"}));
    EXPECT_EQ(stream.Size(), source.StreamSize());

    stream.Seek(0, soBeginning);
    TNamedObjectList target;
    EXPECT_EQ(target.LoadFromStream(stream, 2), 2);
    EXPECT_EQ(stream.Position(), source.Item(0)->StreamSize() + source.Item(1)->StreamSize());
    EXPECT_EQ(target.LoadFromStream(stream, 0), 0);
    EXPECT_EQ(target.LoadFromStream(stream), 1);
    EXPECT_EQ(target.Item(2)->Name, "r2");
}

// A monitor with every field set to something distinct.
std::unique_ptr<TWardlark> SampleMonitor(int n)
{
    auto monitor = std::make_unique<TWardlark>();
    monitor->Name = "UIN" + std::to_string(n);
    monitor->ID = MonitorIDOf(monitor->Name);
    monitor->Type = n % kMonitorTypeCount;
    monitor->Enabled = n % 2;
    monitor->InProgress = 1;
    monitor->DisplayName = "Server \xE2\x84\x96" + std::to_string(n);
    monitor->Description = "Beschreibung f\xC3\xBCr " + std::to_string(n);
    monitor->DisplayHost = "host" + std::to_string(n) + ".example.org";
    monitor->DisplayPort = 8000 + n;
    monitor->DisplayAddress = "http://host" + std::to_string(n) + "/";
    monitor->Interval = 1000 * (n + 1);
    monitor->Timeout = 500 + n;
    monitor->AlertState = -2;
    monitor->LastCheckTick = 0xFFFFFFF0u;
    monitor->LastCheckLog = "0|0|12:00:00|Checking\r\n1|1|12:00:01|Failed";
    monitor->ResponseTime = n;
    monitor->Reason = "Timeout";
    monitor->Status = msFailure;
    TOptionsList options;
    options.WriteString(mo::kHost, "host" + std::to_string(n));
    options.WriteBool(mo::kCheckInet, true);
    monitor->TypeOptions[static_cast<size_t>(monitor->Type)] = options.Text();
    monitor->GeneralOptions = "ShowPopup=TRUE\r\nConsequentFailures=3";
    return monitor;
}

TEST(Wardlark, StreamSizeMatchesTheBytesWritten)
{
    auto monitor = SampleMonitor(3);
    TMemoryStream stream;
    monitor->SaveToStream(stream);
    EXPECT_EQ(stream.Size(), monitor->StreamSize());
    // 16 integers, 1 double, 26 8-bit texts and 2 UTF-16 texts: 45 values.
    TWardlark empty;
    EXPECT_EQ(empty.StreamSize(), 16 * 9 + 13 + 26 * 5 + 2 * 5);
}

TEST(Wardlark, RecordCutAfterReasonFailsAndIsNotAdded)
{
    TWardlarkList source;
    source.Add(SampleMonitor(1));
    source.Add(SampleMonitor(2));
    TMemoryStream stream;
    source.SaveToStream(stream);
    // Cut the second record right after its Reason field: Status and the option texts are missing.
    const auto* second = source.Monitor(1);
    const int64_t tail =
        9 /*Status*/ + 5 * 19 + TypedStringSize(second->TypeOptions[2]) - 5 + TypedStringSize(second->GeneralOptions);
    TMemoryStream cut;
    cut.LoadFromString(stream.AsString().substr(0, static_cast<size_t>(stream.Size() - tail)));

    TWardlarkList target;
    try
    {
        target.LoadFromStream(cut);
        FAIL() << "no error";
    }
    catch (const EStreamError& error)
    {
        EXPECT_STREQ(error.what(), kErrorReading);
    }
    ASSERT_EQ(target.Count(), 1);
    EXPECT_EQ(target.Monitor(0)->Name, "UIN1");
}

TEST(Wardlark, CopyOperationsSplitConfigurationAndStatus)
{
    auto source = SampleMonitor(4);
    TWardlark config;
    config.CopyConfiguration(*source);
    EXPECT_EQ(config.DisplayName, source->DisplayName);
    EXPECT_EQ(config.TypeOptions, source->TypeOptions);
    EXPECT_EQ(config.Status, msNotChecked);
    EXPECT_EQ(config.ResponseTime, -1);

    TWardlark status;
    status.CopyStatus(*source);
    EXPECT_EQ(status.Reason, "Timeout");
    EXPECT_EQ(status.LastCheckTick, 0xFFFFFFF0u);
    EXPECT_EQ(status.DisplayName, "");

    source->ResetStatus();
    EXPECT_EQ(source->InProgress, 0);
    EXPECT_EQ(source->AlertState, 0);
    EXPECT_EQ(source->LastCheckLog, "");
    EXPECT_EQ(source->ResponseTime, -1);
    EXPECT_EQ(source->Status, msNotChecked);
}

TEST(Wardlark, NewIdentityFollowsTheDateAndCrc)
{
    TWardlark monitor;
    monitor.AssignNewIdentity();
    EXPECT_TRUE(std::regex_match(monitor.Name, std::regex("[0-9A-F]{10,11}"))) << monitor.Name;
    EXPECT_EQ(monitor.ID, static_cast<int32_t>(Crc32(monitor.Name)));
}

TEST(Wardlark, OptionDefaultsOfMissingKeys)
{
    TWardlark http;
    http.Type = mtHTTP;
    TOptionsList options = http.TypeOptionList();
    EXPECT_EQ(options.ReadInteger(mo::kPort, mo::DefaultPort(mtHTTP)), 80);
    EXPECT_EQ(mo::DefaultPort(mtAgent), 53280);
    EXPECT_FALSE(http.GeneralOptionList().ReadBool(mo::kShowPopup));
    EXPECT_EQ(MonitorTypeLogName(8), "TCP");
    EXPECT_EQ(MonitorTypeProtocol(8), "Custom");
    EXPECT_EQ(MonitorTypeLogName(11), "Unknown");
    EXPECT_EQ(MonitorStatusText(5), "Internet connection failure");
}

class MonitorFile : public ::testing::Test
{
protected:
    std::string Path() const { return folder_.File("wardlarks.dat"); }
    test::TTempFolder folder_;
};

TEST_F(MonitorFile, TenThousandMonitorsRoundTripUnchanged)
{
    TWardlarkList list(true);
    for (int i = 0; i < 10000; ++i)
        list.Add(SampleMonitor(i));
    list.SaveToFile(Path(), 1, 100);
    const std::string saved = test::ReadWholeFile(Path());

    TWardlarkList loaded(true);
    TRecorder recorder;
    loaded.Subscribe(&recorder, recorder.Callback());
    EXPECT_EQ(loaded.LoadFromFile(Path(), 10, 100), 10000);
    EXPECT_EQ(recorder.seen.front(), "11:");
    EXPECT_EQ(recorder.seen.back(), "12:");
    EXPECT_EQ(loaded.Monitor(9999)->DisplayName, list.Monitor(9999)->DisplayName);

    loaded.SaveToFile(folder_.File("again.dat"), 1, 100);
    EXPECT_EQ(test::ReadWholeFile(folder_.File("again.dat")), saved);
}

TEST_F(MonitorFile, CorruptDataFallsBackToTheBackup)
{
    TWardlarkList list(true);
    for (int i = 0; i < 3; ++i)
        list.Add(SampleMonitor(i));
    list.SaveToFile(Path(), 1, 100);
    // A crash mid-save: the data file is torn, its companions still describe the old list.
    std::string torn = test::ReadWholeFile(Path());
    test::WriteWholeFile(Path(), torn.substr(0, torn.size() / 2));

    TWardlarkList loaded(true);
    EXPECT_EQ(loaded.LoadFromFile(Path(), 1, 0), 3);

    // Without the companions the torn file is reported and what was read before stays.
    std::filesystem::remove(Path() + ".crc");
    EXPECT_THROW(loaded.LoadFromFile(Path(), 1, 0), EStreamError);
    EXPECT_EQ(loaded.Count(), 1);
    EXPECT_FALSE(loaded.Loading());
}

TEST_F(MonitorFile, MissingFileLoadsEmpty)
{
    TWardlarkList list(true);
    list.Add(SampleMonitor(1));
    EXPECT_EQ(list.LoadFromFile(Path(), 1, 0), 0);
    EXPECT_EQ(list.Count(), 0);
}

TEST(Failure, RoundTrip)
{
    TFailureList list;
    auto failure = std::make_unique<TFailure>();
    failure->Status = msInetFailure;
    failure->Time = 46000.5;
    failure->StartTime = 1765000000;
    failure->MonitorUIN = "01AC0B1234";
    failure->MonitorName = "Web";
    failure->Reason = "Zeit\xC3\xBC"
                      "berschreitung";
    failure->CheckLog = "1|0|10:00:00|Timeout";
    list.Add(std::move(failure));
    TMemoryStream stream;
    list.SaveToStream(stream);
    EXPECT_EQ(stream.Size(), list.StreamSize());
    stream.Seek(0, soBeginning);
    TFailureList copy;
    EXPECT_EQ(copy.LoadFromStream(stream), 1);
    const TFailure* read = copy.Failure(0);
    EXPECT_EQ(read->ID, -1);
    EXPECT_EQ(read->Status, msInetFailure);
    EXPECT_EQ(read->Time, 46000.5);
    EXPECT_EQ(read->Reason, "Zeit\xC3\xBC"
                            "berschreitung");
    EXPECT_EQ(read->CheckLog, "1|0|10:00:00|Timeout");
}

} // namespace
