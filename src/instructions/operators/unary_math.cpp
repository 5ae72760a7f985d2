// The one-operand mathematical classes.

#include "instructions/operators/operator_template.h"
#include "instructions/operators/unary_kernels.h"

namespace Karsto::operators {

#define KARSTO_OPERATOR KARSTO_OPERATOR_CLASS
#include "instructions/operators/unary_math.def"

} // namespace Karsto::operators
