#include "core/constant_factory.h"

#include "core/cmd_const.h"
#include "core/exception.h"
#include "core/type.h"

namespace Karsto {

namespace {

// The Code takes the one reference before the span is set, so nothing leaks if setting
// it fails.
Code holdWithSpan(Cmd* cmd, const SourceSpan& span) {
    Code code(cmd);
    cmd->setSpan(span);
    return code;
}

} // namespace

Code makeIntConstant(int64_t value, const Type* type, const SourceSpan& span) {
    const CmdConstInfo* info = cmdConstForKind(type->kind());
    checkSemantic(info != nullptr, "Can not construct integer constant for given type.");
    return holdWithSpan(info->fromInteger(value), span);
}

Code makeRealConstant(double value, const Type* type, const SourceSpan& span) {
    const CmdConstInfo* info = cmdConstForKind(type->kind());
    checkSemantic(info != nullptr, "Can not construct float constant for given type.");
    return holdWithSpan(info->fromReal(value), span);
}

} // namespace Karsto
