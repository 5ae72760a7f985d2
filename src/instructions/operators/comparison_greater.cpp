// The Gt and Ge classes.

#include "instructions/operators/comparison_kernels.h"
#include "instructions/operators/operator_template.h"

namespace Karsto::operators {

#define KARSTO_OPERATOR KARSTO_OPERATOR_CLASS
#include "instructions/operators/comparison_greater.def"

} // namespace Karsto::operators
