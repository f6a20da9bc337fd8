#include "text/unitParsedVariables.h"

#include "config/unitOptionsList.h"
#include "support/unitKeypoint.h"
#include "support/unitStreams.h"
#include "support/unitSystem.h"
#include "support/unitTextRoutines.h"
#include "text/unitBooleanEvaluator.h"

#include <vector>

namespace wardlark
{

namespace
{

constexpr uint32_t kKeypointLoadVars = 0x7A3E5D01;
constexpr uint32_t kKeypointVarsFolder = 0x7A3E5D02;
constexpr uint32_t kKeypointSaveVars = 0x7A3E5D03;
constexpr int32_t kCodeReadError = -106;
// The file belongs to one monitor and only its worker touches it: one try is enough.
constexpr int kAttempts = 1;

bool IsPreviousValue(std::string_view line)
{
    return !line.empty() && line[0] == '_';
}

} // namespace

std::string VarsFileName(const std::string& dataFolder, std::string_view uin)
{
    return dataFolder + "vars/" + LowerCase(uin) + ".dat";
}

bool LoadParsedVariables(const std::string& path, TOptionsList& variables)
{
    variables.Clear();
    if (!FileExists(path))
        return true;
    try
    {
        TMemoryStream data;
        data.LoadFromFile(path, kAttempts, 0);
        variables.SetText(data.AsString());
        return true;
    }
    catch (const std::bad_alloc&)
    {
        throw;
    }
    catch (...)
    {
        variables.Clear();
        AddKeypoint(kKeypointLoadVars, kCodeReadError);
        return false;
    }
}

void AddPreviousValues(TOptionsList& variables)
{
    const int count = variables.Count();
    for (int i = 0; i < count; ++i)
    {
        const std::string name = NameOf(variables.Line(i));
        if (IsPreviousValue(name))
            continue;
        const std::string previous = "_" + name;
        if (variables.ReadString(previous).empty())
            variables.WriteString(previous, variables.ReadString(name));
    }
}

void ShiftToPreviousValues(TOptionsList& variables)
{
    std::vector<std::string> lines;
    lines.reserve(static_cast<size_t>(variables.Count()));
    for (int i = 0; i < variables.Count(); ++i)
        if (!IsPreviousValue(variables.Line(i)))
            lines.push_back("_" + variables.Line(i));
    variables.Clear();
    for (std::string& line : lines)
        variables.AddLine(std::move(line));
}

int SaveParsedVariables(const std::string& path, const TOptionsList& variables)
{
    if (!ForceDirectories(ExtractFilePath(path)))
    {
        AddKeypoint(kKeypointVarsFolder, kVarsFolderNotCreated);
        return kVarsFolderNotCreated;
    }
    try
    {
        std::string text;
        for (int i = 0; i < variables.Count(); ++i)
        {
            text += variables.Line(i);
            text += "\r\n";
        }
        TMemoryStream data;
        data.LoadFromString(text);
        data.SaveToFile(path, kAttempts, 0);
        return kVarsSaved;
    }
    catch (const std::bad_alloc&)
    {
        throw;
    }
    catch (...)
    {
        AddKeypoint(kKeypointSaveVars, kVarsNotWritten);
        return kVarsNotWritten;
    }
}

bool EvaluateSuccessCriteria(TBooleanEvaluator& evaluator, std::string_view criteria, const TOptionsList& variables)
{
    evaluator.ShortCircuit = false;
    evaluator.Context = nullptr;
    evaluator.OnVariable =
        [&variables](void*, const std::string& name, const std::vector<std::string>&, std::string& value, bool& handled)
    {
        value = variables.ReadString(name);
        handled = true;
    };
    const bool result = evaluator.Evaluate(criteria);
    // The callback refers to `variables`, which need not outlive this call.
    evaluator.OnVariable = nullptr;
    return result;
}

} // namespace wardlark
