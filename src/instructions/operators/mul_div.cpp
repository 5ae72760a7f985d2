// The multiplication and division classes.

#include "instructions/operators/arithmetic_kernels.h"
#include "instructions/operators/operator_template.h"

namespace Karsto::operators {

#define KARSTO_OPERATOR KARSTO_OPERATOR_CLASS
#include "instructions/operators/mul_div.def"

} // namespace Karsto::operators
