#pragma once
// The stack machine of one NC channel: drives the channel's G-code processor. It starts
// the processor before the first instruction, hands it every executed G-code block,
// finishes it in the step that halts the program and resets it with the machine.

#include "core/gprocessor.h"
#include "core/stackmachine.h"

namespace Karsto {

class StackmachineInterpreter : public Stackmachine {
public:
    // The processor is stored by the creator (or given here); construction does not
    // reset it.
    StackmachineInterpreter() = default;
    explicit StackmachineInterpreter(GProcessor* gprocessor) : processor(gprocessor) {}
    ~StackmachineInterpreter() override;

    // As the base, then GProcessor::reset.
    void unload() override;
    void reset() override;
    // As the base, then GProcessor::executeBlock with the span of the instruction being
    // executed.
    void executeGcode(int32_t skipLevel, const std::vector<GCodeWord>& words) override;
    void onProgramStart() override;  // GProcessor::startProgram
    void onProgramEnd() override;    // GProcessor::finishProgram

    // The channel's processor; not owned (the channel outlives the machine's use of it).
    GProcessor* processor = nullptr;
};

} // namespace Karsto
