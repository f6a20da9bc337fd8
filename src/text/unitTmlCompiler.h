#pragma once

#include "text/unitTmlRecord.h"

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace wardlark
{

// Where a reference or a nested definition stands in a body: rendering walks the literal text
// between these marks and handles each mark by its compiled record.
struct TTmlEvent
{
    int32_t pos = 0;   // 0-based offset of the opening "{"
    int32_t index = 0; // into References() or Blocks()
    bool isDefinition = false;
};

// A compiled reference: its settings (a copy of the block's definition with the reference's
// own parameters applied, or a fresh variable record with them) and where it ends.
struct TTmlReference
{
    int32_t pos = 0;  // 0-based offset of the opening "{{"
    int32_t next = 0; // 0-based offset just after the closing "}}"
    TTmlRecord record;
};

// A template text compiled once: the block table in the order in which definitions were
// completed, every reference, and for the top-level text and each block body the ordered list
// of references and nested definitions standing directly in it.
//
// Compilation scans the text once with an explicit stack of open definitions, so deeply nested
// definitions use heap memory in proportion to the text, never the machine stack.
//
// Thread safety: a compiled template is read-only after Compile and may be rendered by several
// threads at once.
class TTmlCompiledTemplate
{
public:
    TTmlCompiledTemplate() = default;
    TTmlCompiledTemplate(const TTmlCompiledTemplate&) = delete;
    TTmlCompiledTemplate& operator=(const TTmlCompiledTemplate&) = delete;

    // Compiles `text`. Returns 0 on success, otherwise a TTmlErrorCode with `errorPosition`
    // set to its 1-based position; compilation stops at the first error and the block table
    // keeps the definitions completed before it. With `strictParams` an unknown parameter name
    // is an error. May be called once per object.
    int Compile(std::string_view text, bool strictParams, int& errorPosition);

    const std::string& Text() const { return text_; }
    const std::vector<TTmlRecord>& Blocks() const { return blocks_; }
    const std::vector<TTmlReference>& References() const { return references_; }
    // The marks of the block body of definition `block`, or of the top-level text for -1.
    const std::vector<TTmlEvent>& Events(int32_t block) const
    {
        return block < 0 ? rootEvents_ : blockEvents_[static_cast<size_t>(block)];
    }
    // The root: a block record over the whole text with Iterate None and Trim Left.
    const TTmlRecord& Root() const { return root_; }
    // Index of the block named `name` (any case), or -1. When nesting entered one name twice,
    // the definition completed first is found.
    int32_t FindBlock(std::string_view name) const;

private:
    // A parameter of a reference, applied again once the reference's kind is known.
    struct Param
    {
        uint8_t id = 0;
        TTmlSpan value;
    };
    struct Frame;

    int ParseReference(int32_t open, TTmlReference& ref, int32_t& firstCloseBrace, int& errorPosition);
    int ParseHead(int32_t open, Frame& frame, int& errorPosition);
    int ParseParam(int32_t& i, int unterminatedCode, int32_t unterminatedPos, TTmlRecord& record,
                   std::vector<Param>* params, int& errorPosition);
    int AddBlock(Frame& frame);
    void Resolve();
    int32_t FirstSignificant(int32_t from) const;

    std::string text_;
    std::vector<TTmlRecord> blocks_;
    std::vector<std::vector<TTmlEvent>> blockEvents_;
    std::vector<TTmlEvent> rootEvents_;
    std::vector<TTmlReference> references_;
    std::vector<Param> params_;
    std::vector<std::pair<int32_t, int32_t>> referenceParams_; // first and count in params_
    std::deque<std::string> blockNames_;                       // lower-case names; stable addresses
    std::unordered_map<std::string_view, int32_t> blockIndex_;
    TTmlRecord root_;
    bool strictParams_ = false;
};

} // namespace wardlark
