// The string classes.

#include "instructions/operators/operator_template.h"
#include "instructions/operators/string_kernels.h"

namespace Karsto::operators {

#define KARSTO_OPERATOR KARSTO_OPERATOR_CLASS
#include "instructions/operators/strings.def"

} // namespace Karsto::operators
