#pragma once
// A G-code block as the compiler records it (GCode) and the instruction that executes
// it (CmdGcode). The word values exist only as code that pushes one LREAL per word,
// the last word's value on top.

#include <cstdint>
#include <string>
#include <utility>
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
// live as these at once, so the names are kept packed, each ended by a NUL, and the word
// list handed on is filled in a buffer of the thread's at each execution.
class CmdGcode final : public Cmd {
public:
    explicit CmdGcode(const GCode& block);
    void execute(Stackmachine& machine) override;
    std::string toString() const override; // "Gcode " + number of words
    CodeItem* clone() const override;

    int32_t skipLevel() const { return skipLevel_; }
    // The words in source order with their names; every value 0.
    std::vector<GCodeWord> words() const;

private:
    CmdGcode(int32_t skipLevel, int32_t count, std::string names)
        : skipLevel_(skipLevel), count_(count), names_(std::move(names)) {}

    int32_t skipLevel_;
    int32_t count_;
    std::string names_;
};

} // namespace Karsto
