// The run-file reader on any file: every call ends in a batch of at most 100 blocks or in
// an ExceptionKarsto with a place, never reads past the input, loops or overflows (the
// sanitizers watch). Word names are non-empty and lower case; a reader that is done stays
// done and executes nothing more.
//
// Input: the bytes of a run file.

#include <cctype>
#include <string>
#include <vector>

#include "core/exception.h"
#include "core/gprocessor.h"
#include "frontend/scanner_input.h"
#include "fuzz_support.h"
#include "gcode/builtins/runfile_reader.h"

namespace {

using namespace Karsto;

class CountingConsumer final : public GProcessor {
public:
    void executeBlock(int32_t skipLevel, const std::vector<GCodeWord>& words, const SourceSpan&) override {
        Fuzz::require(skipLevel >= -1, "skip level %d", skipLevel);
        for (const GCodeWord& word : words) {
            Fuzz::require(!word.name.empty(), "a word without a name");
            for (char c : word.name)
                Fuzz::require(std::tolower(static_cast<unsigned char>(c)) == c, "name '%s' not lower case",
                              word.name.c_str());
        }
        ++blocks;
    }
    void startProgram() override {}
    void finishProgram() override {}
    bool isStalled() override { return false; }
    void registerNatives(SymbolTables&, std::vector<FunctionNative*>&) override {}
    void reset() override {}

    int64_t blocks = 0;
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) { return 0; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = Fuzz::writeScratchFile(
        "input.nc", std::string_view(reinterpret_cast<const char*>(data), size));
    ScannerInputFileStream input;
    input.open(path);
    CountingConsumer consumer;
    RunfileReader reader(&consumer, &input);
    try {
        while (!reader.done()) {
            const int64_t before = consumer.blocks;
            reader.readBlocks();
            Fuzz::require(consumer.blocks - before <= RunfileReader::kBlocksPerCall, "batch of %lld blocks",
                          static_cast<long long>(consumer.blocks - before));
            Fuzz::require(consumer.blocks > before, "a call that is not stalled read no block");
        }
    } catch (const ExceptionKarsto& error) {
        Fuzz::require(error.span().valid, "an error without a place: %s", error.what());
        return 0;
    }
    const int64_t finished = consumer.blocks;
    reader.readBlocks();
    Fuzz::require(consumer.blocks == finished, "a finished reader executed a block");
    return 0;
}
