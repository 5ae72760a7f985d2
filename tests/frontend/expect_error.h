#pragma once
// Asserts that an action raises exactly the exception class E with the given whole text.

#include <gtest/gtest.h>

#include <string>

#include "core/exception.h"

namespace Karsto {

template <class E, class Action>
void expectError(Action&& action, const std::string& whole) {
    try {
        action();
        ADD_FAILURE() << "no exception; expected: " << whole;
    } catch (const E& error) {
        EXPECT_EQ(std::string(error.what()), whole);
    } catch (const ExceptionKarsto& error) {
        ADD_FAILURE() << "wrong exception class: " << error.what();
    }
}

} // namespace Karsto
