#include "codegen/codegen_install.h"

#include "codegen/call_compiler.h"
#include "core/function.h"

namespace Karsto {

void installCodeGenerator() {
    // Stateless, so one instance serves every compilation for the program's lifetime.
    static const CodegenCallCompiler calls;
    setCallCompiler(&calls);
}

} // namespace Karsto
