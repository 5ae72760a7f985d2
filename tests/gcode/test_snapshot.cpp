#include <gtest/gtest.h>

#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/composite_test_support.h"
#include "core/error_test_support.h"
#include "core/machine_test_support.h"
#include "core/stackmachine.h"
#include "core/variable.h"
#include "frontend/scanner_input.h"
#include "gcode/gprocessor_nc2.h"
#include "gcode/ninterface_null.h"
#include "gcode/snapshot_file.h"
#include "gcode/tool_test_support.h"
#include "support/scoped_env.h"

namespace Karsto {
namespace {

using test::LogCapture;
using test::runtimeMessage;
using test::ScopedEnv;
using test::ToolDir;

constexpr int32_t kR = SnapshotFile::kRParameters;

// A channel as the kernel link makes it: r0 to r999 as shared LREAL variables of its
// machine, and a G-code processor.
struct SnapshotChannel {
    explicit SnapshotChannel(int32_t rParameters = kR) : cells(static_cast<size_t>(rParameters), 0.0) {
        std::vector<Variable*> variables;
        for (int32_t i = 0; i < rParameters; ++i) {
            owned.push_back(std::make_unique<Variable>(&shared, "r" + std::to_string(i), typeLreal,
                                                       flagBit(VariableFlags::HOST_DECLARED), VariableAccess::NONE));
            variables.push_back(owned.back().get());
        }
        machine.setSharedArea(cells.data(), rParameters, sharedNamesOf(variables));
        processor.machine = &machine;
    }

    MemoryShared shared;
    std::vector<std::unique_ptr<Variable>> owned;
    std::vector<double> cells;
    Stackmachine machine;
    NInterfaceNull output;
    GProcessorNc2 processor{&output};
};

ZeroOffset zeroOffsetNumbered(int32_t index) {
    ZeroOffset zos;
    zos.x = index + 0.25;
    zos.y = -index;
    zos.z = 100.0 * index;
    for (size_t q = 0; q < zos.q.size(); ++q) zos.q[q] = index * 10.0 + static_cast<double>(q);
    return zos;
}

ToolEntry toolNumbered(int32_t index) {
    ToolEntry tool;
    tool.number = 1000 + index;
    tool.toolType = index % 2 == 0 ? 10 : 20;
    for (size_t p = 0; p < tool.param.size(); ++p) tool.param[p] = index + static_cast<double>(p) / 16.0;
    return tool;
}

// A snapshot file written by hand, field by field, so that tests can break any of it.
class FileBuilder {
public:
    FileBuilder& magic(std::string_view text = SnapshotFile::kMagic) {
        bytes_ += text;
        return *this;
    }
    FileBuilder& int32(int32_t value) {
        for (int shift = 0; shift < 32; shift += 8)
            bytes_.push_back(static_cast<char>((static_cast<uint32_t>(value) >> shift) & 0xFFu));
        return *this;
    }
    FileBuilder& real(double value) {
        const auto bits = std::bit_cast<uint64_t>(value);
        for (int shift = 0; shift < 64; shift += 8) bytes_.push_back(static_cast<char>((bits >> shift) & 0xFFu));
        return *this;
    }
    FileBuilder& header() { return magic().int32(1); }
    // count, then count values i + 0.5
    FileBuilder& rSection(int32_t count) {
        int32(count);
        for (int32_t i = 0; i < count; ++i) real(i + 0.5);
        return *this;
    }
    FileBuilder& zeroOffsetSection(int32_t count, int32_t entries) {
        int32(count);
        for (int32_t i = 0; i < entries; ++i) {
            const ZeroOffset zos = zeroOffsetNumbered(i);
            real(zos.x).real(zos.y).real(zos.z);
            for (double q : zos.q) real(q);
        }
        return *this;
    }
    FileBuilder& zeroOffsetSection(int32_t count) { return zeroOffsetSection(count, count); }
    FileBuilder& toolSection(int32_t count) {
        int32(count);
        for (int32_t i = 1; i <= count; ++i) {
            const ToolEntry tool = toolNumbered(i);
            int32(tool.number).int32(tool.toolType);
            for (double value : tool.param) real(value);
        }
        return *this;
    }
    const std::string& bytes() const { return bytes_; }

private:
    std::string bytes_;
};

class Snapshot : public test::CompositeTypesTest {
protected:
    void SetUp() override {
        savedPath_ = defaultDataPath;
        ScopedEnv env("VORDASH_DATA_DIR", dir_.root().c_str());
        setDefaultDataPathFromEnvironment();
        snapshotPath_ = dir_.path("JyxSnapShot.bin");
        temporaryPath_ = dir_.path(".JyxSnapShot.bin.tmp");
    }
    void TearDown() override { defaultDataPath = savedPath_; }

