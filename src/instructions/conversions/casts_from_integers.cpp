// The conversion classes from the signed and unsigned integers and the literal kinds.
// The conversions are built by two source files of about half the rows each, so that
// no file compiles all of them.

#include "instructions/conversions/cast_template.h"

namespace Karsto::conversions {

#define KARSTO_CAST KARSTO_CAST_CLASS
#include "instructions/conversions/cast_from_signed.def"
#define KARSTO_CAST KARSTO_CAST_CLASS
#include "instructions/conversions/cast_from_unsigned.def"
#define KARSTO_CAST KARSTO_CAST_CLASS
#include "instructions/conversions/cast_from_literal.def"

} // namespace Karsto::conversions
