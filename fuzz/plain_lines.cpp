// Plain G-code lines kept as their text against the same lines compiled. Any bytes, loaded
// from a file as the compile driver loads its input, are compiled three times: walked
// word by word, with the blocks of numbers compacted and plain lines compiled from the
// text, and with plain lines kept as their text and read as they run. All must end in the
// same compile error, or run alike on a channel's interpreter up to the step bound: the
// same blocks with their values and spans, the same run-time error at the same place, the
// same steps and stack.
//
// Input: the bytes of a source file.

#include <cstdint>
#include <cstdio>
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
#include "frontend/jyx_parser.h"
#include "frontend/scanner.h"
#include "frontend/scanner_input.h"
#include "fuzz_support.h"

namespace Karsto::Fuzz {
namespace {

constexpr int64_t kStepBound = 100000;

std::string spanText(const SourceSpan& span) {
    if (!span.valid) return "(none)";
    return span.toString() + " @" + std::to_string(span.begin.inputOffset) + "-" + std::to_string(span.end.inputOffset);
}

// The outcome of one compile and run, as text.
enum class Compile { walked, compacted, fromText };

std::string outcomeOf(const ScannerInputFile& loaded, Compile compile, int64_t& plainLineItems) {
    // A copy per compile, read from its start; it outlives the program, which reads it.
    ScannerInputFile input(loaded);
    MemoryShared shared;
    Variable r1(&shared, "r1", typeLreal, flagBit(VariableFlags::HOST_DECLARED), VariableAccess::NONE);
    std::vector<uint64_t> cells(static_cast<size_t>(shared.size()), 0);
    Scanner scanner(&input);
    scanner.mode = ScannerMode::gcode;
    CodeLinked linked;
    {
        JyxParser parser(&scanner);
        parser.compactLiteralBlocks = compile != Compile::walked;
        // The input outlives the program here: the pointer need not own it.
        if (compile == Compile::fromText) parser.plainLineSource = std::shared_ptr<const ScannerInputFile>(std::shared_ptr<void>(), &input);
        parser.symbols.variables->declare("r1", &r1);
        try {
            parser.parse();
            require(parser.program != nullptr, "a parse without a program");
            linked = CodeLinked(parser.program->code);
        } catch (const Parser::Exception& error) {
            return std::string("syntax: ") + error.what();
        } catch (const ExceptionKarsto& error) {
            return std::string("compile: ") + error.what();
        } catch (const std::out_of_range& error) {
            return std::string("out of range: ") + error.what();
        }
    }
    plainLineItems = 0;
    for (int64_t i = 0; i < linked.size(); ++i)
        if (linked.item(i)->toString().starts_with("PlainLines ")) ++plainLineItems;
    test::FakeProcessor processor;
    StackmachineInterpreter machine(&processor);
    machine.setSharedArea(cells.data(), static_cast<int64_t>(cells.size()), sharedNamesOf({&r1}));
    machine.loadProgram(linked);
    std::string outcome;
    try {
        for (int64_t steps = 0; steps < kStepBound && machine.isRunning() && machine.getPc() < machine.program.size();
             ++steps)
            machine.step();
    } catch (const ExceptionRuntime& error) {
        outcome += std::string("run: ") + error.what() + " " + spanText(error.span()) + "\n";
    }
    for (const test::FakeProcessor::Block& block : processor.blocks) {
        outcome += std::to_string(block.skipLevel);
        for (const GCodeWord& word : block.words) outcome += " " + word.name + "=" + std::to_string(word.value);
        outcome += " " + spanText(block.span) + "\n";
    }
    return outcome + "steps " + std::to_string(machine.stepCount) + " sp " + std::to_string(machine.getSp()) + "\n";
}

int64_t plainLineItemsSeen = 0;

void report() {
    std::fprintf(stderr, "plain_lines: %lld instructions of plain lines made\n", static_cast<long long>(plainLineItemsSeen));
}

} // namespace
} // namespace Karsto::Fuzz

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    Karsto::createElementaryTypes();
    Karsto::createDefaultStringTypes();
    Karsto::createNullPointerType();
    Karsto::installCodeGenerator();
    Karsto::Fuzz::reportAtExit(Karsto::Fuzz::report);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace Karsto;
    using namespace Karsto::Fuzz;
    const std::string path = writeScratchFile("input.jyx", std::string_view(reinterpret_cast<const char*>(data), size));
    ScannerInputFile input;
    try {
        input.load(path);
    } catch (const ExceptionKarsto&) {
        return 0; // a file the loader refuses is compiled neither way
    }
    int64_t walkedItems = 0;
    int64_t compiledItems = 0;
    int64_t textItems = 0;
    const std::string walked = outcomeOf(input, Compile::walked, walkedItems);
    const std::string compiled = outcomeOf(input, Compile::compacted, compiledItems);
    const std::string fromText = outcomeOf(input, Compile::fromText, textItems);
    require(walkedItems == 0 && compiledItems == 0, "plain lines kept as text without a source");
    plainLineItemsSeen += textItems;
    require(compiled == walked, "plain lines compiled from the text run otherwise:\n%s\n---\n%s", compiled.c_str(),
            walked.c_str());
    require(fromText == compiled, "plain lines kept as text run otherwise:\n%s\n---\n%s", fromText.c_str(),
            compiled.c_str());
    return 0;
}
