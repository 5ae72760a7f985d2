#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <functional>
#include <map>
#include <sstream>
#include <string>

#include "core/error_test_support.h"
#include "core/exception.h"
#include "gcode/tool_table.h"
#include "gcode/tool_test_support.h"

namespace Karsto {
namespace {

using test::ToolDir;
using test::toolFile;

// A table whose every tool differs from a zero tool, to see what a load leaves alone.
ToolTable filledTable() {
    ToolTable table;
    for (int i = 1; i <= ToolTable::kTools; ++i) {
        table.setNumber(i, 1000 + i);
        table.setToolType(i, 20);
        for (int p = 1; p <= ToolEntry::kParams; ++p) table.setParam(i, p, i + p / 100.0);
    }
    return table;
}

TEST(ToolTable, IndexChecksComeBeforeParameterChecksAndTreatTheIndexAsUnsigned) {
    ToolTable table;
    table.setNumber(1, 5);
    table.setToolType(255, 10);
    table.setParam(255, 14, 2.5);
    table.setParam(1, 1, 1.5);
    EXPECT_EQ(table.number(1), 5);
    EXPECT_EQ(table.toolType(255), 10);
    EXPECT_EQ(table.param(255, 14), 2.5);
    EXPECT_EQ(table.param(1, 1), 1.5);

    struct Case {
        std::function<void(ToolTable&)> access;
        std::string error;
    };
    const Case cases[] = {
        {[](ToolTable& t) { t.number(0); }, "Invalid tool-index 0. Should be in range 1 to 255."},
        {[](ToolTable& t) { t.toolType(256); }, "Invalid tool-index 256. Should be in range 1 to 255."},
        {[](ToolTable& t) { t.setNumber(-1, 3); }, "Invalid tool-index -1. Should be in range 1 to 255."},
        {[](ToolTable& t) { t.setToolType(0, 3); }, "Invalid tool-index 0. Should be in range 1 to 255."},
        {[](ToolTable& t) { t.param(0, 15); }, "Invalid tool-index 0. Should be in range 1 to 255."},
        {[](ToolTable& t) { t.setParam(-7, 0, 1.0); }, "Invalid tool-index -7. Should be in range 1 to 255."},
        {[](ToolTable& t) { t.param(1, 0); }, "Invalid parameter-index 0. Should be in range 1 to 14."},
        {[](ToolTable& t) { t.param(1, 15); }, "Invalid parameter-index 15. Should be in range 1 to 14."},
        {[](ToolTable& t) { t.setParam(3, -1, 9.0); }, "Invalid parameter-index -1. Should be in range 1 to 14."},
    };
    for (const Case& c : cases) {
        ToolTable copy = table;
        EXPECT_EQ(test::runtimeMessage([&] { c.access(copy); }), c.error);
        for (int i = 1; i <= ToolTable::kTools; ++i) EXPECT_EQ(copy.entry(i), table.entry(i)) << c.error;
    }
}

TEST(ToolTable, LoadsALineWithCarriageReturnByField) {
    ToolDir dir;
    // Every line ends in "\r\n"; the carriage return follows the sixteenth ';'.
    std::string text;
    for (int n = 1; n <= 255; ++n)
        text += n == 3 ? "7;10;12.5;0;0;0.25;0;0;0;2;0;0;0;0;0;0;\r\n"
                       : "1;20;10;0;5;0;0;0;0;0;1;0;0;0;0;0;\r\n";
    const std::string file = dir.write("T.WZ", text);
    ToolTable table;
    table.load(file);
    EXPECT_EQ(table.number(3), 7);
    EXPECT_EQ(table.toolType(3), 10);
    EXPECT_EQ(table.param(3, 1), 12.5);
    EXPECT_EQ(table.param(3, 4), 0.25);
    EXPECT_EQ(table.param(3, 8), 2.0);
    EXPECT_EQ(table.param(3, 2) + table.param(3, 3) + table.param(3, 9) + table.param(3, 14), 0.0);
    // Field k + 2 is parameter k: length 10, radius 5, offset z 1.
    EXPECT_EQ(table.number(255), 1);
    EXPECT_EQ(table.toolType(255), 20);
    EXPECT_EQ(table.param(255, 1), 10.0);
    EXPECT_EQ(table.param(255, 3), 5.0);
    EXPECT_EQ(table.param(255, 9), 1.0);
}

TEST(ToolTable, ColumnCountErrorsStopTheLoadAtTheirLine) {
    ToolDir dir;
    const std::map<int, std::string> cases = {
        {17, "1;1;0;0;0;0;0;0;0;0;0;0;0;0;0;0;0;\n"},
        {15, "1;1;0;0;0;0;0;0;0;0;0;0;0;0;0;\n"},
        {0, "\n"},
        // Characters after the last ';' are no field.
        {15, "1;1;0;0;0;0;0;0;0;0;0;0;0;0;0;0\n"},
    };
    for (const auto& [count, line] : cases) {
        const std::string file = dir.write(
            "T.WZ", toolFile(255, std::map<int, std::string>{{3, "3;10;3;0;0;0;0;0;0;0;0;0;0;0;0;0;\n"},
                                                            {4, line}}));
        ToolTable table = filledTable();
        const ToolTable before = table;
        EXPECT_EQ(test::runtimeMessage([&] { table.load(file); }),
                  "Invalid number of columns in file '" + file +
                      "', line '4'. Expected 16 columns, but " + std::to_string(count) +
                      " are defined.");
        EXPECT_EQ(table.number(3), 3);
        EXPECT_EQ(table.entry(1), ToolEntry());
        EXPECT_EQ(table.entry(4), before.entry(4));
        EXPECT_EQ(table.entry(5), before.entry(5));
    }
    // Anything after the sixteenth ';' without a further ';' is ignored.
    const std::string file = dir.write(
        "T.WZ", toolFile(255, std::map<int, std::string>{{4, "4;10;0;0;0;0;0;0;0;0;0;0;0;0;0;0; trailing\n"}}));
    ToolTable table;
    table.load(file);
    EXPECT_EQ(table.number(4), 4);
}

TEST(ToolTable, EveryFieldMustConvertWhole) {
    ToolDir dir;
    struct Case {
        int column;
        std::string text;
        bool accepted;
    };
    const Case cases[] = {
        {9, "x", false},       {3, " 7", true},     {3, "7 ", false},      {16, "", false},
        {10, "1e999", false},  {4, "-2.5e-3", true}, {5, "+4", true},      {5, "+-4", false},
        {11, "1.5.2", false},  {1, " -12", true},   {1, "2147483648", false}, {2, "7.5", false},
        {2, "  ", false},      {1, "0x10", false},  {12, "\t3", true},
    };
    for (const Case& c : cases) {
        std::string line;
        for (int column = 1; column <= 16; ++column)
            line += (column == c.column ? c.text : std::string("1")) + ";";
        const std::string file =
            dir.write("T.WZ", toolFile(255, std::map<int, std::string>{{6, line + "\n"}}));
        ToolTable table = filledTable();
        const ToolTable before = table;
        const std::string error = test::runtimeMessage([&] { table.load(file); });
        if (c.accepted) {
            EXPECT_EQ(error, "no error") << c.text;
            continue;
        }
        EXPECT_EQ(error, "Invalid character in file '" + file + "' in column '" +
                             std::to_string(c.column) + "', Line '6'.")
            << c.text;
        // The bad line holds the fields before the bad one; later tools stay.
        const ToolEntry& bad = table.entry(6);
        if (c.column > 1) {
            EXPECT_EQ(bad.number, 1) << c.text;
        }
        if (c.column > 3) {
            EXPECT_EQ(bad.param[0], 1.0) << c.text;
        }
        if (c.column < 16) {
            EXPECT_EQ(bad.param[13], before.entry(6).param[13]) << c.text;
        }
        EXPECT_EQ(table.entry(7), before.entry(7)) << c.text;
        EXPECT_EQ(table.entry(5), ToolEntry()) << c.text;
    }
}

TEST(ToolTable, AShortFileZeroesTheMissingToolsThenFails) {
    ToolDir dir;
    struct Case {
        std::string name;
        std::string text;
        int32_t number200; // the number of tool 200 afterwards
    };
    const std::string full = toolFile(255, std::map<int, std::string>{});
    const Case cases[] = {
        {"200 lines", toolFile(200, std::map<int, std::string>{{200, "9;0;0;0;0;0;0;0;0;0;0;0;0;0;0;0;\n"}}), 9},
        {"empty", "", 0},
        // The last line is read, but the stream ends without its line end.
        {"no last line end", full.substr(0, full.size() - 1), 0},
    };
    for (const Case& c : cases) {
        const std::string file = dir.write("T.WZ", c.text);
        ToolTable table = filledTable();
        EXPECT_EQ(test::runtimeMessage([&] { table.load(file); }), "Error reading file '" + file + "'")
            << c.name;
        for (int i = 1; i <= 255; ++i)
            EXPECT_EQ(table.number(i), i == 200 ? c.number200 : 0) << c.name << " " << i;
        EXPECT_EQ(table.entry(255), ToolEntry()) << c.name;
    }
}

TEST(ToolTable, AFileThatCannotBeOpenedChangesNothing) {
    ToolDir dir;
    ToolTable table = filledTable();
    const ToolTable before = table;
    table.load(dir.path("missing.WZ"));
    for (int i = 1; i <= 255; ++i) EXPECT_EQ(table.entry(i), before.entry(i));
}

TEST(ToolTable, SavesSixSignificantDigitsAndLoadsThemBack) {
    ToolDir dir;
    ToolTable table = filledTable();
    table.setNumber(2, 12);
    table.setToolType(2, 20);
    for (int p = 1; p <= 14; ++p) table.setParam(2, p, 0.0);
    table.setParam(2, 1, 1234567.0);
    table.setParam(2, 3, 2.5);
    table.setParam(3, 5, -1.0 / 3.0);
    const std::string file = dir.write("3.WZ", "old content\n");
    table.save(file);

    const std::string text = ToolDir::read(file);
    std::istringstream lines(text);
    std::string line;
    int count = 0;
    while (std::getline(lines, line)) {
        ++count;
        if (count == 2) {
            EXPECT_EQ(line, "12;20;1.23457e+06;0;2.5;0;0;0;0;0;0;0;0;0;0;0;");
        }
        if (count == 3) {
            EXPECT_NE(line.find(";-0.333333;"), std::string::npos) << line;
        }
    }
    EXPECT_EQ(count, 255);
    EXPECT_EQ(text.back(), '\n');
    EXPECT_FALSE(std::filesystem::exists(file + ".tmp"));
    // The exact case of the name is kept.
    EXPECT_TRUE(std::filesystem::exists(dir.root() / "3.WZ"));

    ToolTable loaded;
    loaded.load(file);
    for (int i = 1; i <= 255; ++i) {
        EXPECT_EQ(loaded.number(i), table.number(i));
        EXPECT_EQ(loaded.toolType(i), table.toolType(i));
        for (int p = 1; p <= 14; ++p)
            EXPECT_NEAR(loaded.param(i, p), table.param(i, p), std::fabs(table.param(i, p)) * 5e-6)
                << i << " " << p;
    }
}

TEST(ToolTable, AFailedSaveLeavesTheTargetAlone) {
    ToolDir dir;
    ToolTable table = filledTable();

    // The temporary file cannot be created.
    const std::string noDir = dir.path("missing/T.WZ");
    EXPECT_EQ(test::runtimeMessage([&] { table.save(noDir); }), "Error writing file '" + noDir + "'");

    // The rename fails: the target is a directory that is not empty.
    const std::string target = dir.path("busy");
    std::filesystem::create_directories(target);
    dir.write("busy/inner", "x");
    const std::string error = test::runtimeMessage([&] { table.save(target); });
    EXPECT_EQ(error.rfind("Error replacing file '" + target + "': ", 0), 0u) << error;
    EXPECT_GT(error.size(), ("Error replacing file '" + target + "': ").size());
    EXPECT_TRUE(std::filesystem::is_directory(target));
    EXPECT_TRUE(std::filesystem::exists(target + ".tmp")); // nothing removes it
}

} // namespace
} // namespace Karsto
