// The Lt and Le classes.

#include "instructions/operators/comparison_kernels.h"
#include "instructions/operators/operator_template.h"

namespace Karsto::operators {

#define KARSTO_OPERATOR KARSTO_OPERATOR_CLASS
#include "instructions/operators/comparison_less.def"

} // namespace Karsto::operators
