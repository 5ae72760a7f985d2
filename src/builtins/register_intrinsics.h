#pragma once
// Entering the built-in functions into one compile.

namespace Karsto {

class SymbolTables;

// Declares every built-in function in the function scope of the tables, which own each
// from its declaration on, with overload tables of fresh instruction objects: nothing
// is shared between compiles. Called once per compile, before parsing; natives declared
// afterwards must not reuse a built-in name.
void registerIntrinsics(SymbolTables& tables);

} // namespace Karsto
