#include "support/jyx_harness.h"

#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <mutex>
#include <utility>

#include "builtins/register_intrinsics.h"
#include "codegen/codegen_install.h"
#include "core/code.h"
#include "core/exception.h"
#include "core/function_native.h"
#include "core/memory.h"
#include "core/natives_basic.h"
#include "core/program.h"
#include "core/stackmachine_interpreter.h"
#include "core/type.h"
#include "core/type_pointer.h"
#include "core/type_string.h"
#include "core/variable.h"
#include "frontend/ast_nodes.h"
#include "frontend/jyx_parser.h"
#include "frontend/scanner.h"
#include "frontend/scanner_input.h"
#include "gcode/gprocessor_nc2.h"
#include "geometry/recording_output.h"
#include "support/stdout_capture.h"

namespace Karsto::test {

struct HarnessResult::Compile {
    // Declared in the order that lets each part outlive its users: the parser's symbol
    // tables refer to the host variables, the machine to the processor and host cells.
    MemoryShared shared;
    std::vector<std::unique_ptr<Variable>> externals;
    std::vector<uint64_t> sharedCells;
    ScannerInputFile input;
    ScannerInputFile* source = &input; // or an input the caller loaded
    std::unique_ptr<Scanner> scanner;
    std::unique_ptr<JyxParser> parser;
    Scope<Variable>* finalVariables = nullptr;
    FakeProcessor processor;
    // The channel of an NC run; the output outlives the processor, whose queue uses it.
    std::unique_ptr<RecordingOutput> ncOutput;
    std::unique_ptr<GProcessorNc2> ncProcessor;
    std::unique_ptr<StackmachineInterpreter> machine;
};

namespace {

// The directory t.jyx is written to, one per process, removed at exit.
class SourceDirectory {
public:
    SourceDirectory() {
        root_ = std::filesystem::temp_directory_path() / ("vordash_harness_" + std::to_string(::getpid()));
        std::filesystem::create_directories(root_);
    }
    ~SourceDirectory() {
        std::error_code error;
        std::filesystem::remove_all(root_, error);
    }
    SourceDirectory(const SourceDirectory&) = delete;
    SourceDirectory& operator=(const SourceDirectory&) = delete;

