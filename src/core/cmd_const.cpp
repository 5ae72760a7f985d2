#include "core/cmd_const.h"

#include "core/stackmachine_interpreter.h"

namespace Karsto {

#define KARSTO_CMD_CONST(suffix, typeKind, cell, push)                                   \
    void CmdConst##suffix::execute(Stackmachine& machine) {                                \
        onMachine(machine, [this](auto& m) { runOn(m); });                                  \
    }                                                                                      \
    RunKernel CmdConst##suffix::runKernel() const { return &quietKernel<CmdConst##suffix>; } \
    std::string CmdConst##suffix::toString() const {                                       \
        return "Const" #suffix " " + std::to_string(ConstCell<Value>::asText(value_));     \
    }                                                                                      \
    CodeItem* CmdConst##suffix::clone() const { return withSpanOf(new CmdConst##suffix(value_)); }
#include "core/cmd_const.def"

namespace {

template <class C>
Cmd* constFromInteger(int64_t value) {
    return new C(ConstCell<typename C::Value>::fromInteger(value));
}

template <class C>
Cmd* constFromReal(double value) {
    return new C(ConstCell<typename C::Value>::fromReal(value));
}

constexpr std::array<CmdConstInfo, kCmdConstCount> kRegistry = {{
#define KARSTO_CMD_CONST(suffix, typeKind, cell, push)                       \
    {"CmdConst" #suffix, TypeKind::typeKind, &constFromInteger<CmdConst##suffix>, \
     &constFromReal<CmdConst##suffix>},
#include "core/cmd_const.def"
}};

constexpr int32_t kRows = 0
#define KARSTO_CMD_CONST(suffix, typeKind, cell, push) +1
#include "core/cmd_const.def"
    ;
static_assert(kRows == kCmdConstCount, "27 constant classes, one per one-cell elementary kind");

// Registry index per kind, -1 for kinds without a constant class. Building it fails to
// compile when two rows claim the same kind.
constexpr std::array<int32_t, kTypeKindCount> kIndexByKind = [] {
    std::array<int32_t, kTypeKindCount> index{};
    index.fill(-1);
    for (int32_t row = 0; row < kCmdConstCount; ++row) {
        const TypeKind kind = kRegistry[static_cast<size_t>(row)].kind;
        int32_t& slot = index[static_cast<size_t>(kindIndex(kind))];
        if (slot != -1) {
            throw "two constant classes for one kind";
        }
        slot = row;
    }
    return index;
}();

} // namespace

const std::array<CmdConstInfo, kCmdConstCount>& cmdConstRegistry() { return kRegistry; }

const CmdConstInfo* cmdConstForKind(TypeKind kind) {
    const int32_t k = kindIndex(kind);
    if (k < 0 || k >= kTypeKindCount || kIndexByKind[static_cast<size_t>(k)] < 0) {
        return nullptr;
    }
    return &kRegistry[static_cast<size_t>(kIndexByKind[static_cast<size_t>(k)])];
}

} // namespace Karsto
