// The whole compile on any bytes, from G-code mode as every compile starts: scanner,
// parser, both evaluator walks and linking, then a bounded run on a channel's
// interpreter. The only ends of a compile are a linked program, a syntax error, a
// semantic error located inside the input, or the standard library's error of a real
// literal out of range; a run ends at its halt, in a run-time error or at the step
// bound. Host externals r1 (LREAL) and n (INT) give G-code expressions something to
// name.

#include <cstdint>
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

    FuzzInput input(source);
    Scanner scanner(&input);
    scanner.mode = ScannerMode::gcode;
    CodeLinked linked;
    {
        JyxParser parser(&scanner);
        parser.symbols.variables->declare("r1", &r1);
        parser.symbols.variables->declare("n", &n);
        try {
            parser.parse();
            require(parser.program != nullptr, "a parse without a program");
            linked = CodeLinked(parser.program->code);
        } catch (const Parser::Exception& error) {
            requireInside(error.span, size, "a syntax error");
            return 0;
        } catch (const ExceptionSemantic& error) {
            requireInside(error.span(), size, "a semantic error");
            require(std::string(error.what()) == error.span().toString() + ": " + error.message(), "text '%s'",
                    error.what());
            return 0;
        } catch (const std::out_of_range& error) {
            require(std::string(error.what()) == "stod argument out of range", "out of range: %s", error.what());
            return 0;
        } catch (const std::exception& error) {
            require(false, "unexpected exception: %s", error.what());
        }
    }
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
