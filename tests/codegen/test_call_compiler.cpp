#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "codegen/call_compiler.h"
#include "codegen/codegen_test_support.h"
#include "codegen/operation_emitters.h"
#include "codegen/scoped_code_generator.h"
#include "core/allocation_count.h"
#include "core/aparam_list.h"
#include "core/constant_factory.h"
#include "core/emitters.h"
#include "core/error_test_support.h"
#include "core/exception.h"
#include "core/function.h"
#include "core/function_native.h"
#include "core/log.h"
#include "core/machine_test_support.h"
#include "core/memory.h"
#include "core/stackmachine.h"
#include "core/stackmachine_interpreter.h"
#include "core/type.h"
#include "core/type_string.h"
#include "core/variable.h"

namespace Karsto {
namespace {

using test::assign;
using test::eachItemText;
using test::join;
using test::kImplicit;
using test::kInput;
using test::semanticMessage;
using test::spanAt;
using Lines = std::vector<std::string>;

constexpr int32_t kOutput = flagBit(VariableFlags::VAR_OUTPUT);
constexpr int32_t kInOut = flagBit(VariableFlags::VAR_IN_OUT);

// A user function with its parameter area: the return variable first, then the
// formals in the order they are added.
struct UserFunction {
    UserFunction(const std::string& functionName, Type* returnType)
        : name(functionName), returnTypeOf(returnType), area(std::make_unique<MemoryParam>()) {
        variables.push_back(std::make_unique<Variable>(area.get(), name, returnType, kImplicit,
                                                       VariableAccess::NONE));
    }
    Variable* add(const std::string& parameter, Type* type, int32_t flags) {
        variables.push_back(
            std::make_unique<Variable>(area.get(), parameter, type, flags, VariableAccess::NONE));
        return variables.back().get();
    }
    Variable* var(size_t i) const { return variables[i].get(); }
    FunctionUser& function() {
        if (!made)
            made = std::make_unique<FunctionUser>(name, nullptr, returnTypeOf, &locals, area.get(),
                                                  spanAt(1));
        return *made;
    }

    std::string name;
    Type* returnTypeOf;
    std::unique_ptr<MemoryParam> area;
    MemoryLocal locals;
    std::vector<std::unique_ptr<Variable>> variables;
    std::unique_ptr<FunctionUser> made;
};

// An integer literal as an argument: no address.
void addLiteral(AParamList& list, int64_t value) {
    list.addPositional(makeIntConstant(value, typeIntegerLiteral, {}), typeIntegerLiteral, Code());
}
void addLiteral(AParamList& list, const std::string& name, int64_t value) {
    list.addFormalInput(name, makeIntConstant(value, typeIntegerLiteral, {}), typeIntegerLiteral,
                        Code());
}

class CallCompilerTest : public test::CodegenTypesTest {
private:
    test::ScopedCodeGenerator generator_; // first in, last out

protected:
    void TearDown() override { machine.unload(); }
    Variable* global(const std::string& name, Type* type) {
        globalVariables_.push_back(
            std::make_unique<Variable>(&globals, name, type, 0, VariableAccess::PUBLIC));
        return globalVariables_.back().get();
    }
    // Runs main code, a halt, then the function bodies; returns the run-time error or "".
    std::string run(const Code& main, const Code& bodies = Code()) {
        return test::runProgram(machine, main.concat(emitHalt({})).concat(bodies));
    }
    int64_t stackCells() { return machine.getSp() - Stackmachine::kStackBase; }

    MemoryGlobal globals;
    test::HookMachine machine;

private:
    std::vector<std::unique_ptr<Variable>> globalVariables_;
};

// g : LREAL with, in declaration order, in-out k : INT, input x : DINT, output s : BOOL.
class UserCalls : public CallCompilerTest {
protected:
    UserCalls() : g("g", typeLreal) {
        k = g.add("k", typeInt, kInOut);
        x = g.add("x", typeDint, kInput);
        s = g.add("s", typeBool, kOutput);
        cnt = global("cnt", typeInt);
        flag = global("flag", typeWord);
    }
    // s := TRUE; k := k + 10; g := 1.5
    void setBody() {
        const Code body = assign(*s, makeIntConstant(1, typeBool, {}))
                              .concat(assign(*k, k->valueCode({})
                                                     .concat(makeIntConstant(10, typeInt, {}))
                                                     .concat(emitAdd(typeInt, {}))))
                              .concat(assign(*g.var(0), makeRealConstant(1.5, typeLreal, {})));
        g.function().setBody(body);
    }
    std::string entry() { return "JumpSub " + g.function().entryLabel()->toString(); }

