#pragma once

#include "support/unitStreams.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace wardlark
{

class TNamedObjectList;

// The base of every persistent record: a numeric and a textual identity. Streams as two
// typed values, ID (integer) then Name (8-bit text); descendants append their own fields.
//
// Thread safety: none; a record belongs to one thread at a time (workers get copies).
class TNamedObject
{
public:
    virtual ~TNamedObject() = default;
    TNamedObject() = default;
    TNamedObject(const TNamedObject&) = delete;
    TNamedObject& operator=(const TNamedObject&) = delete;

    TNamedObjectList* Owner = nullptr; // the list that holds it, set by TNamedObjectList::Add
    int32_t ID = -1;
    std::string Name;    // for monitors the UIN; uniqueness is not enforced
    void* Tag = nullptr; // free slot for the user interface; never stored

    // ID -1, Name empty, Tag none.
    virtual void Clear();
    // Copies Owner, ID, Name and Tag; descendants copy their own fields only when `other`
    // is of their class.
    virtual void Assign(const TNamedObject& other);
    // Bytes the record's typed values occupy.
    virtual int64_t StreamSize() const;
    // Write or read the typed values; errors throw EStreamError (see unitDataStreaming.h).
    virtual void SaveToStream(TStream& stream) const;
    virtual void LoadFromStream(TStream& stream);

    // One record as a whole file. Throw EFileError / EStreamError.
    void SaveToFile(const std::string& path) const;
    void LoadFromFile(const std::string& path);
};

// Change notifications a list sends to its subscribers.
enum TNotification : int
{
    nfNone = 0,
    nfAdding = 1,
    nfAdded = 2,
    nfRemoving = 3,
    nfRemoved = 4,
    nfChanging = 5, // not sent by the list itself
    nfChanged = 6,  // sent by the owners of the list after they changed a record
    nfClear = 7,
    nfRefresh = 8, // not sent by the list itself
    nfBeginUpdate = 9,
    nfEndUpdate = 10,
    nfLoadBegin = 11,
    nfLoadEnd = 12,
    nfSaveBegin = 13,
    nfSaveEnd = 14,
};

// Answers of a subscriber.
enum TNotifyAnswer : int
{
    naContinue = 0, // carry on
    naStop = 1,     // later subscribers are not told; the answer is returned
    naTakeOver = 2, // veto or take over (see TNamedObjectList::Add and Remove)
};

// A subscriber's callback: (subscriber object, record or nullptr, notification) -> answer.
using TNotifyCallback = std::function<int(void* subscriber, TNamedObject* record, int code)>;

struct TSubscriber
{
    void* object = nullptr;
    TNotifyCallback callback;
};

// An owning, ordered list of records that tells its subscribers about every change and can
// store itself in a record file (with ".crc" and ".bkp" companions when the checksum option
// is on).
//
// Ownership: the list frees its records on removal and when cleared, except a record that a
// subscriber takes over by answering naTakeOver to nfRemoved: that subscriber then owns it
// and must delete it.
//
// Thread safety: none; the program touches its lists on the main thread only.
class TNamedObjectList
{
public:
    explicit TNamedObjectList(bool checksum = false) : checksum_(checksum) {}
    virtual ~TNamedObjectList();
    TNamedObjectList(const TNamedObjectList&) = delete;
    TNamedObjectList& operator=(const TNamedObjectList&) = delete;

    int Count() const { return static_cast<int>(items_.size()); }
    // The record at `index`, or nullptr when out of range.
    virtual TNamedObject* Item(int index) const;

    // Sends nfAdding (naTakeOver refuses the record: it stays with the caller and the result
    // is naTakeOver), sets the record's Owner, appends it, sends nfAdded (naTakeOver undoes
    // the addition and hands the record back). On success `record` is moved into the list
    // and the result is naContinue.
    int Add(std::unique_ptr<TNamedObject>& record);
    // Convenience for callers that do not keep refused records.
    TNamedObject* Add(std::unique_ptr<TNamedObject>&& record);

    // Remove the first match: nfRemoving, take it out, nfRemoved, free it unless a subscriber
    // took it over. No match: nothing happens, nothing is sent.
    void RemoveByID(int32_t id);
    void Remove(TNamedObject* record);
    // Frees every record (last to first), then sends nfClear with no record.
    void Clear();

    // The first record with that ID / exactly that Name (case-sensitive), or nullptr.
    virtual TNamedObject* FindByID(int32_t id) const;
    virtual TNamedObject* FindByName(const std::string& name) const;
    int IndexOf(const TNamedObject* record) const;

    // Ignored when the object or callback is missing or the object already subscribes.
    void Subscribe(void* subscriber, TNotifyCallback callback);
    void UnsubscribeAll() { subscribers_.clear(); }
    // Tells every subscriber in turn; returns naStop at once when one answers it, otherwise
    // the last answer (naContinue without subscribers). A callback that throws is skipped.
    int Notify(TNamedObject* record, int code);

    // Nesting counter; nfBeginUpdate and nfEndUpdate at the outer edges. An EndUpdate at
    // count 0 leaves it at 0 and sends nothing.
    void BeginUpdate();
    void EndUpdate();
    int UpdateCount() const { return updateCount_; }

    bool Saving() const { return saving_; }
    bool Loading() const { return loading_; }
    bool Checksum() const { return checksum_; }

    virtual int64_t StreamSize() const;
    // Writes every record in order, bracketed by nfSaveBegin/nfSaveEnd and an update (unless
    // a save already runs); does nothing while a load runs. Errors throw EStreamError.
    virtual void SaveToStream(TStream& stream);
    // Reads records until the stream ends, or `count` records when positive (0 reads none),
    // adding each; bracketed by nfLoadBegin/nfLoadEnd and an update; does nothing (returns
    // 0) while a save runs. A record that fails to read is freed and its error thrown; the
    // records read before it stay. Returns the number read.
    virtual int LoadFromStream(TStream& stream, int count = -1);

    // Record files (see SaveRecordFile / ReadRecordFile); nothing happens while a save or
    // load runs. Saving is bracketed by nfSaveBegin/nfSaveEnd, loading by nfLoadBegin,
    // a Clear, and nfLoadEnd; both by an update. Errors throw EFileError / EStreamError; a
    // failed load keeps the records read before the bad one. LoadFromFile returns the
    // number of records read.
    void SaveToFile(const std::string& path, int attempts, int delayMs);
    int LoadFromFile(const std::string& path, int attempts, int delayMs);

    // "None", "Adding", "Added", "Removing", "Removed", "Changing", "Changed", "Clear",
    // "Refresh", and "Unknown" for every other code.
    virtual std::string NotificationName(int code) const;

protected:
    // A new empty record of the list's item class.
    virtual std::unique_ptr<TNamedObject> CreateItem() const;
    // The record-reading loop without brackets.
    int ReadRecords(TStream& stream, int count);
    // The record-writing loop without brackets.
    void WriteRecords(TStream& stream) const;

private:
    void RemoveAt(size_t index);

    std::vector<std::unique_ptr<TNamedObject>> items_;
    std::vector<TSubscriber> subscribers_;
    int updateCount_ = 0;
    bool saving_ = false;
    bool loading_ = false;
    bool checksum_ = false;
};

} // namespace wardlark
