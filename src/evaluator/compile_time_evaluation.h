#pragma once
// Values a declaration needs while it is compiled (bounds, lengths, enumeration values,
// repetition counts, the FOR step) are computed by running their ordinary code on a
// private machine that may only compute with values on its own stack. Nothing is
// folded in the tree.

#include <cstdint>

#include "core/code.h"
#include "core/stackmachine.h"

namespace Karsto {

class Type;

// A machine that refuses every frame-pointer operation and every copy from or to a
// cell outside its stack (global data, the shared area, anything beyond its block)
// with ExceptionRuntime "Invalid constant expression".
class StackmachineEvaluator final : public Stackmachine {
public:
    void copy(int64_t destination, int64_t source, int64_t count) override;
    int64_t getFp() override;
    void addFp(int64_t n) override;
    void setFp(int64_t fp) override;
};

// Runs the code, which pushes one value of the type, on a fresh StackmachineEvaluator
// and returns the value converted implicitly to DINT (LREAL). Every failure is an
// ExceptionSemantic without a span: a code holding a label, a type that does not
// convert, a refused access and any run-time error of the instructions, with its
// message. The code is left unchanged.
int32_t evaluateConstInt(const Code& code, Type* type);
double evaluateConstReal(const Code& code, Type* type);

} // namespace Karsto
