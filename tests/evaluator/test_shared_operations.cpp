// The operations every production's actions share.

#include <gtest/gtest.h>

#include <string>

#include "core/exception.h"
#include "core/handle_owner.h"
#include "core/memory.h"
#include "core/type.h"
#include "core/type_pointer.h"
#include "core/variable.h"
#include "evaluator/shared_operations.h"
#include "support/jyx_harness.h"

namespace Karsto::test {
namespace {

TEST(SharedOperations, ToLowerCopyLowersEveryByteAndLeavesOthersAlone) {
    EXPECT_EQ(toLowerCopy("R12_Ab"), "r12_ab");
    EXPECT_EQ(toLowerCopy(""), "");
    // Bytes above 127 are passed as unsigned char: no undefined behaviour, unchanged in C.
    EXPECT_EQ(toLowerCopy("X\xC4\xFF"), "x\xC4\xFF");
}

TEST(SharedOperations, LocationCodeRefusesAnExpressionWithoutStorage) {
    Code address(new Label());
    EXPECT_EQ(locationCode(address).node(), address.node());
    try {
        locationCode(Code());
        FAIL() << "no exception";
    } catch (const ExceptionSemantic& error) {
        EXPECT_EQ(error.message(), "Invalid location");
    }
}

TEST(SharedOperations, ImplicitVariablesOfFunctionsAndMethods) {
    prepareLanguageRuntime();
    HandleOwner owner;
    MemoryParam area;
    Scope<Variable> outer;
    Scope<Variable>* scope = createVariableScope(owner, "f", typeInt, &area, &outer);
    EXPECT_EQ(scope->parent(), &outer);
    Variable* result = scope->findOwn("f");
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(result->type(), typeInt);
    EXPECT_EQ(result->flags(), 4096);
    EXPECT_EQ(result->access(), VariableAccess::NONE);
    EXPECT_EQ(result->offset(), 0);
    EXPECT_EQ(createVariableScope(owner, "g", typeLreal, &area, nullptr)->parent(), nullptr);
    EXPECT_EQ(owner.handleCount(), 4u);

    Variable* self = createThisVariable(owner, &area, typeLreal);
    EXPECT_EQ(self->name(), "this");
    EXPECT_EQ(self->flags(), 4208);
    EXPECT_EQ(self->access(), VariableAccess::NONE);
    EXPECT_EQ(self->offset(), 2); // after f and g
    EXPECT_EQ(self->type(), typeLreal->pointerTo());
    EXPECT_EQ(createThisVariable(owner, &area, typeLreal)->type(), self->type());
    EXPECT_EQ(owner.handleCount(), 6u);
}

} // namespace
} // namespace Karsto::test
