#include "text/unitTmlCompiler.h"

#include "support/unitTextRoutines.h"
#include "text/unitTmlErrors.h"

#include <limits>
#include <new>

namespace wardlark
{

namespace
{

constexpr size_t kMaxNameLength = 255;

enum class TParamId : uint8_t
{
    Unknown,
    FullPath,
    Render,
    Iterate,
    Static,
    Skip,
    Trim,
    Wrap,
    Indent,
    Prefix,
    Postfix,
    Divider,
    Default
};

TParamId ParamIdOf(std::string_view name)
{
    const std::string lower = LowerCase(name);
    static const std::pair<std::string_view, TParamId> kNames[] = {
        {"fullpath", TParamId::FullPath}, {"render", TParamId::Render},   {"iterate", TParamId::Iterate},
        {"static", TParamId::Static},     {"skip", TParamId::Skip},       {"trim", TParamId::Trim},
        {"wrap", TParamId::Wrap},         {"indent", TParamId::Indent},   {"prefix", TParamId::Prefix},
        {"postfix", TParamId::Postfix},   {"divider", TParamId::Divider}, {"default", TParamId::Default},
    };
    for (const auto& [known, id] : kNames)
        if (lower == known)
            return id;
    return TParamId::Unknown;
}

// A whole number: one or more decimal digits that fit an int32_t.
bool ParseWhole(std::string_view text, int32_t& value)
{
    if (text.empty())
        return false;
    int64_t result = 0;
    for (char c : text)
    {
        if (c < '0' || c > '9')
            return false;
        result = result * 10 + (c - '0');
        if (result > std::numeric_limits<int32_t>::max())
            return false;
    }
    value = static_cast<int32_t>(result);
    return true;
}

// The number after `keyword` ("spaces:" etc.) when `lower` starts with it.
bool ParseKeywordNumber(std::string_view lower, std::string_view keyword, int32_t& value, bool& matched)
{
    matched = lower.substr(0, keyword.size()) == keyword;
    return matched && ParseWhole(lower.substr(keyword.size()), value);
}

// Applies one parameter to `record`. Returns 0 or the error code of a malformed value.
int ApplyParam(TParamId id, std::string_view value, TTmlSpan span, TTmlRecord& record)
{
    const std::string lower = LowerCase(value);
    bool matched = false;
    switch (id)
    {
    case TParamId::FullPath:
    case TParamId::Static:
    {
        bool flag = false;
        if (lower == "1" || lower == "true")
            flag = true;
        else if (lower != "0" && lower != "false")
            return kTmlBooleanExpected;
        (id == TParamId::FullPath ? record.fullPath : record.isStatic) = flag;
        return kTmlOk;
    }
    case TParamId::Render:
        if (lower == "always")
            record.render = TTmlRender::Always;
        else if (lower == "inquire")
            record.render = TTmlRender::Inquire;
        else if (lower == "never")
            record.render = TTmlRender::Never;
        else
            return kTmlInvalidValue;
        return kTmlOk;
    case TParamId::Iterate:
        if (lower == "none")
        {
            record.iterate = TTmlIterate::None;
            record.rangeFirst = 0;
            record.rangeLast = 0;
        }
        else if (lower == "parent")
            record.iterate = TTmlIterate::Parent;
        else if (lower == "children")
            record.iterate = TTmlIterate::Children;
        else if (lower.compare(0, 6, "fixed:") == 0)
        {
            const std::string_view bounds = std::string_view(lower).substr(6);
            const size_t colon = bounds.find(':');
            int32_t first = 0;
            int32_t last = 0;
            if (colon == std::string_view::npos || !ParseWhole(bounds.substr(0, colon), first) ||
                !ParseWhole(bounds.substr(colon + 1), last) || first > last)
                return kTmlInvalidValue;
            record.iterate = TTmlIterate::Fixed;
            record.rangeFirst = first;
            record.rangeLast = last;
        }
        else
            return kTmlInvalidValue;
        return kTmlOk;
    case TParamId::Skip:
        if (lower == "none")
            record.skip = TTmlSkip::None;
        else if (lower == "empty")
            record.skip = TTmlSkip::Empty;
        else if (lower == "static")
            record.skip = TTmlSkip::Static;
        else
            return kTmlInvalidValue;
        return kTmlOk;
    case TParamId::Trim:
    {
        static const std::pair<std::string_view, TTmlTrim> kModes[] = {
            {"inherit", TTmlTrim::Inherit}, {"left", TTmlTrim::Left},     {"right", TTmlTrim::Right},
            {"both", TTmlTrim::Both},       {"static", TTmlTrim::Static}, {"all", TTmlTrim::All},
            {"none", TTmlTrim::None},
        };
        for (const auto& [keyword, mode] : kModes)
            if (lower == keyword)
            {
                record.trim = mode;
                return kTmlOk;
            }
        return kTmlInvalidValue;
    }
    case TParamId::Wrap:
    {
        int32_t width = 0;
        if (lower == "inherit")
            record.wrap = TTmlWrap::Inherit;
        else if (lower == "none")
            record.wrap = TTmlWrap::None;
        else if (ParseKeywordNumber(lower, "spaces:", width, matched) && width > 0)
        {
            record.wrap = TTmlWrap::Spaces;
            record.wrapWidth = width;
        }
        else if (!matched && ParseKeywordNumber(lower, "commas:", width, matched) && width > 0)
        {
            record.wrap = TTmlWrap::Commas;
            record.wrapWidth = width;
        }
        else
            return kTmlInvalidValue;
        return kTmlOk;
    }
    case TParamId::Indent:
    {
        int32_t indent = 0;
        if (ParseWhole(lower, indent))
            record.indentMode = TTmlIndentMode::Relative;
        else if (ParseKeywordNumber(lower, "relative:", indent, matched))
            record.indentMode = TTmlIndentMode::Relative;
        else if (!matched && ParseKeywordNumber(lower, "absolute:", indent, matched))
            record.indentMode = TTmlIndentMode::Absolute;
        else
            return kTmlInvalidValue;
        record.indent = indent;
        return kTmlOk;
    }
    case TParamId::Prefix:
        record.prefix = span;
        return kTmlOk;
    case TParamId::Postfix:
        record.postfix = span;
        return kTmlOk;
    case TParamId::Divider:
        record.divider = span;
        return kTmlOk;
    case TParamId::Default:
        record.defaultText = span;
        return kTmlOk;
    case TParamId::Unknown:
        break;
    }
    return kTmlOk;
}

} // namespace

struct TTmlCompiledTemplate::Frame
{
    TTmlRecord record;
    std::string name;
    std::vector<TTmlEvent> events;
};

int32_t TTmlCompiledTemplate::FindBlock(std::string_view name) const
{
    const std::string lower = LowerCase(name);
    const auto it = blockIndex_.find(lower);
    return it == blockIndex_.end() ? -1 : it->second;
}

int32_t TTmlCompiledTemplate::FirstSignificant(int32_t from) const
{
    const auto size = static_cast<int32_t>(text_.size());
    while (from < size && IsTmlBlank(text_[static_cast<size_t>(from)]))
        ++from;
    return from;
}

// Reads one parameter at `i` (a name character) into `record`; on success `i` stands after
// its value. `unterminatedCode` and `unterminatedPos` are what running out of text means here.
int TTmlCompiledTemplate::ParseParam(int32_t& i, int unterminatedCode, int32_t unterminatedPos, TTmlRecord& record,
                                     std::vector<Param>* params, int& errorPosition)
{
    const std::string_view text = text_;
    const auto size = static_cast<int32_t>(text.size());
    const int32_t nameStart = i;
    while (i < size && IsTmlNameChar(text[static_cast<size_t>(i)]))
        ++i;
    if (i >= size)
    {
        errorPosition = unterminatedPos;
        return unterminatedCode;
    }
    const std::string_view name = text.substr(static_cast<size_t>(nameStart), static_cast<size_t>(i - nameStart));
    if (text[static_cast<size_t>(i)] != '=')
    {
        errorPosition = i + 1;
        return kTmlEqualsExpected;
    }
    ++i;
    if (i >= size)
    {
        errorPosition = i + 1;
        return kTmlValueExpected;
    }
    TTmlSpan value;
    if (text[static_cast<size_t>(i)] == '"')
    {
        const size_t close = text.find('"', static_cast<size_t>(i) + 1);
        if (close == std::string_view::npos)
        {
            errorPosition = i + 2;
            return kTmlUnterminatedString;
        }
        value.pos = i + 1;
        value.len = static_cast<int32_t>(close) - value.pos;
        i = static_cast<int32_t>(close) + 1;
    }
    else
    {
        value.pos = i;
        while (i < size && (IsTmlNameChar(text[static_cast<size_t>(i)]) || text[static_cast<size_t>(i)] == ':'))
            ++i;
        if (i >= size)
        {
            errorPosition = unterminatedPos;
            return unterminatedCode;
        }
        value.len = i - value.pos;
    }
    const TParamId id = ParamIdOf(name);
    if (id == TParamId::Unknown)
    {
        if (strictParams_)
        {
            errorPosition = nameStart + 1;
            return kTmlUnknownParameter;
        }
        return kTmlOk;
    }
    const int code =
        ApplyParam(id, text.substr(static_cast<size_t>(value.pos), static_cast<size_t>(value.len)), value, record);
    if (code != kTmlOk)
    {
        errorPosition = value.pos + 1;
        return code;
    }
    if (params != nullptr)
        params->push_back({static_cast<uint8_t>(id), value});
    return kTmlOk;
}

// Parses the reference whose "{{" starts at `open`. Its parameters are kept for Resolve, which
// runs once every definition is known (a reference may precede its block's definition).
int TTmlCompiledTemplate::ParseReference(int32_t open, TTmlReference& ref, int32_t& firstCloseBrace, int& errorPosition)
{
    const std::string_view text = text_;
    const auto size = static_cast<int32_t>(text.size());
    const int32_t after = open + 3; // 1-based position just after "{{"
    int32_t i = open + 2;
    auto unterminated = [&]
    {
        errorPosition = after;
        return kTmlUnterminatedVariable;
    };
    while (i < size && IsTmlSeparator(text[static_cast<size_t>(i)]))
        ++i;
    if (i >= size)
        return unterminated();
    const int32_t nameStart = i;
    while (i < size && IsTmlNameChar(text[static_cast<size_t>(i)]))
        ++i;
    if (i >= size)
        return unterminated();
    if (i == nameStart)
    {
        errorPosition = after;
        return kTmlVariableNameExpected;
    }
    if (static_cast<size_t>(i - nameStart) > kMaxNameLength)
    {
        errorPosition = i + 1;
        return kTmlVariableNameTooLong;
    }
    ref.pos = open;
    ref.record = TTmlRecord();
    ref.record.name = text.substr(static_cast<size_t>(nameStart), static_cast<size_t>(i - nameStart));
    const auto firstParam = static_cast<int32_t>(params_.size());
    for (;;)
    {
        while (i < size && IsTmlSeparator(text[static_cast<size_t>(i)]))
            ++i;
        if (i >= size)
            return unterminated();
        const char c = text[static_cast<size_t>(i)];
        if (c == '}')
        {
            if (i + 1 >= size)
                return unterminated();
            if (text[static_cast<size_t>(i) + 1] != '}')
            {
                errorPosition = i + 2;
                return kTmlBraceExpected;
            }
            firstCloseBrace = i;
            ref.next = i + 2;
            break;
        }
        if (!IsTmlNameChar(c))
        {
            errorPosition = i + 1;
            return kTmlVariableParamExpected;
        }
        const int code = ParseParam(i, kTmlUnterminatedVariable, after, ref.record, &params_, errorPosition);
        if (code != kTmlOk)
            return code;
    }
    referenceParams_.emplace_back(firstParam, static_cast<int32_t>(params_.size()) - firstParam);
    return kTmlOk;
}

// Parses the head of the definition whose "{|" starts at `open`, up to the bar that opens its
// body.
int TTmlCompiledTemplate::ParseHead(int32_t open, Frame& frame, int& errorPosition)
{
    const std::string_view text = text_;
    const auto size = static_cast<int32_t>(text.size());
    const int32_t after = open + 3; // 1-based position just after "{|"
    int32_t i = open + 2;
    auto unterminated = [&]
    {
        errorPosition = after;
        return kTmlUnterminatedBlock;
    };
    while (i < size && IsTmlSeparator(text[static_cast<size_t>(i)]))
        ++i;
    if (i >= size)
        return unterminated();
    const int32_t nameStart = i;
    while (i < size && IsTmlNameChar(text[static_cast<size_t>(i)]))
        ++i;
    if (i >= size)
        return unterminated();
    if (i == nameStart)
    {
        errorPosition = after;
        return kTmlBlockNameExpected;
    }
    if (static_cast<size_t>(i - nameStart) > kMaxNameLength)
    {
        errorPosition = i + 1;
        return kTmlBlockNameTooLong;
    }
    frame.name = LowerCase(text.substr(static_cast<size_t>(nameStart), static_cast<size_t>(i - nameStart)));
    if (blockIndex_.count(frame.name) != 0)
    {
        errorPosition = after;
        return kTmlBlockExists;
    }
    frame.record = TTmlRecord();
    frame.record.kind = TTmlKind::Block;
    frame.record.start = open;
    for (;;)
    {
        while (i < size && IsTmlSeparator(text[static_cast<size_t>(i)]))
            ++i;
        if (i >= size)
            return unterminated();
        const char c = text[static_cast<size_t>(i)];
        if (c == '|')
            break;
        if (!IsTmlNameChar(c))
        {
            errorPosition = i + 1;
            return kTmlBlockParamExpected;
        }
        const int code = ParseParam(i, kTmlUnterminatedBlock, after, frame.record, nullptr, errorPosition);
        if (code != kTmlOk)
            return code;
    }
    frame.record.bodyStart = i + 1;
    frame.record.trimmedStart = FirstSignificant(i + 1);
    frame.record.trimmedEnd = frame.record.bodyStart - 1;
    return kTmlOk;
}

int TTmlCompiledTemplate::AddBlock(Frame& frame)
{
    try
    {
        blockNames_.push_back(std::move(frame.name));
        frame.record.name = blockNames_.back();
        frame.record.definition = static_cast<int32_t>(blocks_.size());
        blocks_.push_back(frame.record);
        blockEvents_.push_back(std::move(frame.events));
        blockIndex_.emplace(blockNames_.back(), frame.record.definition);
    }
    catch (const std::bad_alloc&)
    {
        return kTmlAddBlockFailed;
    }
    return kTmlOk;
}

int TTmlCompiledTemplate::Compile(std::string_view text, bool strictParams, int& errorPosition)
{
    errorPosition = 0;
    strictParams_ = strictParams;
    text_.assign(text);
    const auto size = static_cast<int32_t>(text_.size());

    root_ = TTmlRecord();
    root_.kind = TTmlKind::Block;
    root_.bodyStart = 0;
    root_.bodyEnd = size - 1;
    root_.trimmedStart = FirstSignificant(0);
    root_.trimmedEnd = -1;
    root_.iterate = TTmlIterate::None;
    root_.rangeFirst = 0;
    root_.rangeLast = 0;
    root_.trim = TTmlTrim::Left;

    // Open definitions, innermost last.
    std::vector<Frame> stack;
    auto trimmedEnd = [&]() -> int32_t& { return stack.empty() ? root_.trimmedEnd : stack.back().record.trimmedEnd; };
    auto events = [&]() -> std::vector<TTmlEvent>& { return stack.empty() ? rootEvents_ : stack.back().events; };

    bool afterBrace = false;
    bool afterBar = false;
    int32_t i = 0;
    while (i < size)
    {
        const char c = text_[static_cast<size_t>(i)];
        if (c == '{' && afterBrace)
        {
            TTmlReference ref;
            int32_t firstClose = 0;
            const int code = ParseReference(i - 1, ref, firstClose, errorPosition);
            if (code != kTmlOk)
                return code;
            events().push_back({ref.pos, static_cast<int32_t>(references_.size()), false});
            references_.push_back(ref);
            trimmedEnd() = firstClose;
            i = ref.next;
            afterBrace = afterBar = false;
            continue;
        }
        if (c == '|' && afterBrace)
        {
            Frame frame;
            const int code = ParseHead(i - 1, frame, errorPosition);
            if (code != kTmlOk)
                return code;
            i = frame.record.bodyStart;
            stack.push_back(std::move(frame));
            afterBrace = afterBar = false;
            continue;
        }
        if (c == '}' && afterBar)
        {
            if (stack.empty())
            {
                errorPosition = i; // the bar, 1-based
                return kTmlUnexpectedBlockEnd;
            }
            Frame frame = std::move(stack.back());
            stack.pop_back();
            frame.record.bodyEnd = i - 2;
            frame.record.end = i;
            const int32_t start = frame.record.start;
            if (AddBlock(frame) != kTmlOk)
            {
                errorPosition = start + 3;
                return kTmlAddBlockFailed;
            }
            events().push_back({start, static_cast<int32_t>(blocks_.size()) - 1, true});
            ++i;
            afterBrace = afterBar = false;
            continue;
        }
        afterBrace = c == '{';
        afterBar = c == '|';
        if (!IsTmlBlank(c) && c != '{' && c != '|' && c != '}')
            trimmedEnd() = i;
        ++i;
    }
    if (!stack.empty())
    {
        errorPosition = stack.back().record.start + 3;
        return kTmlUnterminatedBlock;
    }
    Resolve();
    return kTmlOk;
}

// Gives every reference its final settings: a reference naming a block starts from that
// block's definition, any other from a fresh variable record; its own parameters then apply.
void TTmlCompiledTemplate::Resolve()
{
    const std::string_view text = text_;
    for (size_t r = 0; r < references_.size(); ++r)
    {
        TTmlReference& ref = references_[r];
        const int32_t block = FindBlock(ref.record.name);
        TTmlRecord record;
        if (block >= 0)
            record = blocks_[static_cast<size_t>(block)];
        else
            record.name = ref.record.name;
        const auto [first, count] = referenceParams_[r];
        for (int32_t p = first; p < first + count; ++p)
        {
            const Param& param = params_[static_cast<size_t>(p)];
            ApplyParam(static_cast<TParamId>(param.id),
                       text.substr(static_cast<size_t>(param.value.pos), static_cast<size_t>(param.value.len)),
                       param.value, record);
        }
        ref.record = record;
    }
    params_.clear();
    params_.shrink_to_fit();
    referenceParams_.clear();
    referenceParams_.shrink_to_fit();
}

} // namespace wardlark
