#pragma once
// The elementary types, the default string types, the NULL type and the code generator's
// seams, once per process, as the program entry makes them: for the benchmarks that run
// NC built-ins or a channel without a compile.

#include "codegen/codegen_install.h"
#include "core/type.h"
#include "core/type_pointer.h"
#include "core/type_string.h"

namespace Karsto::bench {

inline void prepareLanguageRuntime() {
    static bool done = false;
    if (done) return;
    createElementaryTypes();
    createDefaultStringTypes();
    createNullPointerType();
    installCodeGenerator();
    done = true;
}

} // namespace Karsto::bench
