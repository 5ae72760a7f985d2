#include "host/compile.h"

#include <cstddef>
#include <memory>
#include <stdexcept>

#include "builtins/register_intrinsics.h"
#include "core/code.h"
#include "core/exception.h"
#include "core/function_native.h"
#include "core/log.h"
#include "core/gprocessor.h"
#include "core/natives_basic.h"
#include "core/program.h"
#include "core/symbol_tables.h"
#include "core/variable.h"
#include "frontend/jyx_parser.h"
#include "frontend/scanner.h"
#include "frontend/scanner_input.h"

namespace Karsto {

namespace {

// The natives of one compile with the one reference the driver holds on each while it
// compiles. Whatever way the compile ends, every native gets its reference back, so the
// ones the program does not call are deleted; a native that never got its reference
// (the compile failed before) is deleted the same way instead of leaking.
class NativeReferences {
public:
    NativeReferences() = default;
    ~NativeReferences() { releaseAll(); }
    NativeReferences(const NativeReferences&) = delete;
    NativeReferences& operator=(const NativeReferences&) = delete;

    std::vector<FunctionNative*>& natives() { return natives_; }

    // Takes the reference on native i; the natives before it hold theirs already.
    void retain(size_t i) {
        natives_[i]->retain();
        retained_ = i + 1;
    }

    void releaseAll() {
        std::vector<FunctionNative*> natives = std::move(natives_);
        natives_.clear();
        for (size_t i = 0; i < natives.size(); ++i) {
            if (i >= retained_) natives[i]->retain();
            natives[i]->release();
        }
        retained_ = 0;
    }

private:
    std::vector<FunctionNative*> natives_;
    size_t retained_ = 0;
};

void compileShared(CodeLinked& out, ScannerInputFile* input, std::shared_ptr<const ScannerInputFile> shared,
                   GProcessor* provider, const std::vector<Variable*>& externals, const std::string& language) {
    if (language != "jyx") {
        if (language == "jyxmb") {
            out = CodeLinked(Code());
            return;
        }
        checkSemantic(false, "Invalid input language '%s'", language.c_str());
    }

    Scanner scanner(input);
    scanner.mode = ScannerMode::gcode; // every compile starts in G-code notation
    // Declared after the scanner, so the parser, which reads through it, goes first.
    JyxParser parser(&scanner);
    parser.compactLiteralBlocks = true;
    // The listing and the traces show every item: there the lines are compiled.
    const bool itemsShown = globalLog.enabled(LogLevel::debugCode) || globalLog.enabled(LogLevel::debugStackmachine) ||
                            globalLog.enabled(LogLevel::debugStackOp);
    if (!itemsShown) parser.plainLineSource = std::move(shared);
    SymbolTables& symbols = parser.symbols;

    NativeReferences references;
    registerBasicNatives(references.natives());
    try {
        if (provider != nullptr) provider->registerNatives(symbols, references.natives());
        registerIntrinsics(symbols);
        std::vector<FunctionNative*>& natives = references.natives();
        for (size_t i = 0; i < natives.size(); ++i) {
            references.retain(i);
            symbols.addFunction(natives[i], false);
        }
        for (Variable* external : externals) symbols.variables->declare(external->name(), external);
        parser.parse();
    } catch (const Parser::Exception& error) {
        throw ExceptionSyntax(error.message, error.span);
    }
    // A native the program calls lives on through the reference of its call instruction.
    references.releaseAll();

    if (parser.program == nullptr) throw std::logic_error("the evaluator left no program");
    Code code = parser.program->code;
    // The program, the tree and everything the compile made go before the symbol tables,
    // and before the link: then the code is, as a rule, the only holder of its tree, and
    // the link takes the tree's items instead of cloning them.
    parser.reset();
    out = CodeLinked(std::move(code));
}

} // namespace

void compile(CodeLinked& out, ScannerInputFile* input, GProcessor* provider,
             const std::vector<Variable*>& externals, const std::string& language) {
    compileShared(out, input, nullptr, provider, externals, language);
}

void compile(CodeLinked& out, const std::shared_ptr<ScannerInputFile>& input, GProcessor* provider,
             const std::vector<Variable*>& externals, const std::string& language) {
    compileShared(out, input.get(), input, provider, externals, language);
}

void compileFile(CodeLinked& out, const std::string& path, GProcessor* provider,
                 const std::vector<Variable*>& externals, const std::string& language) {
    auto input = std::make_shared<ScannerInputFile>();
    input->load(path);
    compile(out, input, provider, externals, language);
}

} // namespace Karsto
