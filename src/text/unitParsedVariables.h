#pragma once

#include <string>
#include <string_view>

namespace wardlark
{

class TBooleanEvaluator;
class TOptionsList;

// The variables file of a monitor: the values that content parsing captured at the last
// completed evaluation of the monitor's success criteria, kept between checks so that the
// criteria can compare a value with its previous one ("count > _count").
//
// The file is an option list saved as text: one line per variable, "_" + name, "=", the value in
// the option-list value encoding, every line ended by CR LF, in the order the variables were
// stored. Every name in it begins with "_".
//
// Thread safety: none of these functions keeps state; each monitor has its own file, which one
// worker at a time reads and writes.

// Results of SaveParsedVariables.
inline constexpr int kVarsSaved = 0;
inline constexpr int kVarsFolderNotCreated = -103;
inline constexpr int kVarsNotWritten = -107;

// The variables file of the monitor with UIN `uin`: `dataFolder` (ending with "/") + "vars/" +
// the UIN in lower case + ".dat".
std::string VarsFileName(const std::string& dataFolder, std::string_view uin);

// Empties `variables`, then loads the file at `path` into it when the file exists. Returns true
// when the file was loaded or does not exist. On a read error records a keypoint (code -106),
// leaves `variables` empty and returns false. Never raises apart from std::bad_alloc.
bool LoadParsedVariables(const std::string& path, TOptionsList& variables);

// For every name that does not begin with "_": when "_" + name has no value, "_" + name gets the
// name's value. So "_x" holds the previous value of "x", or its current value the first time.
void AddPreviousValues(TOptionsList& variables);

// Turns the current values into the previous values of the next check: every line whose name
// begins with "_" is removed and every remaining line gets "_" put in front of it.
void ShiftToPreviousValues(TOptionsList& variables);

// Writes `variables` as they are to `path`, replacing the file as a whole, after creating its
// folder when missing. Returns kVarsSaved on success; kVarsFolderNotCreated or kVarsNotWritten
// on failure, each also recorded as a keypoint with that code. Never raises apart from
// std::bad_alloc.
int SaveParsedVariables(const std::string& path, const TOptionsList& variables);

// Evaluates the success criteria `criteria` over `variables` with `evaluator`: short-circuit
// off, every name resolved as the list's value of that name (the empty text when missing;
// arguments are ignored). Returns evaluator.Result(); the error, if any, stays readable in
// `evaluator`. `variables` must outlive the call only.
bool EvaluateSuccessCriteria(TBooleanEvaluator& evaluator, std::string_view criteria, const TOptionsList& variables);

} // namespace wardlark
