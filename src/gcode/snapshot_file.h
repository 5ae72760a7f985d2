#pragma once
// The snapshot file: one binary file in the data directory that keeps a channel's
// R-parameters, zero offsets and tool table across restarts. Little-endian and packed:
//
//   "JyxSnapShotFile" (15 bytes, no terminator), int32 version 1,
//   int32 nR, nR doubles (r0, r1, ...),
//   int32 nZ, nZ zero offsets of 8 doubles (x, y, z, q1 to q5),
//   int32 nT, nT tools of int32 number, int32 type and 14 doubles.
//
// Every field is read and written byte by byte: the int32 fields sit at odd offsets.

#include <array>
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "gcode/tool_table.h"
#include "gcode/zero_offset.h"

namespace Karsto {

// The sections of the file, as bits of a request's mask.
enum class SnapshotSection : uint32_t {
    rParameters = 1,
    zeroOffsets = 2,
    tools = 4,
};

// The parameter record of a snapshot request: 32 bytes that say nothing here, then the
// section mask as a little-endian uint32. Bits beyond the three sections are ignored.
struct SnapshotRequest {
    static constexpr size_t kSize = 36;
    static constexpr size_t kMaskOffset = 32;

    std::array<uint8_t, kSize> bytes{};

    // A record whose first 32 bytes are zero, for a request that brought only the mask.
    static SnapshotRequest withMask(uint32_t mask);
    uint32_t mask() const;
    bool has(SnapshotSection section) const { return (mask() & static_cast<uint32_t>(section)) != 0; }
};

// What a save writes, section by section; an empty list is written with count 0.
struct SnapshotSections {
    std::vector<double> rParameters;
    std::vector<ZeroOffset> zeroOffsets;
    std::vector<ToolEntry> tools;
};

class SnapshotFile {
public:
    static constexpr std::string_view kMagic = "JyxSnapShotFile";
    static constexpr int32_t kVersion = 1;
    // The counts a save writes for a section it holds.
    static constexpr int32_t kRParameters = 1000;
    static constexpr int32_t kZeroOffsets = ZeroOffsets::kCount;
    static constexpr int32_t kTools = ToolTable::kTools;
    // Bytes per entry in the file.
    static constexpr int64_t kRParameterSize = 8;
    static constexpr int64_t kZeroOffsetSize = 8 * (3 + int64_t{ZeroOffset::kQAxes});
    static constexpr int64_t kToolSize = 4 + 4 + 8 * int64_t{ToolEntry::kParams};
    // The magic, the version and three counts of 0.
    static constexpr int64_t kEmptySize = 15 + 4 + 3 * 4;

    // directory: the data directory, without a trailing separator.
    explicit SnapshotFile(const std::string& directory);

    const std::string& path() const { return path_; }
    const std::string& temporaryPath() const { return temporaryPath_; }

    // Whether the snapshot file opens for reading.
    bool exists() const;

    // One section, each read by its own open, header check and skip of the sections before
    // it; nothing when the section is unreadable: no file, a wrong magic or version, a
    // count that is negative or whose entries (or those of a section before it) would run
    // past the end of the file, more zero offsets than a channel has, or a short read.
    std::optional<std::vector<double>> readRParameters() const;
    std::optional<std::vector<ZeroOffset>> readZeroOffsets() const;
    std::optional<std::vector<ToolEntry>> readTools() const;

    // Writes the file with the header and three empty sections. "Can not open file '%s' to
    // '%s'" with the snapshot path and "create" when it cannot be written completely.
    void createEmpty() const;
    // Opens the temporary file, truncating it. "Can not open file '%s' to '%s'" with the
    // temporary path and "write" when that fails.
    std::ofstream openTemporary() const;
    // Writes the sections into the opened temporary file and renames it over the snapshot
    // file, so the snapshot is either the old file or the complete new one. An incomplete
    // write or close raises the temporary file's "write" message and leaves the snapshot
    // as it was; a failed rename raises "Error replacing file '%s': %s".
    void replace(std::ofstream& temporary, const SnapshotSections& sections) const;

    // The file's bytes for these sections.
    static std::string encode(const SnapshotSections& sections);

private:
    std::string path_;
    std::string temporaryPath_;
};

} // namespace Karsto
