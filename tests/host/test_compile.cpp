// The compile driver and the tasks' compile, error and start operations.

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "codegen/scoped_code_generator.h"
#include "controller_test_support.h"
#include "core/composite_test_support.h"
#include "core/code.h"
#include "core/exception.h"
#include "core/stackmachine_interpreter.h"
#include "core/type.h"
#include "core/variable.h"
#include "frontend/scanner_input.h"
#include "gcode/gprocessor_nc2.h"
#include "gcode/ninterface_null.h"
#include "host/compile.h"

namespace Karsto {
namespace {

using test::FakeKernel;
using test::FakeProcessor;
using test::LogCapture;

// A native that counts the instances destroyed, so a test sees which ones the compile
// deleted.
class ProbeNative final : public FunctionNative {
public:
    ProbeNative(std::string name, int& destroyed) : FunctionNative(std::move(name), typeInt, false), destroyed_(destroyed) {}
    ~ProbeNative() override { ++destroyed_; }
    void execute(Stackmachine&, const SourceSpan&) override {}

private:
    int& destroyed_;
};

// The channel's processor as provider of NC symbols: appends the natives it is told to,
// then optionally fails, as a half-done registration would.
class ProviderProcessor final : public FakeProcessor {
public:
    void registerNatives(SymbolTables&, std::vector<FunctionNative*>& natives) override {
        for (const std::string& name : nativeNames) natives.push_back(new ProbeNative(name, destroyed));
        if (failRegistration) checkRuntime(false, "registration refused");
    }

    std::vector<std::string> nativeNames{"probe", "spare"};
    bool failRegistration = false;
    int destroyed = 0;
};

class CompileDriver : public test::CompositeTypesTest {
protected:
    CompileDriver() : directory_(std::filesystem::temp_directory_path() / ("vordash_compile_" + std::to_string(::getpid()))) {
        std::filesystem::create_directories(directory_);
        savedPaths_ = std::exchange(includeSearchPaths, {directory_.string() + "/"});
    }
    ~CompileDriver() override {
        includeSearchPaths = std::move(savedPaths_);
        std::error_code error;
        std::filesystem::remove_all(directory_, error);
    }

    // Writes name into the search directory.
    void write(const std::string& name, const std::string& text) const {
        std::ofstream out(directory_ / name, std::ios::binary | std::ios::trunc);
        out << text;
    }
    // A loaded input of the text, kept by the fixture.
    ScannerInputFile* input(const std::string& text) {
        write("t.jyx", text);
        inputs_.push_back(std::make_unique<ScannerInputFile>());
        inputs_.back()->load("t.jyx");
        return inputs_.back().get();
    }
    // The error a compile of the text raises; fails the test when there is none.
    template <class Error>
    Error compileError(const std::string& text, GProcessor* provider, const std::vector<Variable*>& externals,
                       const std::string& language = "jyx") {
        CodeLinked out;
        try {
            compile(out, input(text), provider, externals, language);
        } catch (const Error& e) {
            return e;
        }
        ADD_FAILURE() << "no error compiling " << text;
        return Error("", SourceSpan());
    }

