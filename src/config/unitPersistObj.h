#pragma once

#include "support/unitStreams.h"

#include <memory>
#include <string>
#include <vector>

namespace wardlark
{

// An object that writes itself to and reads itself from a stream.
class TPersistObj
{
public:
    virtual ~TPersistObj() = default;
    virtual void SaveToStream(TStream& stream) const = 0;
    virtual void LoadFromStream(TStream& stream) = 0;
};

// An owning list of persistable objects with a binary framing of its own:
//
//   2 bytes  little-endian length, always 4
//   4 bytes  little-endian signed count
//   per object: 4 bytes little-endian signed length N, then N bytes the object wrote
//               (N of 0 or less: no bytes follow)
//
// Reading clears the list and lets each new object (made by CreateItem) read its own bytes
// from a private memory stream. Descendants may replace the framing (TMultiOptions does).
//
// Thread safety: none; a list belongs to one thread at a time.
class TPersistObjList
{
public:
    virtual ~TPersistObjList() = default;
    TPersistObjList() = default;
    TPersistObjList(const TPersistObjList&) = delete;
    TPersistObjList& operator=(const TPersistObjList&) = delete;

    int Count() const { return static_cast<int>(items_.size()); }
    // The item at `index`, or nullptr when out of range.
    TPersistObj* Item(int index) const;
    void Clear() { items_.clear(); }

    // Replaces the content by a copy of `other`, made by writing it to a memory stream and
    // reading it back.
    virtual void Assign(const TPersistObjList& other);
    virtual void SaveToStream(TStream& stream) const;
    // Throws EStreamError ("Error reading data from stream") when the framing is cut short
    // or malformed; the items read before stay.
    virtual void LoadFromStream(TStream& stream);
    // Appends a new item made by CreateItem and returns it.
    virtual TPersistObj* NewItem();

    // Reads the list from `path` (opened for reading, denying writers) or writes it into a
    // created file. Throw EFileError / EStreamError on failure.
    void LoadFromFile(const std::string& path);
    void SaveToFile(const std::string& path) const;

protected:
    virtual std::unique_ptr<TPersistObj> CreateItem() const = 0;

    std::vector<std::unique_ptr<TPersistObj>> items_;
};

} // namespace wardlark
