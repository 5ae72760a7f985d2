#pragma once
// A fresh directory for the tool-data files of one test, removed afterwards, and the
// texts of tool-data files.

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

namespace Karsto::test {

class ToolDir {
public:
    ToolDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "vdtoolXXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) ADD_FAILURE() << "mkdtemp failed";
        root_ = pattern;
    }
    ~ToolDir() {
        std::error_code error;
        std::filesystem::remove_all(root_, error);
    }
    ToolDir(const ToolDir&) = delete;
    ToolDir& operator=(const ToolDir&) = delete;

    std::string path(const std::string& name) const { return (root_ / name).string(); }

    std::string write(const std::string& name, std::string_view content) const {
        std::ofstream out(root_ / name, std::ios::binary);
        out.write(content.data(), static_cast<std::streamsize>(content.size()));
        return path(name);
    }

    static std::string read(const std::string& file) {
        std::ifstream in(file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    const std::filesystem::path& root() const { return root_; }

private:
    std::filesystem::path root_;
};

// The line of a zero tool.
inline constexpr std::string_view kZeroToolLine = "0;0;0;0;0;0;0;0;0;0;0;0;0;0;0;0;\n";

// lines zero-tool lines, with the given lines replacing some (1-based, already ended).
template <class Map>
std::string toolFile(int lines, const Map& replaced) {
    std::string text;
    for (int n = 1; n <= lines; ++n) {
        auto found = replaced.find(n);
        text += found != replaced.end() ? std::string(found->second) : std::string(kZeroToolLine);
    }
    return text;
}

} // namespace Karsto::test