    test::ScopedCodeGenerator codeGenerator_;
    std::filesystem::path directory_;
    std::vector<std::string> savedPaths_;
    std::vector<std::unique_ptr<ScannerInputFile>> inputs_;
};

TEST_F(CompileDriver, LanguagesOtherThanJyx) {
    ProviderProcessor provider;
    ExceptionSemantic e = compileError<ExceptionSemantic>("G1 X1\n", &provider, {}, "xyz");
    EXPECT_EQ(e.message(), "Invalid input language 'xyz'");
    EXPECT_FALSE(e.span().valid);
    EXPECT_EQ(compileError<ExceptionSemantic>("G1 X1\n", &provider, {}, "JYX").message(),
              "Invalid input language 'JYX'");

    // "jyxmb" gives a program without items and asks the provider for nothing.
    CodeLinked out;
    compile(out, input("G1 X1\n"), &provider, {}, "jyxmb");
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(provider.destroyed, 0);
}

// With the input shared, plain lines stay text that the program reads as it runs, and the
// program keeps the input alive; listing and machine traces show every item, so there the
// lines are compiled, as they are for an input the caller keeps.
TEST_F(CompileDriver, SharedInputKeepsPlainLinesAsTextUnlessItemsAreLogged) {
    const std::string text = "G0 X0\nG1 X1 Y-1\nG1 X2\nG1 X3 Y-3.5\n";
    const auto compiledShared = [&](std::vector<LogLevel> levels, CodeLinked& out) {
        write("t.jyx", text);
        auto shared = std::make_shared<ScannerInputFile>();
        shared->load("t.jyx");
        test::LogCapture log(std::move(levels));
        ProviderProcessor provider;
        compile(out, shared, &provider, {}, "jyx");
        return out.toString();
    };
    CodeLinked kept;
    EXPECT_NE(compiledShared({LogLevel::error, LogLevel::info}, kept).find("PlainLines"), std::string::npos);
    for (const LogLevel shown : {LogLevel::debugCode, LogLevel::debugStackmachine, LogLevel::debugStackOp}) {
        CodeLinked out;
        EXPECT_EQ(compiledShared({shown}, out).find("PlainLines"), std::string::npos) << static_cast<int>(shown);
    }
    CodeLinked compiled;
    ProviderProcessor provider;
    compile(compiled, input(text), &provider, {}, "jyx");
    EXPECT_EQ(compiled.toString().find("PlainLines"), std::string::npos);

    // Only the program holds the input now; it runs as the compiled one does.
    std::vector<std::string> runs;
    for (const CodeLinked* program : {&kept, &compiled}) {
        FakeProcessor processor;
        StackmachineInterpreter machine(&processor);
        machine.loadProgram(*program);
        while (machine.isRunning()) machine.step();
        std::string blocks;
        for (const FakeProcessor::Block& block : processor.blocks) {
            for (const GCodeWord& word : block.words) blocks += word.name + "=" + std::to_string(word.value) + " ";
            blocks += block.span.toString() + "\n";
        }
        runs.push_back(blocks + "steps " + std::to_string(machine.stepCount));
    }
    EXPECT_EQ(runs[0], runs[1]);
}

TEST_F(CompileDriver, LinksTheProgramWithNativesAndExternals) {
    ProviderProcessor provider;
    MemoryShared shared;
    Variable r5(&shared, "r5", typeLreal, flagBit(VariableFlags::HOST_DECLARED), VariableAccess::NONE);
    CodeLinked out;
    compile(out, input("G1 X=r5\n"), &provider, {&r5}, "jyx");
    const std::string listing = out.toString();
    EXPECT_FALSE(out.empty());
    EXPECT_NE(listing.find("Gcode"), std::string::npos) << listing;
    EXPECT_NE(listing.find("Halt"), std::string::npos) << listing;
    // Neither native is called: both go with the driver's references.
    EXPECT_EQ(provider.destroyed, 2);
}

TEST_F(CompileDriver, DeclarationClashesAreSemanticErrors) {
    ProviderProcessor provider;
    provider.nativeNames = {"section"}; // also a basic native
    EXPECT_EQ(compileError<ExceptionSemantic>("G1 X1\n", &provider, {}).message(),
              "Multiple declarations of 'section' in scope.");
    EXPECT_EQ(provider.destroyed, 1);

    MemoryShared shared;
    Variable a(&shared, "r1", typeLreal, flagBit(VariableFlags::HOST_DECLARED), VariableAccess::NONE);
    Variable b(&shared, "r1", typeLreal, flagBit(VariableFlags::HOST_DECLARED), VariableAccess::NONE);
    ProviderProcessor second;
    EXPECT_EQ(compileError<ExceptionSemantic>("G1 X1\n", &second, {&a, &b}).message(),
              "Multiple declarations of 'r1' in scope.");
    EXPECT_EQ(second.destroyed, 2);
}

TEST_F(CompileDriver, SyntaxErrorsBecomeExceptionSyntaxWithTheirPlace) {
    ProviderProcessor provider;
    ExceptionSyntax e = compileError<ExceptionSyntax>("G1 X1\n{ x := ; }\n", &provider, {});
    EXPECT_TRUE(e.span().valid);
    EXPECT_EQ(e.span().begin.line, 2);
    EXPECT_EQ(std::string(e.what()).rfind("t.jyx: 2.", 0), 0u) << e.what();
    EXPECT_EQ(provider.destroyed, 2);
}

TEST_F(CompileDriver, EveryNativeIsDeletedWhenTheCompileFails) {
    ProviderProcessor failing;
    failing.failRegistration = true; // after appending both natives
    EXPECT_EQ(compileError<ExceptionRuntime>("G1 X1\n", &failing, {}).message(), "registration refused");
    EXPECT_EQ(failing.destroyed, 2);

    ProviderProcessor provider;
    EXPECT_EQ(compileError<ExceptionSemantic>("G1 X=nowhere\n", &provider, {}).message(),
              "Undeclared variable or enumeration value 'nowhere'.");
    EXPECT_EQ(provider.destroyed, 2);
}

TEST_F(CompileDriver, ANativeTheProgramCallsOutlivesTheCompile) {
    ProviderProcessor provider;
    CodeLinked out;
    compile(out, input("{ probe(); }\n"), &provider, {}, "jyx");
    EXPECT_EQ(provider.destroyed, 1); // "spare"
    out = CodeLinked();
    EXPECT_EQ(provider.destroyed, 2); // the linked call held the last reference
}

TEST_F(CompileDriver, CompileFileLoadsThroughTheSearchPaths) {
    ProviderProcessor provider;
    write("main.jyx", "G1 X1\n");
    CodeLinked out;
    compileFile(out, "main.jyx", &provider, {}, "jyx");
    EXPECT_FALSE(out.empty());
    try {
        compileFile(out, "absent.jyx", &provider, {}, "jyx");
        FAIL() << "absent.jyx compiled";
    } catch (const ExceptionSyntax& e) {
        EXPECT_STREQ(e.what(), "?: Can not open file 'absent.jyx'");
    }
    EXPECT_FALSE(out.empty()); // a failed compile leaves out as it was
}

// The example of the README compiles and, run on an offline channel, draws its page.
// (Compiled with the recording processor as provider: the channel's own processor adds
// its NC built-ins, which the example does not use.)
TEST_F(CompileDriver, TheExampleDrawsAFlange) {
    includeSearchPaths = {std::string(VORDASH_TEST_DATA_DIR) + "/../examples/"};
    ScannerInputFile source;
    source.load("flange.jyx");
    ProviderProcessor provider;
    CodeLinked linked;
    compile(linked, &source, &provider, {}, "jyx");

    NInterfaceNull output;
    output.setSource(&source);
    output.previewOn = true;
    output.outputFile = (directory_ / "flange.jyx.html").string();
    GProcessorNc2 processor(&output);
    StackmachineInterpreter machine(&processor);
    processor.machine = &machine;
    machine.setWaitEnabled(false);
    machine.loadProgram(linked);
    for (int64_t steps = 0; machine.isRunning(); ++steps) {
        ASSERT_LT(steps, 1'000'000);
        machine.step();
    }
    // The outer contour reaches (0, 60), the bore (-15, 0), the last hole (20 + 5, -34.64).
    const std::string vertices = output.vertexText.str();
    EXPECT_NE(vertices.find("\t\t0,  60,  -10,\n"), std::string::npos) << vertices.substr(0, 400);
    std::ifstream page(output.outputFile);
    std::stringstream html;
    html << page.rdbuf();
    EXPECT_NE(html.str().find("bolt&nbsp;circle"), std::string::npos);
}

// ---- tasks ---------------------------------------------------------------------------

class TaskCompile : public CompileDriver {
protected:
    TaskCompile() : kernel(controller), machine(&processor) {
        task = controller.taskAdd(&machine, "t.jyx");
    }
    ~TaskCompile() override { controller.taskRemove(task); }

