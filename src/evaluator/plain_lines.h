#pragma once
// A run of plain G-code lines kept as their source text until they run. A CAM program is
// millions of lines like "G1 X5 Y0 Z-0.18 F1300"; compiled, each would be an LREAL
// constant per word, a negation per minus and a G-code instruction, all alive at once.
// This instruction stands for exactly those items, in that order, and executes one of
// them per step, with the same values, pushes, pops, spans and errors: it reads each
// line from the compile's input when its turn comes and stays at its own pc until the
// last item of its last line. Where it stands between steps is the machine's StepCursor.
//
// The compile makes one only from lines that it has read as plain (checkPlainGcodeLine),
// whose numbers readPlainNumber takes, with nothing but blanks and tabs between one
// line's line ends and the next line's first word. The program listing shows the run as
// one item, so the compile driver makes none while the listing or the machine's traces
// are logged.

#include <cstdint>
#include <memory>
#include <string>

#include "core/code.h"

namespace Karsto {

class ScannerInputFile;

class CmdPlainLines final : public Cmd {
public:
    // The lines from offset begin (the first word of the first line) to end (after the
    // last line's line ends) of source's expanded text, which must not change while the
    // instruction lives. negation: the LREAL negation the compile emits for a minus sign.
    CmdPlainLines(std::shared_ptr<const ScannerInputFile> source, uint32_t begin, uint32_t end, Code negation);

    void execute(Stackmachine& machine) override { executeItem(machine); }
    // The run loop of a channel's interpreter calls the same step, without the machine's
    // step around it.
    RunKernel runKernel() const override;
    std::string toString() const override; // "PlainLines " + begin + "-" + end offsets
    CodeItem* clone() const override;

    uint32_t end() const { return end_; }
    // Takes in the next line, which ends at end.
    void extendTo(uint32_t end) { end_ = end; }

private:
    // Executes the next item: the first one of the first line when the machine does not
    // stand in this instruction yet.
    void executeItem(Stackmachine& machine) const;
    static void runQuiet(StackmachineInterpreter& machine, const Cmd& item);

    std::shared_ptr<const ScannerInputFile> source_;
    uint32_t begin_;
    uint32_t end_;
    Code negation_;
};

} // namespace Karsto
