#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/error_test_support.h"
#include "core/exception.h"
#include "core/machine_test_support.h"
#include "gcode/processor_test_support.h"
#include "gcode/tool_test_support.h"
#include "geometry/canvas6d.h"
#include "geometry/trans_matrix.h"

namespace Karsto {
namespace {

using test::LogCapture;
using test::ProcessorChannel;
using test::ToolDir;

Point3 toolTranslation(GProcessorNc2& p) { return p.toolMatrix().applyPoint({}); }

// Tool 3: number 7, a drill of length 12.5 plus 0.25, offset y 2.
void setTool3(ToolTable& tools) {
    tools.setNumber(3, 7);
    tools.setToolType(3, static_cast<int32_t>(ToolType::drill));
    tools.setParam(3, 1, 12.5);
    tools.setParam(3, 4, 0.25);
    tools.setParam(3, 8, 2.0);
    tools.setParam(3, 3, 4.0); // the radius is no part of the length compensation
}

TEST(GProcessorNc2Tools, SelectingAToolQueuesItsNumberAndCompensatesItsLength) {
    struct Case {
        std::string name;
        Point3 plane;
        bool directionPositive;
        Point3 translation;
    };
    const Case cases[] = {
        {"G17", {0, 0, 1}, true, {0, 2, 12.75}},
        {"G17 P-1", {0, 0, 1}, false, {0, 2, -12.75}},
        {"G19", {1, 0, 0}, true, {12.75, 2, 0}},
    };
    for (const Case& c : cases) {
        ProcessorChannel channel;
        GProcessorNc2& p = channel.processor;
        setTool3(p.tools);
        p.setWorkingPlane(c.plane.x, c.plane.y, c.plane.z);
        p.tool.directionPositive = c.directionPositive;
        LogCapture log({LogLevel::debugGProcessor});
        p.selectTool(3);
        EXPECT_EQ(log.lines, (std::vector<std::string>{"[debugGProcessor] HST t=7.000000"})) << c.name;
        EXPECT_EQ(p.tool.index, 3);
        EXPECT_EQ(toolTranslation(p), c.translation) << c.name;
        // The stack saw the change.
        EXPECT_EQ(p.canvas().transformations().matrix().applyPoint({}), c.translation) << c.name;
        p.nextBlock();
        EXPECT_EQ(channel.out.texts(), (std::vector<std::string>{"HST t=7"})) << c.name;

        // D0 queues nothing and drops the compensation.
        p.selectTool(0);
        p.nextBlock();
        EXPECT_EQ(channel.out.commands.size(), 1u) << c.name;
        EXPECT_EQ(p.tool.index, 0);
        EXPECT_EQ(p.canvas().transformations().matrix().applyPoint({}), Point3()) << c.name;
    }
}

TEST(GProcessorNc2Tools, ToolNumbersAndTypesOutsideTheirRangesFail) {
    for (const int d : {300, 256, -2}) {
        ProcessorChannel c;
        GProcessorNc2& p = c.processor;
        EXPECT_EQ(test::runtimeMessage([&] { p.selectTool(d); }),
                  "Tool Number D" + std::to_string(d) + " does not lie in range D0..D255.");
        EXPECT_EQ(p.tool.index, 0);
        p.nextBlock();
        EXPECT_TRUE(c.out.commands.empty());
    }

    ProcessorChannel c;
    GProcessorNc2& p = c.processor;
    setTool3(p.tools);
    p.selectTool(3);
    p.tools.setNumber(5, 9);
    p.tools.setToolType(5, 5);
    EXPECT_EQ(test::runtimeMessage([&] { p.selectTool(5); }), "Invalid tool type '5'.");
    // The T function and the selection came first.
    EXPECT_EQ(p.tool.index, 5);
    p.nextBlock();
    EXPECT_EQ(c.out.texts(), (std::vector<std::string>{"HST t=7", "HST t=9"}));
    // The reset selects D0 again.
    p.reset();
    EXPECT_EQ(p.tool.index, 0);
    EXPECT_EQ(toolTranslation(p), Point3());
}

TEST(GProcessorNc2Tools, ToolDataFileNamesAreCheckedAndKept) {
    ToolDir dir;
    ProcessorChannel c;
    GProcessorNc2& p = c.processor;
    EXPECT_EQ(test::runtimeMessage([&] { p.loadToolData(""); }), "Invalid empty filename used to load tooldata");
    EXPECT_EQ(test::runtimeMessage([&] { p.saveToolDataAs(""); }), "Invalid empty filename used to save tooldata");
    EXPECT_EQ(test::runtimeMessage([&] { p.saveToolData(); }), "Invalid empty filename used to save tooldata");

    // A missing file loads nothing, but its name is kept for the saves.
    const std::string file = dir.path("1.WZ");
    setTool3(p.tools);
    p.loadToolData(file);
    EXPECT_EQ(p.toolDataFile(), file);
    EXPECT_EQ(p.tools.number(3), 7);
    p.saveToolData();
    ProcessorChannel other;
    other.processor.loadToolData(file);
    EXPECT_EQ(other.processor.tools.entry(3), p.tools.entry(3));

    const std::string copy = dir.path("2.WZ");
    p.saveToolDataAs(copy);
    EXPECT_EQ(p.toolDataFile(), copy);
    EXPECT_EQ(ToolDir::read(copy), ToolDir::read(file));
}

TEST(GProcessorNc2Tools, DestructionSavesTheToolDataAndSwallowsFailures) {
    ToolDir dir;
    const std::string file = dir.path("4.WZ");
    {
        ProcessorChannel c;
        c.processor.loadToolData(file);
        c.processor.tools.setNumber(255, 42);
    }
    ProcessorChannel reloaded;
    reloaded.processor.loadToolData(file);
    EXPECT_EQ(reloaded.processor.tools.number(255), 42);

    // A save that cannot succeed: the directory is missing.
    auto c = std::make_unique<ProcessorChannel>();
    c->processor.loadToolData(dir.path("missing/5.WZ"));
    EXPECT_NO_THROW(c.reset());
    EXPECT_FALSE(std::filesystem::exists(dir.path("missing")));
}

} // namespace
} // namespace Karsto
