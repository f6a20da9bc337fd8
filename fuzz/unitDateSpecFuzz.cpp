// Fuzzes date specs and the schedule records that carry them. Input: a mode byte, two
// bytes of year (little-endian, mapped to -20 .. 10029), then the text. An even mode parses the
// text as a date spec (and as the ordinal rule of a monthly schedule); an odd mode
// reads the bytes after the year as a stored maintenance (mode & 2 clear) or report list and
// asks every schedule question of what was read. Nothing may crash, hang or run out of memory,
// and a parsed date must be a whole, finite number.
#include "reports/unitDateSpec.h"
#include "reports/unitMaintenance.h"
#include "reports/unitReport.h"
#include "support/unitErrors.h"
#include "support/unitStreams.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace
{

void AskRecurrence(const wardlark::TRecurrence& rule, double from)
{
    for (int i = 0; i < 40; ++i)
        (void)rule.IsActiveDate(from + i * 9.5);
    (void)rule.RecurrenceText();
    (void)rule.ValidationMessage();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace wardlark;
    if (size < 3)
        return 0;
    const uint8_t mode = data[0];
    const int year = (data[1] | data[2] << 8) % 10050 - 20;
    const std::string text(reinterpret_cast<const char*>(data + 3), size - 3);
    const double start = EncodeDateTime(2013, 1, 1);
    if ((mode & 1) == 0)
    {
        const double result = ParseDateSpec(text, year);
        if (!std::isfinite(result) || result != std::trunc(result))
            abort();
        TRecurrence rule;
        rule.Recurrence = rcMonthly;
        rule.Months = kAllMonths;
        rule.MonthlyMode = mmOrdinalWeekday;
        rule.OrdinalWeekday = text;
        rule.StartDate = start;
        AskRecurrence(rule, start);
        return 0;
    }
    TMemoryStream stream;
    stream.LoadFromString(text);
    if ((mode & 2) == 0)
    {
        TMaintenanceList list;
        try
        {
            list.LoadFromStream(stream);
        }
        catch (const EStreamError&)
        {
        }
        for (int i = 0; i < list.Count(); ++i)
        {
            const TMaintenance* window = list.Maintenance(i);
            AskRecurrence(*window, window->StartDate);
            (void)window->ScheduleHtml();
            (void)window->DisplayName();
            for (const std::string& uin : window->MonitorList())
                (void)list.FindActive(uin, window->StartDate + window->StartTime);
        }
        (void)list.ActiveAt(start);
    }
    else
    {
        TReportList list;
        try
        {
            list.LoadFromStream(stream);
        }
        catch (const EStreamError&)
        {
        }
        for (int i = 0; i < list.Count(); ++i)
        {
            const TReport* report = list.Report(i);
            AskRecurrence(*report, report->StartDate);
            (void)report->ScheduleHtml();
            (void)report->DeliveryHtml();
            (void)report->PeriodText();
            (void)report->IsDue(report->StartDate + report->Time);
        }
        (void)list.FirstDue(start);
    }
    return 0;
}
