// Saving a channel's R-parameters, zero offsets and tool table to the snapshot file and
// loading them back.

#include <cstdio>

#include "core/exception.h"
#include "core/stackmachine.h"
#include "frontend/scanner_input.h"
#include "gcode/gprocessor_nc2.h"
#include "gcode/snapshot_file.h"

namespace Karsto {

namespace {

// The cell of R-parameter r<index>: a global variable of the channel's machine. A channel
// without a machine has none.
int64_t rParameterAddress(Stackmachine* machine, int32_t index) {
    char name[16];
    std::snprintf(name, sizeof name, "r%d", index);
    const int64_t address = machine != nullptr ? machine->globalAddress(name) : -1;
    checkRuntime(address != -1, "Invalid R-parameter %s", name);
    return address;
}

// A section kept from the existing file: unreadable counts as empty; otherwise it must be
// empty or whole.
template <class Entry>
std::vector<Entry> keptSection(std::optional<std::vector<Entry>> read, int32_t whole, const SnapshotFile& file) {
    if (!read) return {};
    checkRuntime(read->empty() || read->size() == static_cast<size_t>(whole), "File '%s' is corrupted.",
                 file.path().c_str());
    return std::move(*read);
}

} // namespace

void GProcessorNc2::loadSnapshot(const SnapshotRequest& request) {
    const SnapshotFile file(defaultDataPath);
    const char* name = file.path().c_str();
    checkRuntime(file.exists(), "File '%s' not found!", name);

    if (request.has(SnapshotSection::rParameters)) {
        const auto values = file.readRParameters();
        checkRuntime(values.has_value(), "Can not read rparams from file '%s'", name);
        // Values beyond the machine's R-parameters fail after the ones before were stored.
        for (size_t i = 0; i < values->size(); ++i) {
            const int64_t address = rParameterAddress(machine, static_cast<int32_t>(i));
            machine->storeF64(address, (*values)[i]);
        }
    }
    if (request.has(SnapshotSection::zeroOffsets)) {
        const auto entries = file.readZeroOffsets();
        checkRuntime(entries.has_value(), "Can not read zos values from file '%s'", name);
        // A short section applies the entries it has; the reader refuses more than ten.
        for (size_t i = 0; i < entries->size(); ++i) {
            const auto index = static_cast<int32_t>(i);
            if (index < ZeroOffsets::kSettable)
                setZeroOffset(index, (*entries)[i]);
            else
                setProgrammableZeroOffset(index - ZeroOffsets::kSettable, (*entries)[i]);
        }
    }
    if (request.has(SnapshotSection::tools)) {
        const auto entries = file.readTools();
        checkRuntime(entries.has_value(), "Can not read tool params from file '%s'", name);
        // Tool 256 and beyond fail in the table's index check, after the first 255 were copied.
        for (size_t i = 0; i < entries->size(); ++i) tools.entry(static_cast<int>(i) + 1) = (*entries)[i];
    }
}

void GProcessorNc2::saveSnapshot(const SnapshotRequest& request) {
    const SnapshotFile file(defaultDataPath);
    // The first save of all starts from an empty file, so every later step finds one.
    if (!file.exists()) file.createEmpty();
    std::ofstream temporary = file.openTemporary();

    SnapshotSections sections;
    if (request.has(SnapshotSection::rParameters)) {
        sections.rParameters.reserve(SnapshotFile::kRParameters);
        for (int32_t i = 0; i < SnapshotFile::kRParameters; ++i) {
            const int64_t address = rParameterAddress(machine, i);
            sections.rParameters.push_back(machine->loadF64(address));
        }
    } else {
        sections.rParameters = keptSection(file.readRParameters(), SnapshotFile::kRParameters, file);
    }
    if (request.has(SnapshotSection::zeroOffsets)) {
        for (int32_t i = 0; i < SnapshotFile::kZeroOffsets; ++i)
            sections.zeroOffsets.push_back(zeroOffsets_.entry(i));
    } else {
        sections.zeroOffsets = keptSection(file.readZeroOffsets(), SnapshotFile::kZeroOffsets, file);
    }
    if (request.has(SnapshotSection::tools)) {
        for (int i = 1; i <= SnapshotFile::kTools; ++i) sections.tools.push_back(tools.entry(i));
    } else {
        sections.tools = keptSection(file.readTools(), SnapshotFile::kTools, file);
    }
    file.replace(temporary, sections);
}

} // namespace Karsto
