#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "codegen/codegen_test_support.h"
#include "codegen/scoped_code_generator.h"
#include "core/composite_test_support.h"
#include "core/constant_factory.h"
#include "core/memory.h"
#include "core/stackmachine.h"
#include "core/type.h"
#include "core/variable.h"

namespace Karsto {
namespace {

using test::itemTexts;
using Lines = std::vector<std::string>;

class MemoryAddressingTest : public test::CodegenTypesTest {
protected:
    // A variable of the area at the given offset, outside the area's list and size.
    Variable* at(Memory& area, int64_t offset, Type* type = typeDint) {
        return keepVariable(new Variable(&area, offset, "v", type, 0));
    }
    Variable* declare(Memory& area, const std::string& name, Type* type) {
        return keepVariable(new Variable(&area, name, type, 0, VariableAccess::PUBLIC));
    }
    // The address code of the variable, whose every item carries the empty span.
    static Lines addressOf(Variable* variable) {
        const Code code = variable->addressCode();
        test::expectSpans(code, SourceSpan());
        return itemTexts(code);
    }

    test::ScopedCodeGenerator codeGenerator_;

private:
    Variable* keepVariable(Variable* variable) {
        variables_.emplace_back(variable);
        return variable;
    }
    std::vector<std::unique_ptr<Variable>> variables_;
};

TEST_F(MemoryAddressingTest, AddressCodeOfEveryArea) {
    MemoryGlobal global;
    MemoryShared shared;
    MemoryLocal local;
    MemoryObject object;
    EXPECT_EQ(addressOf(at(global, 7)), Lines{"ConstLint 7"});
    // 0x80000000 + offset, beyond the 32-bit range
    EXPECT_EQ(addressOf(at(shared, 5)), Lines{"ConstLint 2147483653"});
    EXPECT_EQ(addressOf(at(shared, 900)), Lines{"ConstLint 2147484548"});
    EXPECT_EQ(addressOf(at(local, 2)), (Lines{"Fp", "ConstLint 5", "AddLint "}));
    EXPECT_EQ(addressOf(at(object, 4)),
              (Lines{"Fp", "ConstLint -1", "AddLint ", "Ld 1", "ConstLint 4", "AddLint "}));
}

TEST_F(MemoryAddressingTest, ParametersLieBelowTheFrameByTheAreaSizeWhenLinked) {
    MemoryParam params;
    declare(params, "a", typeDint);
    Variable* b = declare(params, "b", typeLreal);
    // While b is the last parameter: directly below fp.
    const Code early = b->addressCode();
    EXPECT_EQ(itemTexts(early), (Lines{"Fp", "ConstLint -1", "AddLint "}));
    // A parameter declared after the code was emitted (an initial value that reads b,
    // then a later VAR_INPUT block) still moves b down.
    declare(params, "c", typeBool);
    EXPECT_EQ(itemTexts(early), (Lines{"Fp", "ConstLint -2", "AddLint "}));
    // Linking fixes the value: the linked program no longer depends on the area.
    const CodeLinked linked(early);
    declare(params, "d", typeBool);
    EXPECT_EQ(linked.toString(), "Fp\nConstLint -2\nAddLint \n");
    EXPECT_EQ(itemTexts(early), (Lines{"Fp", "ConstLint -3", "AddLint "}));

    // It runs as the constant it shows.
    Stackmachine machine;
    const int64_t fp = machine.getFp();
    test::runStraight(machine, early);
    EXPECT_EQ(machine.popAddr(), fp - 3);
}

TEST_F(MemoryAddressingTest, InitCodeStoresEachInitialValueAtItsAddress) {
    MemoryLocal local;
    EXPECT_TRUE(local.initCode().empty());
    declare(local, "i", typeDint);
    declare(local, "f", typeBool);
    EXPECT_EQ(itemTexts(local.initCode()),
              (Lines{"ConstDint 0", "Fp", "ConstLint 3", "AddLint ", "St 1", "ConstBool 0", "Fp",
                     "ConstLint 4", "AddLint ", "St 1"}));

    MemoryGlobal global;
    EXPECT_TRUE(global.initCode().empty());
    Type* initialised = keep(typeInt->cloneWithInitializer(makeIntConstant(-12, typeInt, SourceSpan())));
    declare(global, "x", initialised);
    declare(global, "y", typeLreal);
    EXPECT_EQ(itemTexts(global.initCode()),
              (Lines{"ConstInt -12", "ConstLint 1", "St 1", "ConstLreal 0", "ConstLint 2", "St 1"}));
}

} // namespace
} // namespace Karsto
