#include "host/platform/registry_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>
#include <system_error>
#include <vector>

#include "host/platform/posix_file.h"
#include "host/platform/state_directory.h"

namespace Karsto {

namespace {

constexpr const char* kHive = "HKLM";
constexpr const char* kValueSuffix = ".val";
constexpr size_t kTypeBytes = 4;

RegistryStatus statusOfErrno(int error) {
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        return RegistryStatus::notFound;
    case EACCES:
    case EPERM:
        return RegistryStatus::accessDenied;
    default:
        return RegistryStatus::failure;
    }
}

RegistryStatus statusOf(const std::error_code& error) {
    return error.category() == std::generic_category() || error.category() == std::system_category()
               ? statusOfErrno(error.value())
               : RegistryStatus::failure;
}

// A value name becomes one file name: no '/' and no NUL in it.
bool validValueName(const std::string& name) {
    return name.find('/') == std::string::npos && name.find('\0') == std::string::npos;
}

// A descriptor closed on every way out.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }
    // Closes now and reports whether the close succeeded (a late write error shows here).
    bool close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

// Reads exactly size bytes from offset; false on an error or a short file.
bool readAll(int fd, unsigned char* data, size_t size, off_t offset) {
    while (size > 0) {
        const ssize_t n = ::pread(fd, data, size, offset);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<size_t>(n);
        offset += n;
    }
    return true;
}

} // namespace

// ---- keys ----------------------------------------------------------------------------

RegistryStatus RegistryKey::queryValue(const std::string& name, uint32_t& type,
                                       std::span<unsigned char> data, uint32_t& size) const {
    if (!open_ || !validValueName(name)) return RegistryStatus::failure;
    const std::filesystem::path file = directory_ / (name + kValueSuffix);
    FileDescriptor fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) return statusOfErrno(errno);
    struct stat info{};
    if (::fstat(fd.get(), &info) != 0) return statusOfErrno(errno);
    if (!S_ISREG(info.st_mode) || info.st_size < static_cast<off_t>(kTypeBytes) ||
        info.st_size - static_cast<off_t>(kTypeBytes) > static_cast<off_t>(UINT32_MAX))
        return RegistryStatus::failure; // not a value this store wrote
    unsigned char header[kTypeBytes];
    if (!readAll(fd.get(), header, kTypeBytes, 0)) return RegistryStatus::failure;
    const auto length = static_cast<uint32_t>(info.st_size - static_cast<off_t>(kTypeBytes));
    type = static_cast<uint32_t>(header[0]) | static_cast<uint32_t>(header[1]) << 8 |
           static_cast<uint32_t>(header[2]) << 16 | static_cast<uint32_t>(header[3]) << 24;
    size = length;
    if (length > data.size()) return RegistryStatus::moreData;
    if (!readAll(fd.get(), data.data(), length, static_cast<off_t>(kTypeBytes)))
        return RegistryStatus::failure;
    return RegistryStatus::success;
}

RegistryStatus RegistryKey::setValue(const std::string& name, uint32_t type,
                                     std::span<const unsigned char> data) {
    if (!open_ || !validValueName(name)) return RegistryStatus::failure;
    // The temporary name has no ".val" ending, so it is never taken for a value.
    std::string pattern = (directory_ / ("." + name + ".XXXXXX")).string();
    FileDescriptor fd(::mkstemp(pattern.data()));
    if (fd.get() < 0) return statusOfErrno(errno);
    const unsigned char header[kTypeBytes] = {
        static_cast<unsigned char>(type), static_cast<unsigned char>(type >> 8),
        static_cast<unsigned char>(type >> 16), static_cast<unsigned char>(type >> 24)};
    bool written = writeAll(fd.get(), header, kTypeBytes) &&
                   writeAll(fd.get(), data.data(), data.size()) && ::fsync(fd.get()) == 0;
    int error = errno;
    if (written && !fd.close()) {
        written = false;
        error = errno;
    }
    if (written) {
        const std::filesystem::path file = directory_ / (name + kValueSuffix);
        if (::rename(pattern.c_str(), file.c_str()) == 0) return RegistryStatus::success;
        error = errno;
    }
    ::unlink(pattern.c_str());
    return statusOfErrno(error);
}

RegistryStatus RegistryKey::close() {
    if (!open_) return RegistryStatus::failure;
    open_ = false;
    return RegistryStatus::success;
}

// ---- the store -----------------------------------------------------------------------

RegistryStore RegistryStore::fromEnvironment() {
    // An empty root makes every operation fail.
    return RegistryStore(stateDirectory("VORDASH_REGISTRY_DIR", "registry"));
}

RegistryStatus RegistryStore::keyDirectory(const std::string& path,
                                           std::filesystem::path& directory) const {
    if (root_.empty()) return RegistryStatus::failure;
    directory = root_ / kHive;
    std::string_view rest = path;
    while (true) {
        const size_t cut = rest.find('\\');
        const std::string_view part = rest.substr(0, cut);
        if (part.empty() || part == "." || part == ".." ||
            part.find_first_of(std::string_view("/\0", 2)) != std::string_view::npos)
            return RegistryStatus::failure;
        directory /= std::string(part);
        if (cut == std::string_view::npos) return RegistryStatus::success;
        rest.remove_prefix(cut + 1);
    }
}

RegistryStatus RegistryStore::openKey(const std::string& path, RegistryKey& key) const {
    std::filesystem::path directory;
    if (RegistryStatus status = keyDirectory(path, directory); status != RegistryStatus::success)
        return status;
    struct stat info{};
    if (::stat(directory.c_str(), &info) != 0) return statusOfErrno(errno);
    if (!S_ISDIR(info.st_mode)) return RegistryStatus::notFound;
    key = RegistryKey(directory);
    return RegistryStatus::success;
}

RegistryStatus RegistryStore::createKey(const std::string& path, RegistryKey& key) const {
    std::filesystem::path directory;
    if (RegistryStatus status = keyDirectory(path, directory); status != RegistryStatus::success)
        return status;
    std::error_code error;
    std::filesystem::create_directories(directory, error);
    if (error) return statusOf(error) == RegistryStatus::accessDenied ? RegistryStatus::accessDenied
                                                                      : RegistryStatus::failure;
    if (!std::filesystem::is_directory(directory, error)) return RegistryStatus::failure;
    key = RegistryKey(directory);
    return RegistryStatus::success;
}

RegistryStatus RegistryStore::deleteKey(const std::string& path) const {
    std::filesystem::path directory;
    if (RegistryStatus status = keyDirectory(path, directory); status != RegistryStatus::success)
        return status;
    struct stat info{};
    if (::lstat(directory.c_str(), &info) != 0) return statusOfErrno(errno);
    if (!S_ISDIR(info.st_mode)) return RegistryStatus::notFound;
    std::error_code error;
    std::vector<std::filesystem::path> files;
    for (std::filesystem::directory_iterator it(directory, error), end; !error && it != end;
         it.increment(error)) {
        if (it->is_directory(error)) return RegistryStatus::accessDenied; // a subkey
        files.push_back(it->path());
    }
    if (error) return statusOf(error);
    for (const std::filesystem::path& file : files) // the values and stray temporaries
        if (::unlink(file.c_str()) != 0 && errno != ENOENT) return statusOfErrno(errno);
    if (::rmdir(directory.c_str()) != 0) return statusOfErrno(errno);
    return RegistryStatus::success;
}

} // namespace Karsto
