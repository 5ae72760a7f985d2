#include "codegen/reference_assignment.h"

#include "codegen/address_constant.h"
#include "codegen/cast_emitter.h"
#include "codegen/codegen_class.h"
#include "codegen/codegen_interface.h"
#include "codegen/operation_emitters.h"
#include "core/emitters.h"
#include "core/exception.h"
#include "core/type.h"
#include "core/type_class.h"
#include "core/type_pointer.h"

namespace Karsto {
namespace {

// The instructions made here carry no place of their own.
const SourceSpan kNone;

// A new label and the Code that places it.
struct PlacedLabel {
    PlacedLabel() : label(new Label()), place(emitCodeItem(label, kNone)) {}
    Label* label; // held by place
    Code place;
};

// Pops an address and branches when it equals the constant on top.
Code branchIfEqual(Label* target, bool equal) {
    const Code compare = emitEq(typeAddr, kNone);
    return compare.concat(equal ? emitBranchTrue(target, typeBool, kNone)
                                : emitBranchFalse(target, typeBool, kNone));
}

// The defined interface behind an interface type (a copy answers its definition).
const CodegenInterface& interfaceDefinition(Type* type) {
    const auto* d = dynamic_cast<const CodegenInterface*>(type->asInterface()->definition());
    checkSemantic(d != nullptr && d->defined(), "Internal error: '%s' is not an interface with a "
                  "layout", type->toString().c_str());
    return *d;
}

// On the object address o: the reference to o's table of the interface, or 0 when the
// chain of tables of o's class has none for it. Stack pictures bottom to top.
Code interfaceSearch(Type* target) {
    const PlacedLabel next;
    const PlacedLabel none;
    const PlacedLabel done;
    return emitDup(typeAddr, kNone)
        .concat(emitLd(typeAddr, kNone)) // o, v: o's image
        .concat(emitDup(typeAddr, kNone)) // o, v, p = v
        .concat(next.place)
        .concat(addressConstant(1))
        .concat(emitAdd(typeAddr, kNone))
        .concat(emitLd(typeAddr, kNone)) // o, v, n: p's link
        .concat(emitDup(typeAddr, kNone))
        .concat(addressConstant(0))
        .concat(branchIfEqual(none.label, true)) // a link of 0 ends the chain
        .concat(emitCopy(kNone, -2, 1))
        .concat(emitAdd(typeAddr, kNone)) // o, v, q = v + n
        .concat(emitDup(typeAddr, kNone))
        .concat(emitLd(typeAddr, kNone))
        .concat(interfaceDefinition(target).vmtAddress())
        .concat(branchIfEqual(next.label, false)) // another interface: p = q
        .concat(emitCopyTo(kNone, -1, -2, 1))
        .concat(emitSpAdd(kNone, -1)) // o, q
        .concat(addressConstant(2))
        .concat(emitAdd(typeAddr, kNone))
        .concat(emitLd(typeAddr, kNone))
        .concat(emitAdd(typeAddr, kNone)) // o + the table's pointer offset
        .concat(emitJump(done.label, kNone))
        .concat(none.place)
        .concat(emitSpAdd(kNone, -1))
        .concat(emitSpAdd(kNone, -1))
        .concat(emitSpAdd(kNone, -1))
        .concat(addressConstant(0))
        .concat(done.place);
}

// On the object address o: o when its class is the target class or derives from it,
// else 0. Stack pictures bottom to top.
Code classSearch(Type* target) {
    const PlacedLabel next;
    const PlacedLabel found;
    const PlacedLabel done;
    return emitDup(typeAddr, kNone) // o, p = o
        .concat(next.place)
        .concat(emitLd(typeAddr, kNone)) // o, v: the image p names, then its base's
        .concat(emitDup(typeAddr, kNone))
        .concat(classDefinition(target).vmtAddress())
        .concat(branchIfEqual(found.label, true))
        .concat(emitDup(typeAddr, kNone))
        .concat(addressConstant(0))
        .concat(branchIfEqual(next.label, false)) // a base image: p = v
        .concat(emitSpAdd(kNone, -1))
        .concat(emitSpAdd(kNone, -1))
        .concat(addressConstant(0))
        .concat(emitJump(done.label, kNone))
        .concat(found.place)
        .concat(emitSpAdd(kNone, -1)) // o
        .concat(done.place);
}

enum class ReferenceKind { none, toClass, toInterface };

ReferenceKind referenceKind(Type* type) {
    if (type->isInterface()) return ReferenceKind::toInterface;
    if (type->isPointer() && type->asPointer()->target() != nullptr &&
        type->asPointer()->target()->isClass())
        return ReferenceKind::toClass;
    return ReferenceKind::none;
}

Code assignmentAttempt(const Code& value, Type* from, Type* to) {
    const ReferenceKind source = referenceKind(from);
    const ReferenceKind target = referenceKind(to);
    // Any other pair would leave nothing for the statement's store.
    checkSemantic(source != ReferenceKind::none && target != ReferenceKind::none,
                  "Invalid assignment attempt from type '%s' to '%s'.", from->toString().c_str(),
                  to->toString().c_str());
    const PlacedLabel end;
    // A null source is the result itself.
    Code code = value.concat(emitDup(typeAddr, kNone))
                    .concat(addressConstant(0))
                    .concat(branchIfEqual(end.label, true));
    if (source == ReferenceKind::toInterface)
        code = code.concat(CodegenInterface::objectAddressCode());
    code = code.concat(target == ReferenceKind::toInterface
                           ? interfaceSearch(to)
                           : classSearch(to->asPointer()->target()));
    return code.concat(end.place);
}

} // namespace

Code emitReferenceAssignment(const Code& value, const Code& address, Type* from, Type* to,
                             bool attempt, const SourceSpan& span) {
    if (attempt) return assignmentAttempt(value, from, to);
    if (from->isClass() && to->isInterface()) {
        checkSemantic(!address.empty(), "Object can not be referenced");
        const int64_t offset = from->asClass()->interfaceOffset(to->asInterface());
        return address.concat(addressConstant(offset)).concat(emitAdd(typeAddr, kNone));
    }
    return value.concat(emitImplicitConversion(from, to, span));
}

} // namespace Karsto
