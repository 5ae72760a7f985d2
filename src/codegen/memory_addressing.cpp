#include "codegen/memory_addressing.h"

#include "codegen/address_constant.h"
#include "codegen/operation_emitters.h"
#include "core/emitters.h"
#include "core/stackmachine.h"
#include "core/stackmachine_interpreter.h"
#include "core/type.h"

namespace Karsto {
namespace {

// The call frame's three cells (caller's fp, entry address, return position) lie
// between fp and the first local.
constexpr int64_t kFrameCells = 3;

// fp plus a constant.
Code fpPlus(int64_t delta) {
    return emitFp(SourceSpan()).concat(addressConstant(delta)).concat(emitAdd(typeAddr, SourceSpan()));
}

} // namespace

void CmdConstParamOffset::execute(Stackmachine& machine) {
    onMachine(machine, [this](auto& m) { runOn(m); });
}

RunKernel CmdConstParamOffset::runKernel() const { return &quietKernel<CmdConstParamOffset>; }

std::string CmdConstParamOffset::toString() const { return "ConstLint " + std::to_string(value()); }

CodeItem* CmdConstParamOffset::clone() const { return withSpanOf(new CmdConstParamOffset(value())); }

Code CodegenMemoryAddressing::addressCode(const Memory& area, int64_t offset) const {
    switch (area.kind()) {
    case MemoryKind::Global:
        return addressConstant(offset);
    case MemoryKind::Shared:
        // Formed in 64 bits: the shared area starts at 0x80000000.
        return addressConstant(offset + Stackmachine::kSharedBase);
    case MemoryKind::Local:
        return fpPlus(offset + kFrameCells);
    case MemoryKind::Param:
        // The caller pushed the whole area directly below fp. Its size is the one at
        // link time: an initial value that reads a parameter is compiled before the
        // later parameter blocks are declared.
        return emitFp(SourceSpan())
            .concat(Code(new CmdConstParamOffset(area, offset)))
            .concat(emitAdd(typeAddr, SourceSpan()));
    case MemoryKind::Object:
        // The reference of the object whose method runs sits directly below fp.
        return fpPlus(-typeAddr->size())
            .concat(emitLd(typeAddr, SourceSpan()))
            .concat(addressConstant(offset))
            .concat(emitAdd(typeAddr, SourceSpan()));
    }
    return Code();
}

} // namespace Karsto
