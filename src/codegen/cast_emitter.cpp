#include "codegen/cast_emitter.h"

#include "codegen/cast_table.h"
#include "codegen/codegen_class.h"
#include "core/emitters.h"
#include "core/exception.h"
#include "core/type.h"
#include "core/type_array.h"
#include "core/type_string.h"
#include "instructions/conversions/conversion_table.h"
#include "instructions/operators/operator_table.h"

namespace Karsto {
namespace {

// The conversion instruction of the pair. The family-wide tests prove that every A, R
// and E entry has one; the check keeps a table out of step with the family from
// becoming a call through null.
Code conversionCode(TypeKind from, TypeKind to) {
    const ConversionFactory make = conversionFor(from, to);
    checkSemantic(make != nullptr, "Internal error: no conversion instruction from kind %d to %d",
                  kindIndex(from), kindIndex(to));
    return Code(make());
}

// An operator instruction of the family for the kind (Void: the classes without a type
// suffix), with its operands.
Code operatorCode(OperatorFamily family, TypeKind kind, const OperatorOperands& operands) {
    const OperatorEntry* entry = operatorFor(family, kind);
    checkSemantic(entry != nullptr, "Internal error: no operator instruction %d for kind %d",
                  static_cast<int32_t>(family), kindIndex(kind));
    return Code(entry->make(operands));
}

// The capacity of a STRING or WSTRING type; the cast entries reach it for those alone.
int64_t stringCapacity(Type* type) {
    if (type->kind() == TypeKind::Wstring) return type->asWstring()->capacity();
    return type->asString()->capacity();
}

} // namespace

Code emitCast(Type* from, Type* to, const SourceSpan& span) {
    const TypeKind fromKind = from->kind();
    const TypeKind toKind = to->kind();
    // The items are made with the empty span; the span is set on the whole result.
    Code code;
    switch (castEntry(fromKind, toKind)) {
    case CastEntry::Nothing:
        return code;
    case CastEntry::Convert:
        code = conversionCode(fromKind, toKind);
        break;
    case CastEntry::RoundConvert:
        // Rounds half away from zero before the conversion truncates.
        code = operatorCode(OperatorFamily::Round, fromKind, {})
                   .concat(conversionCode(fromKind, toKind));
        break;
    case CastEntry::FromEnum:
        code = conversionCode(TypeKind::Enum, toKind);
        break;
    case CastEntry::CharToString:
        code = operatorCode(OperatorFamily::CastCharStr, TypeKind::Void, {.first = stringCapacity(to)});
        break;
    case CastEntry::StringToChar:
        code = operatorCode(OperatorFamily::CastStrChar, TypeKind::Void,
                            {.first = stringCapacity(from)});
        break;
    case CastEntry::StringToString:
        code = operatorCode(OperatorFamily::CastStrStr, TypeKind::Void,
                            {.first = stringCapacity(from), .second = stringCapacity(to)});
        break;
    case CastEntry::ClassToClass:
        code = emitClassConversion(from, to);
        break;
    case CastEntry::Refused:
        checkSemantic(false, "Invalid cast from '%s' to '%s'.", from->toString().c_str(),
                      to->toString().c_str());
        break;
    }
    code.setSpan(span);
    return code;
}

Code emitImplicitConversion(Type* from, Type* to, const SourceSpan& span) {
    if (typesEqual(from, to)) return Code();
    // Strings of one kind convert whatever their capacities: the value is cut to the
    // target's capacity when it runs.
    const bool sameStringKind =
        (from->isString() && to->isString()) || (from->isWstring() && to->isWstring());
    if (!sameStringKind && !isImplicitlyConvertible(from, to)) {
        checkSemantic(false, "Invalid implicit conversion from type '%s' to '%s'.",
                      from->toString().c_str(), to->toString().c_str());
    }
    return emitCast(from, to, span);
}

Code emitArrayInit(int32_t count, TypeArray* array, const SourceSpan& span) {
    const int64_t elements = array->elementCount();
    const int64_t given = count;
    if (given == elements) return Code();
    Type* element = array->elementType();
    Code code;
    if (given < elements) {
        // The missing elements at the end take the element's initial value.
        code = repeatCode(element->initialValue(), elements - given);
    } else {
        // Drops the surplus, the values pushed last.
        code = emitSpAdd(SourceSpan(), -(element->size() * (given - elements)));
    }
    checkWarning(false, "Size of array does not match initialization");
    code.setSpan(span);
    return code;
}

} // namespace Karsto
