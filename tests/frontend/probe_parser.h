#pragma once
// A parser whose evaluation is a test's own step, and a compile over an in-memory or a
// file input that scans from G-code mode as every compile does.

#include <functional>
#include <string>
#include <utility>

#include "frontend/jyx_parser.h"
#include "frontend/scanner_input.h"
#include "frontend/string_input.h"

namespace Karsto {

class ProbeParser : public JyxParser {
public:
    using JyxParser::JyxParser;

    // Counts the calls, remembers what the parser held at the time, then runs the
    // test's step (which may register objects, set the program or throw).
    void evaluate() override {
        ++evaluations;
        stackSizeAtEvaluation = stack.size();
        rootAtEvaluation = root;
        if (step) step(*this);
    }

    int evaluations = 0;
    size_t stackSizeAtEvaluation = 0;
    AstNode* rootAtEvaluation = nullptr;
    std::function<void(ProbeParser&)> step;
};

// Input, scanner and parser of one compile, side by side as the compile driver keeps
// them. Input is any ScannerInput that the test has prepared.
template <class Input>
struct ProbeCompile {
    template <class... Args>
    explicit ProbeCompile(Args&&... args) : input(std::forward<Args>(args)...), scanner(&input), parser(&scanner) {
        scanner.mode = ScannerMode::gcode;
    }

    Input input;
    Scanner scanner;
    ProbeParser parser;
};

using StringCompile = ProbeCompile<StringInput>;

} // namespace Karsto
