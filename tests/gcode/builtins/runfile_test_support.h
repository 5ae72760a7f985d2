#pragma once
// The text of run files for the tests of the run-file reader and the runfile built-in;
// tests write them into a SourceDir, the one include search path while it lives.

#include <string>

namespace Karsto::test {

// count lines "G1 X<i>"; the last one ended by a line end when lastEnded.
inline std::string runfileLines(int count, bool lastEnded = true) {
    std::string text;
    for (int i = 0; i < count; ++i) {
        text += "G1 X" + std::to_string(i);
        if (i + 1 < count || lastEnded) text += '\n';
    }
    return text;
}

} // namespace Karsto::test
