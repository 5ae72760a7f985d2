// The remainder, power and two-argument arc tangent classes.

#include "instructions/operators/arithmetic_kernels.h"
#include "instructions/operators/operator_template.h"

namespace Karsto::operators {

#define KARSTO_OPERATOR KARSTO_OPERATOR_CLASS
#include "instructions/operators/mod_expt_atan2.def"

} // namespace Karsto::operators
