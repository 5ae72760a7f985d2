#include "codegen/codegen_install.h"

#include "codegen/call_compiler.h"
#include "codegen/memory_addressing.h"
#include "core/function.h"

namespace Karsto {

void installCodeGenerator() {
    // Stateless, so one instance each serves every compile for the life of the process.
    static const CodegenMemoryAddressing addressing;
    static const CodegenCallCompiler calls;
    setMemoryAddressing(&addressing);
    setCallCompiler(&calls);
}

} // namespace Karsto
