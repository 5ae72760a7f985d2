#pragma once
// The sources the front-end benchmarks read: G-code lines and Structured Text mixed as
// in a part program, or G-code alone; grammatical, so that scanner and parser figures
// compare. Written once per benchmark run to a temporary file that goes at exit.

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <utility>

namespace Karsto {

inline std::string mixedSource(int blocks) {
    std::string source;
    for (int i = 0; i < blocks; ++i) {
        std::string n = std::to_string(i);
        source += "N" + n + " G1 X" + n + ".5 Y-" + std::to_string(i % 100) + ".25 F1000 (feed move)\n";
        source += "{ FOR k := 1 TO 10 DO r1 := r1 + 1.5e3 * SIN(r2); END_FOR; }\n";
        source += "!IF r1 > 16#FF THEN r2 := 0; ELSIF r1 < -1 THEN r2 := r1 MOD 3; END_IF; // reset\n";
        source += "G2 X{r1*2} Y{r2} I.5 J-.5\n";
        source += "{ txt := 'text $'quoted$''; dur := T#1h2m3s; (* note (* nested *) *) }\n";
        source += "/1 N" + n + " G0 Z=r1 + 2 M3\n";
    }
    return source;
}

// A whole part program that compiles without error: globals, then per block a VAR
// block of its own, G-code blocks with "=" expressions, a loop, branches, and calls of
// the selection, string and date built-ins over strings and numbers.
inline std::string partProgram(int blocks) {
    std::string source =
        "{VAR total : LREAL; txt : STRING[40]; k, n, yy, mo, dd : INT; day : DATE; END_VAR}\n";
    for (int i = 0; i < blocks; ++i) {
        const std::string n = std::to_string(i);
        source += "{VAR v" + n + " : LREAL := " + n + ".5; s" + n + " : STRING[16] := 'P" + n +
                  "'; END_VAR}\n";
        source += "N" + n + " G1 X" + n + ".5 Y-" + std::to_string(i % 100) + ".25 F1000 (feed move)\n";
        source += "{ FOR k := 1 TO 10 DO total := total + max(v" + n +
                  ", SIN(total)) * limit(n, k, 5); END_FOR; }\n";
        source += "{ txt := concat(left(s" + n + ", 2), '-', tostring(k)); n := len(txt) + mux(k MOD 3, 1, 2, 3); }\n";
        source += "!IF sel(n > 4, total, -total) > 16#FF THEN total := 0; ELSE total := total + 1; END_IF;\n";
        source += "{ day := concat_date(2024, 1 + k MOD 12, 1); split_date(day, yy, mo, dd); }\n";
        source += "/1 G0 X=total Y=n Z{mo + len(right(s" + n + ", 1))}\n";
    }
    return source;
}

// G-code only, as a CAM system writes it: linear and circular moves with coordinates,
// arc centres and feeds, one block per line.
inline std::string gcodeSource(int blocks) {
    std::string source;
    for (int i = 0; i < blocks; ++i) {
        std::string x = std::to_string(i % 500) + "." + std::to_string(i % 1000);
        std::string y = std::to_string(i % 300) + ".25";
        switch (i % 3) {
        case 0: source += "G1 X" + x + " Y" + y + " Z-1.5 F1200\n"; break;
        case 1: source += "G2 X" + x + " Y-" + y + " I2.5 J-1.25 F800\n"; break;
        default: source += "G3 X" + y + " Y" + x + " I-2.5 J1.25\n"; break;
        }
    }
    return source;
}

class MixedSourceFile {
public:
    MixedSourceFile(const std::string& stem, int blocks) : MixedSourceFile(stem, mixedSource(blocks)) {}
    MixedSourceFile(const std::string& stem, std::string text)
        : text_(std::move(text)),
          path_((std::filesystem::temp_directory_path() /
                 ("vordash_" + stem + "_" + std::to_string(::getpid()) + ".jyx"))
                    .string()) {
        std::ofstream out(path_, std::ios::binary);
        out << text_;
    }
    ~MixedSourceFile() { std::filesystem::remove(path_); }
    MixedSourceFile(const MixedSourceFile&) = delete;
    MixedSourceFile& operator=(const MixedSourceFile&) = delete;

    const std::string& path() const { return path_; }
    const std::string& text() const { return text_; }

private:
    std::string text_;
    std::string path_;
};

} // namespace Karsto
