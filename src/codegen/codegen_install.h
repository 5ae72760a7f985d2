#pragma once
// The seams through which the language core reaches the code generator.

namespace Karsto {

// Installs the code generator's parts into the core: the address rules of the memory
// areas and the call compilers of natives and user functions. The program entry calls
// it once at start-up; test fixtures call it (or install single parts themselves) and
// restore what was there before.
void installCodeGenerator();

} // namespace Karsto
