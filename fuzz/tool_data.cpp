// The tool-data reader on any text: it ends in a table or in an ExceptionRuntime, never
// reads past a line or overflows (the sanitizers watch). A table that was read saves to a
// file that reads back without error, and saving that again writes the same bytes.
//
// Input: the text of a tool-data file.

#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "core/exception.h"
#include "fuzz_support.h"
#include "gcode/tool_table.h"

namespace {

std::string fileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) { return 0; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace Karsto;
    using namespace Karsto::Fuzz;
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    ToolTable table;
    try {
        table.read(in, "input");
    } catch (const ExceptionRuntime&) {
        return 0;
    }
    const std::string file = scratchDirectory() + "tools.WZ";
    table.save(file);
    const std::string first = fileText(file);
    ToolTable reloaded;
    try {
        reloaded.load(file);
    } catch (const ExceptionRuntime& error) {
        require(false, "a saved table does not load: %s", error.message().c_str());
    }
    reloaded.save(file);
    require(fileText(file) == first, "saving a loaded table changed the file");
    return 0;
}
