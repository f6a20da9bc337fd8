#pragma once

#include "config/unitPersistObj.h"

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace wardlark
{

class TMultiOptions;

// Value escaping of option lists. Encoding replaces every byte below 32, every byte of 128
// and above, and "%" by "%" and two upper-case hexadecimal digits, so that any value is one
// line of printable ASCII. Decoding also reads the older quoted form (a value that starts
// and ends with "%").
std::string EncodeOptionValue(std::string_view value);
std::string DecodeOptionValue(std::string_view stored);

// Password scrambling of stored options: each byte XORed with the repeating key
// "QuillFen", then Base64. Unscrambling the empty text gives the empty password.
std::string ScramblePassword(const std::string& password);
std::string UnscramblePassword(const std::string& stored);
// As many "*" as the password has characters (UTF-8 sequences count once).
std::string MaskPassword(const std::string& password);

// An ordered list of "Name=Value" lines with escaped values. Names are matched without
// regard to ASCII case through a hashed index; when two lines share a name the first one is
// found. Every monitor, the global settings and the override dialogs keep their options in
// such lists; their text (the lines joined with CR LF) is what records and files store.
//
// A list may belong to a TMultiOptions bag, which gives it a section name and index.
//
// Thread safety: none; a list belongs to one thread at a time (workers get copies).
class TOptionsList : public TPersistObj
{
public:
    // A new list gets a default section name: a random number in 0..999998, the digit 6, a
    // hyphen, a process-wide counter (1, 2, ... 99, then 0 again) and the digit 2.
    TOptionsList();
    // Copies lines, section name and index; the copy belongs to no bag.
    TOptionsList(const TOptionsList& other);
    TOptionsList& operator=(const TOptionsList& other);

    // --- options -----------------------------------------------------------------------
    // The decoded value of `name`, or the empty text when the name is missing.
    std::string ReadString(std::string_view name) const;
    // Stores the encoded value: an existing line of that name is replaced in place, a new
    // name is appended; the empty value removes the line.
    void WriteString(std::string_view name, std::string_view value);
    // True only when the value is exactly "TRUE".
    bool ReadBool(std::string_view name) const;
    void WriteBool(std::string_view name, bool value);
    // The value as a decimal integer, or `defaultValue` when missing or not a valid integer.
    int ReadInteger(std::string_view name, int defaultValue) const;
    void WriteInteger(std::string_view name, int value);
    // Scrambled passwords (ScramblePassword).
    std::string ReadPassword(std::string_view name) const;
    void WritePassword(std::string_view name, const std::string& password);
    // True when a line of that name exists.
    bool HasName(std::string_view name) const { return IndexOfName(name) >= 0; }
    // Index of the first line of that name, or -1.
    int IndexOfName(std::string_view name) const;

    // --- lines -------------------------------------------------------------------------
    int Count() const { return static_cast<int>(lines_.size()); }
    // The stored line at `index` (values still encoded), or the empty text when out of range.
    const std::string& Line(int index) const;
    void AddLine(std::string line);
    void DeleteLine(int index);
    void Clear();
    // All lines joined with CR LF (no line end after the last).
    std::string Text() const;
    // Replaces all lines by `text` split at CR, LF or CR LF.
    void SetText(std::string_view text);

    // --- membership in a bag ----------------------------------------------------------
    const std::string& SectionName() const { return sectionName_; }
    void SetSectionName(std::string name) { sectionName_ = std::move(name); }
    int SectionIndex() const { return sectionIndex_; }
    void SetSectionIndex(int index) { sectionIndex_ = index; }
    TMultiOptions* Owner() const { return owner_; }
    void SetOwner(TMultiOptions* owner) { owner_ = owner; }

    // As an item of a TPersistObjList: the list's text.
    void SaveToStream(TStream& stream) const override;
    void LoadFromStream(TStream& stream) override;

private:
    struct NameHash
    {
        using is_transparent = void;
        size_t operator()(std::string_view name) const noexcept;
    };
    struct NameEqual
    {
        using is_transparent = void;
        bool operator()(std::string_view a, std::string_view b) const noexcept;
    };

    void RebuildIndex() const;
    static std::string_view NameOfLine(std::string_view line);

    std::vector<std::string> lines_;
    // Names as written, hashed and compared without regard to ASCII case; each maps to the
    // index of its first line. Rebuilt lazily after lines are removed or replaced wholesale.
    mutable std::unordered_map<std::string, int, NameHash, NameEqual> index_;
    mutable bool indexValid_ = true;
    std::string sectionName_;
    int sectionIndex_ = -1;
    TMultiOptions* owner_ = nullptr;
};

} // namespace wardlark
