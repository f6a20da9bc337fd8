#include "text/unitTmlInserter.h"

#include "support/unitStreams.h"
#include "text/unitTmlCompiler.h"
#include "text/unitTmlRenderer.h"
#include "text/unitTmlWriter.h"

#include <algorithm>

namespace wardlark
{

namespace
{

constexpr int kMaxDepthLimit = 100;
constexpr int64_t kMaxOutputLimit = int64_t{1} << 30;

} // namespace

TTmlInserter::TTmlInserter() : compiled_(std::make_unique<TTmlCompiledTemplate>())
{
    int position = 0;
    compiled_->Compile({}, strictParams_, position);
}

TTmlInserter::~TTmlInserter() = default;

void TTmlInserter::SetMaxDepth(int depth)
{
    maxDepth_ = std::clamp(depth, 1, kMaxDepthLimit);
}

void TTmlInserter::SetLimits(const TTmlLimits& limits)
{
    limits_.maxOutput = std::clamp<int64_t>(limits.maxOutput, 1, kMaxOutputLimit);
    limits_.maxSteps = std::max<int64_t>(limits.maxSteps, 1);
}

int TTmlInserter::BlockCount() const
{
    return static_cast<int>(compiled_->Blocks().size());
}

void TTmlInserter::SetTemplate(std::string_view text)
{
    compiled_ = std::make_unique<TTmlCompiledTemplate>();
    int position = 0;
    errorCode_ = compiled_->Compile(text, strictParams_, position);
    errorPosition_ = errorCode_ == kTmlOk ? 0 : position;
    compiledOk_ = errorCode_ == kTmlOk;
}

void TTmlInserter::RenderInto(TBaseVarsSource* source, TStream* output)
{
    if (!compiledOk_)
        return;
    errorCode_ = kTmlOk;
    errorPosition_ = 0;
    std::string delimiter;
    bool sourceOk = source != nullptr;
    if (sourceOk)
    {
        try
        {
            delimiter = source->GetPathDelimiter();
        }
        catch (...)
        {
            sourceOk = false;
        }
    }
    if (!sourceOk)
    {
        errorCode_ = kTmlNoVarsSource;
        errorPosition_ = 1;
        return;
    }
    bool outputOk = output != nullptr;
    if (outputOk)
    {
        try
        {
            static_cast<void>(output->Size());
        }
        catch (...)
        {
            outputOk = false;
        }
    }
    if (!outputOk)
    {
        errorCode_ = kTmlNoOutputStream;
        errorPosition_ = 1;
        return;
    }

    TTmlWriter writer(*output, limits_.maxOutput, limits_.maxSteps);
    TTmlRenderer renderer(*compiled_, *source, std::move(delimiter), writer, maxDepth_, OnCancel);
    try
    {
        renderer.Run();
        writer.Flush();
    }
    catch (const TTmlStop& stop)
    {
        errorCode_ = stop.code;
        errorPosition_ = renderer.StopPosition();
        try
        {
            writer.Flush();
        }
        catch (const TTmlStop&)
        {
        }
    }
}

} // namespace wardlark
