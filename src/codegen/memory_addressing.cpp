#include "codegen/memory_addressing.h"

#include "codegen/operation_emitters.h"
#include "core/constant_factory.h"
#include "core/emitters.h"
#include "core/stackmachine.h"
#include "core/type.h"

namespace Karsto {
namespace {

// The call frame's three cells (caller's fp, entry address, return position) lie
// between fp and the first local.
constexpr int64_t kFrameCells = 3;

Code addressConstant(int64_t value) { return makeIntConstant(value, typeAddr, SourceSpan()); }

// fp plus a constant.
Code fpPlus(int64_t delta) {
    return emitFp(SourceSpan()).concat(addressConstant(delta)).concat(emitAdd(typeAddr, SourceSpan()));
}

} // namespace

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
        // The caller pushed the whole area directly below fp; its size is taken now,
        // when every parameter has been declared.
        return fpPlus(offset - area.size());
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
