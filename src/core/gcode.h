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
// order, to Stackmachine::executeGcode. Owns its copy of the skip level and the word
// names: the linked program never refers to the compiler's GCode. A whole file's blocks
// live as these at once, so the instruction keeps nothing else.
class CmdGcode final : public Cmd {
public:
    explicit CmdGcode(const GCode& block);
    void execute(Stackmachine& machine) override;
    std::string toString() const override; // "Gcode " + number of words
    CodeItem* clone() const override;

    int32_t skipLevel() const { return skipLevel_; }
    // The words in source order with their names; values only during execute.
    const std::vector<GCodeWord>& words() const { return words_; }

private:
    CmdGcode(int32_t skipLevel, const std::vector<GCodeWord>& words) : skipLevel_(skipLevel), words_(words) {}

    int32_t skipLevel_;
    // The words handed on, names filled in once: each execution only writes the values,
    // so a block costs no allocation.
    std::vector<GCodeWord> words_;
};

} // namespace Karsto
