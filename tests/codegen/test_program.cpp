#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "codegen/codegen_test_support.h"
#include "codegen/scoped_code_generator.h"
#include "core/composite_test_support.h"
#include "core/constant_factory.h"
#include "core/emitters.h"
#include "core/memory.h"
#include "core/program.h"
#include "core/stackmachine.h"
#include "core/type.h"
#include "core/variable.h"

namespace Karsto {
namespace {

using test::itemTexts;
using Lines = std::vector<std::string>;

class ProgramAssembly : public test::CodegenTypesTest {
protected:
    test::ScopedCodeGenerator codeGenerator_;
};

// The ids of the labels in the order the code places them.
std::vector<int32_t> labelIds(const Code& code) {
    std::vector<int32_t> ids;
    code.forEachItem([&](CodeItem* item) {
        if (Label* label = item->asLabel()) ids.push_back(label->id());
        return true;
    });
    return ids;
}

// Stores the DINT value into the variable.
Code storeInto(Variable& variable, int64_t value) {
    return makeIntConstant(value, typeDint, SourceSpan())
        .concat(variable.addressCode())
        .concat(emitSt(typeDint, SourceSpan()));
}

TEST_F(ProgramAssembly, EmptyPiecesLeaveTheFrameThatJumpsToTheHalt) {
    MemoryGlobal globals;
    const Program program(Code(), &globals, Code());
    EXPECT_EQ(program.globals(), &globals);
    test::expectSpans(program.code, SourceSpan());
    // Created in frame order, so the placed labels' ids rise one by one.
    const std::vector<int32_t> ids = labelIds(program.code);
    ASSERT_EQ(ids.size(), 4u);
    for (size_t i = 1; i < ids.size(); ++i) EXPECT_EQ(ids[i], ids[0] + static_cast<int32_t>(i));

    const CodeLinked linked(program.code);
    ASSERT_EQ(linked.size(), 6);
    ASSERT_NE(linked.item(0)->asLabel(), nullptr);
    const int32_t k = linked.item(0)->asLabel()->id(); // the clones made by linking
    const auto label = [k](int32_t n) { return "Label " + std::to_string(k + n); };
    const Lines expected{label(0), label(1), "Jump " + label(3), label(2), label(3), "Halt"};
    for (int64_t i = 0; i < linked.size(); ++i) {
        EXPECT_EQ(linked.item(i)->toString(), expected[static_cast<size_t>(i)]) << i;
    }

    Stackmachine machine;
    machine.loadProgram(linked);
    machine.run();
    EXPECT_FALSE(machine.isRunning()); // the halt ran
    EXPECT_EQ(machine.getPc(), 6);
    EXPECT_EQ(machine.stepCount, 5); // L2 is jumped over
}

TEST_F(ProgramAssembly, GlobalsAreInitialisedFirstAndFunctionBodiesOnlyRunWhenCalled) {
    MemoryGlobal globals;
    Variable g(&globals, "g", typeDint, 0, VariableAccess::PUBLIC);
    const Program program(storeInto(g, 42), &globals, storeInto(g, 99));
    const Lines lines = itemTexts(program.code);
    ASSERT_EQ(lines.size(), 15u);
    EXPECT_EQ(Lines(lines.begin() + 1, lines.begin() + 7),
              (Lines{"ConstDint 0", "ConstLint 1", "St 1", "ConstDint 42", "ConstLint 1", "St 1"}));
    EXPECT_EQ(Lines(lines.begin() + 10, lines.begin() + 13),
              (Lines{"ConstDint 99", "ConstLint 1", "St 1"}));
    EXPECT_EQ(lines.back(), "Halt");

    Stackmachine machine;
    machine.storeS32(1, 7); // overwritten by the initialisation
    machine.loadProgram(CodeLinked(program.code));
    machine.run();
    EXPECT_FALSE(machine.isRunning());
    EXPECT_EQ(machine.loadS32(1), 42);
    EXPECT_EQ(machine.getSp(), machine.getStackBase());
}

TEST_F(ProgramAssembly, TheProgramHoldsItsCodeAndSharesTheGivenPieces) {
    MemoryGlobal globals;
    Variable g(&globals, "g", typeDint, 0, VariableAccess::PUBLIC);
    const Code main = storeInto(g, 1);
    CodeLinked linked;
    {
        const Program program(main, &globals, Code());
        linked = CodeLinked(program.code);
    }
    // The pieces and the linked clone outlive the program.
    EXPECT_EQ(itemTexts(main), (Lines{"ConstDint 1", "ConstLint 1", "St 1"}));
    EXPECT_EQ(linked.size(), 12);
}

} // namespace
} // namespace Karsto
