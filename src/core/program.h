#pragma once
// The compiled program of one compile. The evaluator assembles it and hands it to the
// parser object, which deletes it through the virtual destructor when it is reset or
// destroyed; the code lives on in every copy of `code` (the tree is shared).

#include "core/code.h"

namespace Karsto {

class MemoryGlobal;

class Program {
public:
    Program() = default;
    // Assembles the fixed frame: a label, the initialisation of every global of the
    // area, the main code, a label, the jump over the function bodies, a label, the
    // function bodies, the jump's label and the halt. Both Codes are shared, the area
    // is not owned. Defined by the code generator, so the core gains no dependency on
    // it.
    Program(const Code& mainCode, MemoryGlobal* globals, const Code& functionBodies);
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;
    virtual ~Program() = default;

    // Global initialisation, main code, the jump over the function bodies, the
    // function bodies and the closing halt.
    Code code;

    // The global area the code initialises; null for a program made without one.
    MemoryGlobal* globals() const { return globals_; }

private:
    MemoryGlobal* globals_ = nullptr; // not owned
};

} // namespace Karsto
