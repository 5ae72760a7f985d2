#pragma once
// The compiled program of one compile. The evaluator assembles it and hands it to the
// parser object, which deletes it through the virtual destructor when it is reset or
// destroyed; the code lives on in every copy of `code` (the tree is shared).

#include "core/code.h"

namespace Karsto {

class Program {
public:
    Program() = default;
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;
    virtual ~Program() = default;

    // Global initialisation, main code, the jump over the function bodies, the
    // function bodies and the closing halt.
    Code code;
};

} // namespace Karsto
