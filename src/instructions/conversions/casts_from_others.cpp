// The conversion classes from enumeration values, the reals, BOOL and the characters,
// the bit strings, and between the time and date types. The integers' are in
// casts_from_integers.cpp.

#include "instructions/conversions/cast_template.h"

namespace Karsto::conversions {

#define KARSTO_CAST KARSTO_CAST_CLASS
#include "instructions/conversions/cast_from_enum.def"
#define KARSTO_CAST KARSTO_CAST_CLASS
#include "instructions/conversions/cast_from_real.def"
#define KARSTO_CAST KARSTO_CAST_CLASS
#include "instructions/conversions/cast_from_bool_char.def"
#define KARSTO_CAST KARSTO_CAST_CLASS
#include "instructions/conversions/cast_from_bit_string.def"
#define KARSTO_CAST KARSTO_CAST_CLASS
#include "instructions/conversions/cast_time_date.def"

} // namespace Karsto::conversions
