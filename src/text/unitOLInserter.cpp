#include "text/unitOLInserter.h"

#include "config/unitOptionsList.h"
#include "support/unitStreams.h"

#include <algorithm>
#include <limits>

namespace wardlark
{

namespace
{

constexpr int64_t kMinOutputLimit = int64_t{16} << 20;
constexpr int64_t kOutputPerInputByte = 64;
constexpr int64_t kStepsPerOutputByte = 16;
constexpr int64_t kMinVariablesEstimate = 1024;

int64_t VariablesSize(const TOptionsList& variables)
{
    int64_t total = 0;
    for (int i = 0; i < variables.Count(); ++i)
        total += static_cast<int64_t>(variables.Line(i).size());
    return total;
}

} // namespace

TOLVarsSource::TOLVarsSource(const TOptionsList& list, std::string delimiter)
    : list_(list), delimiter_(std::move(delimiter))
{
}

bool TOLVarsSource::Inquire(std::string_view name)
{
    const std::string value = list_.ReadString(name);
    return !value.empty() && value != "FALSE";
}

void TOLVarsSource::BuildRanges()
{
    rangesBuilt_ = true;
    for (int i = 0; i < list_.Count(); ++i)
    {
        const std::string& line = list_.Line(i);
        const std::string_view name = std::string_view(line).substr(0, line.find('='));
        // The number is everything after the last "_", so that is the only split to test.
        const size_t bar = name.rfind('_');
        if (bar == std::string_view::npos || bar + 1 == name.size())
            continue;
        int64_t number = 0;
        bool whole = true;
        for (char c : name.substr(bar + 1))
        {
            if (c < '0' || c > '9')
            {
                whole = false;
                break;
            }
            number = number * 10 + (c - '0');
            if (number > std::numeric_limits<int32_t>::max())
            {
                whole = false;
                break;
            }
        }
        if (!whole)
            continue;
        const auto n = static_cast<int32_t>(number);
        auto [it, added] = ranges_.try_emplace(std::string(name.substr(0, bar)), n, n);
        if (!added)
        {
            it->second.first = std::min(it->second.first, n);
            it->second.second = std::max(it->second.second, n);
        }
    }
}

void TOLVarsSource::GetRange(std::string_view name, int32_t& first, int32_t& last)
{
    if (!rangesBuilt_)
        BuildRanges();
    first = list_.ReadString(name).empty() ? -1 : 0;
    last = -1;
    const auto it = ranges_.find(std::string(name));
    if (it == ranges_.end())
        return;
    if (first == -1 || first > it->second.first)
        first = it->second.first;
    last = it->second.second;
}

bool TOLVarsSource::GetValue(std::string_view name, int32_t index, std::string_view& value)
{
    if (index < 1)
        value_ = list_.ReadString(name);
    else
    {
        std::string indexed(name);
        indexed += '_';
        indexed += std::to_string(index);
        value_ = list_.ReadString(indexed);
    }
    value = value_;
    return !value_.empty();
}

TTmlLimits DefaultTmlLimits(int64_t templateSize, int64_t variablesSize)
{
    TTmlLimits limits;
    limits.maxOutput = std::max(kMinOutputLimit, kOutputPerInputByte * (templateSize + variablesSize));
    limits.maxSteps = kStepsPerOutputByte * limits.maxOutput;
    return limits;
}

std::string RenderTml(std::string_view templateText, const TOptionsList& variables)
{
    return RenderTml(templateText, variables,
                     DefaultTmlLimits(static_cast<int64_t>(templateText.size()), VariablesSize(variables)));
}

std::string RenderTml(std::string_view templateText, const TOptionsList& variables, const TTmlLimits& limits)
{
    TTmlInserter inserter;
    inserter.SetLimits(limits);
    TOLVarsSource source(variables, "/");
    // Sized in advance so that a typical rendering never grows the stream.
    const int64_t estimate =
        static_cast<int64_t>(templateText.size()) + std::max(kMinVariablesEstimate, VariablesSize(variables));
    TMemoryStream output(static_cast<int32_t>(std::min<int64_t>(estimate, inserter.Limits().maxOutput)));
    inserter.SetTemplate(templateText);
    if (inserter.ErrorCode() == kTmlOk)
        inserter.RenderInto(&source, &output);
    if (inserter.ErrorCode() != kTmlOk)
        throw ETmlError(inserter.ErrorCode(), inserter.ErrorPosition());
    return output.AsString();
}

} // namespace wardlark
