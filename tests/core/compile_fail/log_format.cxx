// Must not compile: a 64-bit argument for "%d".
#include "core/log.h"
void f() { Karsto::globalLog.warning("count %d", 5LL); }
