#pragma once
// The factory of every conversion class, one per row of the conversion tables; each
// is defined by the source file that builds its table. Private to the conversion
// library.

namespace Karsto {
class Cmd;
}

namespace Karsto::conversions {

#define KARSTO_CAST_ROW(Table, From, To, Pop, Push, Rule) Cmd* makeCast##From##To();
#include "instructions/conversions/cast_tables.def"

} // namespace Karsto::conversions
