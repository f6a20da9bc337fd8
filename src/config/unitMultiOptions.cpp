#include "config/unitMultiOptions.h"

namespace wardlark
{

std::unique_ptr<TPersistObj> TMultiOptions::CreateItem() const
{
    return std::make_unique<TOptionsList>();
}

TOptionsList* TMultiOptions::AddSection()
{
    auto* section = static_cast<TOptionsList*>(NewItem());
    section->SetOwner(this);
    return section;
}

TOptionsList* TMultiOptions::FindSection(std::string_view name) const
{
    for (const auto& item : items_)
    {
        auto* section = static_cast<TOptionsList*>(item.get());
        if (section->SectionName() == name)
            return section;
    }
    return nullptr;
}

TOptionsList* TMultiOptions::FindOrAddSection(std::string_view name)
{
    if (TOptionsList* found = FindSection(name))
        return found;
    TOptionsList* section = AddSection();
    section->SetSectionName(std::string(name));
    return section;
}

TOptionsList* TMultiOptions::Section(int index)
{
    auto* section = static_cast<TOptionsList*>(Item(index));
    if (section != nullptr)
        section->SetSectionIndex(index);
    return section;
}

std::string TMultiOptions::Text() const
{
    std::string text;
    for (const auto& item : items_)
    {
        const auto* section = static_cast<const TOptionsList*>(item.get());
        text += '[';
        text += section->SectionName();
        text += "]\r\n";
        for (int i = 0; i < section->Count(); ++i)
        {
            text += section->Line(i);
            text += "\r\n";
        }
        text += "\r\n";
    }
    return text;
}

void TMultiOptions::SetText(std::string_view text)
{
    Clear();
    TOptionsList* current = nullptr;
    size_t start = 0;
    while (start < text.size())
    {
        size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos)
            end = text.size();
        const std::string_view line = text.substr(start, end - start);
        if (end < text.size() && text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n')
            ++end;
        start = end + 1;
        if (line.empty())
            continue;
        if (line.size() >= 2 && line.front() == '[' && line.back() == ']')
        {
            current = FindOrAddSection(line.substr(1, line.size() - 2));
            current->Clear();
        }
        else if (current != nullptr)
            current->AddLine(std::string(line));
    }
}

void TMultiOptions::SaveToStream(TStream& stream) const
{
    const std::string text = Text();
    stream.WriteBuffer(text.data(), static_cast<int32_t>(text.size()));
}

void TMultiOptions::LoadFromStream(TStream& stream)
{
    const int64_t length = stream.Size() - stream.Position();
    std::string text(static_cast<size_t>(length > 0 ? length : 0), '\0');
    stream.ReadBuffer(text.data(), static_cast<int32_t>(text.size()));
    SetText(text);
}

} // namespace wardlark
