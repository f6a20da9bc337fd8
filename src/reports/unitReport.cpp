#include "reports/unitReport.h"

#include "config/unitDataStreaming.h"
#include "support/unitTextRoutines.h"

#include <cmath>

namespace wardlark
{

namespace
{

constexpr int64_t kMsPerDay = 86400000;

// Empty once bytes 0 to 32 are trimmed from both ends.
bool IsBlank(const std::string& text)
{
    for (const char c : text)
        if (static_cast<unsigned char>(c) > ' ')
            return false;
    return true;
}

std::string EscapeHtml(const std::string& text)
{
    std::string escaped;
    escaped.reserve(text.size());
    for (const char c : text)
        switch (c)
        {
        case '&':
            escaped += "&amp;";
            break;
        case '<':
            escaped += "&lt;";
            break;
        case '>':
            escaped += "&gt;";
            break;
        case '"':
            escaped += "&quot;";
            break;
        default:
            escaped += c;
        }
    return escaped;
}

} // namespace

bool TReport::IsActiveTime(TDateTime t) const
{
    int32_t day = 0;
    int32_t ms = 0;
    if (!SplitDateTime(t, day, ms) || !std::isfinite(Time) || Time > 2)
        return false;
    return ms >= std::llround(Time * static_cast<double>(kMsPerDay));
}

bool TReport::IsDue(TDateTime now) const
{
    int32_t day = 0;
    int32_t ms = 0;
    if (!Enabled || !SplitDateTime(now, day, ms))
        return false;
    return IsActiveTime(now) && IsActiveDate(day) && LastRunDay != day;
}

std::string TReport::ScheduleText() const
{
    return ShortDateText(StartDate) + " [" + TimeOfDayText(Time) + "] " + RecurrenceText();
}

std::string TReport::ScheduleHtml() const
{
    return "<b>Start Date:</b> " + ShortDateText(StartDate) + "<br>\r\n<b>Time:</b> " + TimeOfDayText(Time) +
           "<br>\r\n<b>Recurrence:</b> " + WrapForHtml(RecurrenceText());
}

std::string TReport::DeliveryText() const
{
    std::string text;
    if (SaveReport && !IsBlank(SaveFolder))
        text = "Save to: " + SaveFolder;
    if (SendReport && !IsBlank(Recipients))
        text += (text.empty() ? "Send to: " : "; Send to: ") + Recipients;
    return text;
}

std::string TReport::DeliveryHtml() const
{
    std::string text;
    if (SaveReport && !IsBlank(SaveFolder))
        text = "<b>Save To:</b> " + EscapeHtml(SaveFolder);
    if (SendReport && !IsBlank(Recipients))
        text += (text.empty() ? "<b>Send To:</b> " : "<br><b>Send To:</b> ") + EscapeHtml(Recipients);
    return text;
}

std::string TReport::PeriodText() const
{
    return ReplaceAll(Period, "\"N\"", std::to_string(PreviousDays));
}

void TReport::Clear()
{
    TNamedObject::Clear();
    static_cast<TRecurrence&>(*this) = TRecurrence();
    Enabled = false;
    Title.clear();
    ArchiveName.clear();
    Time = 0;
    Period = kReportPeriods[0];
    PreviousDays = 1;
    SaveReport = false;
    SaveFolder.clear();
    SendReport = false;
    Recipients.clear();
    Subject.clear();
    Message.clear();
    LastRunDay = 0;
    ReservedInteger = 0;
    LastRunLog.clear();
    ReservedText.clear();
}

void TReport::Assign(const TNamedObject& other)
{
    TNamedObject::Assign(other);
    if (const auto* source = dynamic_cast<const TReport*>(&other))
    {
        if (source == this)
            return;
        static_cast<TRecurrence&>(*this) = *source;
        Enabled = source->Enabled;
        Title = source->Title;
        ArchiveName = source->ArchiveName;
        Time = source->Time;
        Period = source->Period;
        PreviousDays = source->PreviousDays;
        SaveReport = source->SaveReport;
        SaveFolder = source->SaveFolder;
        SendReport = source->SendReport;
        Recipients = source->Recipients;
        Subject = source->Subject;
        Message = source->Message;
        LastRunDay = source->LastRunDay;
        ReservedInteger = source->ReservedInteger;
        LastRunLog = source->LastRunLog;
        ReservedText = source->ReservedText;
    }
}

int64_t TReport::StreamSize() const
{
    return TNamedObject::StreamSize() + 14 * kTypedIntegerSize + 2 * kTypedDoubleSize + TypedWideStringSize(Title) +
           TypedStringSize(ArchiveName) + TypedStringSize(OrdinalWeekday) + TypedStringSize(Period) +
           TypedStringSize(SaveFolder) + TypedStringSize(Recipients) + TypedWideStringSize(Subject) +
           TypedWideStringSize(Message) + TypedStringSize(LastRunLog) + TypedStringSize(ReservedText);
}

void TReport::SaveToStream(TStream& stream) const
{
    TNamedObject::SaveToStream(stream);
    WriteTypedInteger(stream, Enabled ? 1 : 0);
    WriteTypedWideString(stream, Title);
    WriteTypedString(stream, ArchiveName);
    WriteTypedDouble(stream, StartDate);
    WriteTypedDouble(stream, Time);
    WriteTypedInteger(stream, Recurrence);
    WriteTypedInteger(stream, WeekDays);
    WriteTypedInteger(stream, Months);
    WriteTypedInteger(stream, DailyMode);
    WriteTypedInteger(stream, MonthlyMode);
    WriteTypedInteger(stream, DayOfMonth);
    WriteTypedString(stream, OrdinalWeekday);
    WriteTypedInteger(stream, EveryNDays);
    WriteTypedInteger(stream, EveryNWeeks);
    WriteTypedString(stream, Period);
    WriteTypedInteger(stream, PreviousDays);
    WriteTypedInteger(stream, SaveReport ? 1 : 0);
    WriteTypedString(stream, SaveFolder);
    WriteTypedInteger(stream, SendReport ? 1 : 0);
    WriteTypedString(stream, Recipients);
    WriteTypedWideString(stream, Subject);
    WriteTypedWideString(stream, Message);
    WriteTypedInteger(stream, LastRunDay);
    WriteTypedInteger(stream, ReservedInteger);
    WriteTypedString(stream, LastRunLog);
    WriteTypedString(stream, ReservedText);
}

void TReport::LoadFromStream(TStream& stream)
{
    TNamedObject::LoadFromStream(stream);
    Enabled = ReadTypedInteger(stream) != 0;
    Title = ReadTypedWideString(stream);
    ArchiveName = ReadTypedString(stream);
    StartDate = ReadTypedDouble(stream);
    Time = ReadTypedDouble(stream);
    Recurrence = ReadTypedInteger(stream);
    WeekDays = ReadTypedInteger(stream);
    Months = ReadTypedInteger(stream);
    DailyMode = ReadTypedInteger(stream);
    MonthlyMode = ReadTypedInteger(stream);
    DayOfMonth = ReadTypedInteger(stream);
    OrdinalWeekday = ReadTypedString(stream);
    EveryNDays = ReadTypedInteger(stream);
    EveryNWeeks = ReadTypedInteger(stream);
    Period = ReadTypedString(stream);
    PreviousDays = ReadTypedInteger(stream);
    SaveReport = ReadTypedInteger(stream) != 0;
    SaveFolder = ReadTypedString(stream);
    SendReport = ReadTypedInteger(stream) != 0;
    Recipients = ReadTypedString(stream);
    Subject = ReadTypedWideString(stream);
    Message = ReadTypedWideString(stream);
    LastRunDay = ReadTypedInteger(stream);
    ReservedInteger = ReadTypedInteger(stream);
    LastRunLog = ReadTypedString(stream);
    ReservedText = ReadTypedString(stream);
}

// --- TReportList ---------------------------------------------------------------------------

TReport* TReportList::Report(int index) const
{
    return static_cast<TReport*>(Item(index));
}

TReport* TReportList::FirstDue(TDateTime now) const
{
    for (int i = 0; i < Count(); ++i)
        if (Report(i)->IsDue(now))
            return Report(i);
    return nullptr;
}

void TReportList::AssignFrom(const TReportList& source)
{
    if (&source == this)
        return;
    BeginUpdate();
    Clear();
    for (int i = 0; i < source.Count(); ++i)
    {
        auto copy = std::make_unique<TReport>();
        copy->Assign(*source.Report(i));
        std::unique_ptr<TNamedObject> record = std::move(copy);
        Add(record);
    }
    EndUpdate();
}

std::unique_ptr<TNamedObject> TReportList::CreateItem() const
{
    return std::make_unique<TReport>();
}

} // namespace wardlark
