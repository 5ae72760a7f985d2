#include <gtest/gtest.h>

#include <array>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/machine_test_support.h"
#include "host/command_line.h"
#include "host/platform/registry_store.h"
#include "host/registry_test_support.h"

namespace Karsto {
namespace {

using test::LogCapture;
using Lines = std::vector<std::string>;

constexpr const char* kKey = "SOFTWARE\\Morvanek\\Pelorix3\\Nc\\Vordash";

// parse with the words after the program name.
CommandLine parsed(const std::vector<const char*>& words) {
    std::vector<const char*> argv{"vordash"};
    argv.insert(argv.end(), words.begin(), words.end());
    CommandLine line;
    line.parse(static_cast<int>(argv.size()), argv.data());
    return line;
}

// ---- usage text ----------------------------------------------------------------------

TEST(CommandLineUsage, BlocksInRowOrderWithTheirOddities) {
    CommandLine line;
    ::testing::internal::CaptureStderr();
    line.usagePrint();
    const std::string text = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(text, line.usageText());
    EXPECT_EQ(text.rfind("file=<string>\n        Path of JYX file to be executed.\n\n", 0), 0u);
    // Three lines per row, the last one empty.
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3 * 24);
    const char* blocks[] = {
        "searchpath=<string>\n        Search paths for include, separated by ';'. Each path must "
        "end on ''.\n\n",
        "or 'service' (default). \n\n",
        "nif=nc2l. \n\n",
        "disablemask=<int>\n        Bitmask to controll '/'-suppression of gcodes (default=0). "
        "Used only for nif='null'/'html'.\n\n",
        "(default) or'jyxmb'. \n\n",
        "logFileAppend\n        Append, if file is existing.\n\n",
        "logWin\n        Write log to windows event-log.\n\n",
        "commands that are send to NC kernel.\n\n",
        "serviceUninstall\n        Uninstall windows service and restore previous service\n\n",
        "secEncrypt=<string>\n        Encrypt given file. \n\n",
        "debuggerWait\n        Wait for debugger to attach. \n\n",
        "help\n        Print this information\n\n",
    };
    size_t from = 0;
    for (const char* block : blocks) {
        const size_t at = text.find(block, from);
        ASSERT_NE(at, std::string::npos) << block;
        from = at + 1;
    }
    EXPECT_TRUE(text.ends_with(blocks[std::size(blocks) - 1]));
}

// ---- parsing -------------------------------------------------------------------------

TEST(CommandLineParse, WordsAndGetters) {
    enum class Get { flag, string, integer };
    struct Case {
        std::vector<const char*> words;
        Get get;
        const char* name;
        std::string expected; // the getter's answer as text; the defaults are "dflt" and 7
    };
    const std::vector<Case> cases = {
        {{"disablemask=3", "disablemask=-8"}, Get::integer, "disablemask", "-8"}, // the later wins
        {{"disablemask=  +21xyz"}, Get::integer, "disablemask", "21"},
        {{"disablemask=\t-0"}, Get::integer, "disablemask", "0"},
        {{"logStderr=no"}, Get::flag, "logStderr", "1"},
        {{"logWin=0"}, Get::flag, "logWin", "1"}, // any value sets a flag
        {{"file=a=b.jyx"}, Get::string, "file", "a=b.jyx"},
        {{"group"}, Get::string, "group", ""}, // set with the empty text
        {{"group"}, Get::flag, "group", "1"},
        {{"nif="}, Get::string, "nif", ""},
        {{}, Get::flag, "logFile", "0"},
        {{"logFile=x.log"}, Get::flag, "logFile", "1"},
        {{"logFile=x.log"}, Get::string, "logFile", "x.log"},
        {{"help"}, Get::flag, "nosuch", "0"},  // not in the table
        {{"File=x.jyx"}, Get::string, "file", "dflt"}, // names are case-sensitive
        {{}, Get::string, "nif", "dflt"}, // unset: the getter's default
        {{}, Get::integer, "disablemask", "7"},
        {{"nif=html"}, Get::integer, "nosuch", "7"},
    };
    for (const Case& c : cases) {
        ::testing::internal::CaptureStderr(); // "File" is reported there
        const CommandLine line = parsed(c.words);
        ::testing::internal::GetCapturedStderr();
        std::string actual;
        switch (c.get) {
        case Get::flag:
            actual = line.flagGet(c.name) ? "1" : "0";
            break;
        case Get::string:
            actual = line.stringGet(c.name, "dflt");
            break;
        case Get::integer:
            actual = std::to_string(line.intGet(c.name, 7));
            break;
        }
        std::string context;
        for (const char* word : c.words) context += std::string(word) + " ";
        EXPECT_EQ(actual, c.expected) << context << "-> " << c.name;
    }
}

TEST(CommandLineParse, IntConversionErrorsLeaveParse) {
    EXPECT_THROW(parsed({"disablemask=abc"}), std::invalid_argument);
    EXPECT_THROW(parsed({"disablemask="}), std::invalid_argument);
    EXPECT_THROW(parsed({"disablemask=99999999999999999999"}), std::out_of_range);
    EXPECT_THROW(parsed({"disablemask=-9223372036854775809"}), std::out_of_range);
    EXPECT_EQ(parsed({"disablemask=-9223372036854775808"}).intGet("disablemask", 0), INT64_MIN);
    CommandLine line = parsed({"disablemask=5"});
    EXPECT_THROW(line.optionSet("disablemask", "x"), std::invalid_argument);
    EXPECT_EQ(line.intGet("disablemask", 0), 5); // unchanged
}

TEST(CommandLineParse, UnknownOptionShowsTheUsageAndParsingGoesOn) {
    ::testing::internal::CaptureStderr();
    const CommandLine line = parsed({"verbose=1", "nif=html"});
    const std::string text = ::testing::internal::GetCapturedStderr();
    const std::string dashes(80, '-');
    EXPECT_EQ(text, dashes + "\n" + line.usageText() + dashes + "\n\n" +
                        "ERROR: Invalid command line option 'verbose'. Valid options are shown "
                        "above.\n");
    EXPECT_EQ(line.stringGet("nif", "service"), "html");
    EXPECT_FALSE(line.flagGet("verbose"));
}

// ---- registry ------------------------------------------------------------------------

class CommandLineRegistry : public test::RegistryTest {
protected:
    std::filesystem::path key() const { return keyDir("SOFTWARE/Morvanek/Pelorix3/Nc/Vordash"); }
    // Writes a value straight into the store.
    void storeValue(const std::string& name, const std::string& data) {
        RegistryKey k;
        ASSERT_EQ(RegistryStore(root()).createKey(kKey, k), RegistryStatus::success);
        ASSERT_EQ(k.setValue(name, 1,
                             std::span(reinterpret_cast<const unsigned char*>(data.data()), data.size())),
                  RegistryStatus::success);
    }
};

TEST_F(CommandLineRegistry, SaveThenLoadInRowOrder) {
    {
        LogCapture log({LogLevel::error, LogLevel::warning, LogLevel::info});
        parsed({"registrySave", "file=a.jyx,b.jyx", "debugKiIO", "disablemask=-3"}).registrySave(kKey);
        EXPECT_EQ(log.lines, (Lines{"[warning] Error deleting registry key (2)"}));
    }
    EXPECT_EQ(filesIn(key()), (std::vector<std::string>{"debugKiIO.val", "disablemask.val",
                                                        "file.val", "registrySave.val"}));
    EXPECT_EQ(bytesOf(key() / "file.val"), valueFile(1, std::string("a.jyx,b.jyx\0", 12)));
    EXPECT_EQ(bytesOf(key() / "disablemask.val"), valueFile(1, std::string("-3\0", 3)));
    EXPECT_EQ(bytesOf(key() / "debugKiIO.val"), valueFile(1, std::string(1, '\0')));
    EXPECT_EQ(bytesOf(key() / "registrySave.val"), valueFile(1, std::string(1, '\0')));

    CommandLine line = parsed({"disablemask=9", "file=c.jyx", "nif=html"});
    {
        LogCapture log({LogLevel::error, LogLevel::warning, LogLevel::info});
        line.registryLoad(kKey);
        EXPECT_EQ(log.lines, (Lines{
                                 "[info] Loading parameter file='a.jyx,b.jyx' from registry",
                                 "[info] Loading parameter disablemask='-3' from registry",
                                 "[info] Loading parameter debugKiIO='' from registry",
                                 "[info] Loading parameter registrySave='' from registry",
                             }));
    }
    EXPECT_EQ(line.stringGet("file", ""), "a.jyx,b.jyx"); // the registry's values replace
    EXPECT_EQ(line.intGet("disablemask", 0), -3);
    EXPECT_EQ(line.stringGet("nif", "service"), "html"); // absent there: kept
    EXPECT_TRUE(line.flagGet("debugKiIO"));

    // A second save replaces the whole key: options not set are absent afterwards.
    {
        LogCapture log({LogLevel::error, LogLevel::warning, LogLevel::info});
        parsed({"registrySave", "nif=nc2", "logStderr"}).registrySave(kKey);
        EXPECT_TRUE(log.lines.empty());
    }
    EXPECT_EQ(filesIn(key()),
              (std::vector<std::string>{"logStderr.val", "nif.val", "registrySave.val"}));
    EXPECT_EQ(bytesOf(key() / "nif.val"), valueFile(1, std::string("nc2\0", 4)));
}

TEST_F(CommandLineRegistry, MissingKeyChangesNothing) {
    CommandLine line = parsed({"disablemask=4"});
    LogCapture log({LogLevel::error, LogLevel::warning, LogLevel::info});
    line.registryLoad(kKey);
    EXPECT_EQ(log.lines, (Lines{"[warning] Error opening registry key (2)"}));
    EXPECT_EQ(line.intGet("disablemask", 0), 4);
    EXPECT_FALSE(line.flagGet("file"));
}

TEST_F(CommandLineRegistry, OversizeValueIsSkippedAndTextsEndAtTheirNul) {
    storeValue("file", std::string(1500, 'f'));
    storeValue("searchpath", std::string(1024, 's')); // exactly the limit, no NUL
    storeValue("nif", std::string("nc2\0junk", 8));
    storeValue("logWin", "0"); // a present value sets a flag whatever its text
    CommandLine line = parsed({"file=x.jyx"});
    {
        LogCapture log({LogLevel::error, LogLevel::warning, LogLevel::info});
        line.registryLoad(kKey);
        ASSERT_EQ(log.lines.size(), 4u);
        EXPECT_EQ(log.lines[0], "[warning] Error getting registry value (234)");
        EXPECT_EQ(log.lines[1], "[info] Loading parameter searchpath='" + std::string(1024, 's') +
                                    "' from registry");
        EXPECT_EQ(log.lines[2], "[info] Loading parameter nif='nc2' from registry");
        EXPECT_EQ(log.lines[3], "[info] Loading parameter logWin='0' from registry");
    }
    EXPECT_EQ(line.stringGet("file", ""), "x.jyx");
    EXPECT_EQ(line.stringGet("searchpath", ""), std::string(1024, 's'));
    EXPECT_EQ(line.stringGet("nif", ""), "nc2");
    EXPECT_TRUE(line.flagGet("logWin"));
}

TEST_F(CommandLineRegistry, NonNumericIntValueLeavesTheLoad) {
    storeValue("disablemask", std::string("abc\0", 4));
    CommandLine line;
    LogCapture log({LogLevel::error, LogLevel::warning, LogLevel::info});
    EXPECT_THROW(line.registryLoad(kKey), std::invalid_argument);
}

TEST_F(CommandLineRegistry, KeyThatCannotBeCreatedIsLoggedAndNothingWritten) {
    // The hive's place is taken by a file: the key can be neither deleted nor created.
    { std::ofstream(root() / "HKLM") << "x"; }
    LogCapture log({LogLevel::error, LogLevel::warning, LogLevel::info});
    parsed({"registrySave", "nif=nc2"}).registrySave(kKey);
    EXPECT_EQ(log.lines, (Lines{"[warning] Error deleting registry key (2)",
                                "[error] Error creating registry key (31)"}));
}

// A table with one float row: the kind belongs to the mechanism though the program's own
// table has none.
TEST_F(CommandLineRegistry, FloatOptionsStoreSixSignificantDigits) {
    static constexpr OptionDef kTable[] = {
        {"feed", "Feed rate.", OptionKind::real},
        {"fast", "Go fast.", OptionKind::flag},
    };
    CommandLine line(kTable);
    EXPECT_EQ(line.usageText(), "feed=<float>\n        Feed rate.\n\nfast\n        Go fast.\n\n");
    for (const auto& [given, stored] : {std::pair{"0.1", "0.1"}, std::pair{"1234567", "1.23457e+06"},
                                        std::pair{" -2.5e-3x", "-0.0025"}}) {
        const std::string word = std::string("feed=") + given;
        const char* argv[] = {"vordash", word.c_str()};
        line.parse(2, argv);
        line.registrySave(kKey);
        EXPECT_EQ(bytesOf(key() / "feed.val"), valueFile(1, std::string(stored) + '\0')) << given;
        CommandLine loaded(kTable);
        LogCapture log({LogLevel::info});
        loaded.registryLoad(kKey);
        EXPECT_EQ(loaded.values()[0].real, std::stod(stored)) << given;
        EXPECT_FALSE(loaded.flagGet("fast"));
    }
    EXPECT_THROW(line.optionSet("feed", "fast"), std::invalid_argument);
}

} // namespace
} // namespace Karsto
