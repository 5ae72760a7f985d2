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
