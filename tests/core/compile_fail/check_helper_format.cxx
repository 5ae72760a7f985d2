// Must not compile: the argument does not match the format.
#include "core/exception.h"
void f() { Karsto::checkSemantic(false, "Undeclared Identifier '%s'", 42LL); }
