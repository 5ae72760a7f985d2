#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "frontend/expect_error.h"
#include "frontend/scanner_input.h"
#include "frontend/scrambled_source.h"
#include "frontend/source_dir.h"
#include "support/scoped_env.h"

namespace Karsto {
namespace {

struct Place {
    std::string file;
    int32_t line;
    int32_t column;
    int32_t offset;
};

void expectPlace(const SourcePosition& position, const Place& expected, int32_t inputOffset) {
    EXPECT_EQ(position.file, expected.file);
    EXPECT_EQ(position.line, expected.line);
    EXPECT_EQ(position.column, expected.column);
    EXPECT_EQ(position.offset, expected.offset);
    EXPECT_EQ(position.inputOffset, inputOffset);
}

std::string loaded(const std::string& main) {
    ScannerInputFile input;
    input.load(main);
    return input.expandedText();
}

// ---------------------------------------------------------------------------------------
// Include expansion and positions

TEST(ScannerInputFile, QuotedIncludeExpandsInPlaceWithPositions) {
    SourceDir d;
    d.write("main.jyx", "G0 X1\n#include \"inc.jyx\"\nG1 X2\n");
    d.write("inc.jyx", "G2 X3\n");
    ScannerInputFile input;
    input.load("main.jyx");
    ASSERT_EQ(input.expandedText(), "G0 X1\nG2 X3\n\nG1 X2\n\n");
    EXPECT_EQ(input.listing(), input.expandedText());

    std::string inc = d.path() + "inc.jyx";
    const std::vector<std::pair<int32_t, Place>> cases = {
        {0, {"main.jyx", 1, 1, 0}},
        {4, {"main.jyx", 1, 5, 4}},
        {6, {inc, 1, 1, 0}},
        {11, {inc, 1, 6, 5}},
        {12, {inc, 1, 7, 6}},       // the line feed appended after the included part
        {13, {"main.jyx", 3, 1, 25}}, // first byte after the directive's line
        {19, {"main.jyx", 3, 7, 31}},
    };
    for (const auto& [offset, place] : cases) {
        SCOPED_TRACE(offset);
        expectPlace(input.locationAt(offset), place, offset);
    }

    // The ScannerInput view walks the same text.
    input.advance(13);
    EXPECT_EQ(input.peek(0), 'G');
    EXPECT_EQ(input.text(5), "G1 X2");
    expectPlace(input.location(3), {"main.jyx", 3, 4, 28}, 16);
}

TEST(ScannerInputFile, AngleIncludeKeepsTheNameAsWritten) {
    SourceDir d;
    d.write("main.jyx", "A\n#include <inc.jyx>\nB\n");
    d.write("inc.jyx", "C\n");
    ScannerInputFile input;
    input.load("main.jyx");
    EXPECT_EQ(input.expandedText(), "A\nC\n\nB\n\n");
    expectPlace(input.locationAt(2), {"inc.jyx", 1, 1, 0}, 2);
    expectPlace(input.locationAt(5), {"main.jyx", 3, 1, 21}, 5);
}

// A quoted include inside a file that was found through the search paths resolves against
// that file's directory, so nested quoted names work from any working directory.
TEST(ScannerInputFile, NestedIncludesResolveAgainstTheIncludingDirectory) {
    SourceDir d;
    std::filesystem::create_directories(d.path() + "sub");
    d.write("main.jyx", "#include <sub/a.jyx>\nM\n");
    d.write("sub/a.jyx", "#include \"b.jyx\"\nA");
    d.write("sub/b.jyx", "B");
    ScannerInputFile input;
    input.load("main.jyx");
    EXPECT_EQ(input.expandedText(), "B\nA\nM\n\n");
    // A file included at the very start of its parent owns that offset.
    expectPlace(input.locationAt(0), {d.path() + "sub/b.jyx", 1, 1, 0}, 0);
    expectPlace(input.locationAt(2), {"sub/a.jyx", 2, 1, 17}, 2);
    expectPlace(input.locationAt(4), {"main.jyx", 2, 1, 21}, 4);
}

TEST(ScannerInputFile, IncludingTwiceExpandsTwice) {
    SourceDir d;
    d.write("main.jyx", "#include \"a.jyx\"\n#include \"a.jyx\"\n");
    d.write("a.jyx", "x");
    EXPECT_EQ(loaded("main.jyx"), "x\nx\n\n");
}

TEST(ScannerInputFile, RecursiveInclusionIsRefused) {
    SourceDir d;
    d.write("a.jyx", "#include \"b.jyx\"\n");
    d.write("b.jyx", "#include \"a.jyx\"\n");
    // a.jyx is read a second time as d/a.jyx: names are compared as strings.
    expectError<ExceptionSyntax>([] { loaded("a.jyx"); },
                                 "?: Detected recursive inclusion in file '" + d.path() + "b.jyx'.");

    d.write("self.jyx", "x\n#include <self.jyx>\n");
    expectError<ExceptionSyntax>([] { loaded("self.jyx"); },
                                 "?: Detected recursive inclusion in file 'self.jyx'.");
}

// The expansion keeps its own stack: a long chain of includes must not exhaust the native
// one (run under AddressSanitizer).
TEST(ScannerInputFile, LongIncludeChain) {
    SourceDir d;
    constexpr int kIncludeDepth = 3000;
    for (int i = 0; i < kIncludeDepth; ++i) {
        std::string next = i + 1 < kIncludeDepth ? std::string("#include <f").append(std::to_string(i + 1)).append(">\n") : "";
        d.write(std::string("f").append(std::to_string(i)), next + "L" + std::to_string(i) + "\n");
    }
    ScannerInputFile input;
    input.load("f0");
    const std::string& text = input.expandedText();
    // The deepest file comes first, then each including file's last line, outermost last.
    EXPECT_TRUE(text.starts_with("L2999\n\nL2998\n\n"));
    EXPECT_TRUE(text.ends_with("L1\n\nL0\n\n"));
    expectPlace(input.locationAt(7), {"f2998", 2, 1, 17}, 7);
}

// ---------------------------------------------------------------------------------------
// The directive's syntax

TEST(ScannerInputFile, WhereADirectiveStands) {
    SourceDir d;
    d.write("inc.jyx", "I");
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"#include \"inc.jyx\" \t\r\nX", "I\nX\n"},
        {"#include\"inc.jyx\"", "I\n\n"},              // no blank needed, no line feed at the end
        {"a\n\r#include \"inc.jyx\"\nb", "a\n\rI\nb\n"}, // after LF CR
        {" #include \"inc.jyx\"\n", " #include \"inc.jyx\"\n\n"},
        {"#INCLUDE \"inc.jyx\"\n", "#INCLUDE \"inc.jyx\"\n\n"},
        {"x #include \"inc.jyx\"\n", "x #include \"inc.jyx\"\n\n"},
        {"a\r#include \"inc.jyx\"\n", "a\r#include \"inc.jyx\"\n\n"}, // a CR alone ends no line
        {"a\n\r\r#include \"inc.jyx\"\n", "a\n\r\r#include \"inc.jyx\"\n\n"},
    };
    for (const auto& [main, expected] : cases) {
        SCOPED_TRACE(main);
        d.write("main.jyx", main);
        EXPECT_EQ(loaded("main.jyx"), expected);
    }
}

