// The preview page in a real browser: headless chromium loads a generated page, lets its
// animation run on virtual time and dumps the DOM, then takes a screenshot for review.
// Every run is bounded by timeout(1): a page that blocks (a script error loop, or the
// alert of a page without WebGL) fails the test instead of hanging it.

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "gcode/preview_test_support.h"

namespace Karsto::test {
namespace {

const std::filesystem::path kReviewDir = VORDASH_PREVIEW_REVIEW_DIR;

// The browser on the search path, or empty.
std::string chromiumPath() {
    const char* path = std::getenv("PATH");
    std::string dirs = path != nullptr ? path : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos) end = dirs.size();
        const std::filesystem::path candidate = std::filesystem::path(dirs.substr(start, end - start)) / "chromium";
        if (!candidate.parent_path().empty() && ::access(candidate.c_str(), X_OK) == 0) return candidate;
        start = end + 1;
    }
    return {};
}

std::string quoted(const std::string& text) {
    std::string result = "'";
    for (char c : text) {
        if (c == '\'') result += "'\\''";
        else result += c;
    }
    return result + "'";
}

struct BrowserRun {
    int exitCode = -1;
    std::string output; // standard output: the DOM for --dump-dom
    std::string log;    // standard error, with the page's console messages
};

// One headless run on the page with the given extra option. Each run gets a profile of
// its own, so runs in parallel (or a browser the reviewer has open) never share one.
BrowserRun runBrowser(const std::string& browser, const std::filesystem::path& page,
                      const std::string& option, const std::string& name) {
    const std::filesystem::path profile = kReviewDir / ("profile_" + name);
    const std::filesystem::path logFile = kReviewDir / (name + ".log");
    std::filesystem::remove_all(profile);
    // --enable-unsafe-swiftshader: without a GPU, newer browsers give WebGL only on this
    // opt-in; the page is our own.
    const std::string command =
        "timeout 60 " + quoted(browser) +
        " --headless=new --no-sandbox --window-size=1280,800 --virtual-time-budget=6000"
        " --enable-unsafe-swiftshader --enable-logging=stderr --v=0 --user-data-dir=" +
        quoted(profile.string()) + " " + option + " " +
        quoted("file://" + std::filesystem::absolute(page).string()) + " 2>" + quoted(logFile.string());
    BrowserRun run;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return run;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) run.output.append(buffer, n);
    const int status = ::pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.log = readFile(logFile.string());
    std::filesystem::remove_all(profile);
    return run;
}

// The console messages of the page (the browser logs them as "CONSOLE" lines), but for
// the software renderer's performance notes: script errors and WebGL errors remain.
std::vector<std::string> consoleLines(const std::string& log) {
    std::vector<std::string> lines;
    for (const std::string& line : linesOf(log)) {
        if (line.find(":CONSOLE") == std::string::npos) continue;
        if (line.find("GL Driver Message (OpenGL, Performance") != std::string::npos) continue;
        lines.push_back(line);
    }
    return lines;
}

// The opening tags of every element that has the highlight class.
std::vector<std::string> highlightedElements(const std::string& dom) {
    const std::string marker = "class=\"jyxlinehl\"";
    std::vector<std::string> found;
    for (size_t at = dom.find(marker); at != std::string::npos; at = dom.find(marker, at + 1)) {
        const size_t open = dom.rfind('<', at);
        const size_t close = dom.find('>', at);
        if (open == std::string::npos || close == std::string::npos) continue;
        found.push_back(dom.substr(open, close + 1 - open));
    }
    return found;
}

// Width and height from a PNG's header chunk; 0 x 0 when the file is no PNG.
std::pair<uint32_t, uint32_t> pngSize(const std::string& png) {
    if (png.size() < 24 || png.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0 || png.compare(12, 4, "IHDR") != 0)
        return {0, 0};
    auto word = [&](size_t at) {
        uint32_t value = 0;
        for (size_t i = 0; i < 4; ++i) value = value << 8 | static_cast<unsigned char>(png[at + i]);
        return value;
    };
    return {word(16), word(20)};
}