    std::string fileBytes() const { return ToolDir::read(snapshotPath_); }
    void writeFile(const std::string& bytes) const { dir_.write("JyxSnapShot.bin", bytes); }
    bool temporaryExists() const { return std::filesystem::exists(temporaryPath_); }

    static std::string save(GProcessorNc2& p, uint32_t mask) {
        return runtimeMessage([&] { p.saveSnapshot(SnapshotRequest::withMask(mask)); });
    }
    static std::string load(GProcessorNc2& p, uint32_t mask) {
        return runtimeMessage([&] { p.loadSnapshot(SnapshotRequest::withMask(mask)); });
    }

    ToolDir dir_;
    std::string savedPath_;
    std::string snapshotPath_;
    std::string temporaryPath_;
};

TEST(SnapshotDataPath, FollowsTheEnvironmentAndCreatesTheDirectory) {
    ToolDir dir;
    const std::string saved = defaultDataPath;
    const std::string root = dir.root().string();
    struct Case {
        const char* own;  // VORDASH_DATA_DIR
        const char* xdg;  // XDG_DATA_HOME
        const char* home; // HOME
        std::string expected;
    };
    const std::string ownDir = root + "/own";
    const std::string ownWithSeparators = ownDir + "//";
    const std::string xdgDir = root + "/xdg/";
    const std::string homeDir = root + "/home";
    const Case cases[] = {
        {ownWithSeparators.c_str(), xdgDir.c_str(), homeDir.c_str(), ownDir},
        {nullptr, xdgDir.c_str(), homeDir.c_str(), root + "/xdg/vordash/data"},
        {"", xdgDir.c_str(), homeDir.c_str(), root + "/xdg/vordash/data"}, // empty counts as unset
        {nullptr, "relative/xdg", homeDir.c_str(), homeDir + "/.local/share/vordash/data"},
        {nullptr, nullptr, homeDir.c_str(), homeDir + "/.local/share/vordash/data"},
    };
    for (const Case& c : cases) {
        ScopedEnv own("VORDASH_DATA_DIR", c.own);
        ScopedEnv xdg("XDG_DATA_HOME", c.xdg);
        ScopedEnv home("HOME", c.home);
        EXPECT_EQ(setDefaultDataPathFromEnvironment(), c.expected);
        EXPECT_EQ(defaultDataPath, c.expected);
        EXPECT_TRUE(std::filesystem::is_directory(c.expected)) << c.expected;
    }
    defaultDataPath = saved;
}

TEST(SnapshotRequestRecord, TheMaskIsTheLittleEndianWordAtByte32) {
    SnapshotRequest request;
    for (size_t i = 0; i < 32; ++i) request.bytes[i] = 0xFF; // never read
    request.bytes[32] = 0x05;
    request.bytes[35] = 0x80;
    EXPECT_EQ(request.mask(), 0x80000005u);
    EXPECT_TRUE(request.has(SnapshotSection::rParameters));
    EXPECT_FALSE(request.has(SnapshotSection::zeroOffsets));
    EXPECT_TRUE(request.has(SnapshotSection::tools));
    const SnapshotRequest built = SnapshotRequest::withMask(0x01020304u);
    EXPECT_EQ(built.bytes, (std::array<uint8_t, 36>{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                                     0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 4, 3, 2, 1}));
}

TEST_F(Snapshot, SavesReplaceTheirSectionsAndKeepTheOthers) {
    SnapshotChannel channel;
    GProcessorNc2& p = channel.processor;
    for (int32_t i = 0; i < ZeroOffsets::kSettable; ++i) p.setZeroOffset(i, zeroOffsetNumbered(i));
    p.setProgrammableZeroOffset(1, zeroOffsetNumbered(9));
    for (int32_t i = 0; i < kR; ++i) channel.cells[static_cast<size_t>(i)] = i * 1.5;
    p.tools.entry(255) = toolNumbered(255);

    ASSERT_EQ(save(p, 2), "no error");
    FileBuilder expected;
    expected.header().int32(0).int32(10);
    for (int32_t i = 0; i < 10; ++i) {
        const ZeroOffset zos = i == 8 ? ZeroOffset() : zeroOffsetNumbered(i);
        expected.real(zos.x).real(zos.y).real(zos.z);
        for (double q : zos.q) expected.real(q);
    }
    expected.int32(0);
    EXPECT_EQ(fileBytes().size(), 671u);
    EXPECT_EQ(fileBytes(), expected.bytes());

    ASSERT_EQ(save(p, 1), "no error");
    const std::string withR = fileBytes();
    ASSERT_EQ(withR.size(), 8671u);
    EXPECT_EQ(withR.substr(0, 19), expected.bytes().substr(0, 19));
    EXPECT_EQ(withR.substr(19, 20), FileBuilder().int32(1000).real(0.0).real(1.5).bytes());
    EXPECT_EQ(withR.substr(8023), expected.bytes().substr(23)); // the zero offsets kept

    ASSERT_EQ(save(p, 4), "no error");
    const std::string all = fileBytes();
    ASSERT_EQ(all.size(), 39271u);
    EXPECT_EQ(all.substr(0, 8667), withR.substr(0, 8667));
    FileBuilder lastTool;
    lastTool.int32(1255).int32(20);
    for (double value : toolNumbered(255).param) lastTool.real(value);
    EXPECT_EQ(all.substr(all.size() - 120), lastTool.bytes());
    EXPECT_FALSE(temporaryExists());

    // Bits beyond the three sections are ignored: nothing is replaced.
    channel.cells[0] = -7.0;
    ASSERT_EQ(save(p, 0xFFFFFFF8u), "no error");
    EXPECT_EQ(fileBytes(), all);
}

TEST_F(Snapshot, LoadsApplyEachSectionInOrder) {
    {
        SnapshotChannel source;
        for (int32_t i = 0; i < ZeroOffsets::kSettable; ++i) source.processor.setZeroOffset(i, zeroOffsetNumbered(i));
        source.processor.setProgrammableZeroOffset(0, zeroOffsetNumbered(8));
        source.processor.setProgrammableZeroOffset(1, zeroOffsetNumbered(9));
        source.cells.assign(source.cells.size(), std::nan("")); // in place: the machine points at it
        source.cells[3] = -0.0;
        source.cells[999] = std::numeric_limits<double>::max();
        for (int i = 1; i <= ToolTable::kTools; ++i) source.processor.tools.entry(i) = toolNumbered(i);
        ASSERT_EQ(save(source.processor, 7), "no error");
    }
    SnapshotChannel channel;
    GProcessorNc2& p = channel.processor;
    const std::vector<double> cellsBefore = channel.cells;

    EXPECT_EQ(load(p, 0), "no error"); // only checks that the file is there
    EXPECT_EQ(channel.cells, cellsBefore);

    {
        LogCapture log({LogLevel::debugGProcessor});
        ASSERT_EQ(load(p, 2), "no error");
        std::vector<std::string> shifts;
        for (const std::string& line : log.lines)
            if (size_t end = line.find(" zos="); end != std::string::npos) shifts.push_back(line.substr(0, end));
        std::vector<std::string> expected;
        for (int i = 0; i < 8; ++i) expected.push_back("[debugGProcessor] A ZERO OFFSET SHIFT index=" + std::to_string(i));
        for (int i = 0; i < 2; ++i) expected.push_back("[debugGProcessor] P ZERO OFFSET SHIFT index=" + std::to_string(i));
        EXPECT_EQ(shifts, expected);
    }
    for (int32_t i = 0; i < ZeroOffsets::kCount; ++i) EXPECT_EQ(p.zeroOffsets().entry(i), zeroOffsetNumbered(i)) << i;
    EXPECT_EQ(channel.cells, cellsBefore);

    ASSERT_EQ(load(p, 5), "no error");
    EXPECT_TRUE(std::isnan(channel.cells[0]));
    EXPECT_TRUE(std::signbit(channel.cells[3]) && channel.cells[3] == 0.0);
    EXPECT_EQ(channel.cells[999], std::numeric_limits<double>::max());
    for (int i = 1; i <= ToolTable::kTools; ++i) EXPECT_EQ(p.tools.entry(i), toolNumbered(i)) << i;

    std::filesystem::remove(snapshotPath_);
    const std::string notFound = "File '" + snapshotPath_ + "' not found!";
    for (uint32_t mask : {0u, 1u, 2u, 4u, 7u}) EXPECT_EQ(load(p, mask), notFound) << mask;
}

TEST_F(Snapshot, SectionsOfOtherSizesLoadWhatTheyHoldAndAreNotKept) {
    SnapshotChannel channel;
    GProcessorNc2& p = channel.processor;
    const std::string corrupted = "File '" + snapshotPath_ + "' is corrupted.";

    // Three zero offsets: a save must keep them but cannot; a load applies them.
    writeFile(FileBuilder().header().rSection(0).zeroOffsetSection(3).toolSection(0).bytes());
    EXPECT_EQ(save(p, 1), corrupted);
    EXPECT_EQ(save(p, 5), corrupted);
    EXPECT_EQ(fileBytes().size(), 31u + 3 * 64);
    ASSERT_EQ(load(p, 2), "no error");
    for (int32_t i = 0; i < 3; ++i) EXPECT_EQ(p.zeroOffsets().entry(i), zeroOffsetNumbered(i));
    EXPECT_EQ(p.zeroOffsets().entry(3), ZeroOffset());
    ASSERT_EQ(save(p, 3), "no error"); // with bit 1 the channel's offsets replace them
    EXPECT_EQ(fileBytes().size(), 31u + 8000 + 640);

    // 250 R-parameters: a load stores r0 to r249 and leaves the others.
    channel.cells.assign(channel.cells.size(), -1.0);
    writeFile(FileBuilder().header().rSection(250).zeroOffsetSection(0).toolSection(0).bytes());
    EXPECT_EQ(save(p, 2), corrupted);
    ASSERT_EQ(load(p, 1), "no error");
    EXPECT_EQ(channel.cells[0], 0.5);
    EXPECT_EQ(channel.cells[249], 249.5);
    EXPECT_EQ(channel.cells[250], -1.0);
    EXPECT_EQ(channel.cells[999], -1.0);

    // 1001 R-parameters: r0 to r999 are stored, then r1000 is missing.
    writeFile(FileBuilder().header().rSection(1001).zeroOffsetSection(0).toolSection(0).bytes());
    EXPECT_EQ(load(p, 1), "Invalid R-parameter r1000");
    EXPECT_EQ(channel.cells[999], 999.5);

    // 256 tools: tools 1 to 255 are copied before the index check fails.
    writeFile(FileBuilder().header().rSection(0).zeroOffsetSection(0).toolSection(256).bytes());
    EXPECT_EQ(load(p, 4), "Invalid tool-index 256. Should be in range 1 to 255.");
    EXPECT_EQ(p.tools.entry(1), toolNumbered(1));
    EXPECT_EQ(p.tools.entry(255), toolNumbered(255));
    EXPECT_EQ(save(p, 3), corrupted);
}

TEST_F(Snapshot, AnUnreadableSectionFailsItsLoadAndIsSavedEmpty) {
    const std::string path = snapshotPath_;
    const std::string rMessage = "Can not read rparams from file '" + path + "'";
    const std::string zMessage = "Can not read zos values from file '" + path + "'";
    const std::string tMessage = "Can not read tool params from file '" + path + "'";
    constexpr int32_t kHuge = std::numeric_limits<int32_t>::max();
    struct Case {
        const char* what;
        std::string bytes;
        bool rReadable, zReadable, tReadable;
    };
    const Case cases[] = {
        {"other magic", FileBuilder().magic("JyxSnapShotFilf").int32(1).rSection(0).zeroOffsetSection(10)
                            .toolSection(0).bytes(), false, false, false},
        {"other version", FileBuilder().magic().int32(2).rSection(0).zeroOffsetSection(0).toolSection(0).bytes(),
         false, false, false},
        {"header only", FileBuilder().header().bytes(), false, false, false},
        {"eleven zero offsets", FileBuilder().header().rSection(0).zeroOffsetSection(11).toolSection(0).bytes(),
         true, false, true},
        {"negative zero-offset count", FileBuilder().header().rSection(0).zeroOffsetSection(-1, 0)
                                           .toolSection(0).bytes(), true, false, false},
        {"negative R count", FileBuilder().header().rSection(-5).bytes() + std::string(100, '\0'),
         false, false, false},
        {"R count past the end", FileBuilder().header().int32(kHuge).zeroOffsetSection(0).toolSection(0).bytes(),
         false, false, false},
        {"R count one past the end", FileBuilder().header().int32(2).real(1.0).bytes(), false, false, false},
        {"tool count past the end", FileBuilder().header().rSection(0).zeroOffsetSection(0).int32(kHuge).bytes(),
         true, true, false},
        {"tool entry cut short", FileBuilder().header().rSection(0).zeroOffsetSection(0).toolSection(1).bytes()
                                     .substr(0, 31 + 119), true, true, false},
        {"tool count missing", FileBuilder().header().rSection(0).zeroOffsetSection(0).bytes(), true, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SnapshotChannel channel;
        GProcessorNc2& p = channel.processor;
        const ZeroOffset before = zeroOffsetNumbered(5);
        p.setZeroOffset(0, before);
        writeFile(c.bytes);
        EXPECT_EQ(load(p, 1), c.rReadable ? "no error" : rMessage);
        EXPECT_EQ(load(p, 2), c.zReadable ? "no error" : zMessage);
        EXPECT_EQ(load(p, 4), c.tReadable ? "no error" : tMessage);
        if (!c.zReadable) {
            EXPECT_EQ(p.zeroOffsets().entry(0), before);
        }
        // Each section outside the mask is kept when readable (all these are empty) and
        // written empty when not: a save of any one section always succeeds.
        for (uint32_t mask : {1u, 2u, 4u}) {
            writeFile(c.bytes);
            ASSERT_EQ(save(p, mask), "no error") << mask;
            SnapshotSections sections;
            if (mask == 1) sections.rParameters = std::vector<double>(static_cast<size_t>(kR), 0.0);
            if (mask == 2)
                for (int32_t i = 0; i < ZeroOffsets::kCount; ++i) sections.zeroOffsets.push_back(p.zeroOffsets().entry(i));
            if (mask == 4)
                for (int i = 1; i <= ToolTable::kTools; ++i) sections.tools.push_back(p.tools.entry(i));
            EXPECT_EQ(fileBytes(), SnapshotFile::encode(sections)) << mask;
        }
    }
}

TEST_F(Snapshot, AFailedLoadKeepsTheSectionsBeforeIt) {
    SnapshotChannel channel;
    GProcessorNc2& p = channel.processor;
    writeFile(FileBuilder().header().rSection(2).zeroOffsetSection(11).toolSection(1).bytes());
    EXPECT_EQ(load(p, 7), "Can not read zos values from file '" + snapshotPath_ + "'");
    EXPECT_EQ(channel.cells[1], 1.5);
    EXPECT_EQ(p.tools.entry(1), ToolEntry());
}

TEST_F(Snapshot, AChannelWithoutRParametersCannotSaveOrLoadThem) {
    SnapshotChannel channel(0);
    GProcessorNc2& p = channel.processor;
    EXPECT_EQ(save(p, 1), "Invalid R-parameter r0");
    EXPECT_EQ(fileBytes().size(), 31u); // the first save created the empty file
    writeFile(FileBuilder().header().rSection(1).zeroOffsetSection(0).toolSection(0).bytes());
    EXPECT_EQ(load(p, 1), "Invalid R-parameter r0");
    p.machine = nullptr;
    EXPECT_EQ(load(p, 1), "Invalid R-parameter r0");
    EXPECT_EQ(save(p, 1), "Invalid R-parameter r0");
    writeFile(FileBuilder().header().rSection(0).zeroOffsetSection(0).toolSection(0).bytes());
    EXPECT_EQ(save(p, 6), "no error"); // the R-parameters are not needed
}

// Ignores SIGXFSZ and caps the size of files this process writes, for one scope.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        oldHandler_ = ::signal(SIGXFSZ, SIG_IGN);
        ::getrlimit(RLIMIT_FSIZE, &old_);
        rlimit limit = old_;
        limit.rlim_cur = bytes;
        ok_ = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &old_);
        ::signal(SIGXFSZ, oldHandler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;
    bool ok() const { return ok_; }

private:
    rlimit old_{};
    sighandler_t oldHandler_;
    bool ok_ = false;
};

TEST_F(Snapshot, FileSystemFailuresLeaveTheSnapshotAsItWas) {
    SnapshotChannel channel;
    GProcessorNc2& p = channel.processor;
    const std::string writeMessage = "Can not open file '" + temporaryPath_ + "' to 'write'";

    defaultDataPath = dir_.path("missing");
    EXPECT_EQ(save(p, 1), "Can not open file '" + dir_.path("missing") + "/JyxSnapShot.bin' to 'create'");
    EXPECT_FALSE(std::filesystem::exists(dir_.path("missing")));
    defaultDataPath = dir_.root().string();

    ASSERT_EQ(save(p, 2), "no error");
    const std::string good = fileBytes();
    {
        FileSizeLimit limit(1000); // the R-parameters alone need 8000 bytes
        ASSERT_TRUE(limit.ok());
        EXPECT_EQ(save(p, 1), writeMessage);
    }
    EXPECT_EQ(fileBytes(), good);

    std::filesystem::remove(temporaryPath_);
    std::filesystem::create_directory(temporaryPath_);
    EXPECT_EQ(save(p, 1), writeMessage);
    EXPECT_EQ(fileBytes(), good);
    std::filesystem::remove(temporaryPath_);

    // A directory in the snapshot's place: no section reads, and the rename fails.
    std::filesystem::remove(snapshotPath_);
    std::filesystem::create_directory(snapshotPath_);
    dir_.write("JyxSnapShot.bin/keep", "x");
    EXPECT_EQ(save(p, 1), "Error replacing file '" + snapshotPath_ + "': Is a directory");
    EXPECT_EQ(load(p, 1), "Can not read rparams from file '" + snapshotPath_ + "'");
}

} // namespace
} // namespace Karsto
