// The whole compile on any bytes, from G-code mode as every compile starts: scanner,
// parser, both evaluator walks and linking, then a bounded run on a channel's
// interpreter. Each input is compiled with blocks of numbers compiled as they are parsed
// and without, and both must give the same program or the same error. The only ends of a compile are a linked program, a syntax error, a
// semantic error located inside the input, or the standard library's error of a real
// literal out of range; a run ends at its halt, in a run-time error or at the step
// bound. Host externals r1 (LREAL) and n (INT) give G-code expressions something to
// name.

#include <cstdint>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "codegen/codegen_install.h"
#include "core/code.h"
#include "core/exception.h"
#include "core/machine_test_support.h"
#include "core/memory.h"
#include "core/program.h"
#include "core/stackmachine_interpreter.h"
#include "core/type.h"
#include "core/type_pointer.h"
#include "core/type_string.h"
#include "core/variable.h"
#include "frontend/fuzz_input.h"
#include "frontend/jyx_parser.h"
#include "frontend/scanner.h"
#include "fuzz_support.h"

namespace Karsto::Fuzz {
namespace {

constexpr int64_t kStepBound = 100000;

void requireInside(const SourceSpan& span, size_t size, const char* what) {
    require(span.valid, "%s without a span", what);
    require(span.begin.offset >= 0 && span.end.offset <= static_cast<int32_t>(size) &&
                span.begin.offset <= span.end.offset,
            "%s at %d-%d outside the input of %zu bytes", what, span.begin.offset, span.end.offset, size);
}

// The text with every "Label <id>" numbered in order of first appearance: ids count per
// process, so two compiles of one source name their labels apart.
std::string withLabelsNumbered(const std::string& text, std::map<std::string, size_t>& labels) {
    static const std::string kLabel = "Label ";
    std::string out;
    size_t from = 0;
    for (size_t at = text.find(kLabel); at != std::string::npos; at = text.find(kLabel, from)) {
        size_t end = at + kLabel.size();
        while (end < text.size() && text[end] >= '0' && text[end] <= '9') ++end;
        out.append(text, from, at - from);
        auto [entry, added] = labels.try_emplace(text.substr(at, end - at), labels.size());
        out += "Label #" + std::to_string(entry->second);
        from = end;
    }
    out.append(text, from, std::string::npos);
    return out;
}

} // namespace
} // namespace Karsto::Fuzz

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    Karsto::createElementaryTypes();
    Karsto::createDefaultStringTypes();
    Karsto::createNullPointerType();
    Karsto::installCodeGenerator();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace Karsto;
    using namespace Karsto::Fuzz;
    const std::string source(reinterpret_cast<const char*>(data), size);
    MemoryShared shared;
    Variable r1(&shared, "r1", typeLreal, flagBit(VariableFlags::HOST_DECLARED), VariableAccess::NONE);
    Variable n(&shared, "n", typeInt, flagBit(VariableFlags::HOST_DECLARED), VariableAccess::NONE);
    std::vector<uint64_t> cells(static_cast<size_t>(shared.size()), 0);

    // Compiled twice, with the blocks of numbers compiled as they are parsed (as the
    // compile driver does) and walked word by word: both must end alike, in the same error
    // or in the same listing, item by item with spans.
    bool compiled = false;
    const auto compileOnce = [&](bool compact, CodeLinked& linked) -> std::string {
        FuzzInput input(source);
        Scanner scanner(&input);
        scanner.mode = ScannerMode::gcode;
        JyxParser parser(&scanner);
        parser.compactLiteralBlocks = compact;
        parser.symbols.variables->declare("r1", &r1);
        parser.symbols.variables->declare("n", &n);
        try {
            parser.parse();
            require(parser.program != nullptr, "a parse without a program");
            linked = CodeLinked(parser.program->code);
        } catch (const Parser::Exception& error) {
            requireInside(error.span, size, "a syntax error");
            return std::string("syntax: ") + error.what();
        } catch (const ExceptionSemantic& error) {
            requireInside(error.span(), size, "a semantic error");
            require(std::string(error.what()) == error.span().toString() + ": " + error.message(), "text '%s'",
                    error.what());
            return std::string("semantic: ") + error.what();
        } catch (const std::out_of_range& error) {
            require(std::string(error.what()) == "stod argument out of range", "out of range: %s", error.what());
            return "out of range";
        } catch (const std::exception& error) {
            require(false, "unexpected exception: %s", error.what());
        }
        compiled = true;
        std::map<std::string, size_t> labels;
        std::string listing;
        for (int64_t i = 0; i < linked.size(); ++i) {
            const CodeItem* item = linked.item(i);
            listing += withLabelsNumbered(item->toString(), labels) + " @ " + item->span().toString() + "\n";
        }
        return listing;
    };
    CodeLinked linked;
    CodeLinked walked;
    const std::string compactOutcome = compileOnce(true, linked);
    const bool compactCompiled = compiled;
    const std::string walkedOutcome = compileOnce(false, walked);
    require(compactOutcome == walkedOutcome, "blocks compiled while parsed give another program:\n%s\n---\n%s",
            compactOutcome.c_str(), walkedOutcome.c_str());
    if (!compactCompiled) return 0;
    // The linked program outlives the parser that made it.
    test::FakeProcessor processor;
    processor.recordBlocks = false;
    StackmachineInterpreter machine(&processor);
    machine.setSharedArea(cells.data(), static_cast<int64_t>(cells.size()), sharedNamesOf({&r1, &n}));
    machine.loadProgram(linked);
    try {
        for (int64_t steps = 0; steps < kStepBound && machine.getPc() < machine.program.size(); ++steps)
            machine.step();
    } catch (const ExceptionRuntime&) {
    }
    return 0;
}
