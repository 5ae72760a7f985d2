// Steps hand-linked loops on a channel's interpreter as the controller would: `trace`
// set, every debug level off, a processor that does nothing. Reports instructions
// (items stepped) per second; measures, asserts nothing.

#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "builtins/text_instructions.h"
#include "codegen/codegen_install.h"
#include "core/aparam_list.h"
#include "core/cmd_const.h"
#include "core/cmd_flow.h"
#include "core/cmd_stack.h"
#include "core/constant_factory.h"
#include "core/emitters.h"
#include "core/function.h"
#include "core/function_native.h"
#include "core/gcode.h"
#include "core/log.h"
#include "noop_processor.h"
#include "core/memory.h"
#include "core/stackmachine_interpreter.h"
#include "core/type.h"
#include "core/type_kind.h"
#include "core/type_string.h"
#include "core/variable.h"
#include "instructions/conversions/conversion_table.h"
#include "instructions/operators/operator_table.h"

namespace Karsto {
namespace {

// A new operator instruction of the family for the kind.
CodeItem* op(OperatorFamily family, TypeKind kind) { return operatorFor(family, kind)->make({}); }

CodeLinked link(const std::vector<CodeItem*>& items) {
    Code code;
    for (CodeItem* item : items) code = code.concat(Code(item));
    return CodeLinked(code);
}

constexpr int64_t kStepsPerIteration = 3000;

void stepLoop(benchmark::State& state, const CodeLinked& program) {
    for (int32_t level = 0; level < kLogLevelCount; ++level) globalLog.setLevel(level, false);
    NoopProcessor processor;
    StackmachineInterpreter machine(&processor);
    machine.loadProgram(program);
    machine.trace = true;
    for (auto _ : state) {
        for (int64_t i = 0; i < kStepsPerIteration; ++i) machine.step();
    }
    benchmark::DoNotOptimize(machine.getSp());
    state.SetItemsProcessed(state.iterations() * kStepsPerIteration);
}

// L: Fp; SpAdd -1; Jump L
void BM_StepLoop(benchmark::State& state) {
    auto* loop = new Label();
    stepLoop(state, link({loop, new CmdFp(), new CmdSpAdd(-1), new CmdJump(loop)}));
}
BENCHMARK(BM_StepLoop);

// L: JumpSub F; Jump L; F: SpAdd 2; Fp; Ld 1; SpAdd -1; Return
void BM_CallReturnLoop(benchmark::State& state) {
    auto* loop = new Label();
    auto* function = new Label();
    stepLoop(state, link({loop, new CmdJumpSub(function), new CmdJump(loop), function,
                          new CmdSpAdd(2), new CmdFp(), new CmdLd(1), new CmdSpAdd(-1),
                          new CmdReturn()}));
}
BENCHMARK(BM_CallReturnLoop);

// x := x + 1 on a global DINT at cell 10:
// L: ConstLint 10; Ld 1; ConstDint 1; AddDint; ConstLint 10; St 1; Jump L
void BM_GlobalUpdateLoop(benchmark::State& state) {
    auto* loop = new Label();
    stepLoop(state, link({loop, new CmdConstLint(10), new CmdLd(1), new CmdConstDint(1),
                          op(OperatorFamily::Add, TypeKind::Dint), new CmdConstLint(10), new CmdSt(1),
                          new CmdJump(loop)}));
}
BENCHMARK(BM_GlobalUpdateLoop);

// A counting loop as a FOR loop compiles it, on a global DINT at cell 10 that runs
// from 0 to 1000000 and starts again:
// L: ConstLint 10; Ld 1; ConstDint 1; AddDint; ConstLint 10; St 1;
//    ConstLint 10; Ld 1; ConstDint 1000000; BranchLtEq L;
//    ConstDint 0; ConstLint 10; St 1; Jump L
void BM_CountingLoop(benchmark::State& state) {
    auto* loop = new Label();
    stepLoop(state,
             link({loop, new CmdConstLint(10), new CmdLd(1), new CmdConstDint(1),
                   op(OperatorFamily::Add, TypeKind::Dint), new CmdConstLint(10), new CmdSt(1),
                   new CmdConstLint(10), new CmdLd(1), new CmdConstDint(1000000),
                   operatorFor(OperatorFamily::BranchLtEq, TypeKind::Dint)->make({0, 0, loop}),
                   new CmdConstDint(0), new CmdConstLint(10), new CmdSt(1), new CmdJump(loop)}));
}
BENCHMARK(BM_CountingLoop);

// x := (x * 1.0000001 + 0.5) / 1.0000002 on a global LREAL at cell 10 (it settles at
// 5e6, so the loop never reaches an infinity or a NaN):
// L: ConstLint 10; Ld 1; ConstLreal; MulLreal; ConstLreal; AddLreal; ConstLreal; DivLreal;
//    ConstLint 10; St 1; Jump L
void BM_LrealArithmeticLoop(benchmark::State& state) {
    auto* loop = new Label();
    stepLoop(state, link({loop, new CmdConstLint(10), new CmdLd(1), new CmdConstLreal(1.0000001),
                          op(OperatorFamily::Mul, TypeKind::Lreal), new CmdConstLreal(0.5),
                          op(OperatorFamily::Add, TypeKind::Lreal), new CmdConstLreal(1.0000002),
                          op(OperatorFamily::Div, TypeKind::Lreal), new CmdConstLint(10),
                          new CmdSt(1), new CmdJump(loop)}));
}
BENCHMARK(BM_LrealArithmeticLoop);

// y := ROUND(ABS(SIN(SQRT(x)))) on a constant LREAL, one pop and one push each:
// L: ConstLreal 2.25; SqrtLreal; SinLreal; AbsLreal; RoundLreal; SpAdd -1; Jump L
void BM_LrealUnaryLoop(benchmark::State& state) {
    auto* loop = new Label();
    stepLoop(state, link({loop, new CmdConstLreal(2.25), op(OperatorFamily::Sqrt, TypeKind::Lreal),
                          op(OperatorFamily::Sin, TypeKind::Lreal),
                          op(OperatorFamily::Abs, TypeKind::Lreal),
                          op(OperatorFamily::Round, TypeKind::Lreal), new CmdSpAdd(-1),
                          new CmdJump(loop)}));
}
BENCHMARK(BM_LrealUnaryLoop);

// CONCAT of two default strings (255 characters and a length cell each), of lengths
// 100 and 120: the second's 120 characters move down.
// L: SpAdd 255; ConstLint 100; SpAdd 255; ConstLint 120; Concat 2; SpAdd -256; Jump L
void BM_ConcatLoop(benchmark::State& state) {
    auto* loop = new Label();
    stepLoop(state, link({loop, new CmdSpAdd(255), new CmdConstLint(100), new CmdSpAdd(255),
                          new CmdConstLint(120),
                          operatorFor(OperatorFamily::Concat, TypeKind::Void)->make({2, 0}),
                          new CmdSpAdd(-256), new CmdJump(loop)}));
}
BENCHMARK(BM_ConcatLoop);

// The text of an LREAL as a default STRING (255 character cells and a length cell),
// formatted on the native stack, then dropped.
// L: ConstLreal -2.5; ToStringLreal; SpAdd -256; Jump L
void BM_ToStringLoop(benchmark::State& state) {
    auto* loop = new Label();
    stepLoop(state, link({loop, new CmdConstLreal(-2.5), textInstructionsFor(TypeKind::Lreal)->makeToString(),
                          new CmdSpAdd(-256), new CmdJump(loop)}));
}
BENCHMARK(BM_ToStringLoop);

// One G-code block of three words per loop, handed to a processor that does nothing:
// L: ConstLreal 1; ConstLreal 2.5; ConstLreal -3; Gcode 3; Jump L
void BM_GcodeBlockLoop(benchmark::State& state) {
    auto* loop = new Label();
    GCode block(-1, SourceSpan());
    block.addWord("g");
    block.addWord("x");
    block.addWord("y");
    auto* gcode = new CmdGcode(block);
    SourcePosition at;
    at.file = "/programs/channel1/contour_roughing.jyx"; // longer than any inline string
    at.line = 12;
    gcode->setSpan(SourceSpan(at, at));
    stepLoop(state, link({loop, new CmdConstLreal(1.0), new CmdConstLreal(2.5),
                          new CmdConstLreal(-3.0), gcode, new CmdJump(loop)}));
}
BENCHMARK(BM_GcodeBlockLoop);

// A chain of conversions as implicit casts emit them, each one pop and one push:
// L: ConstLreal 2.5; LREAL->REAL; REAL->DINT; DINT->LINT; LINT->LREAL; SpAdd -1; Jump L
void BM_ConversionLoop(benchmark::State& state) {
    auto* loop = new Label();
    auto cast = [](TypeKind from, TypeKind to) -> CodeItem* { return conversionFor(from, to)(); };
    stepLoop(state, link({loop, new CmdConstLreal(2.5), cast(TypeKind::Lreal, TypeKind::Real),
                          cast(TypeKind::Real, TypeKind::Dint), cast(TypeKind::Dint, TypeKind::Lint),
                          cast(TypeKind::Lint, TypeKind::Lreal), new CmdSpAdd(-1), new CmdJump(loop)}));
}
BENCHMARK(BM_ConversionLoop);

// Calls as the code generator compiles them: f(a := 1, b := 2) of a user function
// f : DINT with inputs a, b : DINT whose body is f := a + b, and n(x := 2.5, r => cell 10)
// of a native with an LREAL input and a DINT output, both results dropped.
// L: <call of f>; SpAdd -1; <call of n>; SpAdd -1; Jump L; <body of f>
class NativeRound final : public FunctionNative {
public:
    NativeRound() : FunctionNative("n", typeDint, false) {
        addParam("x", typeLreal, flagBit(VariableFlags::VAR_INPUT));
        addParam("r", typeDint, flagBit(VariableFlags::VAR_OUTPUT));
    }
    void execute(Stackmachine& machine, const SourceSpan&) override {
        const double x = machine.loadF64(paramAddress(machine, "x"));
        machine.storeS32(paramAddress(machine, "r"), static_cast<int32_t>(x + 0.5));
        machine.storeS32(paramAddress(machine, "n"), 1);
    }
};

void BM_CompiledCallLoop(benchmark::State& state) {
    createElementaryTypes();
    createDefaultStringTypes();
    installCodeGenerator();
    {
        constexpr int32_t input = flagBit(VariableFlags::VAR_INPUT);
        MemoryParam area;
        MemoryLocal locals;
        Variable result(&area, "f", typeDint, flagBit(VariableFlags::IMPLICIT), VariableAccess::NONE);
        Variable a(&area, "a", typeDint, input, VariableAccess::NONE);
        Variable b(&area, "b", typeDint, input, VariableAccess::NONE);
        FunctionUser f("f", nullptr, typeDint, &locals, &area, SourceSpan());
        // The parameters lie below fp: f at fp - 3, a at fp - 2, b at fp - 1.
        auto param = [](int64_t delta) {
            return Code(new CmdFp())
                .concat(Code(new CmdConstLint(delta)))
                .concat(Code(op(OperatorFamily::Add, TypeKind::Lint)));
        };
        f.setBody(param(-2).concat(Code(new CmdLd(1))).concat(param(-1)).concat(Code(new CmdLd(1)))
                      .concat(Code(op(OperatorFamily::Add, TypeKind::Dint)))
                      .concat(param(-3)).concat(Code(new CmdSt(1))));
        AParamList userArguments;
        userArguments.addFormalInput("a", makeIntConstant(1, typeDint, {}), typeDint, Code());
        userArguments.addFormalInput("b", makeIntConstant(2, typeDint, {}), typeDint, Code());

        auto* native = new NativeRound;
        native->retain();
        AParamList nativeArguments;
        nativeArguments.addFormalInput("x", makeRealConstant(2.5, typeLreal, {}), typeLreal, Code());
        nativeArguments.addFormalOutput("r", typeDint, Code(new CmdConstLint(10)));

        auto* loop = new Label();
        const Code program = Code(loop)
                                 .concat(emitCall(&f, &userArguments, SourceSpan()))
                                 .concat(Code(new CmdSpAdd(-1)))
                                 .concat(emitCall(native, &nativeArguments, SourceSpan()))
                                 .concat(Code(new CmdSpAdd(-1)))
                                 .concat(Code(new CmdJump(loop)))
                                 .concat(f.code());
        native->release(); // the program's CallNative keeps it
        stepLoop(state, CodeLinked(program));
    }
    destroyElementaryTypes();
    destroyDefaultStringTypes();
}
BENCHMARK(BM_CompiledCallLoop);

} // namespace
} // namespace Karsto

BENCHMARK_MAIN();
