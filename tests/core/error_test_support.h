#pragma once
// Runs a call that should raise a semantic or runtime error and returns what it raised, so that
// a table row or one line can state the expected text.

#include <functional>
#include <string>

#include "core/exception.h"

namespace Karsto::test {

// The whole text ("?: message" while no span is attached), or "no error".
inline std::string semanticWhat(const std::function<void()>& call) {
    try {
        call();
    } catch (const ExceptionSemantic& e) {
        return e.what();
    }
    return "no error";
}

// The message alone, or "no error".
inline std::string semanticMessage(const std::function<void()>& call) {
    try {
        call();
    } catch (const ExceptionSemantic& e) {
        return e.message();
    }
    return "no error";
}

// The message of a runtime error alone, or "no error".
inline std::string runtimeMessage(const std::function<void()>& call) {
    try {
        call();
    } catch (const ExceptionRuntime& e) {
        return e.message();
    }
    return "no error";
}

} // namespace Karsto::test
