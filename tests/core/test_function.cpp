#include <gtest/gtest.h>

#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "core/aparam_list.h"
#include "core/composite_test_support.h"
#include "core/emitters.h"
#include "core/error_test_support.h"
#include "core/function.h"
#include "core/function_native.h"
#include "core/machine_test_support.h"
#include "core/memory.h"
#include "core/natives_basic.h"
#include "core/stackmachine.h"
#include "core/type_function.h"
#include "core/type_string.h"

namespace Karsto {
namespace {

using test::itemTexts;
using test::semanticMessage;
using test::spanAt;
using Lines = std::vector<std::string>;

constexpr int32_t kInput = flagBit(VariableFlags::VAR_INPUT);
constexpr int32_t kOutput = flagBit(VariableFlags::VAR_OUTPUT);

class Functions : public test::CompositeTypesTest {};

TEST_F(Functions, ParameterListsRefuseMixingAndDuplicates) {
    const std::string mixing = "Invalid mixing of formal and nonformal parameters in function call.";
    AParamList formalFirst;
    formalFirst.addFormalInput("a", Code(), typeInt, Code());
    EXPECT_EQ(semanticMessage([&] { formalFirst.addPositional(Code(), typeInt, Code()); }), mixing);

    AParamList positionalFirst;
    positionalFirst.addPositional(makeIntConstant(1, typeInt, {}), typeInt, Code());
    EXPECT_EQ(semanticMessage([&] { positionalFirst.addFormalInput("a", Code(), typeInt, Code()); }),
              mixing);
    EXPECT_EQ(semanticMessage([&] { positionalFirst.addFormalOutput("a", typeInt, Code()); }),
              mixing);
    EXPECT_EQ(positionalFirst.style(), AParamStyle::positional);
    ASSERT_EQ(positionalFirst.positional().size(), 1u);
    EXPECT_EQ(positionalFirst.positional()[0]->kind, AParamKind::positional);
    EXPECT_EQ(itemTexts(positionalFirst.positional()[0]->valueCode()), (Lines{"ConstInt 1"}));

    // Inputs and outputs share one map: the binding that comes second names the message.
    AParamList twice;
    EXPECT_EQ(twice.style(), AParamStyle::none);
    twice.addFormalInput("x", Code(), typeInt, Code());
    EXPECT_EQ(semanticMessage([&] { twice.addFormalOutput("x", typeInt, Code()); }),
              "Formal output parameter defined twice in function call.");
    twice.addFormalOutput("y", typeLreal, makeIntConstant(7, typeAddr, {}));
    EXPECT_EQ(semanticMessage([&] { twice.addFormalInput("y", Code(), typeInt, Code()); }),
              "Formal parameter defined twice in function call.");
    EXPECT_EQ(twice.style(), AParamStyle::formal);
    AParam* y = twice.findFormal("y");
    ASSERT_NE(y, nullptr);
    EXPECT_EQ(y->kind, AParamKind::formalOutput);
    EXPECT_TRUE(y->valueCode().empty());
    EXPECT_EQ(itemTexts(y->addressCode()), (Lines{"ConstLint 7"}));
    EXPECT_EQ(twice.findFormal("z"), nullptr);
}

// A native whose execute records the addresses and string it sees.
class ProbeNative final : public FunctionNative {
public:
    ProbeNative(Type* returnType, bool context) : FunctionNative("probe", returnType, context) {}
    void execute(Stackmachine& machine, const SourceSpan&) override {
        result = paramAddress(machine, "probe");
        text = stringArgument(machine, "w");
    }
    int64_t result = 0;
    std::vector<uint16_t> text;
};

TEST_F(Functions, NativeParameterArea) {
    TypeWstring wide(3);
    for (bool context : {false, true}) {
        auto* probe = new ProbeNative(typeLreal, context);
        probe->retain();
        probe->addParam("n", typeInt, kInput);
        probe->addParam("w", &wide, kInput);
        const Variable* result = probe->parameters().at("probe").get();
        EXPECT_EQ(result->offset(), 0);
        EXPECT_EQ(result->flags(), 4096);
        EXPECT_EQ(result->access(), VariableAccess::NONE);
        EXPECT_EQ(probe->parameters().at("w")->offset(), 2);
        EXPECT_EQ(probe->parameterArea()->size(), 6);
        EXPECT_EQ(probe->getReturnType(nullptr), typeLreal);

        // Return cell, n, then the wide string "Ã¤€" (codes 0xC3, 0x20AC) of capacity 3.
        Code call = emitSpAdd({}, 1)
                        .concat(makeIntConstant(4, typeInt, {}))
                        .concat(emitStringLiteral({0xC3, 0x20AC}, &wide, {}));
        if (context) call = call.concat(makeIntConstant(0, typeAddr, {}));
        call = call.concat(Code(new CmdCallNative(probe))).concat(emitHalt({}));
        test::HookMachine machine;
        machine.loadProgram(CodeLinked(call));
        machine.run();
        EXPECT_EQ(probe->result, Stackmachine::kStackBase) << context;
        EXPECT_EQ(probe->text, (std::vector<uint16_t>{0xC3, 0x20AC}));
        EXPECT_EQ(charListToString(probe->text), "\xC3\xAC");
        machine.unload();
        probe->release();
    }
}

TEST_F(Functions, CallInstructionsShareTheNativeThroughItsCount) {
    std::vector<FunctionNative*> natives;
    registerBasicNatives(natives);
    ASSERT_EQ(natives.size(), 3u);
    EXPECT_EQ(natives[0]->name(), "currentldt");
    EXPECT_EQ(natives[1]->name(), "section");
    EXPECT_EQ(natives[2]->name(), "sections");
    for (FunctionNative* native : natives) native->retain(); // the compile driver's
    FunctionNative* sections = natives[2];

    auto* call = new CmdCallNative(sections);
    std::unique_ptr<CodeLinked> first;
    std::unique_ptr<CodeLinked> second;
    {
        const Code code(call);
        EXPECT_EQ(itemTexts(code), (Lines{"CallNative sections"}));
        first = std::make_unique<CodeLinked>(code);
        second = std::make_unique<CodeLinked>(code);
        EXPECT_EQ(sections->refCount(), 4); // driver, instruction, two linked clones
    }
    for (FunctionNative* native : natives) native->release();
    EXPECT_EQ(sections->refCount(), 2);
    first.reset();
    EXPECT_EQ(sections->refCount(), 1); // the second copy keeps it alive
    EXPECT_EQ(second->item(0)->toString(), "CallNative sections");
    second.reset(); // deletes the native (LeakSanitizer checks)
}

TEST_F(Functions, NativeCallsGoThroughTheInstalledCompiler) {
    auto* sections = new FunctionNativeSections;
    sections->retain();
    AParamList none;
    EXPECT_EQ(semanticMessage([&] { emitCall(sections, &none, {}); }),
              "No call compiler is installed.");

    // Stands in for the code generator: reserve the result, call.
    class StubCompiler final : public CallCompiler {
    public:
        void compileNativeCall(FunctionNative& f, Code& out, AParamList*,
                               const SourceSpan& span) const override {
            out = emitSpAdd(span, f.getReturnType(nullptr)->size())
                      .concat(Code(new CmdCallNative(&f)));
            out.setSpan(span);
        }
        void compileUserCall(FunctionUser& f, Code& out, AParamList*,
                             const SourceSpan& span) const override {
            out = emitJumpSub(f.entryLabel(), span);
        }
    } stub;
    const CallCompiler* previous = setCallCompiler(&stub);
    EXPECT_EQ(itemTexts(emitCall(sections, &none, spanAt(3))),
              (Lines{"SpAdd 0", "CallNative sections"}));
    setCallCompiler(previous);
    sections->release();
}

// Hand-linked calls: ULINT pushes, the call, the drop of the parameter cells.
class NativeRun : public Functions {
protected:
    void SetUp() override {
        section = new FunctionNativeSection;
        sections = new FunctionNativeSections;
        section->retain();
        sections->retain();
    }
    void TearDown() override {
        machine.unload();
        section->release();
        sections->release();
    }
    Code callOf(FunctionNative* native, const std::vector<uint64_t>& arguments, int32_t line) {
        Code code;
        for (uint64_t a : arguments)
            code = code.concat(makeIntConstant(static_cast<int64_t>(a), typeUlint, {}));
        auto* call = new CmdCallNative(native);
        code = code.concat(Code(call));
        call->setSpan(spanAt(line));
        return code.concat(emitSpAdd({}, -static_cast<int64_t>(arguments.size())));
    }
    // Steps until the machine halts; returns the text of a run-time error, or "".
    std::string run(const Code& program) {
        machine.loadProgram(CodeLinked(program.concat(emitHalt({}))));
        try {
            while (machine.isRunning()) machine.step();
        } catch (const ExceptionRuntime& e) {
            return e.what();
        }
        return "";
    }
    FunctionNative* section = nullptr;
    FunctionNative* sections = nullptr;
    test::HookMachine machine;
};

TEST_F(NativeRun, SectionsSetTheMachinesRange) {
    EXPECT_EQ(run(callOf(sections, {2, 9}, 1).concat(callOf(section, {4}, 5))),
              spanAt(5).toString() +
                  ": Upper limit of section must rise monotonic, but drops from 9 to 4");
    EXPECT_EQ(machine.sectionLow, 2u);
    EXPECT_EQ(machine.sectionHigh, 9u);

    EXPECT_EQ(run(callOf(sections, {8, 3}, 2)),
              spanAt(2).toString() + ": Invalid range of sections (8..3)");
    EXPECT_EQ(machine.sectionHigh, 0u);

    EXPECT_EQ(run(callOf(section, {6}, 1).concat(callOf(section, {6}, 2))), "");
    EXPECT_EQ(machine.sectionLow, 6u);
    EXPECT_EQ(machine.sectionHigh, 6u);
    EXPECT_EQ(machine.getSp(), Stackmachine::kStackBase);
}

TEST_F(NativeRun, CurrentLdtIsTheCurrentUtcSecond) {
    auto* now = new FunctionNativeCurrentLdt;
    now->retain();
    const int64_t before = static_cast<int64_t>(std::time(nullptr));
    EXPECT_EQ(run(emitSpAdd({}, 1).concat(callOf(now, {}, 1))), "");
    const int64_t after = static_cast<int64_t>(std::time(nullptr));
    const int64_t value = machine.loadS64(machine.getSp() - 1);
    EXPECT_EQ(value % 1000000000, 0);
    EXPECT_GE(value / 1000000000, before);
    EXPECT_LE(value / 1000000000, after);
    EXPECT_EQ(now->getReturnType(nullptr), typeLdt);
    machine.unload();
    now->release();
}

// Issue 73: the parameter area lies below sp; a call without it on the stack is refused
// instead of writing the result into global cell 0xFFFFF or reading an argument there.
TEST_F(NativeRun, CallWithoutItsParameterAreaIsRefused) {
    auto* now = new FunctionNativeCurrentLdt;
    now->retain();
    machine.storeU64(0xFFFFF, 77);
    EXPECT_EQ(run(callOf(now, {}, 3)), spanAt(3).toString() + ": Stack underflow");
    EXPECT_EQ(machine.loadU64(0xFFFFF), 77u);
    EXPECT_EQ(run(callOf(sections, {5}, 4)),
              spanAt(4).toString() + ": Stack underflow"); // "lo" would be cell 0xFFFFF
    machine.unload();
    now->release();
}

TEST_F(Functions, UserFunctionTypesLeaveOutTheImplicitVariables) {
    MemoryParam params;
    MemoryLocal locals;
    Variable result(&params, "f", typeInt, flagBit(VariableFlags::IMPLICIT), VariableAccess::NONE);
    Variable a(&params, "a", typeInt, kInput, VariableAccess::NONE);
    Variable b(&params, "b", typeLreal, kOutput, VariableAccess::NONE);
    Scope<Variable> scope;
    FunctionUser f("f", &scope, typeInt, &locals, &params, spanAt(1));
    EXPECT_EQ(f.functionType()->toString(), "Function  (a:int x b:lreal -> int)");
    EXPECT_EQ(f.getReturnType(nullptr), typeInt);
    EXPECT_EQ(f.parameterScope(), &scope);
    EXPECT_NE(f.entryLabel(), f.exitLabel());

    Variable self(&params, "this", typeAddr, kThisFlags, VariableAccess::NONE);
    MethodUser m("m", &scope, typeInt, &locals, &params, VariableAccess::PROTECTED, true, false,
                 false, spanAt(1));
    EXPECT_EQ(m.functionType()->toString(), "Function  (a:int x b:lreal -> int)");
    EXPECT_EQ(m.access(), VariableAccess::PROTECTED);
    EXPECT_TRUE(m.isOverride());
    EXPECT_FALSE(m.isAbstract());
    EXPECT_EQ(m.owner(), nullptr);
    // The function type of f was made before "this" existed.
    EXPECT_EQ(f.functionType()->parameters().size(), 2u);
}

TEST_F(Functions, SetBodyFramesTheBody) {
    MemoryParam params;
    SourcePosition begin, end;
    begin.file = end.file = "f.jyx";
    begin.line = 2;
    begin.column = 1;
    end.line = 9;
    end.column = 12;
    FunctionUser f("f", nullptr, typeVoid, nullptr, &params, SourceSpan(begin, end));
    EXPECT_TRUE(f.code().empty());
    f.setBody(emitFp(spanAt(5)));
    const Code code = f.code();
    std::vector<std::string> spans;
    code.forEachItem([&](CodeItem* item) {
        spans.push_back(item->span().toString());
        return true;
    });
    EXPECT_EQ(spans, (Lines{"f.jyx: 2.1-2.1", spanAt(5).toString(), "f.jyx: 9.12-9.12",
                            "f.jyx: 9.12-9.12"}));
    const Lines texts = itemTexts(code);
    ASSERT_EQ(texts.size(), 4u);
    EXPECT_EQ(texts[1], "Fp");
    EXPECT_EQ(texts[2], "Return");
    EXPECT_EQ(texts[0].rfind("Label ", 0), 0u);
    EXPECT_EQ(texts[3].rfind("Label ", 0), 0u);
    EXPECT_EQ(f.entryLabel()->span().toString(), "f.jyx: 2.1-2.1");
}

TEST_F(Functions, TheFunctionHoldsItsLabelsUntilTheBodyDoes) {
    MemoryParam params;
    FunctionUser f("f", nullptr, typeVoid, nullptr, &params, SourceSpan());
    // Without a body (a compile that failed early) only the function holds them, and
    // frees them with itself (LeakSanitizer checks).
    EXPECT_EQ(f.entryLabel()->refCount(), 1);
    EXPECT_EQ(f.exitLabel()->refCount(), 1);
    f.setBody(Code());
    EXPECT_EQ(f.entryLabel()->refCount(), 2);
    EXPECT_EQ(f.exitLabel()->refCount(), 2);
}

} // namespace
} // namespace Karsto
