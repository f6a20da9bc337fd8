#include "reports/unitMaintenance.h"

#include "config/unitDataStreaming.h"

#include <algorithm>
#include <atomic>
#include <cmath>

namespace wardlark
{

namespace
{

constexpr int64_t kMsPerDay = 86400000;

// Bumped whenever the monitors of any window change, so that every list knows its index may
// be stale without each window having to know its list (a copy's Owner may be gone).
std::atomic<uint64_t> monitorsGeneration{1};

// A time of day as milliseconds; nothing for a value that is not finite or lies far outside
// a day (only values from files can).
bool TimeOfDayMs(double timeOfDay, int64_t& ms)
{
    if (!std::isfinite(timeOfDay) || timeOfDay < -2 || timeOfDay > 2)
        return false;
    ms = std::llround(timeOfDay * static_cast<double>(kMsPerDay));
    return true;
}

std::vector<std::string> SplitMonitors(const std::string& text)
{
    std::vector<std::string> uins;
    size_t start = 0;
    while (start < text.size())
    {
        size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos)
            end = text.size();
        size_t first = start;
        size_t last = end;
        while (first < last && (text[first] == ' ' || text[first] == '\t'))
            ++first;
        while (last > first && (text[last - 1] == ' ' || text[last - 1] == '\t'))
            --last;
        if (last > first)
            uins.emplace_back(text, first, last - first);
        start = end + 1;
    }
    std::sort(uins.begin(), uins.end());
    uins.erase(std::unique(uins.begin(), uins.end()), uins.end());
    return uins;
}

} // namespace

void TMaintenance::SetMonitors(std::string text)
{
    monitorList_ = SplitMonitors(text);
    monitors_ = std::move(text);
    monitorsGeneration.fetch_add(1, std::memory_order_relaxed);
}

void TMaintenance::SetMonitorList(std::vector<std::string> uins)
{
    std::string text;
    for (const std::string& uin : uins)
    {
        if (!text.empty())
            text += "\r\n";
        text += uin;
    }
    // Parse the joined text so that blanks and empty entries go as they would from a file.
    SetMonitors(std::move(text));
    text.clear();
    for (const std::string& uin : monitorList_)
    {
        if (!text.empty())
            text += "\r\n";
        text += uin;
    }
    monitors_ = std::move(text);
}

bool TMaintenance::HasMonitor(const std::string& uin) const
{
    return std::binary_search(monitorList_.begin(), monitorList_.end(), uin);
}

bool TMaintenance::IsActiveTime(TDateTime t) const
{
    int32_t day = 0;
    int32_t ms = 0;
    int64_t start = 0;
    int64_t end = 0;
    if (!SplitDateTime(t, day, ms) || !TimeOfDayMs(StartTime, start) || !TimeOfDayMs(EndTime, end))
        return false;
    return start <= ms && ms <= end + 1000;
}

bool TMaintenance::IsActiveAt(TDateTime t) const
{
    int32_t day = 0;
    int32_t ms = 0;
    if (!SplitDateTime(t, day, ms))
        return false;
    // The date test gets the day the time test saw, so that a value a hair before midnight
    // is not judged on one day's date and the next day's time.
    return IsActiveTime(t) && IsActiveDate(day);
}

std::string TMaintenance::ScheduleText() const
{
    return ShortDateText(StartDate) + " [" + TimeOfDayText(StartTime) + " - " + TimeOfDayText(EndTime) + "] " +
           RecurrenceText();
}

std::string TMaintenance::ScheduleHtml() const
{
    return "<b>Start Date:</b> " + ShortDateText(StartDate) + "<br>\r\n<b>Start Time:</b> " + TimeOfDayText(StartTime) +
           "<br>\r\n<b>End Time:</b> " + TimeOfDayText(EndTime) + "<br>\r\n<b>Recurrence:</b> " +
           WrapForHtml(RecurrenceText());
}

std::string TMaintenance::DisplayName() const
{
    return Title.empty() ? ScheduleText() : Title;
}

void TMaintenance::Clear()
{
    TNamedObject::Clear();
    static_cast<TRecurrence&>(*this) = TRecurrence();
    Title.clear();
    StartTime = 0;
    EndTime = 0;
    Reserved.clear();
    FullCover = false;
    PartialCover = false;
    SetMonitors(std::string());
}

void TMaintenance::Assign(const TNamedObject& other)
{
    TNamedObject::Assign(other);
    if (const auto* source = dynamic_cast<const TMaintenance*>(&other))
    {
        if (source == this)
            return;
        static_cast<TRecurrence&>(*this) = *source;
        Title = source->Title;
        StartTime = source->StartTime;
        EndTime = source->EndTime;
        Reserved = source->Reserved;
        FullCover = source->FullCover;
        PartialCover = source->PartialCover;
        monitors_ = source->monitors_;
        monitorList_ = source->monitorList_;
        monitorsGeneration.fetch_add(1, std::memory_order_relaxed);
    }
}

