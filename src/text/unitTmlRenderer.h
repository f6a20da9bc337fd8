#pragma once

#include "text/unitTmlCompiler.h"
#include "text/unitTmlRecord.h"
#include "text/unitTmlWriter.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace wardlark
{

class TBaseVarsSource;

// One rendering of a compiled template: walks the records from the root, asks the variable
// source for ranges, flags and values, and writes through a TTmlWriter.
//
// References nest at most `maxDepth` levels (the root included); deeper ones render nothing,
// which is where a block that refers to itself stops. The ranges of blocks iterated over their
// children are computed within the same depth, so no template makes the renderer recurse
// without bound.
//
// Run throws TTmlStop when the cancel callback asks to stop (code 1) or when the writer reaches
// a limit; StopPosition then tells the 1-based position to report. Exceptions of the source
// pass through.
//
// Thread safety: none; a renderer serves one call and keeps only pointers to its arguments,
// which must outlive it.
class TTmlRenderer
{
public:
    TTmlRenderer(const TTmlCompiledTemplate& compiled, TBaseVarsSource& source, std::string delimiter,
                 TTmlWriter& writer, int maxDepth, std::function<bool()> cancel);

    void Run();
    // The start of the block being rendered when rendering stopped, or 0 for a variable.
    int32_t StopPosition() const;

private:
    void Render(TTmlRecord& record);
    void RenderRecord(TTmlRecord& record);
    void RenderItem(TTmlRecord& record);
    void RenderBlockItem(TTmlRecord& record);
    void RenderVariableItem(TTmlRecord& record);
    bool DryRun(TTmlRecord& record, int32_t index);
    bool ComputeRange(const TTmlRecord& record, int32_t& first, int32_t& last);
    void ChildrenUnion(const TTmlRecord& block, int refDepth, int32_t& first, int32_t& last);
    void SourceRange(const TTmlRecord& record, int32_t& first, int32_t& last);
    void WriteSpan(TTmlSpan span);
    void CheckCancel();
    std::string FullPath(const TTmlRecord& record) const;

    const TTmlCompiledTemplate& compiled_;
    std::string_view text_;
    TBaseVarsSource& source_;
    std::string delimiter_;
    TTmlWriter& writer_;
    int maxDepth_;
    int depth_ = 0;
    std::function<bool()> cancel_;
    uint32_t lastAsked_ = 0;
    bool cancelled_ = false;
    bool stopped_ = false;
    int32_t stopPosition_ = 0;
};

} // namespace wardlark
