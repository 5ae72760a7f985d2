#include "codegen/reference_assignment.h"

#include "codegen/cast_emitter.h"
#include "codegen/operation_emitters.h"
#include "core/constant_factory.h"
#include "core/exception.h"
#include "core/type.h"
#include "core/type_class.h"

namespace Karsto {

Code emitReferenceAssignment(const Code& value, const Code& address, Type* from, Type* to, const SourceSpan& span) {
    if (from->isClass() && to->isInterface()) {
        checkSemantic(!address.empty(), "Object can not be referenced");
        const int64_t offset = from->asClass()->interfaceOffset(to->asInterface());
        // The instructions of the reference carry no place of their own.
        const SourceSpan none;
        return address.concat(makeIntConstant(offset, typeAddr, none)).concat(emitAdd(typeAddr, none));
    }
    return value.concat(emitImplicitConversion(from, to, span));
}

} // namespace Karsto
