#pragma once
// Installs the code generator's seams for the lifetime of the object and restores what
// was installed before, so that suites of other libraries keep their own stand-ins.

#include "codegen/codegen_install.h"
#include "core/function.h"
#include "core/memory.h"

namespace Karsto::test {

class ScopedCodeGenerator {
public:
    ScopedCodeGenerator()
        : previousAddressing_(setMemoryAddressing(nullptr)),
          previousCalls_(setCallCompiler(nullptr)) {
        installCodeGenerator();
    }
    ~ScopedCodeGenerator() {
        setMemoryAddressing(previousAddressing_);
        setCallCompiler(previousCalls_);
    }
    ScopedCodeGenerator(const ScopedCodeGenerator&) = delete;
    ScopedCodeGenerator& operator=(const ScopedCodeGenerator&) = delete;

private:
    const MemoryAddressing* previousAddressing_;
    const CallCompiler* previousCalls_;
};

} // namespace Karsto::test
