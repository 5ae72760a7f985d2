#pragma once
// The language corpus: small Jyx programs under tests/programs/<area>/*.jyx whose
// expectations are comments in the program itself, each on a line of its own:
//
//   (* expect: <text> *)          printed output; several are joined in file order with
//                                 nothing between them; none: the program prints nothing
//   (* expect error: <text> *)    the whole text of the compile or run error, place
//                                 included ("t.jyx: 2.6-2.8: Undeclared ...")
//   (* expect block: <block> *)   one recorded G-code block in blockText form
//                                 ("/2 n=10 g=1 x=10 y=-5.5"), one comment per block in
//                                 run order; none: the program records no block
//   (* host: <name> : <LREAL|INT|BOOL> := <value> *)
//                                 a host external, as the R-parameters are declared
//
// One blank after the colon and one before "*)" belong to the comment, not to the text.
// A program without "expect error" must compile, run to its end and leave sp at the
// stack's bottom (0x100000).
//
// A program with a <case>.expected file beside it is an NC case: it runs on a channel's
// G-code processor (runNcProgram) and the commands it delivers, one line each in the
// recording output's form, must equal that file (a golden stream). Its "expect" and
// "expect error" comments hold as above; it has no "expect block" comments. A run that
// fails compares the commands delivered before the error.

#include <optional>
#include <string>
#include <vector>

#include "support/jyx_harness.h"

namespace Karsto::test {

struct CorpusCase {
    std::string name;   // the path below tests/programs without ".jyx"
    std::string source;
    HarnessOptions options;
    std::string output;
    std::optional<std::string> error;
    std::vector<std::string> blocks;
    std::optional<std::string> golden; // the .expected file of an NC case
};

// Every .jyx file below the directory, as paths relative to it, sorted.
std::vector<std::string> corpusFiles(const std::string& directory);

// Reads one program and its expectations; a malformed expectation comment raises
// std::runtime_error naming the file and the comment.
CorpusCase readCorpusCase(const std::string& directory, const std::string& relativePath);

// Compiles and runs the case; what differs from its expectations, one line per
// difference (empty when all hold).
std::vector<std::string> checkCorpusCase(const CorpusCase& corpusCase);

} // namespace Karsto::test
