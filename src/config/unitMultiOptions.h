#pragma once

#include "config/unitOptionsList.h"

#include <string>
#include <string_view>

namespace wardlark
{

// A sectioned bag of option lists, each with its section name. Agents answer in this form,
// and requests to them are built in it.
//
// Text form (SaveToStream / LoadFromStream), lines ending with CR LF: per section in bag
// order, "[" + name + "]", the section's lines as held (values stay encoded), one empty
// line. Reading clears the bag; a non-empty line that begins with "[" and ends with "]" is a
// header, whose section is looked up by exact name (or appended) and then emptied, so a
// repeated header keeps only what follows it; empty lines are skipped; lines before the
// first header are dropped.
//
// Thread safety: none.
class TMultiOptions : public TPersistObjList
{
public:
    // Appends a new empty section with its default name; the bag owns it.
    TOptionsList* AddSection();
    // The first section named exactly `name`, or nullptr.
    TOptionsList* FindSection(std::string_view name) const;
    // The found section, or a new one named `name` appended at the end.
    TOptionsList* FindOrAddSection(std::string_view name);
    // The section at `index` with that index stamped into it, or nullptr when out of range.
    TOptionsList* Section(int index);

    void SaveToStream(TStream& stream) const override;
    void LoadFromStream(TStream& stream) override;

    // The text form as a string, and back.
    std::string Text() const;
    void SetText(std::string_view text);

protected:
    std::unique_ptr<TPersistObj> CreateItem() const override;
};

} // namespace wardlark
