#include "gcode/builtins/function_native_nc.h"

#include <utility>

#include "core/constant_factory.h"
#include "core/exception.h"
#include "core/memory.h"
#include "core/type.h"
#include "core/type_scif.h"
#include "core/variable.h"

namespace Karsto {

namespace {

int32_t flagsOf(const NcParamRow& param) {
    return flagBit(param.output ? VariableFlags::VAR_OUTPUT : VariableFlags::VAR_INPUT);
}

std::vector<int64_t> memberOffsetsOf(Type* type) {
    std::vector<int64_t> offsets;
    if (!type->isStruct()) return offsets;
    const TypeStruct* structure = type->asStruct();
    for (int32_t i = 0; i < structure->memberCount(); ++i)
        offsets.push_back(structure->memberOffsetAt(i));
    return offsets;
}

} // namespace

FunctionNativeNc::FunctionNativeNc(NcNativeId id, GProcessorNc2* processor, const NcTypes& types)
    : FunctionNative(ncNativeRow(id).name, ncValueType(ncNativeRow(id).returns, types),
                     ncNativeRow(id).context == NcContext::context),
      id_(id), processor_(ncNativeRow(id).processor == NcBinding::bound ? processor : nullptr) {
    const NcNativeRow& signature = row();
    slotOffsets_.push_back(parameters().at(signature.name)->offset());
    structMemberOffsets_ = memberOffsetsOf(returnType());
    for (const NcParamRow& param : signature.params) {
        Type* type = nullptr;
        if (param.kind == NcValue::IntMinusOne) {
            ownedIntMinusOne_.reset(typeInt->cloneWithInitializer(makeIntConstant(-1, typeInt, SourceSpan())));
            type = ownedIntMinusOne_.get();
        } else {
            type = ncValueType(param.kind, types);
        }
        addParam(param.name, type, flagsOf(param));
        slotOffsets_.push_back(parameters().at(param.name)->offset());
        if (structMemberOffsets_.empty()) structMemberOffsets_ = memberOffsetsOf(type);
    }
    frameCells_ = parameterArea()->size() + (hasContextSlot() ? 1 : 0);
}

FunctionNativeNc::~FunctionNativeNc() = default;

void FunctionNativeNc::checkEnumArgument(size_t slot, int32_t value) const {
    // Slot 0 is the return variable; parameters follow in the row's order.
    const NcParamRow& param = row().params[slot - 1];
    const std::optional<NcTypeId> type = ncTypeOf(param.kind);
    checkRuntime(type.has_value() && ncEnumHasValue(*type, value),
                 "Invalid value %d of enumeration '%s' in function '%s'.", value,
                 type ? ncTypeRow(*type).name : "?", name().c_str());
}

} // namespace Karsto
