#include "codegen/codegen_install.h"

#include "codegen/memory_addressing.h"

namespace Karsto {

void installCodeGenerator() {
    // Stateless, so one instance serves every compile for the life of the process.
    static const CodegenMemoryAddressing addressing;
    setMemoryAddressing(&addressing);
}

} // namespace Karsto
