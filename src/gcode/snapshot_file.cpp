#include "gcode/snapshot_file.h"

#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "core/exception.h"
#include "core/host_path.h"

namespace Karsto {

namespace {

constexpr const char* kFileName = "JyxSnapShot.bin";
constexpr const char* kTemporaryName = ".JyxSnapShot.bin.tmp";

static_assert(SnapshotFile::kMagic.size() == 15);
static_assert(SnapshotFile::kZeroOffsetSize == 64 && SnapshotFile::kToolSize == 120);
static_assert(SnapshotFile::kEmptySize + SnapshotFile::kRParameters * SnapshotFile::kRParameterSize +
                  SnapshotFile::kZeroOffsets * SnapshotFile::kZeroOffsetSize +
                  SnapshotFile::kTools * SnapshotFile::kToolSize ==
              39271);

// ---------------------------------------------------------------------------------------
// Little-endian fields

void putInt32(std::string& out, int32_t value) {
    const auto bits = static_cast<uint32_t>(value);
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<char>((bits >> shift) & 0xFFu));
}

void putDouble(std::string& out, double value) {
    const auto bits = std::bit_cast<uint64_t>(value);
    for (int shift = 0; shift < 64; shift += 8) out.push_back(static_cast<char>((bits >> shift) & 0xFFu));
}

uint64_t littleEndian(const unsigned char* bytes, size_t count) {
    uint64_t value = 0;
    for (size_t i = count; i > 0; --i) value = (value << 8) | bytes[i - 1];
    return value;
}

int32_t int32At(const unsigned char* bytes) {
    return static_cast<int32_t>(static_cast<uint32_t>(littleEndian(bytes, 4)));
}

double doubleAt(const unsigned char* bytes) { return std::bit_cast<double>(littleEndian(bytes, 8)); }

// ---------------------------------------------------------------------------------------
// Reading

// The snapshot file opened for one section's read, with what is left of it, so that no
// count can make a read, a skip or an allocation go past the end of the file.
class SectionReader {
public:
    explicit SectionReader(const std::string& path) : in_(hostPath(path), std::ios::binary) {
        if (!in_.is_open()) return;
        in_.seekg(0, std::ios::end);
        const std::streamoff size = in_.tellg();
        in_.seekg(0, std::ios::beg);
        remaining_ = in_ && size >= 0 ? static_cast<int64_t>(size) : 0;
    }

    // The magic and version 1.
    bool header() {
        unsigned char magic[SnapshotFile::kMagic.size()];
        int32_t version = 0;
        return bytes(magic, sizeof magic) &&
               std::memcmp(magic, SnapshotFile::kMagic.data(), sizeof magic) == 0 && int32(version) &&
               version == SnapshotFile::kVersion;
    }

    bool int32(int32_t& value) {
        unsigned char field[4];
        if (!bytes(field, sizeof field)) return false;
        value = int32At(field);
        return true;
    }

    // A section's count, accepted only when its entries fit into the rest of the file.
    bool count(int64_t entrySize, int32_t& value) {
        return int32(value) && value >= 0 && value <= remaining_ / entrySize;
    }

    // Passes over a section before the one wanted.
    bool skipSection(int64_t entrySize) {
        int32_t n = 0;
        if (!count(entrySize, n)) return false;
        const int64_t length = n * entrySize;
        in_.seekg(length, std::ios::cur);
        remaining_ -= length;
        return static_cast<bool>(in_);
    }

