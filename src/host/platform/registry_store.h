#pragma once
// A small registry of our own for the program's parameters: keys under the local
// machine hive with named values of a type and raw bytes, answering with the Windows
// error numbers that callers log.
//
// On disk: a root directory (VORDASH_REGISTRY_DIR, else $XDG_STATE_HOME/vordash/registry,
// else ~/.local/state/vordash/registry) holds the hive directory "HKLM"; a key path is
// split at '\' into subdirectories; each value is a file "<name>.val" holding the type as
// 4 bytes little-endian and then the data. A value is written to a temporary file and
// renamed into place, so a reader sees the old value or the new one, never a mix.

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

namespace Karsto {

// The error numbers of the registry functions, as logged ("Error opening registry key (2)").
enum class RegistryStatus : int32_t {
    success = 0,
    notFound = 2,      // no such key or value
    accessDenied = 5,  // no permission, or a key to delete still has subkeys
    failure = 31,      // any other failure, also a malformed key path or value name
    moreData = 234,    // the value is longer than the caller's buffer
};

// Value types; only the string type is written by the program, any type is read.
enum class RegistryType : uint32_t {
    string = 1, // text and its terminating NUL
};

// An open key. It holds no system resource between calls; close reports its status as
// the registry's close does and makes the key unusable.
class RegistryKey {
public:
    RegistryKey() = default;
    RegistryKey(RegistryKey&&) = default;
    RegistryKey& operator=(RegistryKey&&) = default;
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    bool isOpen() const { return open_; }

    // Reads a value into data. On success size is the number of bytes stored; when the
    // value is longer than data, moreData with size set to the value's length and data
    // unchanged. type receives the value's type on success and on moreData.
    RegistryStatus queryValue(const std::string& name, uint32_t& type,
                              std::span<unsigned char> data, uint32_t& size) const;
    // Writes a value, replacing one of the same name.
    RegistryStatus setValue(const std::string& name, uint32_t type,
                            std::span<const unsigned char> data);
    // Both fail with failure when the key is not open.
    RegistryStatus close();

private:
    friend class RegistryStore;
    explicit RegistryKey(std::filesystem::path directory)
        : directory_(std::move(directory)), open_(true) {}

    std::filesystem::path directory_;
    bool open_ = false;
};

// The store below one root directory. Key paths are relative to the local machine hive.
class RegistryStore {
public:
    explicit RegistryStore(std::filesystem::path root) : root_(std::move(root)) {}

    // The store at the root the environment names (see the top of this file).
    static RegistryStore fromEnvironment();

    const std::filesystem::path& root() const { return root_; }

    // Opens an existing key for reading; notFound when it does not exist.
    RegistryStatus openKey(const std::string& path, RegistryKey& key) const;
    // Opens the key with read and write access, creating it and every missing key above
    // it; keys are stored persistently.
    RegistryStatus createKey(const std::string& path, RegistryKey& key) const;
    // Deletes a key and its values: notFound when it does not exist, accessDenied when it
    // has subkeys. The keys above it stay.
    RegistryStatus deleteKey(const std::string& path) const;

private:
    // The key's directory, or failure for a path with an empty, "." or ".." part or a '/'.
    RegistryStatus keyDirectory(const std::string& path, std::filesystem::path& directory) const;

    std::filesystem::path root_;
};

} // namespace Karsto
