#include "gcode/ninterface_null.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/machine_test_support.h"
#include "frontend/scrambled_source.h"
#include "gcode/preview_page.h"
#include "gcode/preview_test_support.h"
#include "geometry/geo_helix.h"
#include "geometry/ncmd.h"
#include "geometry/ncmd_test_support.h"

namespace Karsto::test {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

bool endsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

size_t countOf(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

// One command of every kind but geometry, all from one valid block.
std::vector<std::unique_ptr<NCmd>> otherCommands() {
    const BlockOrigin origin{spanAt(1), 0.0};
    const BlockKey key{1, 0.0};
    const double from[] = {0.0};
    const double to[] = {1.0};
    const double q[NCmdUpdateaxes::kAxisCount] = {};
    static FixedAxes axes(1);
    std::vector<std::unique_ptr<NCmd>> commands;
    commands.push_back(std::make_unique<NCmdInterpolate>(&axes, from, to, 1.0, false, origin, key));
    commands.push_back(std::make_unique<NCmdWait>(1.0, origin, key));
    commands.push_back(std::make_unique<NCmdMFunc>(3.0, origin, key));
    commands.push_back(std::make_unique<NCmdAccurateStop>(origin, key));
    commands.push_back(std::make_unique<NCmdAutoAccurateStop>(0.5, origin, key));
    commands.push_back(std::make_unique<NCmdDelDtg>(origin, key));
    commands.push_back(std::make_unique<NCmdNc2Func>(Nc2FuncData(7), origin, key));
    commands.push_back(std::make_unique<NCmdHst>('s', 1200.0, origin, key));
    commands.push_back(std::make_unique<NCmdSync>(origin, key));
    commands.push_back(std::make_unique<NCmdQueryaxes>(origin, key));
    commands.push_back(std::make_unique<NCmdUpdateaxes>(Pose(), q, key));
    commands.push_back(std::make_unique<NCmdMsg>("hello", origin, key));
    return commands;
}

TEST(NInterfaceNull, WithoutPreviewKeepsNothingAndWritesNoPage) {
    SourceDir dir;
    NInterfaceNull output;
    output.outputFile = dir.path() + "p.jyx.html";
    output.cmdAdd(lineCommand({0, 0, 0}, {5, 0, 0}, {spanAt(1), 0.0}));
    for (auto& command : otherCommands()) output.cmdAdd(std::move(command));
    output.finish();
    EXPECT_EQ(output.vertexText.str(), "");
    EXPECT_EQ(output.lineText.str(), "");
    EXPECT_FALSE(std::filesystem::exists(output.outputFile));
}

// Reset clears only the streams' error state: what was sampled stays for the page.
TEST(NInterfaceNull, ResetClearsOnlyTheStreamsErrorState) {
    for (bool preview : {false, true}) {
        SCOPED_TRACE(preview ? "preview on" : "preview off");
        NInterfaceNull output;
        output.previewOn = true;
        output.cmdAdd(lineCommand({0, 0, 0}, {0.05, 0, 0}, {spanAt(4), 0.0}));
        output.previewOn = preview;
        output.vertexText.setstate(std::ios::badbit);
        output.lineText.setstate(std::ios::failbit);
        output.reset();
        EXPECT_TRUE(output.vertexText.good());
        EXPECT_TRUE(output.lineText.good());
        EXPECT_EQ(output.vertexText.str(), "\t\t0,  0,  0,\n");
        EXPECT_EQ(output.lineText.str(), "\t\t3,\n");
    }
}

TEST(NInterfaceNull, SampleCountIsTruncatedAndBounded) {
    struct Case {
        double length;
        int32_t count;
    };
    const Case cases[] = {
        {0.0, 1},       {0.05, 1},       {0.0999, 1},    {0.1, 2},      {0.2, 3},
        {1.0, 11},      {-0.05, 0},      {-0.1, 0},      {-5.0, 0},     {99999.8, 999999},
        {99999.9, 1000000}, {1e7, 1000000}, {1e300, 1000000}, {kNaN, 0}, {kInf, 0},
        {-kInf, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.length);
        EXPECT_EQ(NInterfaceNull::sampleCount(c.length), c.count);
    }
}

// Parameters are i / count: the end point is never sampled, it starts the next element.
TEST(NInterfaceNull, SamplesLinesAtParametersOverCount) {
    NInterfaceNull output;
    output.previewOn = true;
    output.cmdAdd(lineCommand({0, 0, 0}, {0.05, 0, 0}, {spanAt(1), 0.0}));
    EXPECT_EQ(output.vertexText.str(), "\t\t0,  0,  0,\n");
    output.cmdAdd(lineCommand({0, 0, 0}, {1, 0, 0}, {spanAt(2), 0.0}));
    const std::vector<std::string> expected = {
        "\t\t0,  0,  0,",         "\t\t0,  0,  0,",         "\t\t0.0909091,  0,  0,",
        "\t\t0.181818,  0,  0,",  "\t\t0.272727,  0,  0,",  "\t\t0.363636,  0,  0,",
        "\t\t0.454545,  0,  0,",  "\t\t0.545455,  0,  0,",  "\t\t0.636364,  0,  0,",
        "\t\t0.727273,  0,  0,",  "\t\t0.818182,  0,  0,",  "\t\t0.909091,  0,  0,",
    };
    EXPECT_EQ(linesOf(output.vertexText.str()), expected);
    std::string lines = "\t\t0,\n";
    for (int i = 0; i < 11; ++i) lines += "\t\t1,\n";
    EXPECT_EQ(output.lineText.str(), lines);
}

// Six significant digits, negative and large coordinates in the shorter notation.
TEST(NInterfaceNull, VertexNumbersUseTheDefaultStreamFormat) {
    NInterfaceNull output;
    output.previewOn = true;
    output.cmdAdd(lineCommand({-1.5, 1234567.0, 1e-7}, {-1.5, 1234567.0, 1e-7}, {spanAt(1), 0.0}));
    EXPECT_EQ(output.vertexText.str(), "\t\t-1.5,  1.23457e+06,  1e-07,\n");
}

// The vertex numbers are exactly what to_chars writes for "%g" with six digits, also
// where the written form is made without it: near ties of the seventh digit, at the
// decade bounds, where rounding carries into the next decade, and across the magnitudes
// of both notations.
TEST(NInterfaceNull, VertexNumbersAreToCharsGeneralSix) {
    const auto reference = [](double value) {
        char text[32];
        return std::string(text, std::to_chars(text, text + sizeof text, value, std::chars_format::general, 6).ptr);
    };
    const auto written = [](double value) {
        char text[32];
        return std::string(text, NInterfaceNull::appendNumber(text, text + sizeof text, value));
    };
    std::vector<double> values = {0.0, -0.0, kInf, -kInf, kNaN, 1.0, -1.0, 0.5, 100000.5, 100001.5,
                                  123456.5, 999999.5, 999999.4, 99999.95, 99999.949, 9.999995,
                                  0.1234565, 1e-4, -1e-4, 9.9999949e-5, 9.99995e-5, 1e6, 1e-5,
                                  12.5, 0.000100001, 2.675, 1.0000005, 1.0000015, 5e-324, 1e300};
    for (double decade = 1e-6; decade < 1e8; decade *= 10.0) {
        for (double at : {decade, std::nextafter(decade, 0.0), std::nextafter(decade, 1e9)}) {
            values.push_back(at);
            values.push_back(-at);
        }
    }
    // A sweep of mantissas over the decades, with and without a seventh digit of 5.
    uint64_t state = 88172645463325252ull;
    for (int i = 0; i < 200000; ++i) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        const double mantissa = 1.0 + static_cast<double>(state % 9000000) / 1e6;
        const double decade = std::pow(10.0, static_cast<double>(static_cast<int>(state >> 40) % 14 - 7));
        values.push_back(mantissa * decade);
        values.push_back(-(std::round(mantissa * 1e6) + 0.5) / 1e6 * decade);
    }
    for (double value : values) EXPECT_EQ(written(value), reference(value)) << value;
}

// The samples reach their streams as write would put them there, in a failed or broken
// state too: nothing is added and the state ends as write leaves it.
TEST(NInterfaceNull, SamplesKeepTheStreamsStateRules) {
    for (std::ios::iostate state : {std::ios::goodbit, std::ios::failbit, std::ios::badbit}) {
        NInterfaceNull output;
        output.previewOn = true;
        output.vertexText.setstate(state);
        output.lineText.setstate(state);
        output.cmdAdd(lineCommand({0, 0, 0}, {0.05, 0, 0}, {spanAt(4), 0.0}));
        ChunkedTextStream vertexes, lines;
        vertexes.setstate(state);
        lines.setstate(state);
        vertexes.write("\t\t0,  0,  0,\n", 13);
        lines.write("\t\t3,\n", 5);
        EXPECT_EQ(output.vertexText.rdstate(), vertexes.rdstate()) << state;
        EXPECT_EQ(output.lineText.rdstate(), lines.rdstate()) << state;
        EXPECT_EQ(output.vertexText.str(), vertexes.str()) << state;
        EXPECT_EQ(output.lineText.str(), lines.str()) << state;
    }
}

TEST(NInterfaceNull, ArcsAreSampledAlongTheirCurve) {
    NInterfaceNull output;
    output.previewOn = true;
    // A quarter circle of radius 10 about the origin: length 15.708, 158 samples.
    auto arc = std::make_unique<GeoHelix>(Pose(10, 0, 0), Point3{0, 0, 0}, Point3{0, 0, 1},
                                          M_PI / 2, 0.0, FeedParams{10.0, 0.0},
                                          BlockOrigin{spanAt(2), 0.0}, BlockKey{1, 0.0});
    output.cmdAdd(std::make_unique<NCmdGeo>(std::move(arc)));
    const std::vector<std::string> vertices = linesOf(output.vertexText.str());
    ASSERT_EQ(vertices.size(), 158u);
    EXPECT_EQ(vertices.front(), "\t\t10,  0,  0,");
    for (const std::string& line : vertices) {
        double x = 0, y = 0, z = 0;
        ASSERT_EQ(std::sscanf(line.c_str(), " %lf, %lf, %lf,", &x, &y, &z), 3) << line;
        EXPECT_NEAR(std::hypot(x, y), 10.0, 1e-4) << line;
        EXPECT_GE(y, 0.0) << line;
    }
    EXPECT_EQ(countOf(output.lineText.str(), "\t\t1,\n"), 158u);
}

TEST(NInterfaceNull, OnlyGeometryIsSampled) {
    NInterfaceNull output;
    output.previewOn = true;
    output.cmdAdd(lineCommand({0, 0, 0}, {0.05, 0, 0}, {spanAt(1), 0.0}));
    for (auto& command : otherCommands()) output.cmdAdd(std::move(command));
    output.cmdAdd(lineCommand({1, 0, 0}, {1, 0.05, 0}, {spanAt(2), 0.0}));
    EXPECT_EQ(output.vertexText.str(), "\t\t0,  0,  0,\n\t\t1,  0,  0,\n");
    EXPECT_EQ(output.lineText.str(), "\t\t0,\n\t\t1,\n");
}

// An element without a valid origin is drawn but highlights no line; one that is too
// long to sample, or not finite, adds nothing.
TEST(NInterfaceNull, InvalidOriginsAndUnsampledLengths) {
    NInterfaceNull output;
    output.previewOn = true;
    output.cmdAdd(lineCommand({0, 0, 0}, {0.1, 0, 0}));
    EXPECT_EQ(output.lineText.str(), "\t\t-2,\n\t\t-2,\n");
    const std::string before = output.vertexText.str();
    output.cmdAdd(lineCommand({0, 0, 0}, {kNaN, 0, 0}, {spanAt(1), 0.0}));
    output.cmdAdd(lineCommand({0, 0, 0}, {kInf, 0, 0}, {spanAt(1), 0.0}));
    output.cmdAdd(lineCommand({-1e308, 0, 0}, {1e308, 0, 0}, {spanAt(1), 0.0}));
    EXPECT_EQ(output.vertexText.str(), before);
    EXPECT_EQ(output.lineText.str(), "\t\t-2,\n\t\t-2,\n");
}

TEST(NInterfaceNull, PageOfASingleLine) {
    PreviewProgram program({{"main.jyx", "G1 X0.2\n"}});
    // The page replaces whatever the file held.
    program.dir.write("main.jyx.html", std::string(100000, 'x'));
    ASSERT_EQ(program.run(), "");
    EXPECT_EQ(program.output.vertexText.str(),
              "\t\t0,  0,  0,\n\t\t0.0666667,  0,  0,\n\t\t0.133333,  0,  0,\n");
    EXPECT_EQ(program.output.lineText.str(), "\t\t0,\n\t\t0,\n\t\t0,\n");
    const std::string page = program.page();
    EXPECT_EQ(countOf(page, "<title>JYX Interpreter</title>"), 1u);
    const std::string vertices = "/* VERTICES_START */\n\t\t0,  0,  0,\n\t\t0.0666667,  0,  0,\n"
                                 "\t\t0.133333,  0,  0,\n\t]; /* VERTICES_END */\n\t\n\n\tlineinfo = [\n"
                                 "\t\t0,\n\t\t0,\n\t\t0,\n\t];";
    EXPECT_EQ(countOf(page, vertices), 1u);
    EXPECT_TRUE(endsWith(page, "<div class='jyxline' id='jyxline_0'>G1&nbsp;X0&#46;2&nbsp;</div>\n"
                               "<div class='jyxline' id='jyxline_1'>&nbsp;</div>\n"
                               "<div class='jyxline' id='jyxline_2'></div></div>\n</body>\n</html>\n"))
        << page.substr(page.size() > 300 ? page.size() - 300 : 0);
    EXPECT_EQ(page.find(std::string(10, 'x')), std::string::npos);
}

// The head, the arrays and the fixed texts in the order the page needs them.
TEST(NInterfaceNull, PageIsHeadArraysMiddleListingEnd) {
    PreviewProgram program({{"main.jyx", "G1 X0.2\n"}});
    ASSERT_EQ(program.run(), "");
    const std::string page = program.page();
    std::ostringstream listing;
    writeListing(listing, program.input.listing());
    const std::string expected = std::string(previewPageHead()) + program.output.vertexText.str() +
                                 std::string(kPreviewBetweenArrays) + program.output.lineText.str() +
                                 std::string(previewPageMiddle()) + listing.str() +
                                 std::string(kPreviewPageEnd);
    EXPECT_EQ(page, expected);
    EXPECT_TRUE(endsWith(std::string(previewPageHead()), "/* VERTICES_START */\n"));
}

// The line of a sample counts the line feeds before its block in the expanded text, so
// the highlight lands on the listing line that shows the block, includes or not.
TEST(NInterfaceNull, LineIndexesFollowTheIncludeExpandedListing) {
    PreviewProgram program({{"main.jyx", "G1 X1\n#include \"sub.jyx\"\nG1 Y1\n"},
                            {"sub.jyx", "G1 X2\n"}});
    ASSERT_EQ(program.run(), "");
    // 11 samples each.
    std::vector<std::string> expected;
    for (const char* index : {"\t\t0,", "\t\t1,", "\t\t3,"}) expected.insert(expected.end(), 11, index);
    EXPECT_EQ(program.lineInfo(), expected);
    const std::string page = program.page();
    EXPECT_NE(page.find("<div class='jyxline' id='jyxline_1'>G1&nbsp;X2&nbsp;</div>"), std::string::npos);
    EXPECT_NE(page.find("<div class='jyxline' id='jyxline_3'>G1&nbsp;Y1&nbsp;</div>"), std::string::npos);
}

TEST(NInterfaceNull, ScrambledIncludesNeverReachThePage) {
    PreviewProgram program({{"main.jyx", "G1 X1\n#include \"sub.jyx\"\nG1 Y1\n"},
                            {"sub.jyx", scrambleSource("G1 X2 (* Q7secret *)\n", 99)}});
    ASSERT_EQ(program.run(), "");
    std::vector<std::string> expected;
    for (const char* index : {"\t\t0,", "\t\t1,", "\t\t3,"}) expected.insert(expected.end(), 11, index);
    EXPECT_EQ(program.lineInfo(), expected);
    const std::string page = program.page();
    std::string stars;
    for (int i = 0; i < 20; ++i) stars += "&#42;";
    EXPECT_NE(page.find("<div class='jyxline' id='jyxline_1'>" + stars + "&nbsp;</div>"), std::string::npos);
    EXPECT_EQ(page.find("Q7secret"), std::string::npos);
    EXPECT_EQ(page.find("X2"), std::string::npos);
    EXPECT_NE(page.find("<div class='jyxline' id='jyxline_3'>G1&nbsp;Y1&nbsp;</div>"), std::string::npos);
}

// The page belongs to the program's end: a run that fails writes none, and leaves a page
// of an earlier run as it was.
TEST(NInterfaceNull, ARunThatFailsWritesNoPage) {
    PreviewProgram program({{"main.jyx", "G1 X1\nW1\n"}});
    EXPECT_EQ(program.run(), program.dir.path() + "main.jyx: 2.1-2.5: Invalid address letter 'w'");
    EXPECT_EQ(program.lineInfo().size(), 11u);
    EXPECT_FALSE(std::filesystem::exists(program.output.outputFile));
    program.dir.write("main.jyx.html", "earlier");
    EXPECT_NE(program.run(), "");
    EXPECT_EQ(program.page(), "earlier");
}

// Without a source the page has an empty listing and samples fall back to their line.
TEST(NInterfaceNull, PageWithoutASource) {
    SourceDir dir;
    NInterfaceNull output;
    output.previewOn = true;
    output.outputFile = dir.path() + "p.html";
    output.cmdAdd(lineCommand({0, 0, 0}, {0.05, 0, 0}, {spanAt(7), 0.0}));
    EXPECT_EQ(output.lineText.str(), "\t\t6,\n");
    output.finish();
    EXPECT_TRUE(endsWith(readFile(output.outputFile),
                         "<div class='jyxline' id='jyxline_0'></div></div>\n</body>\n</html>\n"));
}

TEST(NInterfaceNull, PageThatCannotBeOpenedIsSkippedSilently) {
    SourceDir dir;
    LogCapture log({LogLevel::error, LogLevel::warning, LogLevel::info});
    for (const std::string& name : {dir.path() + "missing/p.html", dir.path()}) {
        SCOPED_TRACE(name);
        NInterfaceNull output;
        output.previewOn = true;
        output.outputFile = name;
        output.cmdAdd(lineCommand({0, 0, 0}, {1, 0, 0}, {spanAt(1), 0.0}));
        output.finish();
    }
    EXPECT_FALSE(std::filesystem::exists(dir.path() + "missing"));
    EXPECT_TRUE(std::filesystem::is_directory(dir.path()));
    EXPECT_TRUE(log.lines.empty());
}

TEST(PreviewListing, RendersEveryByteSafely) {
    struct Case {
        std::string text;
        std::string expected;
    };
    const std::string open0 = "<div class='jyxline' id='jyxline_0'>";
    const Case cases[] = {
        {"", open0 + "</div>"},
        {"aZ09", open0 + "aZ09</div>"},
        {"a b\tc", open0 + "a&nbsp;b&nbsp;&nbsp;&nbsp;&nbsp;c</div>"},
        {"x\r\ny\n", open0 + "x&nbsp;</div>\n<div class='jyxline' id='jyxline_1'>y&nbsp;</div>\n"
                             "<div class='jyxline' id='jyxline_2'></div>"},
        {"<a>&\"'", open0 + "&#60;a&#62;&#38;&#34;&#39;</div>"},
        {"\xC3\xA4\xFF", open0 + "&#195;&#164;&#255;</div>"},
        {std::string("\0\x7f", 2), open0 + "&#0;&#127;</div>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::ostringstream out;
        writeListing(out, c.text);
        EXPECT_EQ(out.str(), c.expected);
    }
}

// Line n carries the id jyxline_n however long the listing is, across the pieces in
// which it is written.
TEST(PreviewListing, LongListingsKeepTheirLineNumbers) {
    std::string text;
    for (int i = 0; i < 20000; ++i) text += "G1 X" + std::to_string(i) + "\n";
    std::ostringstream out;
    writeListing(out, text);
    const std::string page = out.str();
    EXPECT_EQ(countOf(page, "<div class='jyxline'"), 20001u);
    EXPECT_NE(page.find("<div class='jyxline' id='jyxline_12345'>G1&nbsp;X12345&nbsp;</div>\n"),
              std::string::npos);
    EXPECT_TRUE(endsWith(page, "<div class='jyxline' id='jyxline_20000'></div>"));
}

} // namespace
} // namespace Karsto::test
