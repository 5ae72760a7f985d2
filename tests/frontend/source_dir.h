#pragma once
// A fresh directory for the source files of one test, installed as the only include
// search path (with its trailing '/'); the previous search paths come back afterwards.

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "frontend/scanner_input.h"

namespace Karsto {

class SourceDir {
public:
    SourceDir() : saved_(includeSearchPaths) {
        static int counter = 0;
        root_ = std::filesystem::temp_directory_path() /
                ("vordash_frontend_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
        std::filesystem::remove_all(root_);
        std::filesystem::create_directories(root_);
        includeSearchPaths = {path()};
    }
    ~SourceDir() {
        includeSearchPaths = saved_;
        std::error_code error;
        std::filesystem::remove_all(root_, error);
    }
    SourceDir(const SourceDir&) = delete;
    SourceDir& operator=(const SourceDir&) = delete;

    // The directory with a trailing '/', as a search-path entry and a name prefix.
    std::string path() const { return root_.string() + "/"; }

    void write(const std::string& name, std::string_view content) const {
        std::ofstream out(root_ / name, std::ios::binary);
        out.write(content.data(), static_cast<std::streamsize>(content.size()));
    }

private:
    std::vector<std::string> saved_;
    std::filesystem::path root_;
};

} // namespace Karsto
