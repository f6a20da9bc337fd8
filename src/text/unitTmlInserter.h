#pragma once

#include "text/unitTmlErrors.h"
#include "text/unitTmlVarsSource.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>

namespace wardlark
{

class TStream;
class TTmlCompiledTemplate;

// Bounds on one rendering, so that no template can make it run or grow without end: nested
// iteration multiplies work, and a short template can otherwise ask for gigabytes of output.
struct TTmlLimits
{
    // Bytes written to the output stream plus whitespace held back (rendering error 25 beyond).
    int64_t maxOutput = int64_t{256} << 20;
    // Steps of work: bytes examined, items visited, marks passed (rendering error 26 beyond).
    int64_t maxSteps = int64_t{1} << 30;
};

// The engine of the template language: compiles a template once (SetTemplate) and renders it
// any number of times (RenderInto) from a variable source into a stream.
//
// A template is text with references "{{Name Param=Value ...}}", which insert a variable's
// value or render a block, and block definitions "{|Name Param=Value ...|body|}", which
// produce nothing where they stand. After each call ErrorCode() holds 0 on success or a
// TTmlErrorCode, and ErrorPosition() the 1-based position it refers to (0 and 0 after success).
//
// Thread safety: an inserter serves one thread at a time. Inserters share no state, so
// different threads may render with different inserters at once without locks.
class TTmlInserter
{
public:
    // An inserter with an empty template, MaxDepth 10 and StrictParams false.
    TTmlInserter();
    ~TTmlInserter();
    TTmlInserter(const TTmlInserter&) = delete;
    TTmlInserter& operator=(const TTmlInserter&) = delete;

    // Empties the block table, stores `text` and compiles it. On failure ErrorCode() and
    // ErrorPosition() tell the first error; RenderInto then writes nothing and keeps that error.
    void SetTemplate(std::string_view text);

    // Renders the compiled template into `output` at its position, asking `source` for
    // variables. Error 23 when `source` is null or fails to give its path delimiter, 24 when
    // `output` is null or fails to give its size, 1 when the cancel callback asked to stop,
    // 25 and 26 when a limit of Limits() was reached; what was rendered before a stop is
    // written. Missing variables, empty ranges, unknown parameters and references nested
    // deeper than MaxDepth are not errors. Exceptions thrown by `source` during rendering
    // pass through (the inserter stays usable).
    void RenderInto(TBaseVarsSource* source, TStream* output);

    int ErrorCode() const { return errorCode_; }
    int ErrorPosition() const { return errorPosition_; }

    // How many levels the root and the references rendered inside one another may nest; 10 by
    // default, clipped to 1..100 when set.
    int MaxDepth() const { return maxDepth_; }
    void SetMaxDepth(int depth);

    // Whether an unknown parameter name is a compilation error (19) instead of being ignored.
    // Takes effect at the next SetTemplate.
    bool StrictParams() const { return strictParams_; }
    void SetStrictParams(bool strict) { strictParams_ = strict; }

    const TTmlLimits& Limits() const { return limits_; }
    // Values below 1 count as 1; the output limit is clipped to 1 GiB (the memory streams hold
    // at most 2 GiB).
    void SetLimits(const TTmlLimits& limits);

    // Asked at most every 200 ms during rendering whether to stop; true stops it with error 1.
    std::function<bool()> OnCancel;

    // Number of block definitions the last SetTemplate entered.
    int BlockCount() const;

private:
    std::unique_ptr<TTmlCompiledTemplate> compiled_;
    bool compiledOk_ = true;
    int errorCode_ = 0;
    int errorPosition_ = 0;
    int maxDepth_ = 10;
    bool strictParams_ = false;
    TTmlLimits limits_;
};

} // namespace wardlark