    // Writes the source as t.jyx and loads it as the driver does: a relative name found
    // through the include search paths, which are restored afterwards.
    void load(ScannerInputFile& input, const std::string& source) const {
        {
            std::ofstream out(root_ / "t.jyx", std::ios::binary | std::ios::trunc);
            out.write(source.data(), static_cast<std::streamsize>(source.size()));
        }
        std::vector<std::string> saved = std::exchange(includeSearchPaths, {root_.string() + "/"});
        try {
            input.load("t.jyx");
        } catch (...) {
            includeSearchPaths = std::move(saved);
            throw;
        }
        includeSearchPaths = std::move(saved);
    }

private:
    std::filesystem::path root_;
};

const SourceDirectory& sourceDirectory() {
    static const SourceDirectory directory;
    return directory;
}

// The basic natives and, for a channel, its processor's NC types and built-ins, one
// reference each for the compile, as the driver holds them.
class NativeReferences {
public:
    NativeReferences(SymbolTables& symbols, GProcessor* channel) {
        registerBasicNatives(natives_);
        if (channel != nullptr) channel->registerNatives(symbols, natives_);
        for (FunctionNative* native : natives_) {
            native->retain();
            symbols.addFunction(native, false);
        }
    }
    ~NativeReferences() {
        for (FunctionNative* native : natives_) native->release();
    }
    NativeReferences(const NativeReferences&) = delete;
    NativeReferences& operator=(const NativeReferences&) = delete;

private:
    std::vector<FunctionNative*> natives_;
};

HarnessError errorOf(const ExceptionKarsto& error) { return {error.message(), error.span(), error.what()}; }

HarnessError errorOf(const std::exception& error) { return {error.what(), SourceSpan(), error.what()}; }

void declareExternals(HarnessResult::Compile& compile, const std::vector<HostExternal>& externals) {
    for (const HostExternal& external : externals) {
        compile.externals.push_back(std::make_unique<Variable>(&compile.shared, external.name, external.type,
                                                               flagBit(VariableFlags::HOST_DECLARED),
                                                               VariableAccess::NONE));
        compile.parser->symbols.variables->declare(external.name, compile.externals.back().get());
    }
    compile.sharedCells.assign(static_cast<size_t>(compile.shared.size()), 0);
    for (size_t i = 0; i < externals.size(); ++i) {
        const HostExternal& external = externals[i];
        uint64_t& cell = compile.sharedCells[static_cast<size_t>(compile.externals[i]->offset())];
        if (external.type->kind() == TypeKind::Lreal)
            std::memcpy(&cell, &external.value, sizeof external.value);
        else
            cell = static_cast<uint64_t>(static_cast<int64_t>(external.value));
    }
}

// What the compiled program runs on.
enum class RunTarget : uint8_t {
    recordingBlocks, // the recording processor: every block as its words
    ncChannel,       // a G-code processor with an output
};

// Where the source comes from and where an NC run delivers.
struct RunSetup {
    RunTarget target = RunTarget::recordingBlocks;
    ScannerInputFile* input = nullptr; // loaded by the caller; else the text is t.jyx
    NInterface* output = nullptr;      // not owned; else a recording output
};

void compileInto(HarnessResult& result, const std::string& source, const HarnessOptions& options,
                 const RunSetup& setup) {
    prepareLanguageRuntime();
    result.compile = std::make_unique<HarnessResult::Compile>();
    HarnessResult::Compile& compile = *result.compile;
    LogCapture log(options.logLevels);
    try {
        if (setup.input != nullptr)
            compile.source = setup.input;
        else
            sourceDirectory().load(compile.input, source);
        compile.scanner = std::make_unique<Scanner>(compile.source);
        compile.scanner->mode = ScannerMode::gcode;
        compile.parser = std::make_unique<JyxParser>(compile.scanner.get());
        compile.parser->compactLiteralBlocks = options.compactLiteralBlocks;
        // The input outlives the machine in the result: the program need not own it.
        if (options.plainLinesFromText)
            compile.parser->plainLineSource = std::shared_ptr<const ScannerInputFile>(std::shared_ptr<void>(), compile.source);
        GProcessor* processor = &compile.processor;
        if (setup.target == RunTarget::ncChannel) {
            NInterface* output = setup.output;
            if (output == nullptr) {
                compile.ncOutput = std::make_unique<RecordingOutput>();
                output = compile.ncOutput.get();
            }
            compile.ncProcessor = std::make_unique<GProcessorNc2>(output);
            processor = compile.ncProcessor.get();
        }
        registerIntrinsics(compile.parser->symbols);
        NativeReferences natives(compile.parser->symbols, compile.ncProcessor.get());
        declareExternals(compile, options.externals);
        compile.parser->parse();
        if (compile.parser->program == nullptr) throw std::logic_error("the evaluator left no program");
        auto& program = compile.parser->root->childNode(0)->attributes<AstNode_gprogram>();
        compile.finalVariables = program.variableScopeOut;
        compile.machine = std::make_unique<StackmachineInterpreter>(processor);
        if (compile.ncProcessor) {
            compile.ncProcessor->machine = compile.machine.get();
            compile.machine->setWaitEnabled(false);
        }
        compile.machine->loadProgram(CodeLinked(compile.parser->program->code));
        result.listing = compile.machine->program.toString();
    } catch (const Parser::Exception& error) {
        result.compileError = HarnessError{error.message, error.span, error.text};
    } catch (const ExceptionKarsto& error) {
        result.compileError = errorOf(error);
    } catch (const std::exception& error) {
        result.compileError = errorOf(error);
    }
    result.logLines = std::move(log.lines);
    if (result.compileError) compile.machine.reset();
}

// Runs the compiled program until the machine stops, an error leaves a step or the
// step limit is reached.
void runToEnd(HarnessResult& result, const HarnessOptions& options) {
    HarnessResult::Compile& compile = *result.compile;
    StackmachineInterpreter& machine = *compile.machine;
    std::vector<Variable*> externals;
    for (const auto& external : compile.externals) externals.push_back(external.get());
    machine.setSharedArea(compile.sharedCells.data(), static_cast<int64_t>(compile.sharedCells.size()),
                          sharedNamesOf(externals));
    LogCapture log(options.logLevels);
    StdoutCapture output;
    result.ran = true;
    try {
        const int64_t size = machine.program.size();
        for (int32_t run = 0; run < options.runs; ++run) {
            if (run > 0) machine.reset(); // a restart of the finished program
            while (machine.isRunning() && machine.getPc() >= 0 && machine.getPc() < size) {
                if (result.steps == options.stepLimit) throw std::runtime_error("step limit reached");
                machine.step();
                ++result.steps;
            }
        }
    } catch (const ExceptionKarsto& error) {
        result.runError = errorOf(error);
    } catch (const std::exception& error) {
        result.runError = errorOf(error);
    }
    result.output = output.finish();
    result.sp = machine.getSp();
    result.logLines.insert(result.logLines.end(), log.lines.begin(), log.lines.end());
}

} // namespace

void prepareLanguageRuntime() {
    // Every time, not once: a suite of shared types before this test may have torn them
    // down, and the order suites run in is the link's. Each keeps what exists.
    createElementaryTypes();
    createDefaultStringTypes();
    createNullPointerType();
    static std::once_flag once;
    std::call_once(once, [] { installCodeGenerator(); });
}

HarnessResult::HarnessResult() = default;
HarnessResult::HarnessResult(HarnessResult&&) noexcept = default;
HarnessResult& HarnessResult::operator=(HarnessResult&&) noexcept = default;
HarnessResult::~HarnessResult() = default;

std::string HarnessResult::errorText() const {
    if (compileError) return compileError->text;
    if (runError) return runError->text;
    return {};
}

Variable* HarnessResult::variable(const std::string& name) const {
    if (compile == nullptr || compile->finalVariables == nullptr) return nullptr;
    return compile->finalVariables->lookup(name);
}

int64_t HarnessResult::addressOf(const std::string& name) const {
    Variable* found = variable(name);
    if (found == nullptr || compile->machine == nullptr) throw std::invalid_argument("no variable '" + name + "'");
    const int64_t base = found->memory()->kind() == MemoryKind::Shared ? int64_t{0x80000000} : 0;
    return base + found->offset();
}

int64_t HarnessResult::integer(const std::string& name) const {
    const int64_t address = addressOf(name);
    StackmachineInterpreter& machine = *compile->machine;
    switch (variable(name)->type()->kind()) {
    case TypeKind::Sint: return machine.loadS8(address);
    case TypeKind::Int: return machine.loadS16(address);
    case TypeKind::Dint: return machine.loadS32(address);
    case TypeKind::Usint: return machine.loadU8(address);
    case TypeKind::Uint: return machine.loadU16(address);
    case TypeKind::Udint: return machine.loadU32(address);
    case TypeKind::Bool: return machine.loadU1(address) ? 1 : 0;
    default: return machine.loadS64(address);
    }
}

double HarnessResult::real(const std::string& name) const {
    const int64_t address = addressOf(name);
    if (variable(name)->type()->kind() == TypeKind::Real)
        return static_cast<double>(compile->machine->loadF32(address));
    return compile->machine->loadF64(address);
}

bool HarnessResult::boolean(const std::string& name) const { return integer(name) != 0; }

std::u16string HarnessResult::characters(const std::string& name) const {
    Variable* found = variable(name);
    if (found == nullptr || (!found->type()->isString() && !found->type()->isWstring()))
        throw std::invalid_argument("no string variable '" + name + "'");
    const int64_t address = addressOf(name);
    const int64_t capacity = found->type()->size() - 1;
    StackmachineInterpreter& machine = *compile->machine;
    const int64_t length = machine.loadS64(address + capacity);
    if (length < 0 || length > capacity) throw std::out_of_range("length " + std::to_string(length) + " of '" + name + "'");
    std::u16string text;
    for (int64_t i = 0; i < length; ++i) text.push_back(static_cast<char16_t>(machine.loadU16(address + i)));
    return text;
}

JyxParser* HarnessResult::parser() const { return compile == nullptr ? nullptr : compile->parser.get(); }

GProcessorNc2* HarnessResult::ncProcessor() const {
    return compile == nullptr ? nullptr : compile->ncProcessor.get();
}

const CodeLinked& HarnessResult::linked() const {
    if (compile == nullptr || compile->machine == nullptr) throw std::logic_error("no linked program");
    return compile->machine->program;
}

std::string HarnessResult::blocksText() const {
    std::string text;
    for (const FakeProcessor::Block& block : blocks) text += blockText(block) + "\n";
    return text;
}

std::string blockText(const FakeProcessor::Block& block) {
    std::string text;
    if (block.skipLevel >= 0) text += "/" + std::to_string(block.skipLevel);
    for (const GCodeWord& word : block.words) {
        char value[400];
        const auto end = std::to_chars(value, value + sizeof value, word.value, std::chars_format::fixed).ptr;
        if (!text.empty()) text += ' ';
        text += word.name + "=" + std::string(value, end);
    }
    return text;
}

HarnessResult compileOnly(const std::string& source, const HarnessOptions& options) {
    HarnessResult result;
    compileInto(result, source, options, {});
    return result;
}

HarnessResult compileAndRun(const std::string& source, const HarnessOptions& options) {
    HarnessResult result;
    compileInto(result, source, options, {});
    if (!result.compiled()) return result;
    runToEnd(result, options);
    result.blocks = std::move(result.compile->processor.blocks);
    return result;
}

HarnessResult runNcProgram(const std::string& source, const HarnessOptions& options) {
    HarnessResult result;
    compileInto(result, source, options, {RunTarget::ncChannel, nullptr, nullptr});
    if (!result.compiled()) return result;
    runToEnd(result, options);
    result.ncLines = result.compile->ncOutput->lines;
    return result;
}

HarnessResult runNcProgram(ScannerInputFile& input, NInterface& output, const HarnessOptions& options) {
    HarnessResult result;
    compileInto(result, {}, options, {RunTarget::ncChannel, &input, &output});
    if (result.compiled()) runToEnd(result, options);
    return result;
}

std::string HarnessResult::ncText() const {
    std::string text;
    for (const std::string& line : ncLines) text += line + "\n";
    return text;
}

} // namespace Karsto::test
