#pragma once
// Connects the code generator to the language core: the core compiles calls through
// the rules installed here. Called once at start-up, before anything is compiled.

namespace Karsto {

void installCodeGenerator();

} // namespace Karsto