TEST(ScannerInputFile, DirectiveErrors) {
    SourceDir d;
    d.write("inc.jyx", "I");
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"#include inc.jyx\n", "?: Missing '\"' or '<' after #include."},
        {"#include\t\"inc.jyx\"\n", "?: Missing '\"' or '<' after #include."},
        {"#include", "?: Missing '\"' or '<' after #include."},
        {"#include <inc.jyx\"\n", "?: Missing '>' at end of #include."},
        {"#include \"inc.jyx>\n", "?: Missing '\"' at end of #include."},
        {"#include \"inc.jyx\n\"\n", "?: Missing '\"' at end of #include."},
        {"#include \"inc.jyx", "?: Missing '\"' at end of #include."},
        {"#include \"inc.jyx\";\n", "?: Invalid characters after #include directive."},
        {"ok\n#include \"missing.jyx\"\n", "?: Can not open file '" + d.path() + "missing.jyx'"},
    };
    for (const auto& [main, expected] : cases) {
        SCOPED_TRACE(main);
        d.write("main.jyx", main);
        expectError<ExceptionSyntax>([] { loaded("main.jyx"); }, expected);
    }
}

TEST(ScannerInputFile, OpenErrors) {
    {
        SourceDir d;
        d.write("main.jyx", "x");
        includeSearchPaths.clear();
        expectError<ExceptionSyntax>([] { loaded("main.jyx"); }, "?: Can not open file 'main.jyx'");
    }
    SourceDir d;
    d.write("main.jyx", "#include <" + d.path() + "inc.jyx>\n");
    d.write("inc.jyx", "x");
    expectError<ExceptionSemantic>([] { loaded("main.jyx"); },
                                   "?: Absolute path can not be combines with search path");
    // A directory is no source file.
    expectError<ExceptionSyntax>([&] { loaded(d.path()); }, "?: Can not open file '" + d.path() + "'");
}

