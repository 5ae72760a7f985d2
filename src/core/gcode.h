#pragma once
// A G-code block as the compiler records it (GCode) and the instruction that executes
// it (CmdGcode). The word values exist only as code that pushes one LREAL per word,
// the last word's value on top.

#include <cstdint>
#include <string>
#include <vector>

#include "core/code.h"
#include "core/gprocessor.h"
#include "core/source_span.h"

namespace Karsto {

class GCode {
public:
    GCode(int32_t blockSkipLevel, const SourceSpan& blockSpan)
        : skipLevel(blockSkipLevel), span(blockSpan) {}

    // Appends the name of the block's next address word.
    void addWord(const std::string& name) { words.push_back(name); }

    // The block's instruction: emitGcode with this record and its own span. Defined
    // beside emitGcode in the code generator, so that src/core does not depend on it.
    Code code() const;

    int32_t skipLevel; // -1 no skip mark, 0 "/", n "/n"
    std::vector<std::string> words; // address names in source order
    SourceSpan span;                // the block's span
};

// Pops one F64 per word (the last word first) and hands skip level and words, in source
// order, to Stackmachine::executeGcode. Owns its copy of the record: the linked program
// never refers to the compiler's GCode.
class CmdGcode final : public Cmd {
public:
    explicit CmdGcode(const GCode& block);
    void execute(Stackmachine& machine) override;
    std::string toString() const override; // "Gcode " + number of words
    CodeItem* clone() const override;

    const GCode& block() const { return block_; }

private:
    GCode block_;
    // The words handed on, names filled in once: each execution only writes the values,
    // so a block costs no allocation. Only valid during execute.
    std::vector<GCodeWord> words_;
};

} // namespace Karsto
