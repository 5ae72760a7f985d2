#pragma once
// The end-to-end harness of the language tests: a source is compiled as the compile
// driver does (file "t.jyx" through the include search paths, scanner in G-code mode,
// the built-in functions, the basic natives, optional host externals, parse with both
// walks, link) and run on a channel's interpreter whose G-code processor records every
// block.
//
//   HarnessResult r = compileAndRun("N10 G1 X10\n");
//   ASSERT_TRUE(r.ok()) << r.errorText();
//   EXPECT_EQ(r.blocksText(), "n=10 g=1 x=10\n");
//
// The NC program runner compiles the same way, with the channel's NC types and built-ins
// registered as the compile driver does, but runs on a real G-code processor whose
// output records every delivered command, with waiting off:
//
//   HarnessResult r = runNcProgram("G1 X5 F300\n");
//   EXPECT_EQ(r.ncText(), "snr=0 key=0/0 n=0 Queryaxes\nsnr=1 key=1/0 n=0 Line ...\n");
//
// Any exception that leaves the compile (syntax, semantic, or another std::exception)
// or the run is reported in the result, never thrown to the test. The result owns the
// parser, so the final variable scope answers for globals by name while it lives.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/log.h"
#include "core/machine_test_support.h"
#include "core/source_span.h"

namespace Karsto {
class CodeLinked;
class GProcessorNc2;
class JyxParser;
class NInterface;
class ScannerInputFile;
class Type;
class Variable;
class StackmachineInterpreter;
} // namespace Karsto

namespace Karsto::test {

// A variable of the host in its shared area (as the R-parameters are): LREAL, INT or
// BOOL, flag HOST_DECLARED, with its value before the run.
struct HostExternal {
    std::string name; // lower case: the compiler looks names up lower-cased
    Type* type = nullptr;
    double value = 0.0;
};

struct HarnessOptions {
    std::vector<HostExternal> externals;
    // Blocks of numbers compiled as they are parsed, as the compile driver has them
    // (JyxParser::compactLiteralBlocks); off, every block is walked word by word.
    bool compactLiteralBlocks = false;
    // With compactLiteralBlocks: plain lines kept as their text and read as they run, as
    // the compile driver has them for a shared input (JyxParser::plainLineSource).
    bool plainLinesFromText = false;
    // Steps before the run is given up as "step limit reached".
    int64_t stepLimit = 100'000'000;
    // How often the program is started; every start after the first resets the machine
    // as a restart of the finished program does. The steps of all runs count together.
    int32_t runs = 1;
    // The log levels captured during compile and run.
    std::vector<LogLevel> logLevels{LogLevel::error, LogLevel::warning, LogLevel::info};
};

struct HarnessError {
    std::string message; // without the place
    SourceSpan span;     // invalid for an error without one
    std::string text;    // what the user sees: "t.jyx: 1.6-1.8: message"
};

// Stack pointer and frame pointer of a machine after reset; a program that ran to its
// end leaves sp there.
inline constexpr int64_t kStackBottom = 0x100000;

class HarnessResult {
public:
    HarnessResult();
    HarnessResult(HarnessResult&&) noexcept;
    HarnessResult& operator=(HarnessResult&&) noexcept;
    ~HarnessResult();

    bool compiled() const { return !compileError.has_value(); }
    // Compiled, and, when run, ran to its end without an error.
    bool ok() const { return !compileError && !runError; }
    // The text of the compile or run error; empty when there is none.
    std::string errorText() const;

    // A variable of the final variable scope (globals and host externals), or null.
    Variable* variable(const std::string& name) const;
    // The value of a global or host variable after the run, read through the machine:
    // any integer kind sign- or zero-extended, REAL or LREAL, BOOL.
    int64_t integer(const std::string& name) const;
    double real(const std::string& name) const;
    bool boolean(const std::string& name) const;
    // The current text of a STRING or WSTRING variable, one 16-bit code per character;
    // a length cell outside 0..capacity throws std::out_of_range.
    std::u16string characters(const std::string& name) const;

    // The parser of the compile with its syntax tree and everything the evaluator made;
    // null when the source was never parsed.
    JyxParser* parser() const;

    // The channel's G-code processor of an NC run (its state after the run); null for
    // the other runs.
    GProcessorNc2* ncProcessor() const;

    // The linked program as the machine holds it; only after a successful compile.
    const CodeLinked& linked() const;

    // The recorded blocks, one blockText line each.
    std::string blocksText() const;
    // The commands an NC run delivered, each line ended by a line end.
    std::string ncText() const;

    std::optional<HarnessError> compileError;
    std::optional<HarnessError> runError;
    std::string listing;                // CodeLinked::toString of the linked program
    bool ran = false;                   // the machine was started
    std::string output;                 // standard output of the run
    std::vector<std::string> logLines;  // lines of the captured levels, compile and run
    std::vector<FakeProcessor::Block> blocks;
    // Of an NC run: one line per delivered command in the recording output's form
    // ("snr=<serial> key=<counter>/<sub> n=<block number> <text form>").
    std::vector<std::string> ncLines;
    int64_t sp = 0;    // after the run
    int64_t steps = 0; // steps taken

    struct Compile; // input, scanner, parser, host area and machine of the compile
    std::unique_ptr<Compile> compile;

private:
    int64_t addressOf(const std::string& name) const;
};

HarnessResult compileOnly(const std::string& source, const HarnessOptions& options = {});
HarnessResult compileAndRun(const std::string& source, const HarnessOptions& options = {});
// Compiles the source and runs it on a channel: a StackmachineInterpreter bound to a
// GProcessorNc2 with a recording output, waiting off, until the machine stops.
HarnessResult runNcProgram(const std::string& source, const HarnessOptions& options = {});
// The same for an input the caller loaded (its includes expanded), delivering to output
// (not owned), which must outlive the result; ncLines stay empty.
HarnessResult runNcProgram(ScannerInputFile& input, NInterface& output,
                           const HarnessOptions& options = {});

// A recorded block as one line: "/<level> " when it has a skip mark, then the words as
// "<letter>=<value>" separated by blanks, values in their shortest exact form (10,
// -5.5, 0.1).
std::string blockText(const FakeProcessor::Block& block);

// The elementary types, the default string types, the NULL type and the code
// generator's seams, once per process, as the program entry makes them.
void prepareLanguageRuntime();

} // namespace Karsto::test