TEST(ScannerInputFile, AbsoluteMainFileAndAQuotedAbsoluteInclude) {
    SourceDir d;
    d.write("inc.jyx", "I");
    d.write("main.jyx", "#include \"" + d.path() + "inc.jyx\"\n");
    includeSearchPaths.clear(); // an absolute name needs no search path
    EXPECT_EQ(loaded(d.path() + "main.jyx"), "I\n\n");
}

// Names written for the controller's own system open below the drive root; messages
// keep the name as written.
TEST(ScannerInputFile, WindowsNamesOpenBelowTheDriveRoot) {
    SourceDir d;
    d.write("inc.jyx", "I");
    d.write("main.jyx", "#include \"C:\\inc.jyx\"\n");
    test::ScopedEnv root("VORDASH_DRIVE_ROOT", d.path().c_str());
    EXPECT_EQ(loaded("C:\\main.jyx"), "I\n\n");
    expectError<ExceptionSyntax>([] { loaded("C:\\absent.jyx"); }, "?: Can not open file 'C:\\absent.jyx'");
}

TEST(ScannerInputFile, EmptyFileAndByteValues) {
    SourceDir d;
    d.write("empty.jyx", "");
    ScannerInputFile input;
    input.load("empty.jyx");
    EXPECT_EQ(input.expandedText(), "\n");
    expectPlace(input.location(0), {"empty.jyx", 1, 1, 0}, 0);

    d.write("bytes.jyx", std::string("\xff\x00\r", 3));
    input.load("bytes.jyx"); // loading again starts afresh
    ASSERT_EQ(input.expandedText(), std::string("\xff\x00\r\n", 4));
    EXPECT_EQ(input.peek(0), 255);
    EXPECT_EQ(input.peek(1), 0);
    EXPECT_EQ(input.peek(2), '\r');
    EXPECT_EQ(input.peek(4), -1);
    input.advance(3);
    EXPECT_EQ(input.text(10), "\n");
    input.advance(1);
    EXPECT_EQ(input.peek(0), -1);
    EXPECT_EQ(input.text(1), "");
}

TEST(ScannerInputFile, ScrambledFileReadsAsPlainTextWithMaskedListing) {
    SourceDir d;
    d.write("s.jyx", scrambleSource("{x:=1;}\r\n", 0x12345678u));
    ScannerInputFile input;
    input.load("s.jyx");
    EXPECT_EQ(input.expandedText(), "{x:=1;}\r\n\n");
    EXPECT_EQ(input.listing(), "*******\r\n\n");
    for (int32_t offset = 0; offset < 10; ++offset) EXPECT_TRUE(input.locationAt(offset).scrambled) << offset;

    // Only the scrambled file's positions are flagged, and only its bytes masked.
    d.write("main.jyx", "a\n#include \"s.jyx\"\nb\n");
    input.load("main.jyx");
    EXPECT_EQ(input.expandedText(), "a\n{x:=1;}\r\n\nb\n\n");
    EXPECT_EQ(input.listing(), "a\n*******\r\n\nb\n\n");
    input.advance(2);
    EXPECT_EQ(input.listingText(3), "***");
    EXPECT_FALSE(input.locationAt(0).scrambled);
    EXPECT_TRUE(input.locationAt(2).scrambled);
    EXPECT_TRUE(input.locationAt(11).scrambled); // its appended line feed
    EXPECT_FALSE(input.locationAt(12).scrambled);
}