    UserFunction g;
    Variable* k;
    Variable* x;
    Variable* s;
    Variable* cnt;
    Variable* flag;
};

TEST_F(UserCalls, FormalCallBindsEveryModeAndCopiesBack) {
    AParamList list;
    list.addFormalInput("x", makeIntConstant(7, typeIntegerLiteral, {}), typeIntegerLiteral,
                        Code());
    list.addFormalOutput("s", typeWord, flag->addressCode());
    list.addFormalInput("k", cnt->valueCode({}), typeInt, cnt->addressCode());
    const SourceSpan span = spanAt(4, 3);
    const Code call = emitCall(&g.function(), &list, span);
    EXPECT_EQ(eachItemText(call),
              join({{"ConstLreal 0"},
                    eachItemText(cnt->valueCode({})),
                    {"ConstLiti 7", "CastLitiDint ", "SpAdd 1", entry(), "CastBoolWord "},
                    eachItemText(flag->addressCode()),
                    {"St 1", "SpAdd -1"},
                    eachItemText(cnt->addressCode()),
                    {"St 1"}}));
    test::expectSpans(call, span);

    setBody();
    machine.storeS16(cnt->offset(), 5);
    EXPECT_EQ(run(call, g.function().code()), "");
    EXPECT_EQ(machine.loadU16(flag->offset()), 1u);
    EXPECT_EQ(machine.loadS16(cnt->offset()), 15);
    EXPECT_EQ(stackCells(), 1);
    EXPECT_EQ(machine.loadF64(Stackmachine::kStackBase), 1.5);
}

TEST_F(UserCalls, EmptyCallStartsFromInitialValues) {
    AParamList none;
    Code out;
    EXPECT_EQ(semanticMessage([&] { g.function().compileCall(out, &none, spanAt(2)); }),
              "no error");
    EXPECT_EQ(eachItemText(out), (Lines{"ConstLreal 0", "ConstInt 0", "ConstDint 0", "SpAdd 1",
                                     entry(), "SpAdd -1", "SpAdd -1", "SpAdd -1"}));
    // A null list is a call without parameters too.
    EXPECT_EQ(eachItemText(emitCall(&g.function(), nullptr, spanAt(2))), eachItemText(out));

    // A declared initializer replaces the type's default, for a parameter and the result.
    Type* five = keep(typeInt->cloneWithInitializer(makeIntConstant(5, typeInt, {})));
    Type* half = keep(typeLreal->cloneWithInitializer(makeRealConstant(4.0, typeLreal, {})));
    UserFunction f("f", half);
    f.add("a", five, kInput);
    f.function().setBody(Code()); // never assigns its result
    const Code call = emitCall(&f.function(), &none, spanAt(3));
    EXPECT_EQ(eachItemText(call),
              (Lines{"ConstLreal 4", "ConstInt 5",
                     "JumpSub " + f.function().entryLabel()->toString(), "SpAdd -1"}));
    EXPECT_EQ(run(call, f.function().code()), "");
    EXPECT_EQ(stackCells(), 1);
    EXPECT_EQ(machine.loadF64(Stackmachine::kStackBase), 4.0);
}

// f(3, 4) of FUNCTION f : INT VAR_INPUT a : INT; END_VAR VAR b : INT := a * 10; END_VAR
// VAR_INPUT c : INT; END_VAR f := b + c; END_FUNCTION: b's initial value is compiled while
// a is still the last parameter; c, declared afterwards, moves a one cell further down.
TEST_F(CallCompilerTest, ALocalInitialValueReadsItsParameterWhereTheWholeAreaPutsIt) {
    UserFunction f("f", typeInt);
    Variable* a = f.add("a", typeInt, kInput);
    Type* initialised = keep(typeInt->cloneWithInitializer(
        a->valueCode({}).concat(makeIntConstant(10, typeInt, {})).concat(emitMul(typeInt, {}))));
    Variable b(&f.locals, "b", initialised, 0, VariableAccess::PRIVATE);
    Variable* c = f.add("c", typeInt, kInput);
    const Code sum = b.valueCode({}).concat(c->valueCode({})).concat(emitAdd(typeInt, {}));
    f.function().setBody(
        emitSpAdd({}, f.locals.size()).concat(f.locals.initCode()).concat(assign(*f.var(0), sum)));
    AParamList list;
    addLiteral(list, 3);
    addLiteral(list, 4);
    const Code call = emitCall(&f.function(), &list, spanAt(2));
    EXPECT_EQ(run(call, f.function().code()), "");
    EXPECT_EQ(stackCells(), 1);
    EXPECT_EQ(machine.loadS16(Stackmachine::kStackBase), 34); // 44 if it read c
}

TEST_F(UserCalls, BindingErrorsEmitNothing) {
    Variable* v = global("v", typeDint);
    const std::string inoutLhs =
        "Definition of inout variable is not a valid left-hand-side value.";
    const struct {
        std::function<void(AParamList&)> fill;
        std::string message;
    } cases[] = {
        {[](AParamList& l) {
             for (int i = 0; i < 4; ++i) addLiteral(l, i);
         },
         "Number of actual parameters (4) and number of formal parameters (3) do not match in "
         "non-formal function call."},
        {[](AParamList& l) {
             addLiteral(l, 1);
             addLiteral(l, 2);
         },
         "Number of actual parameters (2) and number of formal parameters (3) do not match in "
         "non-formal function call."},
        // the return variable is no formal
        {[](AParamList& l) { addLiteral(l, "g", 1); },
         "Use of undeclared formal parameter 'g' in formal call."},
        {[](AParamList& l) {
             addLiteral(l, "zz", 1);
             addLiteral(l, "aa", 2);
         },
         "Use of undeclared formal parameter 'aa' in formal call."},
        {[](AParamList& l) { addLiteral(l, "s", 1); },
         "Invalid definition of output variable in function call."},
        {[&](AParamList& l) { l.addFormalOutput("x", typeDint, v->addressCode()); },
         "Invalid definition of input variable in function call."},
        {[](AParamList& l) {
             for (int i = 1; i <= 3; ++i) addLiteral(l, i);
         },
         "Invalid definition of inout variable in function call."},
        // a literal: the type check comes before the address check
        {[](AParamList& l) { addLiteral(l, "k", 5); },
         "Mismatch type of actual and formal inout variable in function call."},
        {[](AParamList& l) {
             l.addFormalInput("k", makeIntConstant(5, typeInt, {}), typeInt, Code());
         },
         inoutLhs},
        {[](AParamList& l) { l.addFormalOutput("s", typeWord, Code()); },
         "Definition of output variable is not a valid left-hand-side value."},
        {[](AParamList& l) {
             l.addFormalInput("x", emitStringLiteral({'a'}, typeString, {}), typeString, Code());
         },
         "Invalid implicit conversion from type 'string[255]' to 'dint'."},
    };
    for (const auto& c : cases) {
        AParamList list;
        c.fill(list);
        const Code before = emitHalt({});
        Code out = before;
        EXPECT_EQ(semanticMessage([&] { g.function().compileCall(out, &list, spanAt(6)); }),
                  c.message);
        EXPECT_EQ(out.node(), before.node()) << c.message;
    }
}

TEST_F(UserCalls, BodyErrorInsideAnArgumentReportsTheCall) {
    AParamList list;
    // x := 1 / 0 with the division's own span, replaced by the call's
    Code quotient = makeIntConstant(1, typeDint, spanAt(9, 20))
                        .concat(makeIntConstant(0, typeDint, spanAt(9, 24)))
                        .concat(emitDiv(typeDint, {}));
    quotient.setSpan(spanAt(9, 22));
    list.addFormalInput("x", quotient, typeDint, Code());
    const SourceSpan span = spanAt(9, 5);
    const Code call = emitCall(&g.function(), &list, span);
    test::expectSpans(call, span);
    setBody();
    const std::string error = run(call, g.function().code());
    EXPECT_EQ(error.rfind(span.toString() + ": ", 0), 0u) << error;
}

TEST_F(CallCompilerTest, ResultsOutputsAndRecursion) {
    // A void function leaves nothing; with two outputs to one variable the formal
    // declared first is stored last and remains.
    UserFunction h("h", typeVoid);
    Variable* first = h.add("first", typeInt, kOutput);
    Variable* second = h.add("second", typeInt, kOutput);
    Variable* v = global("v", typeDint);
    h.function().setBody(assign(*first, makeIntConstant(1, typeInt, {}))
                             .concat(assign(*second, makeIntConstant(2, typeInt, {}))));
    AParamList list;
    list.addFormalOutput("second", typeDint, v->addressCode());
    list.addFormalOutput("first", typeDint, v->addressCode());
    const Code call = emitCall(&h.function(), &list, spanAt(2));
    EXPECT_EQ(run(call, h.function().code()), "");
    EXPECT_EQ(stackCells(), 0);
    EXPECT_EQ(machine.loadS32(v->offset()), 1);

    // A call compiled before the body exists, inside that body, targets its entry.
    UserFunction r("r", typeVoid);
    const Code recursive = emitCall(&r.function(), nullptr, spanAt(3));
    r.function().setBody(recursive);
    const CodeLinked linked(emitHalt({}).concat(r.function().code()));
    ASSERT_EQ(linked.size(), 5); // Halt, entry, JumpSub, Return, exit
    auto* jump = dynamic_cast<CmdWithTarget*>(linked.item(2));
    ASSERT_NE(jump, nullptr);
    EXPECT_EQ(jump->target(), linked.item(1));
    EXPECT_EQ(jump->target()->address(), 1);
}

TEST_F(CallCompilerTest, VariablesWithoutPassingModeEmitNothing) {
    UserFunction m("m", typeInt);
    m.add("hidden", typeLreal, kImplicit);                          // 4096
    m.add("this", typeAddr, kThisFlags);                            // 4208
    m.add("a", typeInt, kInput | flagBit(VariableFlags::CONSTANT)); // other bits do not matter
    ASSERT_EQ(kThisFlags, 4208);
    AParamList none;
    EXPECT_EQ(eachItemText(emitCall(&m.function(), &none, spanAt(1))),
              (Lines{"ConstInt 0", "ConstInt 0", "JumpSub " + m.function().entryLabel()->toString(),
                     "SpAdd -1"}));
}

TEST_F(CallCompilerTest, MethodsBindLikeFunctions) {
    UserFunction plain("p", typeInt);
    plain.add("a", typeLreal, kInput);
    MemoryParam& area = *plain.area;
    MethodUser method("p", nullptr, typeInt, &plain.locals, &area, VariableAccess::PUBLIC, false,
                      false, false, spanAt(1));
    AParamList list;
    list.addPositional(makeRealConstant(3.0, typeRealLiteral, {}), typeRealLiteral, Code());
    EXPECT_EQ(eachItemText(emitCall(&method, &list, spanAt(1))),
              (Lines{"ConstInt 0", "ConstLitr 3", "CastLitrLreal ",
                     "JumpSub " + method.entryLabel()->toString(), "SpAdd -1"}));
}

// ---- natives -------------------------------------------------------------------------

class NativeCalls : public CallCompilerTest {};

// A native whose body is given by the test; counts its destructions.
class LambdaNative final : public FunctionNative {
public:
    using Body = std::function<void(LambdaNative&, Stackmachine&)>;
    LambdaNative(const std::string& name, Type* result, bool context, Body body)
        : FunctionNative(name, result, context), body_(std::move(body)) {}
    ~LambdaNative() override { ++destroyed; }
    void execute(Stackmachine& machine, const SourceSpan&) override { body_(*this, machine); }
    static inline int destroyed = 0;

private:
    Body body_;
};

// Holds the driver's reference for the test's lifetime.
struct Registered {
    explicit Registered(FunctionNative* registered) : native(registered) { native->retain(); }
    ~Registered() { native->release(); }
    FunctionNative* native;
};

TEST_F(NativeCalls, VoidWithoutParameters) {
    Registered n(new LambdaNative("name", typeVoid, false, [](LambdaNative&, Stackmachine&) {}));
    AParamList none;
    const Code call = emitCall(n.native, &none, spanAt(1));
    EXPECT_EQ(eachItemText(call), (Lines{"SpAdd 0", "CallNative name"}));
    EXPECT_EQ(run(call), "");
    EXPECT_EQ(stackCells(), 0);
}

TEST_F(NativeCalls, InputOutputAndResultThroughParamAddress) {
    Registered n(new LambdaNative("n", typeDint, false, [](LambdaNative& self, Stackmachine& m) {
        const double a = m.loadF64(self.paramAddress(m, "a"));
        m.storeS32(self.paramAddress(m, "n"), static_cast<int32_t>(a * 10));
        m.storeS32(self.paramAddress(m, "r"), -7);
    }));
    n.native->addParam("a", typeLreal, kInput);
    n.native->addParam("r", typeDint, kOutput);
    Variable* v = global("v", typeLint);
    AParamList list;
    list.addFormalInput("a", makeRealConstant(2.0, typeRealLiteral, {}), typeRealLiteral, Code());
    list.addFormalOutput("r", typeLint, v->addressCode());
    const SourceSpan span = spanAt(7, 2);
    const Code call = emitCall(n.native, &list, span);
    EXPECT_EQ(eachItemText(call), join({{"SpAdd 1", "ConstLitr 2", "CastLitrLreal ", "SpAdd 1",
                                      "CallNative n", "CastDintLint "},
                                     eachItemText(v->addressCode()),
                                     {"St 1", "SpAdd -1"}}));
    test::expectSpans(call, span);
    EXPECT_EQ(run(call), "");
    EXPECT_EQ(machine.loadS64(v->offset()), -7);
    EXPECT_EQ(stackCells(), 1);
    EXPECT_EQ(machine.loadS32(Stackmachine::kStackBase), 20);

    // The binding's errors are the same as for user functions.
    AParamList wrong;
    wrong.addFormalInput("r", makeIntConstant(1, typeIntegerLiteral, {}), typeIntegerLiteral,
                         Code());
    EXPECT_EQ(semanticMessage([&] { emitCall(n.native, &wrong, span); }),
              "Invalid definition of output variable in function call.");
}

TEST_F(NativeCalls, ContextCellSurvivesRepeatedExecutionOfOneCall) {
    int executions = 0;
    Registered n(new LambdaNative("ctx", typeLint, true, [&](LambdaNative& self, Stackmachine& m) {
        ++executions;
        const int64_t cell = m.getSp() - 1;
        const int64_t count = m.loadS64(cell) + 1;
        m.storeS64(cell, count);
        if (count < 3) {
            m.setPc(m.getPc() - 1); // run this call again
            return;
        }
        m.storeS64(self.paramAddress(m, "ctx"), count);
    }));
    n.native->addParam("a", typeInt, kInput);
    AParamList list;
    list.addPositional(makeIntConstant(4, typeInt, {}), typeInt, Code());
    const Code call = emitCall(n.native, &list, spanAt(1));
    EXPECT_EQ(eachItemText(call), (Lines{"SpAdd 1", "ConstInt 4", "ConstLint 0", "CallNative ctx",
                                      "SpAdd -1", "SpAdd -1"}));

    // The call statement as a subroutine that stores the result, run twice.
    Variable* result = global("result", typeLint);
    auto* statement = new Label;
    const Code sub =
        emitCodeItem(statement, {}).concat(assign(*result, call)).concat(emitReturn({}));
    const Code once = emitJumpSub(statement, {}).concat(result->valueCode({}));
    EXPECT_EQ(run(once.concat(once), sub), "");
    EXPECT_EQ(executions, 6);
    ASSERT_EQ(stackCells(), 2);
    EXPECT_EQ(machine.loadS64(Stackmachine::kStackBase), 3);
    EXPECT_EQ(machine.loadS64(Stackmachine::kStackBase + 1), 3);
}

TEST_F(NativeCalls, LinkedProgramKeepsTheNativeAlive) {
    LambdaNative::destroyed = 0;
    auto* native =
        new LambdaNative("keep", typeInt, false, [](LambdaNative& self, Stackmachine& m) {
            m.storeS16(self.paramAddress(m, "keep"), 11);
        });
    native->retain(); // the compile driver's
    std::unique_ptr<CodeLinked> linked;
    {
        const Code call = emitCall(native, nullptr, spanAt(1));
        linked = std::make_unique<CodeLinked>(call.concat(emitHalt({})));
    }
    native->release();
    EXPECT_EQ(LambdaNative::destroyed, 0);
    machine.loadProgram(*linked);
    while (machine.isRunning()) machine.step();
    EXPECT_EQ(machine.loadS16(Stackmachine::kStackBase), 11);
    machine.unload();
    EXPECT_EQ(LambdaNative::destroyed, 0);
    linked.reset(); // the last CmdCallNative
    EXPECT_EQ(LambdaNative::destroyed, 1);
}

TEST_F(NativeCalls, FormalsComeFromTheParameterAreaInOrder) {
    // Added out of name order: the area's order decides, not the by-name map.
    Registered n(new LambdaNative("n", typeVoid, false, [](LambdaNative&, Stackmachine&) {}));
    n.native->addParam("z", typeInt, kInput);
    n.native->addParam("a", typeLreal, kInput);
    AParamList list;
    list.addPositional(makeIntConstant(1, typeInt, {}), typeInt, Code());
    list.addPositional(makeRealConstant(2.0, typeLreal, {}), typeLreal, Code());
    EXPECT_EQ(
        eachItemText(emitCall(n.native, &list, spanAt(1))),
        (Lines{"SpAdd 0", "ConstInt 1", "ConstLreal 2", "CallNative n", "SpAdd -1", "SpAdd -1"}));
}

// L: f(a := 1, b := 2); drop; n(x := 2.5, r => v); drop; Jump L; body of f
TEST_F(NativeCalls, CompiledCallsStepWithoutAllocation) {
    UserFunction f("f", typeDint);
    Variable* a = f.add("a", typeDint, kInput);
    Variable* b = f.add("b", typeDint, kInput);
    f.function().setBody(
        assign(*f.var(0), a->valueCode({}).concat(b->valueCode({})).concat(emitAdd(typeDint, {}))));
    AParamList userArguments;
    userArguments.addFormalInput("a", makeIntConstant(1, typeDint, {}), typeDint, Code());
    userArguments.addFormalInput("b", makeIntConstant(2, typeDint, {}), typeDint, Code());

    Registered n(new LambdaNative("n", typeDint, false, [](LambdaNative& self, Stackmachine& m) {
        m.storeS32(self.paramAddress(m, "r"),
                   static_cast<int32_t>(m.loadF64(self.paramAddress(m, "x"))));
        m.storeS32(self.paramAddress(m, "n"), 1);
    }));
    n.native->addParam("x", typeLreal, kInput);
    n.native->addParam("r", typeDint, kOutput);
    Variable* v = global("v", typeDint);
    AParamList nativeArguments;
    nativeArguments.addFormalInput("x", makeRealConstant(2.5, typeLreal, {}), typeLreal, Code());
    nativeArguments.addFormalOutput("r", typeDint, v->addressCode());

    auto* loop = new Label;
    const Code program = emitCodeItem(loop, {})
                             .concat(emitCall(&f.function(), &userArguments, spanAt(1)))
                             .concat(emitPop(typeDint, {}))
                             .concat(emitCall(n.native, &nativeArguments, spanAt(2)))
                             .concat(emitPop(typeDint, {}))
                             .concat(emitJump(loop, {}))
                             .concat(f.function().code());
    for (int32_t level = 0; level < kLogLevelCount; ++level) globalLog.setLevel(level, false);
    StackmachineInterpreter interpreter;
    interpreter.loadProgram(CodeLinked(program));
    interpreter.reset();
    const int64_t base = interpreter.getSp();
    for (int i = 0; i < 1000; ++i) interpreter.step(); // warm up
    const int64_t before = test::allocationCount();
    for (int i = 0; i < 10000; ++i) interpreter.step();
    EXPECT_EQ(test::allocationCount() - before, 0);
    while (interpreter.getPc() != 0) interpreter.step(); // to the loop's start
    EXPECT_EQ(interpreter.getSp(), base);
    EXPECT_EQ(interpreter.loadS32(v->offset()), 2); // the native truncates
    interpreter.unload();
}

TEST(FunctionBody, SecondSetBodyReleasesTheFirst) {
    MemoryParam params;
    FunctionUser f("f", nullptr, nullptr, nullptr, &params, SourceSpan());
    auto* first = new Label;
    f.setBody(Code(first));
    CodeNode::retain(first); // watch it
    EXPECT_EQ(first->refCount(), 2);
    f.setBody(Code());
    EXPECT_EQ(first->refCount(), 1);
    CodeNode::release(first);
}

} // namespace
} // namespace Karsto