    std::vector<StackmachineState> reportedStates() const {
        std::vector<StackmachineState> states;
        for (const FakeKernel::Report& report : kernel.reports) states.push_back(report.state);
        return states;
    }

    Controller controller;
    FakeKernel kernel;
    ProviderProcessor processor;
    StackmachineInterpreter machine;
    ControllerTask* task = nullptr;
};

TEST_F(TaskCompile, ASuccessfulCompileLoadsTheProgramAndStopsTheTask) {
    machine.decWaitCounter(3);
    task->compileInput(input("G1 X1\n"));
    EXPECT_EQ(task->state, StackmachineState::stopped);
    EXPECT_FALSE(task->changed);
    EXPECT_EQ(task->error, nullptr);
    EXPECT_EQ(reportedStates(), std::vector<StackmachineState>{StackmachineState::stopped});
    EXPECT_TRUE(machine.programLoaded);
    EXPECT_FALSE(machine.program.empty());
    // The machine was unloaded, which resets it and its processor.
    EXPECT_EQ(machine.getWaitCounter(3), 1);
    EXPECT_EQ(processor.resets, 1);
}

TEST_F(TaskCompile, AFailingSecondCompileKeepsTheFirstProgram) {
    task->compileInput(input("G1 X1\nG1 X2\n"));
    const std::string first = machine.program.toString();
    try {
        task->compileInput(input("G1 X=missing\n"));
        FAIL() << "the second compile succeeded";
    } catch (const ExceptionSemantic& e) {
        ASSERT_NE(task->error, nullptr);
        EXPECT_STREQ(task->error->what(), e.what());
        EXPECT_NE(task->error.get(), static_cast<const ExceptionKarsto*>(&e)); // a clone
    }
    EXPECT_EQ(task->state, StackmachineState::error);
    EXPECT_EQ(machine.program.toString(), first);
    EXPECT_EQ(reportedStates(), (std::vector<StackmachineState>{StackmachineState::stopped, StackmachineState::error}));

    // The next compile starts without the old error.
    task->compileInput(input("G1 X3\n"));
    EXPECT_EQ(task->error, nullptr);
    EXPECT_EQ(task->state, StackmachineState::stopped);
}

TEST_F(TaskCompile, CompileFileReportsALoadErrorThroughSetError) {
    EXPECT_THROW(task->compileFile("absent.jyx"), ExceptionSyntax);
    EXPECT_EQ(task->state, StackmachineState::error);
    ASSERT_NE(task->error, nullptr);
    EXPECT_STREQ(task->error->what(), "?: Can not open file 'absent.jyx'");
    EXPECT_EQ(reportedStates(), std::vector<StackmachineState>{StackmachineState::error});

    write("p.jyx", "G1 X1\n");
    task->compileFile("p.jyx");
    EXPECT_EQ(task->state, StackmachineState::stopped);
}

TEST_F(TaskCompile, ARefusedReportIsACompileError) {
    kernel.refuse = true;
    EXPECT_THROW(task->compileInput(input("G1 X1\n")), ExceptionSemantic);
    EXPECT_EQ(task->state, StackmachineState::error);
    ASSERT_NE(task->error, nullptr);
    EXPECT_EQ(task->error->message(), "refused");
}

TEST_F(TaskCompile, TheTasksSharedVariablesAreItsExternals) {
    MemoryShared shared;
    Variable r1(&shared, "r1", typeLreal, flagBit(VariableFlags::HOST_DECLARED), VariableAccess::NONE);
    EXPECT_THROW(task->compileInput(input("G1 X=r1\n")), ExceptionSemantic);
    controller.sharedVariableAdd(task, &r1);
    task->compileInput(input("G1 X=r1\n"));
    EXPECT_EQ(task->state, StackmachineState::stopped);
}

TEST_F(TaskCompile, TheListingIsLoggedAtDebugCodeOnly) {
    {
        LogCapture log({LogLevel::error});
        task->compileInput(input("G1 X1\n"));
        EXPECT_TRUE(log.lines.empty());
    }
    LogCapture log({LogLevel::debugCode});
    task->compileInput(input("G1 X1\n"));
    ASSERT_EQ(log.lines.size(), 1u);
    EXPECT_EQ(log.lines[0], "[debugCode] " + machine.program.toString());
}

TEST_F(TaskCompile, StartRunsStoppedAndFinishedTasksOnly) {
    task->compileInput(input("G1 X1\n"));
    task->start();
    EXPECT_EQ(task->state, StackmachineState::running);
    // Run to the end, then start again: the machine and processor are reset and the
    // program runs again from item 0.
    while (machine.isRunning()) machine.step();
    task->state = StackmachineState::finished;
    ASSERT_EQ(processor.blocks.size(), 1u);
    const int resets = processor.resets;
    const int64_t pcAtEnd = machine.getPc();
    task->start();
    EXPECT_EQ(task->state, StackmachineState::running);
    EXPECT_EQ(processor.resets, resets + 1);
    EXPECT_NE(machine.getPc(), pcAtEnd);
    EXPECT_EQ(machine.getPc(), 0);
    while (machine.isRunning()) machine.step();
    EXPECT_EQ(processor.blocks.size(), 2u);
    EXPECT_EQ(reportedStates(), (std::vector<StackmachineState>{StackmachineState::stopped, StackmachineState::running,
                                                                StackmachineState::running}));

    // Undefined, running and error stay as they are, unreported.
    for (StackmachineState state : {StackmachineState::undefined, StackmachineState::running, StackmachineState::error}) {
        task->state = state;
        task->start();
        EXPECT_EQ(task->state, state);
    }
    EXPECT_EQ(kernel.reports.size(), 3u);
    EXPECT_FALSE(task->changed);
}

TEST_F(TaskCompile, SetErrorReplacesTheErrorAndReports) {
    task->setError(ExceptionRuntime("first", SourceSpan()));
    task->setError(ExceptionSemantic("second", SourceSpan()));
    ASSERT_NE(task->error, nullptr);
    EXPECT_EQ(task->error->message(), "second");
    EXPECT_NE(dynamic_cast<ExceptionSemantic*>(task->error.get()), nullptr);
    EXPECT_EQ(reportedStates(), (std::vector<StackmachineState>{StackmachineState::error, StackmachineState::error}));
}

} // namespace
} // namespace Karsto