// A header may claim up to 4 GiB of text. One that claims more than its body holds is a
// forged or damaged file: 20 bytes must not turn into gigabytes of zeros. Errors about an
// included file carry the place of the directive that names it.
TEST(ScannerInputFile, ScrambledHeaderClaimingMoreThanItsBodyIsRefused) {
    SourceDir d;
    auto forged = [](uint32_t length) {
        std::string header = scrambleSource("", 1); // 20 bytes: the header alone
        for (size_t i = 0; i < 4; ++i) header[8 + i] = static_cast<char>((length >> (8 * i)) & 0xFFu);
        return header;
    };
    d.write("s.jyx", forged(2147483600u));
    expectError<ExceptionSyntax>(
        [] { loaded("s.jyx"); }, "?: Corrupt scrambled file 's.jyx': its header claims more text than it holds");
    d.write("s.jyx", forged(0xFFFFFFFFu));
    expectError<ExceptionSyntax>(
        [] { loaded("s.jyx"); }, "?: Corrupt scrambled file 's.jyx': its header claims more text than it holds");
    d.write("main.jyx", "G1\n#include \"s.jyx\" \n");
    expectError<ExceptionSyntax>([] { loaded("main.jyx"); },
                                 "main.jyx: 2.1-2.17: Corrupt scrambled file '" + d.path() +
                                     "s.jyx': its header claims more text than it holds");
    // A shorter claim still cuts the text.
    std::string cut = scrambleSource("abcdef", 5);
    cut[8] = 2;
    d.write("s.jyx", cut);
    EXPECT_EQ(loaded("s.jyx"), "ab\n");
}

