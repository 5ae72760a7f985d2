#pragma once
// A channel's tool table: 255 tools addressed by the tool index 1 to 255, and the text
// file it is loaded from and saved to. Every access checks its indexes.

#include <array>
#include <cstdint>
#include <istream>
#include <string>

namespace Karsto {

// The tool types a tool can be selected with (the values of the NC enumeration tooltype).
enum class ToolType : int32_t {
    none = 0,
    drill = 10,
    mill = 20,
};

// Parameters with a meaning here (lengths in mm); the others are carried along.
enum class ToolParam : int32_t {
    length = 1,
    radius = 3,
    lengthAdd = 4,
    radiusAdd = 6,
    offsetX = 7,
    offsetY = 8,
    offsetZ = 9,
};

struct ToolEntry {
    static constexpr int32_t kParams = 14;

    int32_t number = 0; // sent as the T function when the tool is selected
    int32_t toolType = 0;
    std::array<double, kParams> param{}; // parameter p is param[p - 1]

    bool operator==(const ToolEntry&) const = default;
};

class ToolTable {
public:
    static constexpr int32_t kTools = 255;

    // Index checks: "Invalid tool-index %d. Should be in range 1 to %d." for a tool index
    // outside 1..255, then "Invalid parameter-index %d. Should be in range 1 to %d." for a
    // parameter outside 1..14; both before anything is read or written.
    int32_t number(int i) const { return entry(i).number; }
    int32_t toolType(int i) const { return entry(i).toolType; }
    double param(int i, int p) const;
    double param(int i, ToolParam p) const { return param(i, static_cast<int>(p)); }
    void setNumber(int i, int32_t value) { entry(i).number = value; }
    void setToolType(int i, int32_t value) { entry(i).toolType = value; }
    void setParam(int i, int p, double value);
    const ToolEntry& entry(int i) const;
    ToolEntry& entry(int i);

    // Reads 255 lines of 16 ';'-ended fields (number, type, parameters 1 to 14). A file
    // that cannot be opened changes nothing. On a bad line the entries before it are
    // loaded, the bad one holds what was converted before the error, later ones stay;
    // lines missing at the end become zero tools before "Error reading file '%s'".
    void load(const std::string& fileName);
    // load on an open stream; fileName only names it in messages.
    void read(std::istream& in, const std::string& fileName);
    // Writes "<fileName>.tmp" and renames it over fileName, so the target is either the
    // old file or the complete new one.
    void save(const std::string& fileName) const;

private:
    void readLine(const std::string& line, int32_t lineNumber, const std::string& fileName);

    std::array<ToolEntry, kTools> entries_{};
};

} // namespace Karsto
