#pragma once
// Standard output of the test process captured into a scratch file, for tests of what
// a program prints.

#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <string>

namespace Karsto::test {

// Redirects the process's standard output into a scratch file while it lives.
class StdoutCapture {
public:
    StdoutCapture() {
        std::fflush(stdout);
        std::cout.flush();
        file_ = std::tmpfile();
        saved_ = ::dup(STDOUT_FILENO);
        if (file_ != nullptr && saved_ >= 0) ::dup2(::fileno(file_), STDOUT_FILENO);
    }
    ~StdoutCapture() { restore(); }
    StdoutCapture(const StdoutCapture&) = delete;
    StdoutCapture& operator=(const StdoutCapture&) = delete;

    // Flushes, restores standard output and returns what was written meanwhile.
    std::string finish() {
        std::fflush(stdout);
        std::cout.flush();
        restore();
        std::string text;
        if (file_ == nullptr) return text;
        std::rewind(file_);
        char buffer[4096];
        size_t n = 0;
        while ((n = std::fread(buffer, 1, sizeof buffer, file_)) > 0) text.append(buffer, n);
        std::fclose(file_);
        file_ = nullptr;
        return text;
    }

private:
    void restore() {
        if (saved_ < 0) return;
        ::dup2(saved_, STDOUT_FILENO);
        ::close(saved_);
        saved_ = -1;
    }

    std::FILE* file_ = nullptr;
    int saved_ = -1;
};

} // namespace Karsto::test
