#pragma once

#include "config/unitNamedObject.h"

#include <string>

namespace wardlark
{

// One line of a statistics summary: Name is the item's key ("Period", "NormalTime", ...),
// Caption the label shown, Value the text of its value, Hint an explanation (may be empty;
// "<br>" marks line breaks). Streams as the base fields followed by Caption, Value and Hint
// as 8-bit texts.
//
// Thread safety: none.
class TStatItem : public TNamedObject
{
public:
    std::string Caption;
    std::string Value;
    std::string Hint;

    void Clear() override;
    void Assign(const TNamedObject& other) override;
    int64_t StreamSize() const override;
    void SaveToStream(TStream& stream) const override;
    void LoadFromStream(TStream& stream) override;
};

// The summary lines, in display order.
//
// Thread safety: none.
class TStatItemList : public TNamedObjectList
{
public:
    // The item at `index`, or nullptr when out of range.
    TStatItem* Item(int index) const override;
    // The first item whose Name equals `name` (case-sensitive), or nullptr.
    TStatItem* FindItem(const std::string& name) const;
    // Appends a new item and returns it.
    TStatItem* AddItem(const std::string& name, const std::string& caption, const std::string& value,
                       const std::string& hint);

protected:
    std::unique_ptr<TNamedObject> CreateItem() const override;
};

} // namespace wardlark
