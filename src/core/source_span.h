#pragma once
// A point in a source text and a stretch between two such points. Both are plain
// values: every holder (instruction, token, exception, NC command) owns its copy. The
// file name is shared between copies, since spans are copied far more often than made.

#include <cstdint>
#include <string>

#include "core/shared_string.h"

namespace Karsto {

struct SourcePosition {
    SharedString file;       // name as requested (main path, dir + quoted name, or <name>)
    int32_t line = 0;        // from 1
    int32_t column = 0;      // from 1, counts bytes; a tab is one
    int32_t offset = 0;      // byte offset in that file's (unscrambled) text
    int32_t inputOffset = 0; // byte offset in the include-expanded input text
    bool scrambled = false;  // the file was a scrambled source: never show its text
};

class SourceSpan {
public:
    SourceSpan() = default;
    SourceSpan(const SourcePosition& from, const SourcePosition& to)
        : valid(true), begin(from), end(to) {}

    // "?" when not valid; else "file: l.c-l.c", the end file named only when it differs.
    std::string toString() const;

    bool valid = false;
    SourcePosition begin;
    SourcePosition end;
};

} // namespace Karsto