// Only regular files are sources: a device or a FIFO might never end (or block the open),
// and a file larger than the expanded text may grow is refused by its size, unread.
TEST(ScannerInputFile, OnlyRegularFilesOfBoundedSizeAreRead) {
    SourceDir d;
    d.write("main.jyx", "#include \"/dev/zero\"\n");
    expectError<ExceptionSyntax>([] { loaded("main.jyx"); },
                                 "main.jyx: 1.1-1.21: File '/dev/zero' is not a regular file");
    expectError<ExceptionSyntax>([] { loaded("/dev/zero"); }, "?: File '/dev/zero' is not a regular file");

    ASSERT_EQ(::mkfifo((d.path() + "fifo").c_str(), 0600), 0);
    d.write("main.jyx", "x\r\n#include \"fifo\"\r\n");
    expectError<ExceptionSyntax>([] { loaded("main.jyx"); },
                                 "main.jyx: 2.1-2.16: File '" + d.path() + "fifo' is not a regular file");

    // Sparse: three gigabytes on paper, no blocks on disk.
    d.write("big.jyx", "");
    std::filesystem::resize_file(d.path() + "big.jyx", 3'000'000'000);
    expectError<ExceptionSyntax>([] { loaded("big.jyx"); },
                                 "?: Expanded source exceeds limit of 2147483646 bytes in file 'big.jyx'");
    d.write("main.jyx", "#include <big.jyx>");
    expectError<ExceptionSyntax>(
        [] { loaded("main.jyx"); },
        "main.jyx: 1.1-1.19: Expanded source exceeds limit of 2147483646 bytes in file 'big.jyx'");
}

// A NUL byte would cut the name: another file would open than the one written.
TEST(ScannerInputFile, IncludeNameWithNulIsRefused) {
    SourceDir d;
    d.write("a.jyx", "y := 2;");
    d.write("main.jyx", std::string("{ x := 1;\n#include \"a.jyx\0zzz\"\n}", 32));
    expectError<ExceptionSyntax>([] { loaded("main.jyx"); },
                                 "main.jyx: 2.1-2.21: Invalid character in file name in '#include'");
    d.write("main.jyx", std::string("#include <a.jyx\0>", 17));
    expectError<ExceptionSyntax>([] { loaded("main.jyx"); },
                                 "main.jyx: 1.1-1.18: Invalid character in file name in '#include'");
}

// The line feed appended after a part, and <end> after the main file's, belong to the
// part: its file, the line of its last byte, the columns after it. This holds also when
// the part ends in a directive whose included file begins at the same offset.
TEST(ScannerInputFile, PositionsAfterAPartStayInItsFile) {
    SourceDir d;
    d.write("empty.jyx", "");
    d.write("y.jyx", "y := 2;");
    std::string empty = d.path() + "empty.jyx";
    std::string y = d.path() + "y.jyx";
    struct Case {
        std::string main;
        std::string text;
        std::vector<std::pair<int32_t, Place>> places;
    };
    const Case cases[] = {
        {"#include\"empty.jyx\"", "\n\n", {{0, {empty, 1, 1, 0}}, {1, {"main.jyx", 1, 20, 19}}, {2, {"main.jyx", 1, 21, 20}}}},
        {"{ IF a THEN\n#include \"y.jyx\"\n",
         "{ IF a THEN\ny := 2;\n\n",
         {{11, {"main.jyx", 1, 12, 11}}, {12, {y, 1, 1, 0}}, {19, {y, 1, 8, 7}},
          {20, {"main.jyx", 2, 18, 29}}, {21, {"main.jyx", 2, 19, 30}}}},
        {"a\n\n", "a\n\n\n", {{2, {"main.jyx", 2, 1, 2}}, {3, {"main.jyx", 2, 2, 3}}}},
        {"ab", "ab\n", {{2, {"main.jyx", 1, 3, 2}}, {3, {"main.jyx", 1, 4, 3}}}},
        {"E", "E\n", {{1, {"main.jyx", 1, 2, 1}}, {2, {"main.jyx", 1, 3, 2}}}},
        {"\n", "\n\n", {{1, {"main.jyx", 1, 2, 1}}}},
        {"#include \"y.jyx\"\r\nz", "y := 2;\nz\n", {{8, {"main.jyx", 2, 1, 18}}, {9, {"main.jyx", 2, 2, 19}}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.main);
        d.write("main.jyx", c.main);
        ScannerInputFile input;
        input.load("main.jyx");
        ASSERT_EQ(input.expandedText(), c.text);
        for (const auto& [offset, place] : c.places) {
            SCOPED_TRACE(offset);
            expectPlace(input.locationAt(offset), place, offset);
        }
    }
}

// A read that fails after the open (here: unmapped memory) must not yield a short text.
TEST(ScannerInputFile, ReadErrorIsReported) {
    const std::string path = "/proc/self/mem";
    expectError<ExceptionSyntax>([&] { loaded(path); }, "?: Error reading from file '/proc/self/mem'");
    ScannerInputFileStream stream;
    stream.open(path);
    expectError<ExceptionSyntax>([&] { stream.peek(0); }, "?: Error reading from file '/proc/self/mem'");
}

// ---------------------------------------------------------------------------------------
// Paths

TEST(SplitPath, Forms) {
    struct Case {
        std::string path, directory, name;
        bool absolute;
    };
    const Case cases[] = {
        {"C:/a/b.jyx", "C:/a/", "b.jyx", true},
        {"C:\\a\\b.jyx", "C:\\a\\", "b.jyx", true},
        {"b.jyx", "", "b.jyx", false},
        {"\\\\server\\share\\p.jyx", "\\\\server\\share\\", "p.jyx", true},
        {"/home/u/p.jyx", "/home/u/", "p.jyx", true},
        {"sub/dir\\x.jyx", "sub/dir\\", "x.jyx", false}, // the later of both separators
        {"sub\\dir/", "sub\\dir/", "", false},
        {"\\x.jyx", "\\", "x.jyx", false},
        {"", "", "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        PathParts parts = splitPath(c.path);
        EXPECT_EQ(parts.directory, c.directory);
        EXPECT_EQ(parts.name, c.name);
        EXPECT_EQ(parts.absolute, c.absolute);
    }
}

// ---------------------------------------------------------------------------------------
// The streaming input

TEST(ScannerInputFileStream, LookAheadIsLimitedToTheWindow) {
    SourceDir d;
    std::string content(ScannerInputFileStream::windowSize + 1, 'a');
    content[ScannerInputFileStream::windowSize - 1] = 'z';
    d.write("f.jyx", content);
    ScannerInputFileStream input;
    input.open("f.jyx");
    EXPECT_EQ(input.peek(1048575), 'z');
    expectError<ExceptionSyntax>(
        [&] { input.peek(1048576); },
        "?: Local access on file 'f.jyx' of size 1048577 exceeds limit of 1048576 bytes at offset 0");
}

TEST(ScannerInputFileStream, CountsLinesOnLineFeedsOnly) {
    SourceDir d;
    d.write("s.jyx", "ab\r\ncd");
    ScannerInputFileStream input;
    input.open("s.jyx");
    expectPlace(input.location(3), {"s.jyx", 1, 4, 3}, 3); // the CR is a column
    expectPlace(input.location(0), {"s.jyx", 1, 1, 0}, 0);  // location consumes nothing
    input.advance(4);
    expectPlace(input.location(0), {"s.jyx", 2, 1, 4}, 4);
    EXPECT_EQ(input.text(10), "cd");
    expectPlace(input.location(10), {"s.jyx", 2, 3, 6}, 6); // only over the bytes that exist
    EXPECT_EQ(input.peek(1), 'd');
    EXPECT_EQ(input.peek(2), -1);
    EXPECT_FALSE(input.location(0).scrambled);
}

// Walks a file three windows long in steps that straddle window boundaries; every byte
// and every line count must come out as in the file.
TEST(ScannerInputFileStream, SlidesOverAFileLargerThanTheWindow) {
    SourceDir d;
    std::string content;
    for (int i = 0; content.size() < 3u * ScannerInputFileStream::windowSize + 1000; ++i)
        content += "line " + std::to_string(i) + (i % 7 == 0 ? "\r\n" : "\n");
    content += "\xff";
    d.write("big.jyx", content);

    ScannerInputFileStream input;
    input.open("big.jyx");
    size_t position = 0;
    int32_t line = 1;
    const int32_t step = 65537;
    while (position < content.size()) {
        ASSERT_EQ(input.peek(0), static_cast<unsigned char>(content[position])) << position;
        int32_t lookAhead = std::min<int32_t>(ScannerInputFileStream::windowSize - 1,
                                              static_cast<int32_t>(content.size() - position - 1));
        ASSERT_EQ(input.peek(lookAhead), static_cast<unsigned char>(content[position + lookAhead]));
        std::string expected = content.substr(position, step);
        ASSERT_EQ(input.text(step), expected);
        for (char c : expected) line += c == '\n';
        input.advance(step);
        position += expected.size();
        ASSERT_EQ(input.location(0).line, line);
    }
    EXPECT_EQ(input.peek(0), -1);
    EXPECT_EQ(input.text(5), "");
}

// Positions are int32: reading on past 2 GiB fails cleanly instead of wrapping the offset
// or, on a line that long, the column. An endless input of zero bytes, one line without
// end, stands for a huge file.
TEST(ScannerInputFileStream, OffsetsEndAtTwoGiB) {
    constexpr int32_t kLimit = INT32_MAX - 1; // the column of that offset is INT32_MAX
    ScannerInputFileStream input;
    input.open("/dev/zero");
    const int32_t step = ScannerInputFileStream::windowSize - 1;
    int64_t position = 0;
    while (position + step <= kLimit) {
        input.advance(step);
        position += step;
    }
    const auto rest = static_cast<int32_t>(kLimit - position);
    const SourcePosition last = input.location(rest);
    EXPECT_EQ(last.offset, kLimit);
    EXPECT_EQ(last.line, 1);
    EXPECT_EQ(last.column, INT32_MAX);
    EXPECT_EQ(input.peek(rest), 0);
    const std::string limit = "?: Offset in file '/dev/zero' exceeds limit of 2147483646 bytes";
    expectError<ExceptionSyntax>([&] { input.location(rest + 1); }, limit);
    expectError<ExceptionSyntax>([&] { input.advance(rest + 1); }, limit);
    input.advance(rest);
    EXPECT_EQ(input.location(0).column, INT32_MAX);
    expectError<ExceptionSyntax>([&] { input.advance(1); }, limit);
}

TEST(ScannerInputFileStream, OpenGoesThroughSearchPathsUnlessAbsolute) {
    SourceDir d;
    d.write("r.jyx", "x");
    ScannerInputFileStream input;
    input.open(d.path() + "r.jyx");
    EXPECT_EQ(input.peek(0), 'x');
    expectError<ExceptionSyntax>([&] { input.open("none.jyx"); }, "?: Can not open file 'none.jyx'");
    includeSearchPaths = {"/nonexistent-vordash/", d.path()};
    input.open("r.jyx");
    EXPECT_EQ(input.location(0).file, "r.jyx");
    EXPECT_EQ(input.text(2), "x");
}

} // namespace
} // namespace Karsto
