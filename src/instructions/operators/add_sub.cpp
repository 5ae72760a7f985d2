// The addition and subtraction classes.

#include "instructions/operators/arithmetic_kernels.h"
#include "instructions/operators/operator_template.h"

namespace Karsto::operators {

#define KARSTO_OPERATOR KARSTO_OPERATOR_CLASS
#include "instructions/operators/add_sub.def"

} // namespace Karsto::operators
