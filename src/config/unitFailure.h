#pragma once

#include "config/unitNamedObject.h"

#include <cstdint>
#include <string>

namespace wardlark
{

// One failed check, kept in memory for the current run. Its ID stays -1 and its Name empty.
// Streams after ID and Name: Status (integer), Time (double), StartTime (integer),
// MonitorUIN (8-bit), MonitorName (8-bit), Reason (UTF-16), CheckLog (UTF-16), a reserved
// 8-bit text.
class TFailure : public TNamedObject
{
public:
    int32_t Status = 0;    // 2..5
    double Time = 0;       // local date-time when recorded
    int32_t StartTime = 0; // start of the check, seconds since 1970 (local clock)
    std::string MonitorUIN;
    std::string MonitorName;
    std::string Reason;
    std::string CheckLog;
    std::string Reserved;

    void Clear() override;
    void Assign(const TNamedObject& other) override;
    int64_t StreamSize() const override;
    void SaveToStream(TStream& stream) const override;
    void LoadFromStream(TStream& stream) override;
};

// The failures of this run in the order they occurred (start time ascending), which the
// main window's binary search relies on.
class TFailureList : public TNamedObjectList
{
public:
    using TNamedObjectList::TNamedObjectList;

    TFailure* Failure(int index) const { return static_cast<TFailure*>(Item(index)); }
    // Reads failures without the load brackets.
    int LoadFromStream(TStream& stream, int count = -1) override;

protected:
    std::unique_ptr<TNamedObject> CreateItem() const override;
};

} // namespace wardlark
