#include "gcode/tool_table.h"

#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <locale>
#include <string_view>
#include <type_traits>

#include "core/exception.h"
#include "core/host_path.h"

namespace Karsto {

namespace {

constexpr int32_t kFields = 2 + ToolEntry::kParams;

// Indexes are checked as unsigned, so 0 and negative values fail alike.
bool inRange(int value, int32_t last) {
    return static_cast<uint32_t>(value) - 1u < static_cast<uint32_t>(last);
}

void checkToolIndex(int i) {
    checkRuntime(inRange(i, ToolTable::kTools),
                 "Invalid tool-index %d. Should be in range 1 to %d.", i, ToolTable::kTools);
}

void checkParamIndex(int p) {
    checkRuntime(inRange(p, ToolEntry::kParams),
                 "Invalid parameter-index %d. Should be in range 1 to %d.", p, ToolEntry::kParams);
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

enum class FieldParse {
    whole,    // the value is stored and took the whole field
    trailing, // the value is stored, but characters follow it
    failed,   // no number, or one out of range: nothing is stored
};

// A decimal number with leading blanks and an optional sign, independent of the locale.
template <class T>
FieldParse parseField(std::string_view field, T& value) {
    size_t start = 0;
    while (start < field.size() && isBlank(field[start])) ++start;
    // from_chars takes no '+'; a second sign after it must still fail.
    if (start + 1 < field.size() && field[start] == '+' && field[start + 1] != '-' &&
        field[start + 1] != '+')
        ++start;
    const char* first = field.data() + start;
    const char* last = field.data() + field.size();
    T parsed{};
    std::from_chars_result result;
    if constexpr (std::is_floating_point_v<T>)
        result = std::from_chars(first, last, parsed, std::chars_format::general);
    else
        result = std::from_chars(first, last, parsed, 10);
    if (result.ec != std::errc()) return FieldParse::failed;
    value = parsed;
    return result.ptr == last ? FieldParse::whole : FieldParse::trailing;
}

template <class T>
void convertField(std::string_view field, T& value, int32_t column, int32_t lineNumber,
                  const std::string& fileName) {
    checkRuntime(parseField(field, value) == FieldParse::whole,
                 "Invalid character in file '%s' in column '%d', Line '%d'.", fileName.c_str(),
                 column, lineNumber);
}

} // namespace

const ToolEntry& ToolTable::entry(int i) const {
    checkToolIndex(i);
    return entries_[static_cast<size_t>(i - 1)];
}

ToolEntry& ToolTable::entry(int i) {
    checkToolIndex(i);
    return entries_[static_cast<size_t>(i - 1)];
}

double ToolTable::param(int i, int p) const {
    const ToolEntry& tool = entry(i);
    checkParamIndex(p);
    return tool.param[static_cast<size_t>(p - 1)];
}

void ToolTable::setParam(int i, int p, double value) {
    ToolEntry& tool = entry(i);
    checkParamIndex(p);
    tool.param[static_cast<size_t>(p - 1)] = value;
}

void ToolTable::load(const std::string& fileName) {
    std::ifstream in(hostPath(fileName));
    if (!in.is_open()) return;
    read(in, fileName);
}

void ToolTable::read(std::istream& in, const std::string& fileName) {
    std::string line;
    for (int32_t n = 1; n <= kTools; ++n) {
        // Once a read fails every later one fails too: the missing tools become zero.
        if (!std::getline(in, line)) {
            entries_[static_cast<size_t>(n - 1)] = ToolEntry();
            continue;
        }
        readLine(line, n, fileName);
    }
    // Fails for a short file and for a last line without its line end.
    checkRuntime(in.good(), "Error reading file '%s'", fileName.c_str());
}

void ToolTable::readLine(const std::string& line, int32_t lineNumber, const std::string& fileName) {
    // Each ';' ends a field; whatever follows the last one (a carriage return) is no field.
    std::array<std::string_view, kFields> fields;
    int32_t count = 0;
    size_t start = 0;
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] != ';') continue;
        if (count < kFields)
            fields[static_cast<size_t>(count)] = std::string_view(line).substr(start, i - start);
        if (count < INT32_MAX) ++count; // saturates: a gigabyte line of ";" must not overflow it
        start = i + 1;
    }
    static_assert(kFields == 16, "the message names the column count");
    checkRuntime(count == kFields,
                 "Invalid number of columns in file '%s', line '%d'. Expected 16 columns, but %d are "
                 "defined.",
                 fileName.c_str(), lineNumber, count);

    ToolEntry& tool = entries_[static_cast<size_t>(lineNumber - 1)];
    convertField(fields[0], tool.number, 1, lineNumber, fileName);
    convertField(fields[1], tool.toolType, 2, lineNumber, fileName);
    for (int32_t k = 1; k <= ToolEntry::kParams; ++k)
        convertField(fields[static_cast<size_t>(k + 1)], tool.param[static_cast<size_t>(k - 1)],
                     k + 2, lineNumber, fileName);
}

void ToolTable::save(const std::string& fileName) const {
    const std::string temporary = fileName + ".tmp";
    {
        std::ofstream out(hostPath(temporary), std::ios::out | std::ios::trunc);
        // The stream's default notation (six significant digits), never a locale's.
        out.imbue(std::locale::classic());
        for (const ToolEntry& tool : entries_) {
            out << tool.number << ';' << tool.toolType << ';';
            for (double value : tool.param) out << value << ';';
            out << '\n';
        }
        out.flush();
        out.close();
        // A temporary file that could not be opened fails here too.
        checkRuntime(!out.fail(), "Error writing file '%s'", fileName.c_str());
    }
    if (std::rename(hostPath(temporary).c_str(), hostPath(fileName).c_str()) != 0) {
        const int error = errno;
        failRuntime("Error replacing file '%s': %s", fileName.c_str(), std::strerror(error));
    }
}

} // namespace Karsto
