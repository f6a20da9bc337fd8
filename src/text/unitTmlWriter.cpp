#include "text/unitTmlWriter.h"

#include "support/unitStreams.h"
#include "text/unitTmlErrors.h"

namespace wardlark
{

static_assert(kTmlStepLimit == 26, "TTmlWriter::kStepLimitCode must match kTmlStepLimit");

TTmlWriter::TTmlWriter(TStream& stream, int64_t maxOutput, int64_t maxSteps)
    : stream_(stream), maxOutput_(maxOutput), maxSteps_(maxSteps)
{
    held_.reserve(128);
    buffer_.reserve(kBufferSize);
}

void TTmlWriter::Hold(char c)
{
    if (emitted_ + static_cast<int64_t>(held_.size()) >= maxOutput_)
        throw TTmlStop{kTmlOutputLimit};
    held_.push_back(c);
}

void TTmlWriter::HoldSpaces(int64_t count)
{
    if (count <= 0)
        return;
    // Indentation is always followed by a visible byte, so it counts against the output limit now.
    if (emitted_ + static_cast<int64_t>(held_.size()) + count > maxOutput_)
        throw TTmlStop{kTmlOutputLimit};
    Step(count);
    held_.append(static_cast<size_t>(count), ' ');
}

void TTmlWriter::LineBreak()
{
    Hold('\r');
    Hold('\n');
    lineStart_ = true;
    column_ = 1;
}

void TTmlWriter::Release(const char* bytes, size_t count)
{
    const auto n = static_cast<int64_t>(count);
    if (!emitting)
    {
        if (!notCounting)
            produced += n;
        return;
    }
    produced += n;
    emitted_ += n;
    if (emitted_ > maxOutput_)
        throw TTmlStop{kTmlOutputLimit};
    if (buffer_.size() + count > kBufferSize)
    {
        Flush();
        if (count >= kBufferSize)
        {
            if (stream_.Write(bytes, static_cast<int32_t>(count)) != static_cast<int32_t>(count))
                throw TTmlStop{kTmlOutputLimit};
            return;
        }
    }
    buffer_.append(bytes, count);
}

void TTmlWriter::Flush()
{
    if (buffer_.empty())
        return;
    const auto count = static_cast<int32_t>(buffer_.size());
    const int32_t written = stream_.Write(buffer_.data(), count);
    buffer_.clear();
    if (written != count)
        throw TTmlStop{kTmlOutputLimit};
}

void TTmlWriter::WritePiece(std::string_view piece)
{
    const size_t n = piece.size();
    Step(static_cast<int64_t>(n) + 1);
    size_t i = 0;
    if (itemStart)
    {
        if (TrimsLeft(trim))
        {
            while (i < n && IsTmlBlank(piece[i]))
                ++i;
            if (i == n)
                return;
        }
        itemStart = false;
    }
    const bool collapse = (trim == TTmlTrim::Static && !inValue) || trim == TTmlTrim::All;
    const bool wrapSpaces = wrap == TTmlWrap::Spaces && wrapWidth > 0;
    const bool wrapCommas = wrap == TTmlWrap::Commas && wrapWidth > 0;
    auto skipFollowingBlanks = [&]
    {
        while (i + 1 < n && IsTmlBlank(piece[i + 1]))
            ++i;
    };
    for (; i < n; ++i)
    {
        const char c = piece[i];
        if (IsTmlBlank(c))
        {
            if (collapse)
            {
                if (emitting)
                    whitespaceSkipped_ = true;
                continue;
            }
            if (c == '\n' || c == '\r')
            {
                Hold(c);
                if (emitting)
                {
                    lineStart_ = true;
                    whitespaceSkipped_ = false;
                    column_ = 1;
                }
                continue;
            }
            if (wrapSpaces && column_ >= wrapWidth && emitting)
            {
                LineBreak();
                skipFollowingBlanks();
                continue;
            }
            Hold(c);
            if (emitting)
                ++column_;
            continue;
        }
        if (c == ',')
        {
            Put(c);
            if (wrapCommas && column_ >= wrapWidth)
            {
                if (emitting)
                    LineBreak();
                skipFollowingBlanks();
            }
            else if (emitting)
                ++column_;
            continue;
        }
        if (emitting)
        {
            if (!lineStart_ && whitespaceSkipped_ && (trim == TTmlTrim::Static || trim == TTmlTrim::All))
            {
                if (wrapSpaces && column_ >= wrapWidth)
                    LineBreak();
                else
                {
                    Hold(' ');
                    ++column_;
                }
            }
            if (lineStart_)
            {
                if (column_ <= indent)
                {
                    HoldSpaces(indent - column_ + 1);
                    column_ = indent + 1;
                }
                lineStart_ = false;
            }
        }
        Put(c);
        // The visible bytes that follow (up to a blank or a comma) need none of the rules above:
        // nothing is held back any more and the line has started, so they go out in one piece.
        size_t runEnd = i + 1;
        while (runEnd < n && !IsTmlBlank(piece[runEnd]) && piece[runEnd] != ',')
            ++runEnd;
        if (runEnd > i + 1)
            Release(piece.data() + i + 1, runEnd - i - 1);
        if (emitting)
        {
            whitespaceSkipped_ = false;
            column_ += static_cast<int64_t>(runEnd - i);
        }
        i = runEnd - 1;
    }
}

} // namespace wardlark
