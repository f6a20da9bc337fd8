#include "text/unitTmlRenderer.h"

#include "support/unitSystem.h"
#include "text/unitTmlErrors.h"
#include "text/unitTmlVarsSource.h"

#include <algorithm>
#include <vector>

namespace wardlark
{

namespace
{

constexpr uint32_t kCancelIntervalMs = 200;

enum class TIndexVariable
{
    None,
    Z, // ordinal from 0
    O, // ordinal from 1
    R  // the index itself
};

TIndexVariable IndexVariableOf(const TTmlRecord& record)
{
    if (record.kind != TTmlKind::Variable)
        return TIndexVariable::None;
    if (record.name == "IdxZ")
        return TIndexVariable::Z;
    if (record.name == "IdxO")
        return TIndexVariable::O;
    if (record.name == "IdxR")
        return TIndexVariable::R;
    return TIndexVariable::None;
}

// Starting from the container, the first record that iterates on its own (Children or Fixed),
// climbing only through records that follow their parent's index.
const TTmlRecord* IteratingAncestor(const TTmlRecord& record)
{
    for (const TTmlRecord* r = record.container; r != nullptr; r = r->container)
    {
        if (r->iterate == TTmlIterate::Children || r->iterate == TTmlIterate::Fixed)
            return r;
        if (r->iterate != TTmlIterate::Parent)
            return nullptr;
    }
    return nullptr;
}

void Unite(int32_t first, int32_t last, int32_t& unionFirst, int32_t& unionLast)
{
    if (first < 0 || last < first)
        return;
    if (unionFirst < 0 || unionLast < unionFirst)
    {
        unionFirst = first;
        unionLast = last;
        return;
    }
    unionFirst = std::min(unionFirst, first);
    unionLast = std::max(unionLast, last);
}

} // namespace

TTmlRenderer::TTmlRenderer(const TTmlCompiledTemplate& compiled, TBaseVarsSource& source, std::string delimiter,
                           TTmlWriter& writer, int maxDepth, std::function<bool()> cancel)
    : compiled_(compiled), text_(compiled.Text()), source_(source), delimiter_(std::move(delimiter)), writer_(writer),
      maxDepth_(maxDepth), cancel_(std::move(cancel))
{
}

void TTmlRenderer::Run()
{
    lastAsked_ = TickCount();
    TTmlRecord root = compiled_.Root();
    Render(root);
}

int32_t TTmlRenderer::StopPosition() const
{
    return stopPosition_;
}

std::string TTmlRenderer::FullPath(const TTmlRecord& record) const
{
    std::vector<std::string_view> names;
    for (const TTmlRecord* r = &record; r->container != nullptr; r = r->container)
        names.push_back(r->name);
    std::string path;
    for (auto it = names.rbegin(); it != names.rend(); ++it)
    {
        path += delimiter_;
        path += *it;
    }
    return path;
}

void TTmlRenderer::CheckCancel()
{
    if (cancel_ && !cancelled_)
    {
        const uint32_t now = TickCount();
        if (now - lastAsked_ > kCancelIntervalMs)
        {
            lastAsked_ = now;
            cancelled_ = cancel_();
        }
    }
    if (cancelled_)
        throw TTmlStop{kTmlCancelled};
}

void TTmlRenderer::WriteSpan(TTmlSpan span)
{
    if (span.len > 0)
        writer_.WritePiece(text_.substr(static_cast<size_t>(span.pos), static_cast<size_t>(span.len)));
}

void TTmlRenderer::SourceRange(const TTmlRecord& record, int32_t& first, int32_t& last)
{
    first = -1;
    last = -1;
    if (IndexVariableOf(record) != TIndexVariable::None)
        return;
    if (record.fullPath)
        source_.GetRange(FullPath(record), first, last);
    else
        source_.GetRange(record.name, first, last);
}

// The union of the ranges of the references in the block's body that follow their parent's
// index, each taken as if it iterated over its own children. `refDepth` is the depth those
// references render at: from MaxDepth on they render nothing, so they add nothing either.
void TTmlRenderer::ChildrenUnion(const TTmlRecord& block, int refDepth, int32_t& first, int32_t& last)
{
    first = -1;
    last = -1;
    if (refDepth >= maxDepth_ || block.definition < 0)
        return;
    for (const TTmlEvent& event : compiled_.Events(block.definition))
    {
        writer_.Step(1);
        if (event.isDefinition)
            continue;
        TTmlRecord child = compiled_.References()[static_cast<size_t>(event.index)].record;
        if (child.iterate != TTmlIterate::Parent)
            continue;
        child.container = &block;
        int32_t childFirst = -1;
        int32_t childLast = -1;
        if (child.kind == TTmlKind::Block)
            ChildrenUnion(child, refDepth + 1, childFirst, childLast);
        else
            SourceRange(child, childFirst, childLast);
        Unite(childFirst, childLast, first, last);
    }
}

bool TTmlRenderer::ComputeRange(const TTmlRecord& record, int32_t& first, int32_t& last)
{
    switch (record.iterate)
    {
    case TTmlIterate::None:
        first = 0;
        last = 0;
        break;
    case TTmlIterate::Parent:
        first = record.currentIndex;
        last = record.currentIndex;
        break;
    case TTmlIterate::Children:
        if (record.kind == TTmlKind::Block)
            ChildrenUnion(record, depth_ + 1, first, last);
        else
            SourceRange(record, first, last);
        break;
    case TTmlIterate::Fixed:
        first = record.rangeFirst;
        last = record.rangeLast;
        break;
    }
    return first >= 0 && last >= first;
}

// Renders one item without emitting and tells whether it produced anything counted. Whatever a
// dry run does to the held-back whitespace and the item-start flag is undone afterwards, so
// measuring an item never changes the real output around it.
bool TTmlRenderer::DryRun(TTmlRecord& record, int32_t index)
{
    const bool savedEmitting = writer_.emitting;
    const bool savedItemStart = writer_.itemStart;
    std::string savedHeld;
    writer_.SwapHeld(savedHeld);
    writer_.emitting = false;
    record.currentIndex = index;
    writer_.itemStart = true;
    const int64_t before = writer_.produced;
    RenderItem(record);
    const bool produced = writer_.produced > before;
    writer_.DropHeld();
    writer_.SwapHeld(savedHeld);
    writer_.itemStart = savedItemStart;
    writer_.emitting = savedEmitting;
    return produced;
}

void TTmlRenderer::Render(TTmlRecord& record)
{
    try
    {
        RenderRecord(record);
    }
    catch (const TTmlStop&)
    {
        // The innermost record being rendered names the position; the outer ones pass it on.
        if (!stopped_)
        {
            stopped_ = true;
            stopPosition_ = record.kind == TTmlKind::Block ? record.start + 1 : 0;
        }
        throw;
    }
}

void TTmlRenderer::RenderRecord(TTmlRecord& record)
{
    if (depth_ >= maxDepth_)
        return;
    CheckCancel();
    writer_.Step(1);

    if (record.render == TTmlRender::Never)
        return;
    if (record.render == TTmlRender::Inquire && record.kind == TTmlKind::Block)
    {
        std::string name = record.fullPath ? FullPath(record) : std::string(record.name);
        if (record.iterate == TTmlIterate::Parent)
            name += "_" + std::to_string(record.currentIndex);
        if (!source_.Inquire(name))
            return;
    }
    int32_t first = -1;
    int32_t last = -1;
    if (!ComputeRange(record, first, last))
        return;

    const TTmlTrim savedTrim = writer_.trim;
    const TTmlWrap savedWrap = writer_.wrap;
    const int32_t savedWrapWidth = writer_.wrapWidth;
    const int64_t savedIndent = writer_.indent;
    const bool savedNotCounting = writer_.notCounting;
    const bool savedEmitting = writer_.emitting;
    ++depth_;

    const TIndexVariable indexVariable = IndexVariableOf(record);
    const bool skipped = (record.isStatic && !writer_.emitting && writer_.notCounting) ||
                         (indexVariable != TIndexVariable::None && !writer_.emitting);
    if (!skipped)
    {
        if (record.skip == TTmlSkip::Static)
            writer_.notCounting = true;
        if (record.trim != TTmlTrim::Inherit)
            writer_.trim = record.trim;
        if (record.wrap != TTmlWrap::Inherit)
        {
            writer_.wrap = record.wrap;
            writer_.wrapWidth = record.wrapWidth;
        }
        if (record.indentMode == TTmlIndentMode::Absolute || writer_.indent <= 0)
            writer_.indent = record.indent;
        else
            writer_.indent += record.indent;

        const bool measure =
            indexVariable == TIndexVariable::None &&
            (record.skip == TTmlSkip::Static || (record.skip == TTmlSkip::Empty && record.defaultText.len == 0));
        // Index variables never count as produced output, not even their texts around them.
        auto writeUncounted = [&](TTmlSpan span)
        {
            const int64_t before = writer_.produced;
            WriteSpan(span);
            if (indexVariable != TIndexVariable::None)
                writer_.produced = before;
        };

        int32_t kept = 0;
        for (int64_t index = first; index <= last; ++index)
        {
            writer_.Step(1);
            const auto item = static_cast<int32_t>(index);
            if (measure && !DryRun(record, item))
                continue;
            if (kept == 0)
                writeUncounted(record.prefix);
            else
                writeUncounted(record.divider);
            writer_.itemStart = true;
            record.ordinal = kept;
            record.currentIndex = item;
            const int64_t before = writer_.produced;
            RenderItem(record);
            writer_.itemStart = false;
            if (TrimsRight(writer_.trim))
                writer_.DropHeld();
            if (writer_.produced == before && indexVariable == TIndexVariable::None)
                WriteSpan(record.defaultText);
            ++kept;
        }
        if (kept > 0)
            writeUncounted(record.postfix);
    }

    --depth_;
    writer_.trim = savedTrim;
    writer_.wrap = savedWrap;
    writer_.wrapWidth = savedWrapWidth;
    writer_.indent = savedIndent;
    writer_.notCounting = savedNotCounting;
    writer_.emitting = savedEmitting;
}

void TTmlRenderer::RenderItem(TTmlRecord& record)
{
    if (record.kind == TTmlKind::Variable)
        RenderVariableItem(record);
    else
        RenderBlockItem(record);
}

void TTmlRenderer::RenderVariableItem(TTmlRecord& record)
{
    const TIndexVariable indexVariable = IndexVariableOf(record);
    if (indexVariable != TIndexVariable::None)
    {
        const TTmlRecord* ancestor = IteratingAncestor(record);
        if (ancestor == nullptr || ancestor->currentIndex < 0)
            return;
        int64_t number = ancestor->currentIndex;
        if (indexVariable == TIndexVariable::Z)
            number = ancestor->ordinal;
        else if (indexVariable == TIndexVariable::O)
            number = static_cast<int64_t>(ancestor->ordinal) + 1;
        const int64_t before = writer_.produced;
        writer_.WritePiece(std::to_string(number));
        writer_.produced = before;
        return;
    }
    const bool savedInValue = writer_.inValue;
    const bool savedNotCounting = writer_.notCounting;
    writer_.inValue = true;
    writer_.notCounting = false;
    std::string_view value;
    const bool found = record.fullPath ? source_.GetValue(FullPath(record), record.currentIndex, value)
                                       : source_.GetValue(record.name, record.currentIndex, value);
    if (found)
    {
        if (TrimsRight(writer_.trim))
            while (!value.empty() && IsTmlBlank(value.back()))
                value.remove_suffix(1);
        writer_.WritePiece(value);
    }
    writer_.inValue = savedInValue;
    writer_.notCounting = savedNotCounting;
}

void TTmlRenderer::RenderBlockItem(TTmlRecord& record)
{
    const int32_t from = TrimsLeft(writer_.trim) ? record.trimmedStart : record.bodyStart;
    const int32_t to = TrimsRight(writer_.trim) ? record.trimmedEnd : record.bodyEnd;
    const std::vector<TTmlEvent>& events = compiled_.Events(record.definition);
    auto next = std::lower_bound(events.begin(), events.end(), from,
                                 [](const TTmlEvent& event, int32_t pos) { return event.pos < pos; });
    // Literal text counts only when emitting or when the measurement counts it.
    const bool writeLiterals = writer_.emitting || !writer_.notCounting;
    int32_t pos = from;
    while (pos <= to)
    {
        const int32_t stop = (next != events.end() && next->pos <= to) ? next->pos : to + 1;
        if (writeLiterals)
        {
            // A "{" that ends the range is dropped: it cannot open anything.
            const int32_t literalEnd = (stop > to && text_[static_cast<size_t>(to)] == '{') ? to : stop;
            if (writer_.wrap == TTmlWrap::Spaces || writer_.wrap == TTmlWrap::Commas)
            {
                // Each literal character is a piece of its own: a wrap break skips the blanks
                // that follow it only within its piece.
                for (int32_t p = pos; p < literalEnd; ++p)
                    writer_.WritePiece(text_.substr(static_cast<size_t>(p), 1));
            }
            else if (literalEnd > pos)
                writer_.WritePiece(text_.substr(static_cast<size_t>(pos), static_cast<size_t>(literalEnd - pos)));
        }
        else
            writer_.Step(stop - pos);
        pos = stop;
        if (pos > to)
            break;
        const TTmlEvent& event = *next++;
        if (event.isDefinition)
        {
            pos = compiled_.Blocks()[static_cast<size_t>(event.index)].end + 1;
            continue;
        }
        const TTmlReference& ref = compiled_.References()[static_cast<size_t>(event.index)];
        pos = ref.next;
        TTmlRecord child = ref.record;
        child.container = &record;
        if (child.iterate == TTmlIterate::Parent)
        {
            if (IteratingAncestor(child) == nullptr)
                continue;
            child.currentIndex = record.currentIndex;
        }
        Render(child);
    }
}

} // namespace wardlark