int64_t TMaintenance::StreamSize() const
{
    return TNamedObject::StreamSize() + TypedWideStringSize(Title) + 3 * kTypedDoubleSize + 8 * kTypedIntegerSize +
           TypedStringSize(OrdinalWeekday) + TypedStringSize(monitors_) + TypedStringSize(Reserved);
}

void TMaintenance::SaveToStream(TStream& stream) const
{
    TNamedObject::SaveToStream(stream);
    WriteTypedWideString(stream, Title);
    WriteTypedDouble(stream, StartDate);
    WriteTypedDouble(stream, StartTime);
    WriteTypedDouble(stream, EndTime);
    WriteTypedInteger(stream, Recurrence);
    WriteTypedInteger(stream, WeekDays);
    WriteTypedInteger(stream, Months);
    WriteTypedInteger(stream, DailyMode);
    WriteTypedInteger(stream, MonthlyMode);
    WriteTypedInteger(stream, DayOfMonth);
    WriteTypedString(stream, OrdinalWeekday);
    WriteTypedInteger(stream, EveryNDays);
    WriteTypedInteger(stream, EveryNWeeks);
    WriteTypedString(stream, monitors_);
    WriteTypedString(stream, Reserved);
}

void TMaintenance::LoadFromStream(TStream& stream)
{
    TNamedObject::LoadFromStream(stream);
    Title = ReadTypedWideString(stream);
    StartDate = ReadTypedDouble(stream);
    StartTime = ReadTypedDouble(stream);
    EndTime = ReadTypedDouble(stream);
    Recurrence = ReadTypedInteger(stream);
    WeekDays = ReadTypedInteger(stream);
    Months = ReadTypedInteger(stream);
    DailyMode = ReadTypedInteger(stream);
    MonthlyMode = ReadTypedInteger(stream);
    DayOfMonth = ReadTypedInteger(stream);
    OrdinalWeekday = ReadTypedString(stream);
    EveryNDays = ReadTypedInteger(stream);
    EveryNWeeks = ReadTypedInteger(stream);
    SetMonitors(ReadTypedString(stream));
    Reserved = ReadTypedString(stream);
}

// --- TMaintenanceList ----------------------------------------------------------------------

TMaintenanceList::TMaintenanceList(bool checksum) : TNamedObjectList(checksum)
{
    SubscribeSelf();
}

void TMaintenanceList::SubscribeSelf()
{
    TNamedObjectList::Subscribe(this,
                                [this](void*, TNamedObject*, int)
                                {
                                    indexValid_ = false;
                                    return static_cast<int>(naContinue);
                                });
}

void TMaintenanceList::UnsubscribeAll()
{
    TNamedObjectList::UnsubscribeAll();
    indexValid_ = false;
    SubscribeSelf();
}

TMaintenance* TMaintenanceList::Maintenance(int index) const
{
    return static_cast<TMaintenance*>(Item(index));
}

void TMaintenanceList::RebuildIndex() const
{
    index_.clear();
    indexedGeneration_ = monitorsGeneration.load(std::memory_order_relaxed);
    indexedCount_ = Count();
    for (int i = 0; i < indexedCount_; ++i)
        for (const std::string& uin : Maintenance(i)->MonitorList())
            index_[uin].push_back(i);
    indexValid_ = true;
}

TMaintenance* TMaintenanceList::FindActive(const std::string& uin, TDateTime t) const
{
    if (!indexValid_ || indexedCount_ != Count() ||
        indexedGeneration_ != monitorsGeneration.load(std::memory_order_relaxed))
        RebuildIndex();
    const auto found = index_.find(uin);
    if (found == index_.end())
        return nullptr;
    for (const int position : found->second)
    {
        TMaintenance* window = Maintenance(position);
        // The index is rebuilt on every change it is told of; the check keeps a missed one
        // from answering with a window that no longer lists the monitor.
        if (window != nullptr && window->IsActiveAt(t) && window->HasMonitor(uin))
            return window;
    }
    return nullptr;
}

std::vector<TMaintenance*> TMaintenanceList::ActiveAt(TDateTime t) const
{
    std::vector<TMaintenance*> active;
    for (int i = 0; i < Count(); ++i)
        if (Maintenance(i)->IsActiveAt(t))
            active.push_back(Maintenance(i));
    return active;
}

std::unique_ptr<TNamedObject> TMaintenanceList::CreateItem() const
{
    return std::make_unique<TMaintenance>();
}

} // namespace wardlark
