#pragma once

#include "text/unitTmlRecord.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace wardlark
{

class TStream;

// Thrown inside rendering to abandon it (cancelled, or a limit reached); the renderer catches
// it and turns `code` into its ErrorCode. Never leaves the renderer.
struct TTmlStop
{
    int code;
};

// The text formatter of template rendering: every piece of output text (literal characters,
// values, Prefix, Divider, Default and Postfix texts, index numbers) passes through
// WritePiece, which applies trimming, whitespace collapsing, indentation and wrapping.
//
// Whitespace (bytes of code 32 or lower) is held back and released only together with the next
// visible byte, so the output never ends with whitespace. While `emitting` is off (a dry run
// that measures whether an item produces anything) bytes are only counted in `produced`, and
// not even counted while `notCounting` is on.
//
// Output goes through a 32768-byte buffer into the stream; larger writes bypass it. The writer
// enforces two limits and throws TTmlStop when one is passed: the bytes emitted plus those held
// back may not exceed `maxOutput`, and the steps taken (bytes examined, items and marks
// visited, as counted through Step) may not exceed `maxSteps`.
//
// Thread safety: none; a writer belongs to one rendering.
class TTmlWriter
{
public:
    TTmlWriter(TStream& stream, int64_t maxOutput, int64_t maxSteps);
    TTmlWriter(const TTmlWriter&) = delete;
    TTmlWriter& operator=(const TTmlWriter&) = delete;

    // Writes one piece of text through the formatting rules.
    void WritePiece(std::string_view piece);
    // Forgets the whitespace held back so far.
    void DropHeld() { held_.clear(); }
    // Exchanges the held-back whitespace with `other` (dry runs set aside what precedes them).
    void SwapHeld(std::string& other) { held_.swap(other); }
    // Writes the buffered output into the stream; held-back whitespace stays held.
    void Flush();
    // Counts `count` steps of work; throws TTmlStop when the step limit is passed.
    void Step(int64_t count)
    {
        steps_ += count;
        if (steps_ > maxSteps_)
            throw TTmlStop{kStepLimitCode};
    }

    // Formatting state, saved and restored by the renderer around each record.
    TTmlTrim trim = TTmlTrim::Left;
    TTmlWrap wrap = TTmlWrap::None;
    int32_t wrapWidth = 0;
    int64_t indent = 0;
    // Flags of the current position in the rendering.
    bool itemStart = true;
    bool inValue = false;
    bool emitting = true;
    bool notCounting = false;
    // Bytes produced: emitted bytes, and in dry runs the bytes that would have been.
    int64_t produced = 0;

private:
    static constexpr int kStepLimitCode = 26;
    static constexpr size_t kBufferSize = 32768;

    // Writes one byte: whitespace is held back, a visible byte releases what is held and itself.
    void Put(char c)
    {
        if (IsTmlBlank(c))
            Hold(c);
        else
        {
            if (!held_.empty())
            {
                Release(held_.data(), held_.size());
                held_.clear();
            }
            Release(&c, 1);
        }
    }
    void Hold(char c);
    void HoldSpaces(int64_t count);
    void Release(const char* bytes, size_t count);
    void LineBreak();

    TStream& stream_;
    int64_t maxOutput_;
    int64_t maxSteps_;
    int64_t steps_ = 0;
    int64_t emitted_ = 0;
    int64_t column_ = 1;
    bool lineStart_ = true;
    bool whitespaceSkipped_ = false;
    std::string held_;
    std::string buffer_;
};

} // namespace wardlark
