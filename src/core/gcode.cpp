#include "core/gcode.h"

#include "core/gprocessor.h"
#include "core/stackmachine_interpreter.h"

namespace Karsto {

CmdGcode::CmdGcode(const GCode& block) : skipLevel_(block.skipLevel), words_(block.words.size()) {
    for (size_t i = 0; i < words_.size(); ++i) words_[i].name = block.words[i];
}

void CmdGcode::execute(Stackmachine& machine) {
    onMachine(machine, [this](auto& m) {
        // The last word's value lies on top: position 0 gets the first word of the line.
        for (size_t i = words_.size(); i-- > 0;) words_[i].value = m.popF64();
        m.executeGcode(skipLevel_, words_);
    });
}

std::string CmdGcode::toString() const { return "Gcode " + std::to_string(words_.size()); }

CodeItem* CmdGcode::clone() const { return withSpanOf(new CmdGcode(skipLevel_, words_)); }

} // namespace Karsto
