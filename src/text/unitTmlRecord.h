#pragma once

#include <cstdint>
#include <string_view>

namespace wardlark
{

// The settings of one template element. One record type serves a block definition, a
// reference to a block and a reference to a variable; the enumerations keep the stored
// numbering of the template language.

enum class TTmlKind : uint8_t
{
    Block = 0,
    Variable = 1
};

enum class TTmlRender : uint8_t
{
    Always = 0,
    Inquire = 1,
    Never = 2
};

enum class TTmlIterate : uint8_t
{
    None = 0,
    Parent = 1,
    Children = 2,
    Fixed = 3
};

enum class TTmlSkip : uint8_t
{
    None = 0,
    Empty = 1,
    Static = 2
};

enum class TTmlTrim : uint8_t
{
    Inherit = 0,
    Left = 1,
    Right = 2,
    Both = 3,
    Static = 4,
    All = 5,
    None = 6
};

enum class TTmlWrap : uint8_t
{
    Inherit = 0,
    None = 1,
    Spaces = 2,
    Commas = 3
};

enum class TTmlIndentMode : uint8_t
{
    Relative = 0,
    Absolute = 1
};

// True for the trim modes that remove the leading / trailing blanks of items.
inline bool TrimsLeft(TTmlTrim trim)
{
    return trim == TTmlTrim::Left || trim == TTmlTrim::Both || trim == TTmlTrim::Static || trim == TTmlTrim::All;
}
inline bool TrimsRight(TTmlTrim trim)
{
    return trim == TTmlTrim::Right || trim == TTmlTrim::Both || trim == TTmlTrim::Static || trim == TTmlTrim::All;
}

// A piece of the template text, kept as a position instead of a copy. Positions here are
// 0-based byte offsets (the 1-based positions of the language appear only in error positions).
struct TTmlSpan
{
    int32_t pos = 0;
    int32_t len = 0;
};

// Name characters: digits, ASCII letters and "_".
inline bool IsTmlNameChar(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}

// Separator whitespace between the parts of a reference or a definition head.
inline bool IsTmlSeparator(char c)
{
    return c == '\t' || c == '\n' || c == '\r' || c == ' ';
}

// Blanks (trimmed away): every byte of code 32 or lower.
inline bool IsTmlBlank(char c)
{
    return static_cast<unsigned char>(c) <= 32;
}

struct TTmlRecord
{
    TTmlKind kind = TTmlKind::Variable;
    // While rendering: the record in whose body this one stands; nullptr for the root.
    const TTmlRecord* container = nullptr;
    // Block names in lower case, variable names as written. Views into storage owned by the
    // compiled template.
    std::string_view name;
    // 0-based offsets of the opening "{" and the closing "}" of a definition, of the first and
    // last body characters, and of the first and last significant body characters.
    int32_t start = 0;
    int32_t end = 0;
    int32_t bodyStart = 0;
    int32_t bodyEnd = -1;
    int32_t trimmedStart = 0;
    int32_t trimmedEnd = -1;
    bool fullPath = false;
    TTmlRender render = TTmlRender::Always;
    int32_t ordinal = 0;
    int32_t currentIndex = -1;
    int32_t rangeFirst = -1;
    int32_t rangeLast = -1;
    TTmlIterate iterate = TTmlIterate::None;
    bool isStatic = false;
    TTmlSkip skip = TTmlSkip::None;
    TTmlTrim trim = TTmlTrim::Inherit;
    int32_t wrapWidth = 0;
    TTmlWrap wrap = TTmlWrap::Inherit;
    int32_t indent = 0;
    TTmlIndentMode indentMode = TTmlIndentMode::Relative;
    TTmlSpan prefix;
    TTmlSpan postfix;
    TTmlSpan divider;
    TTmlSpan defaultText;
    // Index of the block's definition in the block table (block records only), -1 otherwise.
    int32_t definition = -1;
};

} // namespace wardlark
