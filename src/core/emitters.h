#pragma once
// The structural emitters: free functions through which the compiler creates the
// stack, memory and flow instructions and the constants of literals. Each creates one
// new instruction (or a short fixed sequence), gives every new item the span it is
// handed and returns a Code holding it. Emitters never take operand code: callers
// concatenate operand code and emitter results in execution order.

#include <cstdint>
#include <string>
#include <vector>

#include "core/code.h"
#include "core/source_span.h"

namespace Karsto {

class Type;

// The constant of the target type for the literal's value (errors of the literal
// parsers and of the constant factories propagate unchanged).
Code emitIntegerLiteral(const std::string& text, int32_t base, const Type* target,
                        const SourceSpan& span);
Code emitRealLiteral(const std::string& text, const Type* target, const SourceSpan& span);
// A STRING or WSTRING value in its stack form for a target of capacity n (its size
// minus the length cell): one UINT constant per character, a reserve of the remaining
// character cells when there are fewer than n, then the length as an "<addr>" constant.
Code emitStringLiteral(const std::vector<uint16_t>& characters, const Type* target,
                       const SourceSpan& span);

// Counts are the type's size in cells.
Code emitLd(const Type* type, const SourceSpan& span);
Code emitSt(const Type* type, const SourceSpan& span);
Code emitPop(const Type* type, const SourceSpan& span); // drops one value: SpAdd -size
Code emitDup(const Type* type, const SourceSpan& span);
Code emitMux(const Type* type, int64_t count, const SourceSpan& span);

Code emitCopy(const SourceSpan& span, int64_t offset, int64_t count);
Code emitCopyTo(const SourceSpan& span, int64_t sourceOffset, int64_t destinationOffset,
                int64_t count);
Code emitFp(const SourceSpan& span);
Code emitSpAdd(const SourceSpan& span, int64_t n);

// Places an existing item (a label): sets its span and returns a Code holding that very
// item. Placing one label twice yields two Codes on the same item; the last span wins.
Code emitCodeItem(CodeItem* item, const SourceSpan& span);
// A null target raises "Control-flow to undefined location." before anything is made.
Code emitJump(Label* target, const SourceSpan& span);
// The target is not tested.
Code emitJumpSub(Label* target, const SourceSpan& span);
Code emitJumpSubInd(const SourceSpan& span);
Code emitReturn(const SourceSpan& span);
Code emitHalt(const SourceSpan& span);

// x concatenated count times: the empty Code for a count of 0 or below, x itself for 1,
// else a left-deep tree whose leaves all share x.
Code repeatCode(const Code& x, int64_t count);

} // namespace Karsto
