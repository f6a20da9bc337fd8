#include "config/unitPersistObj.h"

#include "support/unitErrors.h"
#include "support/unitFileStream.h"

#include <climits>

namespace wardlark
{

namespace
{

void WriteLE(TStream& stream, uint32_t value, int bytes)
{
    uint8_t buffer[4];
    for (int i = 0; i < bytes; ++i)
        buffer[i] = static_cast<uint8_t>(value >> (8 * i));
    stream.WriteBuffer(buffer, bytes);
}

uint32_t ReadLE(TStream& stream, int bytes)
{
    uint8_t buffer[4] = {};
    stream.ReadBuffer(buffer, bytes);
    uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; --i)
        value = value << 8 | buffer[i];
    return value;
}

} // namespace

TPersistObj* TPersistObjList::Item(int index) const
{
    return index >= 0 && index < Count() ? items_[static_cast<size_t>(index)].get() : nullptr;
}

void TPersistObjList::Assign(const TPersistObjList& other)
{
    if (&other == this)
        return;
    TMemoryStream buffer;
    other.SaveToStream(buffer);
    buffer.Seek(0, soBeginning);
    LoadFromStream(buffer);
}

void TPersistObjList::SaveToStream(TStream& stream) const
{
    WriteLE(stream, 4, 2);
    WriteLE(stream, static_cast<uint32_t>(Count()), 4);
    for (const auto& item : items_)
    {
        TMemoryStream bytes;
        item->SaveToStream(bytes);
        WriteLE(stream, static_cast<uint32_t>(bytes.Size()), 4);
        bytes.SaveToStream(stream);
    }
}

void TPersistObjList::LoadFromStream(TStream& stream)
{
    Clear();
    if (ReadLE(stream, 2) != 4)
        throw EStreamError(kErrorReading);
    const auto count = static_cast<int32_t>(ReadLE(stream, 4));
    for (int32_t i = 0; i < count; ++i)
    {
        const auto length = static_cast<int32_t>(ReadLE(stream, 4));
        TMemoryStream bytes;
        if (length > 0)
        {
            if (length > stream.Size() - stream.Position())
                throw EStreamError(kErrorReading);
            bytes.CopyFrom(stream, length);
            bytes.Seek(0, soBeginning);
        }
        NewItem()->LoadFromStream(bytes);
    }
}

TPersistObj* TPersistObjList::NewItem()
{
    items_.push_back(CreateItem());
    return items_.back().get();
}

void TPersistObjList::LoadFromFile(const std::string& path)
{
    TFileStream file(path, TFileMode::ReadDenyWrite);
    LoadFromStream(file);
}

void TPersistObjList::SaveToFile(const std::string& path) const
{
    TMemoryStream buffer;
    SaveToStream(buffer);
    buffer.SaveToFile(path, 1, 0);
}

} // namespace wardlark
