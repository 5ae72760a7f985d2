#include "core/gcode.h"

#include "core/gprocessor.h"
#include "core/stackmachine.h"

namespace Karsto {

void CmdGcode::execute(Stackmachine& machine) {
    const size_t n = block_.words.size();
    std::vector<GCodeWord> words(n);
    // The last word's value lies on top: position 0 gets the first word of the line.
    for (size_t i = n; i-- > 0;) {
        words[i].name = block_.words[i];
        words[i].value = machine.popF64();
    }
    machine.executeGcode(block_.skipLevel, words);
}

std::string CmdGcode::toString() const { return "Gcode " + std::to_string(block_.words.size()); }

CodeItem* CmdGcode::clone() const { return withSpanOf(new CmdGcode(block_)); }

} // namespace Karsto
