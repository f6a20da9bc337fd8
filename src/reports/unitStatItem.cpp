#include "reports/unitStatItem.h"

#include "config/unitDataStreaming.h"

namespace wardlark
{

void TStatItem::Clear()
{
    TNamedObject::Clear();
    Caption.clear();
    Value.clear();
    Hint.clear();
}

void TStatItem::Assign(const TNamedObject& other)
{
    TNamedObject::Assign(other);
    if (const auto* item = dynamic_cast<const TStatItem*>(&other))
    {
        Caption = item->Caption;
        Value = item->Value;
        Hint = item->Hint;
    }
}

int64_t TStatItem::StreamSize() const
{
    return TNamedObject::StreamSize() + TypedStringSize(Caption) + TypedStringSize(Value) + TypedStringSize(Hint);
}

void TStatItem::SaveToStream(TStream& stream) const
{
    TNamedObject::SaveToStream(stream);
    WriteTypedString(stream, Caption);
    WriteTypedString(stream, Value);
    WriteTypedString(stream, Hint);
}

void TStatItem::LoadFromStream(TStream& stream)
{
    TNamedObject::LoadFromStream(stream);
    Caption = ReadTypedString(stream);
    Value = ReadTypedString(stream);
    Hint = ReadTypedString(stream);
}

TStatItem* TStatItemList::Item(int index) const
{
    return dynamic_cast<TStatItem*>(TNamedObjectList::Item(index));
}

TStatItem* TStatItemList::FindItem(const std::string& name) const
{
    return dynamic_cast<TStatItem*>(FindByName(name));
}

TStatItem* TStatItemList::AddItem(const std::string& name, const std::string& caption, const std::string& value,
                                  const std::string& hint)
{
    auto item = std::make_unique<TStatItem>();
    item->Name = name;
    item->Caption = caption;
    item->Value = value;
    item->Hint = hint;
    return dynamic_cast<TStatItem*>(Add(std::move(item)));
}

std::unique_ptr<TNamedObject> TStatItemList::CreateItem() const
{
    return std::make_unique<TStatItem>();
}

} // namespace wardlark
