#include "core/emitters.h"

#include "core/cmd_flow.h"
#include "core/cmd_stack.h"
#include "core/constant_factory.h"
#include "core/exception.h"
#include "core/literals.h"
#include "core/type.h"

namespace Karsto {

namespace {

// The Code takes the first reference before the span is set, so nothing leaks should
// copying the span fail.
template <class C, class... Operands>
Code emitOne(const SourceSpan& span, Operands... operands) {
    C* item = new C(operands...);
    Code code(item);
    item->setSpan(span);
    return code;
}

} // namespace

Code emitIntegerLiteral(const std::string& text, int32_t base, const Type* target,
                        const SourceSpan& span) {
    return makeIntConstant(parseIntegerLiteral(text, base), target, span);
}

Code emitRealLiteral(const std::string& text, const Type* target, const SourceSpan& span) {
    return makeRealConstant(parseRealLiteral(text), target, span);
}

Code emitStringLiteral(const std::vector<uint16_t>& characters, const Type* target,
                       const SourceSpan& span) {
    const int64_t capacity = target->size() - 1; // the last cell holds the length
    const int64_t count = static_cast<int64_t>(characters.size());
    Code code;
    for (uint16_t c : characters) code = code.concat(makeIntConstant(c, typeUint, span));
    if (count < capacity) code = code.concat(emitSpAdd(span, capacity - count));
    return code.concat(makeIntConstant(count, typeAddr, span));
}

Code emitLd(const Type* type, const SourceSpan& span) {
    return emitOne<CmdLd>(span, type->size());
}

Code emitSt(const Type* type, const SourceSpan& span) {
    return emitOne<CmdSt>(span, type->size());
}

Code emitPop(const Type* type, const SourceSpan& span) {
    return emitOne<CmdSpAdd>(span, -type->size());
}

Code emitDup(const Type* type, const SourceSpan& span) {
    return emitOne<CmdDup>(span, type->size());
}

Code emitMux(const Type* type, int64_t count, const SourceSpan& span) {
    return emitOne<CmdMux>(span, type->size(), count);
}

Code emitCopy(const SourceSpan& span, int64_t offset, int64_t count) {
    return emitOne<CmdCopy>(span, offset, count);
}

Code emitCopyTo(const SourceSpan& span, int64_t sourceOffset, int64_t destinationOffset,
                int64_t count) {
    return emitOne<CmdCopyTo>(span, sourceOffset, destinationOffset, count);
}

Code emitFp(const SourceSpan& span) { return emitOne<CmdFp>(span); }

Code emitSpAdd(const SourceSpan& span, int64_t n) { return emitOne<CmdSpAdd>(span, n); }

Code emitCodeItem(CodeItem* item, const SourceSpan& span) {
    item->setSpan(span);
    return Code(item);
}

Code emitJump(Label* target, const SourceSpan& span) {
    checkSemantic(target != nullptr, "Control-flow to undefined location.");
    return emitOne<CmdJump>(span, target);
}

Code emitJumpSub(Label* target, const SourceSpan& span) {
    return emitOne<CmdJumpSub>(span, target);
}

Code emitJumpSubInd(const SourceSpan& span) { return emitOne<CmdJumpSubInd>(span); }

Code emitReturn(const SourceSpan& span) { return emitOne<CmdReturn>(span); }

Code emitHalt(const SourceSpan& span) { return emitOne<CmdHalt>(span); }

Code repeatCode(const Code& x, int64_t count) {
    Code result;
    for (int64_t i = 0; i < count; ++i) result = result.concat(x);
    return result;
}

} // namespace Karsto
