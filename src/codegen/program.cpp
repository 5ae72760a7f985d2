#include "core/program.h"

#include "core/emitters.h"
#include "core/memory.h"

namespace Karsto {

Program::Program(const Code& mainCode, MemoryGlobal* globals, const Code& functionBodies)
    : globals_(globals) {
    // Created in this order so their ids rise from the start label to the end label.
    auto* start = new Label();
    auto* mainEnd = new Label();
    auto* bodies = new Label();
    auto* end = new Label();
    const SourceSpan none;
    // Placed at once, so that no label is left without a holder should the
    // initialisation raise; the placements hold the labels, the jump refers to the end
    // label without a reference.
    const Code startPlace = emitCodeItem(start, none);
    const Code mainEndPlace = emitCodeItem(mainEnd, none);
    const Code bodiesPlace = emitCodeItem(bodies, none);
    const Code endPlace = emitCodeItem(end, none);
    const Code skipBodies = emitJump(end, none);
    const Code halt = emitHalt(none);
    const Code init = globals->initCode();
    code = startPlace.concat(init)
               .concat(mainCode)
               .concat(mainEndPlace)
               .concat(skipBodies)
               .concat(bodiesPlace)
               .concat(functionBodies)
               .concat(endPlace)
               .concat(halt);
}

} // namespace Karsto
