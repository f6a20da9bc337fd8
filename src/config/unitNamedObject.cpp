#include "config/unitNamedObject.h"

#include "config/unitDataStreaming.h"
#include "support/unitFileStream.h"

#include <algorithm>

namespace wardlark
{

namespace
{

// A save or load in progress: sets the list's flag, sends the begin code and opens an update;
// the end closes the update, clears the flag and sends the end code, also when an exception
// leaves the operation.
class TListBracket
{
public:
    TListBracket(TNamedObjectList& list, bool& flag, int beginCode, int endCode)
        : list_(list), flag_(flag), endCode_(endCode)
    {
        flag_ = true;
        list_.Notify(nullptr, beginCode);
        list_.BeginUpdate();
    }
    ~TListBracket()
    {
        list_.EndUpdate();
        flag_ = false;
        list_.Notify(nullptr, endCode_);
    }
    TListBracket(const TListBracket&) = delete;
    TListBracket& operator=(const TListBracket&) = delete;

private:
    TNamedObjectList& list_;
    bool& flag_;
    const int endCode_;
};

} // namespace

// --- TNamedObject --------------------------------------------------------------------------

void TNamedObject::Clear()
{
    ID = -1;
    Name.clear();
    Tag = nullptr;
}

void TNamedObject::Assign(const TNamedObject& other)
{
    Owner = other.Owner;
    ID = other.ID;
    Name = other.Name;
    Tag = other.Tag;
}

int64_t TNamedObject::StreamSize() const
{
    return kTypedIntegerSize + TypedStringSize(Name);
}

void TNamedObject::SaveToStream(TStream& stream) const
{
    WriteTypedInteger(stream, ID);
    WriteTypedString(stream, Name);
}

void TNamedObject::LoadFromStream(TStream& stream)
{
    ID = ReadTypedInteger(stream);
    Name = ReadTypedString(stream);
}

void TNamedObject::SaveToFile(const std::string& path) const
{
    TMemoryStream buffer(static_cast<int32_t>(StreamSize()));
    SaveToStream(buffer);
    buffer.SaveToFile(path, 1, 0);
}

void TNamedObject::LoadFromFile(const std::string& path)
{
    TFileStream file(path, TFileMode::ReadDenyWrite);
    LoadFromStream(file);
}

// --- TNamedObjectList ----------------------------------------------------------------------

TNamedObjectList::~TNamedObjectList()
{
    // Records go last to first, as Clear frees them, but nobody is told any more.
    while (!items_.empty())
        items_.pop_back();
}

TNamedObject* TNamedObjectList::Item(int index) const
{
    return index >= 0 && index < Count() ? items_[static_cast<size_t>(index)].get() : nullptr;
}

int TNamedObjectList::Add(std::unique_ptr<TNamedObject>& record)
{
    if (!record)
        return naContinue;
    if (Notify(record.get(), nfAdding) == naTakeOver)
        return naTakeOver;
    TNamedObject* added = record.get();
    added->Owner = this;
    items_.push_back(std::move(record));
    if (Notify(added, nfAdded) == naTakeOver)
    {
        added->Owner = nullptr;
        const int index = IndexOf(added);
        if (index >= 0)
        {
            record = std::move(items_[static_cast<size_t>(index)]);
            items_.erase(items_.begin() + index);
        }
        return naTakeOver;
    }
    return naContinue;
}

TNamedObject* TNamedObjectList::Add(std::unique_ptr<TNamedObject>&& record)
{
    std::unique_ptr<TNamedObject> held = std::move(record);
    TNamedObject* raw = held.get();
    return Add(held) == naContinue ? raw : nullptr;
}

void TNamedObjectList::RemoveAt(size_t index)
{
    TNamedObject* record = items_[index].get();
    Notify(record, nfRemoving);
    // A subscriber may have changed the list while told; find the record again.
    const int current = IndexOf(record);
    if (current < 0)
        return;
    std::unique_ptr<TNamedObject> taken = std::move(items_[static_cast<size_t>(current)]);
    items_.erase(items_.begin() + current);
    if (Notify(record, nfRemoved) == naTakeOver)
        static_cast<void>(taken.release()); // the subscriber owns it now
}

void TNamedObjectList::RemoveByID(int32_t id)
{
    for (size_t i = 0; i < items_.size(); ++i)
        if (items_[i]->ID == id)
        {
            RemoveAt(i);
            return;
        }
}

void TNamedObjectList::Remove(TNamedObject* record)
{
    const int index = IndexOf(record);
    if (index >= 0)
        RemoveAt(static_cast<size_t>(index));
}

void TNamedObjectList::Clear()
{
    while (!items_.empty())
        items_.pop_back();
    Notify(nullptr, nfClear);
}

TNamedObject* TNamedObjectList::FindByID(int32_t id) const
{
    for (const auto& item : items_)
        if (item->ID == id)
            return item.get();
    return nullptr;
}

TNamedObject* TNamedObjectList::FindByName(const std::string& name) const
{
    for (const auto& item : items_)
        if (item->Name == name)
            return item.get();
    return nullptr;
}

int TNamedObjectList::IndexOf(const TNamedObject* record) const
{
    for (size_t i = 0; i < items_.size(); ++i)
        if (items_[i].get() == record)
            return static_cast<int>(i);
    return -1;
}

void TNamedObjectList::Subscribe(void* subscriber, TNotifyCallback callback)
{
    if (subscriber == nullptr || !callback)
        return;
    for (const auto& existing : subscribers_)
        if (existing.object == subscriber)
            return;
    subscribers_.push_back({subscriber, std::move(callback)});
}

int TNamedObjectList::Notify(TNamedObject* record, int code)
{
    int answer = naContinue;
    // A copy, so that a callback may subscribe or unsubscribe while it is told.
    const std::vector<TSubscriber> subscribers = subscribers_;
    for (const auto& subscriber : subscribers)
    {
        try
        {
            answer = subscriber.callback(subscriber.object, record, code);
        }
        catch (...)
        {
            continue;
        }
        if (answer == naStop)
            return naStop;
    }
    return answer;
}

void TNamedObjectList::BeginUpdate()
{
    if (updateCount_++ == 0)
        Notify(nullptr, nfBeginUpdate);
}

void TNamedObjectList::EndUpdate()
{
    if (updateCount_ == 0)
        return;
    if (--updateCount_ == 0)
        Notify(nullptr, nfEndUpdate);
}

int64_t TNamedObjectList::StreamSize() const
{
    int64_t size = 0;
    for (const auto& item : items_)
        size += item->StreamSize();
    return size;
}

void TNamedObjectList::WriteRecords(TStream& stream) const
{
    for (const auto& item : items_)
        item->SaveToStream(stream);
}

int TNamedObjectList::ReadRecords(TStream& stream, int count)
{
    int read = 0;
    while ((count < 0 || read < count) && stream.Position() < stream.Size())
    {
        std::unique_ptr<TNamedObject> record = CreateItem();
        record->LoadFromStream(stream); // a failure frees the record and raises
        Add(record);
        ++read;
    }
    return read;
}

void TNamedObjectList::SaveToStream(TStream& stream)
{
    if (loading_)
        return;
    if (saving_)
    {
        WriteRecords(stream);
        return;
    }
    const TListBracket bracket(*this, saving_, nfSaveBegin, nfSaveEnd);
    WriteRecords(stream);
}

int TNamedObjectList::LoadFromStream(TStream& stream, int count)
{
    if (saving_)
        return 0;
    const TListBracket bracket(*this, loading_, nfLoadBegin, nfLoadEnd);
    return ReadRecords(stream, count);
}

void TNamedObjectList::SaveToFile(const std::string& path, int attempts, int delayMs)
{
    if (saving_ || loading_)
        return;
    const TListBracket bracket(*this, saving_, nfSaveBegin, nfSaveEnd);
    TMemoryStream buffer(static_cast<int32_t>(std::min<int64_t>(StreamSize(), INT32_MAX)));
    WriteRecords(buffer);
    SaveRecordFile(buffer, path, checksum_, attempts, delayMs);
}

int TNamedObjectList::LoadFromFile(const std::string& path, int attempts, int delayMs)
{
    if (saving_ || loading_)
        return 0;
    const TListBracket bracket(*this, loading_, nfLoadBegin, nfLoadEnd);
    Clear();
    const std::unique_ptr<TBlockStream> data = ReadRecordFile(path, checksum_, attempts, delayMs);
    return ReadRecords(*data, -1);
}

std::string TNamedObjectList::NotificationName(int code) const
{
    static const char* const kNames[] = {"None",     "Adding",  "Added", "Removing", "Removed",
                                         "Changing", "Changed", "Clear", "Refresh"};
    return code >= 0 && code < 9 ? kNames[code] : "Unknown";
}

std::unique_ptr<TNamedObject> TNamedObjectList::CreateItem() const
{
    return std::make_unique<TNamedObject>();
}

} // namespace wardlark
