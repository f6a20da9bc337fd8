#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace wardlark
{

// The variable source of template rendering: answers the renderer's questions about named
// values. Implementations may throw; an exception from GetPathDelimiter at the start of a
// rendering is reported as "Vars source is not assigned.", any later one leaves the rendering
// and reaches the caller of TTmlInserter::RenderInto.
//
// Thread safety: a source serves one rendering at a time.
class TBaseVarsSource
{
public:
    virtual ~TBaseVarsSource() = default;

    // Whether a block asked with Render=Inquire is to be rendered.
    virtual bool Inquire(std::string_view name) = 0;
    // The index range of the indexed values held under `name`; (-1, -1) when there are none.
    // A range with last < first is empty.
    virtual void GetRange(std::string_view name, int32_t& first, int32_t& last) = 0;
    // The value of `name` for `index`. Returns false when there is none. `value` stays valid
    // until the next call on this source.
    virtual bool GetValue(std::string_view name, int32_t index, std::string_view& value) = 0;
    // The separator placed between the names of a full path.
    virtual std::string GetPathDelimiter() = 0;
};

} // namespace wardlark