class PreviewBrowser : public ::testing::Test {
protected:
    void SetUp() override {
        browser_ = chromiumPath();
        if (browser_.empty()) GTEST_SKIP() << "chromium is missing: the preview page is not checked in a browser";
        std::filesystem::create_directories(kReviewDir);
    }

    // Keeps a copy of the page in the build tree, beside its screenshot.
    std::filesystem::path keep(const PreviewProgram& program, const std::string& name) {
        const std::filesystem::path page = kReviewDir / (name + ".html");
        std::filesystem::copy_file(program.output.outputFile, page,
                                   std::filesystem::copy_options::overwrite_existing);
        return page;
    }

    std::string browser_;
};

// The 10 mm square: 4 x 101 samples. After six seconds at 100 vertices per second the
// whole path is drawn and the last block, "G1 Y0" on listing line 3, is highlighted.
TEST_F(PreviewBrowser, SquareIsDrawnAndItsLastLineHighlighted) {
    PreviewProgram program({{"square.jyx", "G1 X10\nG1 Y10\nG1 X0\nG1 Y0\n"}});
    ASSERT_EQ(program.run(), "");
    ASSERT_EQ(program.vertexLines().size(), 404u);
    const std::filesystem::path page = keep(program, "square");

    const BrowserRun dom = runBrowser(browser_, page, "--dump-dom", "square_dom");
    ASSERT_NE(dom.exitCode, 124) << "the browser timed out on the page\n" << dom.log;
    ASSERT_EQ(dom.exitCode, 0) << dom.log;
    const std::vector<std::string> highlighted = highlightedElements(dom.output);
    ASSERT_EQ(highlighted.size(), 1u) << dom.output;
    EXPECT_NE(highlighted[0].find("id=\"jyxline_3\""), std::string::npos) << highlighted[0];
    EXPECT_EQ(consoleLines(dom.log), std::vector<std::string>());

    const std::filesystem::path screenshot = kReviewDir / "square.png";
    std::filesystem::remove(screenshot);
    const BrowserRun shot = runBrowser(browser_, page, "--screenshot=" + quoted(screenshot.string()), "square_shot");
    ASSERT_NE(shot.exitCode, 124) << "the browser timed out on the page\n" << shot.log;
    ASSERT_EQ(shot.exitCode, 0) << shot.log;
    EXPECT_EQ(pngSize(readFile(screenshot.string())), std::make_pair(1280u, 800u));
}

// Pages with nothing to draw, and with samples whose line is unknown, run without a
// script error and highlight nothing.
TEST_F(PreviewBrowser, EmptyPathsAndUnknownLinesRunWithoutErrors) {
    PreviewProgram empty({{"empty.jyx", "M3\n"}});
    empty.finish();
    PreviewProgram unknown({{"unknown.jyx", "G1 X1\n"}});
    unknown.output.cmdAdd(lineCommand({0, 0, 0}, {1, 0, 0}));
    ASSERT_EQ(unknown.lineInfo().size(), 11u);
    unknown.finish();
    for (const auto& [program, name] : {std::pair{&empty, "empty"}, std::pair{&unknown, "unknown_line"}}) {
        SCOPED_TRACE(name);
        const BrowserRun dom = runBrowser(browser_, keep(*program, name), "--dump-dom", std::string(name) + "_dom");
        ASSERT_NE(dom.exitCode, 124) << "the browser timed out on the page\n" << dom.log;
        ASSERT_EQ(dom.exitCode, 0) << dom.log;
        EXPECT_NE(dom.output.find("id=\"jyxline_0\""), std::string::npos) << dom.output;
        EXPECT_EQ(highlightedElements(dom.output), std::vector<std::string>());
        EXPECT_EQ(consoleLines(dom.log), std::vector<std::string>());
    }
}

} // namespace
} // namespace Karsto::test
