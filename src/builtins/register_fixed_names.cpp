// Step 1 of the registration: the built-ins with a name of their own, which set their
// name and arity themselves and have no overload table.

#include <iterator>

#include "builtins/date_time_builtins.h"
#include "builtins/registration_steps.h"
#include "builtins/selection_builtins.h"
#include "builtins/string_builtins.h"

namespace Karsto {

namespace {

template <class Kind>
FunctionIntrinsic* make() {
    return new Kind();
}

using Factory = FunctionIntrinsic* (*)();

// Registration order.
constexpr Factory kFixedNames[] = {
    make<FunctionIntrinsicSel>,           make<FunctionIntrinsicMux>,
    make<FunctionIntrinsicMin>,           make<FunctionIntrinsicMax>,
    make<FunctionIntrinsicLimit>,         make<FunctionIntrinsicLen>,
    make<FunctionIntrinsicMid>,           make<FunctionIntrinsicConcat>,
    make<FunctionIntrinsicLeft>,          make<FunctionIntrinsicRight>,
    make<FunctionIntrinsicConcatDateTod>, make<FunctionIntrinsicConcatDateLtod>,
    make<FunctionIntrinsicConcatDate>,    make<FunctionIntrinsicConcatTod>,
    make<FunctionIntrinsicConcatLtod>,    make<FunctionIntrinsicConcatDt>,
    make<FunctionIntrinsicConcatLdt>,     make<FunctionIntrinsicSplitDate>,
    make<FunctionIntrinsicSplitTod>,      make<FunctionIntrinsicSplitLtod>,
    make<FunctionIntrinsicSplitDt>,       make<FunctionIntrinsicSplitLdt>,
    make<FunctionIntrinsicDayOfWeek>,
};
static_assert(std::size(kFixedNames) == 23);

} // namespace

void registerFixedNames(SymbolTables& tables) {
    for (Factory create : kFixedNames) declareIntrinsic(tables, create());
}

} // namespace Karsto
