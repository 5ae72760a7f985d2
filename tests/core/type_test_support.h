#pragma once
// Helpers for the tests of the type model and the constants: a suite fixture that owns
// the elementary singletons, and a stand-in for the composite types.

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "core/code.h"
#include "core/type.h"

namespace Karsto::test {

// Builds the elementary singletons once per suite and frees them afterwards, as the
// program entry does around a whole run.
class ElementaryTypesTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { createElementaryTypes(); }
    static void TearDownTestSuite() { destroyElementaryTypes(); }
};

// A type of any kind and mask with a fixed text, standing in for the composite types
// (strings, enumerations, structures, ...) where only kind and mask matter.
class FakeType final : public Type {
public:
    FakeType(TypeKind kind, uint64_t mask, std::string text)
        : Type(kind, mask), text_(std::move(text)) {}
    Type* clone() const override { return new FakeType(kind(), conversionMask(), text_); }
    int64_t size() const override { return 1; }
    std::string toString() const override { return text_; }
    Code defaultValue() const override { return Code(); }

private:
    std::string text_;
};

} // namespace Karsto::test
