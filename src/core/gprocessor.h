#pragma once
// The G-code processor of a channel as the stack machine sees it, and the word record
// that an executed G-code block hands on. The processor itself lives in the G-code
// subsystem; this interface keeps src/core free of any dependency on it.

#include <cstdint>
#include <string>
#include <vector>

#include "core/source_span.h"

namespace Karsto {

class SymbolTables;
class FunctionNative;

// One address word of an executed block: its name and its value.
struct GCodeWord {
    std::string name;
    double value = 0.0;
};

class GProcessor {
public:
    virtual ~GProcessor() = default;

    // Executes one G-code block: skip level (-1 none, 0 "/", n "/n"), the words in source
    // order and the span of the block instruction. Errors are ExceptionRuntime without a
    // span; the machine's step gives them the block's span.
    virtual void executeBlock(int32_t skipLevel, const std::vector<GCodeWord>& words,
                              const SourceSpan& span) = 0;
    // Called before the first instruction of a run.
    virtual void startProgram() = 0;
    // Called in the step whose instruction cleared the machine's running flag.
    virtual void finishProgram() = 0;
    // Whether block delivery is held (the run-file block reader asks before each block).
    virtual bool isStalled() = 0;
    // Whether a block of this run asked for the program's end (M2, M30): the run-file
    // reader then stops feeding blocks, since the end jump reset the machine under it.
    virtual bool programEndRequested() const { return false; }
    // Enters the NC types into a compilation and appends the NC built-ins to natives.
    virtual void registerNatives(SymbolTables& symbols, std::vector<FunctionNative*>& natives) = 0;
    // Zeroes the block key and clears the command queue; called by the machine's reset
    // and unload.
    virtual void reset() = 0;
};

} // namespace Karsto
