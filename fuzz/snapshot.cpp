// The snapshot file on any bytes: loading and saving end normally or in an
// ExceptionRuntime, never read or allocate past what the file holds (the sanitizers
// watch). A save that succeeds leaves a file whose every section is empty or whole, with
// the masked sections whole and the others as the old file had them (or empty where the
// old file's section was unreadable); a fresh channel loads that file completely, and
// saving its non-empty sections again writes the same bytes.
//
// Input: a flag byte (bits 0-2 the load mask, bits 3-5 the save mask), then the bytes of
// the snapshot file.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "core/exception.h"
#include "core/stackmachine.h"
#include "frontend/scanner_input.h"
#include "fuzz_support.h"
#include "gcode/gprocessor_nc2.h"
#include "gcode/ninterface_null.h"
#include "gcode/snapshot_file.h"

namespace Karsto::Fuzz {
namespace {

constexpr int32_t kR = SnapshotFile::kRParameters;

// A channel with r0 to r999 in its shared area.
struct Channel {
    Channel() : cells(kR) {
        std::vector<SharedName> names;
        for (int32_t i = 0; i < kR; ++i) {
            names.push_back(SharedName{"r" + std::to_string(i), i});
            cells[static_cast<size_t>(i)] = i * 0.5;
        }
        machine.setSharedArea(cells.data(), kR, names);
        processor.machine = &machine;
    }

    std::vector<double> cells;
    Stackmachine machine;
    NInterfaceNull output;
    GProcessorNc2 processor{&output};
};

std::string fileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// One section's bytes in a file of its own: values compare bit for bit, NaNs included.
template <class Entry>
std::string bytesOf(const std::vector<Entry>& entries) {
    SnapshotSections sections;
    if constexpr (std::is_same_v<Entry, double>)
        sections.rParameters = entries;
    else if constexpr (std::is_same_v<Entry, ZeroOffset>)
        sections.zeroOffsets = entries;
    else
        sections.tools = entries;
    return SnapshotFile::encode(sections);
}

bool has(uint32_t mask, SnapshotSection section) { return (mask & static_cast<uint32_t>(section)) != 0; }

// A section of the saved file against the old file's: whole when masked, else kept when
// the old one could be kept, else empty.
template <class Entry>
void checkSection(const char* name, const std::optional<std::vector<Entry>>& before,
                  const std::optional<std::vector<Entry>>& after, bool masked, size_t whole) {
    require(after.has_value(), "the saved %s section does not read", name);
    require(after->empty() || after->size() == whole, "the saved %s section holds %zu entries", name,
            after->size());
    if (masked) {
        require(after->size() == whole, "the masked %s section holds %zu entries", name, after->size());
    } else if (before) {
        require(bytesOf(*after) == bytesOf(*before), "the %s section was not kept", name);
    } else {
        require(after->empty(), "the unreadable %s section was not saved empty", name);
    }
}

} // namespace
} // namespace Karsto::Fuzz

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    Karsto::defaultDataPath = Karsto::Fuzz::scratchDirectory() + "data";
    std::filesystem::create_directory(Karsto::defaultDataPath);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace Karsto;
    using namespace Karsto::Fuzz;
    if (size == 0) return 0;
    const uint32_t loadMask = data[0] & 7u;
    const uint32_t saveMask = (data[0] >> 3) & 7u;
    const SnapshotFile file(defaultDataPath);
    {
        std::ofstream out(file.path(), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data + 1), static_cast<std::streamsize>(size - 1));
    }
    const auto rBefore = file.readRParameters();
    const auto zBefore = file.readZeroOffsets();
    const auto tBefore = file.readTools();

    Channel channel;
    try {
        channel.processor.loadSnapshot(SnapshotRequest::withMask(loadMask));
    } catch (const ExceptionRuntime&) {
    }
    try {
        channel.processor.saveSnapshot(SnapshotRequest::withMask(saveMask));
    } catch (const ExceptionRuntime&) {
        return 0; // a section to keep that is neither empty nor whole
    }
    require(!std::filesystem::exists(file.temporaryPath()), "the temporary file remained");
    const std::string saved = fileText(file.path());
    const auto rAfter = file.readRParameters();
    const auto zAfter = file.readZeroOffsets();
    const auto tAfter = file.readTools();
    // Kept sections had to be empty or whole, or the save would have failed.
    checkSection("R-parameter", rBefore, rAfter, has(saveMask, SnapshotSection::rParameters), kR);
    checkSection("zero-offset", zBefore, zAfter, has(saveMask, SnapshotSection::zeroOffsets),
                 SnapshotFile::kZeroOffsets);
    checkSection("tool", tBefore, tAfter, has(saveMask, SnapshotSection::tools), SnapshotFile::kTools);
    require(saved == SnapshotFile::encode({*rAfter, *zAfter, *tAfter}), "the saved file reads back differently");

    Channel fresh;
    try {
        fresh.processor.loadSnapshot(SnapshotRequest::withMask(7));
    } catch (const ExceptionRuntime& error) {
        require(false, "a saved file does not load: %s", error.message().c_str());
    }
    uint32_t full = 0;
    if (!rAfter->empty()) full |= static_cast<uint32_t>(SnapshotSection::rParameters);
    if (!zAfter->empty()) full |= static_cast<uint32_t>(SnapshotSection::zeroOffsets);
    if (!tAfter->empty()) full |= static_cast<uint32_t>(SnapshotSection::tools);
    fresh.processor.saveSnapshot(SnapshotRequest::withMask(full));
    require(fileText(file.path()) == saved, "saving what was loaded changed the file");
    return 0;
}
