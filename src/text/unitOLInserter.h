#pragma once

#include "text/unitTmlInserter.h"
#include "text/unitTmlVarsSource.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

namespace wardlark
{

class TOptionsList;

// A variable source over a name=value option list. Callers publish a list of N items as
// "Name_1" ... "Name_N" (a plain "Name" is item 0) and flags as "TRUE" / "FALSE".
//
// - Inquire: true when the value of the name is neither empty nor exactly "FALSE".
// - GetRange: first 0 when the plain name has a value; every entry named `name` + "_" + a whole
//   number N (a case-sensitive prefix test) widens the range to N. Only the plain name gives
//   (0, -1), an empty range; nothing at all gives (-1, -1).
// - GetValue: index below 1 reads the plain name, otherwise `name` + "_" + the index; names are
//   looked up without regard to case; true when the value is not empty.
//
// The list must outlive the source and must not change while the source is in use (the indexed
// names are gathered once, at the first GetRange).
//
// Thread safety: none; one source per rendering.
class TOLVarsSource : public TBaseVarsSource
{
public:
    TOLVarsSource(const TOptionsList& list, std::string delimiter);

    bool Inquire(std::string_view name) override;
    void GetRange(std::string_view name, int32_t& first, int32_t& last) override;
    bool GetValue(std::string_view name, int32_t index, std::string_view& value) override;
    std::string GetPathDelimiter() override { return delimiter_; }

private:
    void BuildRanges();

    const TOptionsList& list_;
    std::string delimiter_;
    std::string value_;
    bool rangesBuilt_ = false;
    // Base name (case as written) -> lowest and highest N of its "base_N" entries.
    std::unordered_map<std::string, std::pair<int32_t, int32_t>> ranges_;
};

// Renders `templateText` from the variables in `variables` (a TOLVarsSource with the delimiter
// "/") and returns the text. Raises ETmlError when the template does not compile or does not
// render; its message is the error text, " Position: " and the position.
//
// Without explicit limits the output may grow to 64 times the size of the template and the
// variables together (at least 16 MiB), and rendering may take 16 steps per byte of that.
std::string RenderTml(std::string_view templateText, const TOptionsList& variables);
std::string RenderTml(std::string_view templateText, const TOptionsList& variables, const TTmlLimits& limits);

// The limits RenderTml uses for inputs of the given sizes.
TTmlLimits DefaultTmlLimits(int64_t templateSize, int64_t variablesSize);

} // namespace wardlark
