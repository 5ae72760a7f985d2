#pragma once
// The address rules of the memory areas: the code that pushes the 64-bit cell address
// of an offset, per area kind. Installed into the language core by
// installCodeGenerator (codegen/codegen_install.h).

#include "core/memory.h"

namespace Karsto {

class CodegenMemoryAddressing final : public MemoryAddressing {
public:
    // Every instruction with the empty span; constants and additions of the address
    // type, so every constant is a ConstLint and every addition an AddLint.
    Code addressCode(const Memory& area, int64_t offset) const override;
};

} // namespace Karsto
