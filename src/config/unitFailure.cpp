#include "config/unitFailure.h"

#include "config/unitDataStreaming.h"

namespace wardlark
{

void TFailure::Clear()
{
    TNamedObject::Clear();
    Status = 0;
    Time = 0;
    StartTime = 0;
    MonitorUIN.clear();
    MonitorName.clear();
    Reason.clear();
    CheckLog.clear();
    Reserved.clear();
}

void TFailure::Assign(const TNamedObject& other)
{
    TNamedObject::Assign(other);
    if (const auto* failure = dynamic_cast<const TFailure*>(&other))
    {
        Status = failure->Status;
        Time = failure->Time;
        StartTime = failure->StartTime;
        MonitorUIN = failure->MonitorUIN;
        MonitorName = failure->MonitorName;
        Reason = failure->Reason;
        CheckLog = failure->CheckLog;
        Reserved = failure->Reserved;
    }
}

int64_t TFailure::StreamSize() const
{
    return TNamedObject::StreamSize() + 2 * kTypedIntegerSize + kTypedDoubleSize + TypedStringSize(MonitorUIN) +
           TypedStringSize(MonitorName) + TypedWideStringSize(Reason) + TypedWideStringSize(CheckLog) +
           TypedStringSize(Reserved);
}

void TFailure::SaveToStream(TStream& stream) const
{
    TNamedObject::SaveToStream(stream);
    WriteTypedInteger(stream, Status);
    WriteTypedDouble(stream, Time);
    WriteTypedInteger(stream, StartTime);
    WriteTypedString(stream, MonitorUIN);
    WriteTypedString(stream, MonitorName);
    WriteTypedWideString(stream, Reason);
    WriteTypedWideString(stream, CheckLog);
    WriteTypedString(stream, Reserved);
}

void TFailure::LoadFromStream(TStream& stream)
{
    TNamedObject::LoadFromStream(stream);
    Status = ReadTypedInteger(stream);
    Time = ReadTypedDouble(stream);
    StartTime = ReadTypedInteger(stream);
    MonitorUIN = ReadTypedString(stream);
    MonitorName = ReadTypedString(stream);
    Reason = ReadTypedWideString(stream);
    CheckLog = ReadTypedWideString(stream);
    Reserved = ReadTypedString(stream);
}

int TFailureList::LoadFromStream(TStream& stream, int count)
{
    return ReadRecords(stream, count);
}

std::unique_ptr<TNamedObject> TFailureList::CreateItem() const
{
    return std::make_unique<TFailure>();
}

} // namespace wardlark
