// Control case: the same calls with matching arguments compile.
#include "core/exception.h"
#include "core/log.h"
void f() {
    Karsto::checkSemantic(false, "Undeclared Identifier '%s'", "q");
    Karsto::globalLog.warning("count %lld", 5LL);
}