    bool bytes(unsigned char* out, size_t n) {
        if (static_cast<int64_t>(n) > remaining_) return false;
        in_.read(reinterpret_cast<char*>(out), static_cast<std::streamsize>(n));
        if (in_.gcount() != static_cast<std::streamsize>(n)) return false;
        remaining_ -= static_cast<int64_t>(n);
        return true;
    }

private:
    std::ifstream in_;
    int64_t remaining_ = 0;
};

struct RParameterCodec {
    using Entry = double;
    static constexpr int64_t kSize = SnapshotFile::kRParameterSize;
    static constexpr bool accepts(int32_t) { return true; }
    static constexpr int kSkipped = 0; // sections before this one
    static Entry decode(const unsigned char* at) { return doubleAt(at); }
    static void encode(std::string& out, const Entry& value) { putDouble(out, value); }
};

struct ZeroOffsetCodec {
    using Entry = ZeroOffset;
    static constexpr int64_t kSize = SnapshotFile::kZeroOffsetSize;
    // More would have no zero offset to go to.
    static constexpr bool accepts(int32_t n) { return n <= SnapshotFile::kZeroOffsets; }
    static constexpr int kSkipped = 1;
    static Entry decode(const unsigned char* at) {
        ZeroOffset zos;
        zos.x = doubleAt(at);
        zos.y = doubleAt(at + 8);
        zos.z = doubleAt(at + 16);
        for (size_t i = 0; i < ZeroOffset::kQAxes; ++i) zos.q[i] = doubleAt(at + 24 + 8 * i);
        return zos;
    }
    static void encode(std::string& out, const Entry& zos) {
        putDouble(out, zos.x);
        putDouble(out, zos.y);
        putDouble(out, zos.z);
        for (double q : zos.q) putDouble(out, q);
    }
};

struct ToolCodec {
    using Entry = ToolEntry;
    static constexpr int64_t kSize = SnapshotFile::kToolSize;
    static constexpr bool accepts(int32_t) { return true; }
    static constexpr int kSkipped = 2;
    static Entry decode(const unsigned char* at) {
        ToolEntry tool;
        tool.number = int32At(at);
        tool.toolType = int32At(at + 4);
        for (size_t p = 0; p < tool.param.size(); ++p) tool.param[p] = doubleAt(at + 8 + 8 * p);
        return tool;
    }
    static void encode(std::string& out, const Entry& tool) {
        putInt32(out, tool.number);
        putInt32(out, tool.toolType);
        for (double value : tool.param) putDouble(out, value);
    }
};

// Order matters: a section is found behind the ones before it.
constexpr int64_t kSectionEntrySizes[] = {RParameterCodec::kSize, ZeroOffsetCodec::kSize, ToolCodec::kSize};

template <class Codec>
std::optional<std::vector<typename Codec::Entry>> readSection(const std::string& path) {
    SectionReader in(path);
    if (!in.header()) return std::nullopt;
    for (int s = 0; s < Codec::kSkipped; ++s)
        if (!in.skipSection(kSectionEntrySizes[s])) return std::nullopt;
    int32_t n = 0;
    if (!in.count(Codec::kSize, n) || !Codec::accepts(n)) return std::nullopt;
    std::vector<typename Codec::Entry> entries;
    entries.reserve(static_cast<size_t>(n)); // bounded by the file's size
    unsigned char entry[Codec::kSize];
    for (int32_t i = 0; i < n; ++i) {
        if (!in.bytes(entry, sizeof entry)) return std::nullopt;
        entries.push_back(Codec::decode(entry));
    }
    return entries;
}

template <class Codec>
void writeSection(std::string& out, const std::vector<typename Codec::Entry>& entries) {
    putInt32(out, static_cast<int32_t>(entries.size()));
    for (const auto& entry : entries) Codec::encode(out, entry);
}

// Writes the whole text and closes; false unless every byte reached the file.
bool writeAll(std::ofstream& out, const std::string& text) {
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close(); // flushes: a full disk shows here
    return !out.fail();
}

} // namespace

// ---------------------------------------------------------------------------------------
// SnapshotRequest

SnapshotRequest SnapshotRequest::withMask(uint32_t mask) {
    SnapshotRequest request;
    for (size_t i = 0; i < 4; ++i) request.bytes[kMaskOffset + i] = static_cast<uint8_t>(mask >> (8 * i));
    return request;
}

uint32_t SnapshotRequest::mask() const {
    return static_cast<uint32_t>(littleEndian(bytes.data() + kMaskOffset, 4));
}

// ---------------------------------------------------------------------------------------
// SnapshotFile

SnapshotFile::SnapshotFile(const std::string& directory)
    : path_(directory + "/" + kFileName), temporaryPath_(directory + "/" + kTemporaryName) {}

bool SnapshotFile::exists() const { return std::ifstream(hostPath(path_), std::ios::binary).is_open(); }

std::optional<std::vector<double>> SnapshotFile::readRParameters() const {
    return readSection<RParameterCodec>(path_);
}

std::optional<std::vector<ZeroOffset>> SnapshotFile::readZeroOffsets() const {
    return readSection<ZeroOffsetCodec>(path_);
}

std::optional<std::vector<ToolEntry>> SnapshotFile::readTools() const { return readSection<ToolCodec>(path_); }

std::string SnapshotFile::encode(const SnapshotSections& sections) {
    std::string out(kMagic);
    putInt32(out, kVersion);
    writeSection<RParameterCodec>(out, sections.rParameters);
    writeSection<ZeroOffsetCodec>(out, sections.zeroOffsets);
    writeSection<ToolCodec>(out, sections.tools);
    return out;
}

void SnapshotFile::createEmpty() const {
    std::ofstream out(hostPath(path_), std::ios::binary | std::ios::trunc);
    checkRuntime(out.is_open() && writeAll(out, encode({})), "Can not open file '%s' to '%s'", path_.c_str(),
                 "create");
}

std::ofstream SnapshotFile::openTemporary() const {
    std::ofstream out(hostPath(temporaryPath_), std::ios::binary | std::ios::trunc);
    checkRuntime(out.is_open(), "Can not open file '%s' to '%s'", temporaryPath_.c_str(), "write");
    return out;
}

void SnapshotFile::replace(std::ofstream& temporary, const SnapshotSections& sections) const {
    // Checked before the rename: an incomplete file must never replace a good snapshot.
    checkRuntime(writeAll(temporary, encode(sections)), "Can not open file '%s' to '%s'",
                 temporaryPath_.c_str(), "write");
    // rename replaces the target atomically: no moment without a snapshot file.
    if (std::rename(hostPath(temporaryPath_).c_str(), hostPath(path_).c_str()) != 0) {
        const int error = errno;
        failRuntime("Error replacing file '%s': %s", path_.c_str(), std::strerror(error));
    }
}

} // namespace Karsto
