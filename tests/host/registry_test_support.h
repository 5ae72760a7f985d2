#pragma once
// A registry store of its own for each test: a fresh temporary directory that
// VORDASH_REGISTRY_DIR names while the test runs, removed afterwards.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "support/scoped_env.h"

namespace Karsto::test {

class RegistryTest : public ::testing::Test {
protected:
    RegistryTest() : root_(makeRoot()), env_("VORDASH_REGISTRY_DIR", root_.c_str()) {}
    ~RegistryTest() override {
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }

    const std::filesystem::path& root() const { return root_; }
    // The directory of a key below the local machine hive, parts separated by '/'.
    std::filesystem::path keyDir(const std::string& parts) const { return root_ / "HKLM" / parts; }

    // The file names in a directory, sorted.
    static std::vector<std::string> filesIn(const std::filesystem::path& dir) {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    static std::string bytesOf(const std::filesystem::path& file) {
        std::ifstream in(file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    // A value file as the store writes it: the type in 4 bytes little-endian, the data.
    static std::string valueFile(uint32_t type, const std::string& data) {
        std::string bytes;
        for (int shift = 0; shift < 32; shift += 8) bytes += static_cast<char>((type >> shift) & 0xFF);
        return bytes + data;
    }

private:
    static std::filesystem::path makeRoot() {
        std::string pattern = (std::filesystem::temp_directory_path() / "vordash-registry-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) ADD_FAILURE() << "mkdtemp failed";
        return pattern;
    }

    std::filesystem::path root_;
    ScopedEnv env_;
};

} // namespace Karsto::test
