#pragma once
// The program's errors: syntax (input), semantic (compile time), runtime (running code).
// Only this class composes "span text: message"; raise sites hold the message texts.

#include <exception>
#include <string>

#include "core/source_span.h"

namespace Karsto {

class ExceptionKarsto : public std::exception {
public:
    ExceptionKarsto(std::string message, const SourceSpan& span);
    ExceptionKarsto(const ExceptionKarsto&) = default;
    ExceptionKarsto(ExceptionKarsto&&) = default;
    ExceptionKarsto& operator=(const ExceptionKarsto&) = default;
    ExceptionKarsto& operator=(ExceptionKarsto&&) = default;
    ~ExceptionKarsto() override = default;

    const char* what() const noexcept override { return whatText_.c_str(); }
    // A heap copy of the same most-derived class; the caller owns it.
    virtual ExceptionKarsto* clone() const = 0;

    // Attaches the place of the error and rebuilds the text from it.
    void setSpan(const SourceSpan& span);
    const SourceSpan& span() const { return span_; }
    std::string message() const { return message_; }

private:
    SourceSpan span_;
    std::string message_;
    std::string whatText_;
};

class ExceptionSyntax : public ExceptionKarsto {
public:
    using ExceptionKarsto::ExceptionKarsto;
    ExceptionKarsto* clone() const override;
};

class ExceptionSemantic : public ExceptionKarsto {
public:
    using ExceptionKarsto::ExceptionKarsto;
    ExceptionKarsto* clone() const override;
};

class ExceptionRuntime : public ExceptionKarsto {
public:
    using ExceptionKarsto::ExceptionKarsto;
    ExceptionKarsto* clone() const override;
};

// Raise-site helpers: state the condition that must hold; on false they format the
// message (cut to 1023 characters) and throw without a span. The arguments are built
// before the call: where building one costs (a toString(), a concatenation) and the
// check runs on a good path, test the condition and call the fail helper instead.
[[gnu::format(printf, 2, 3)]] void checkSyntax(bool condition, const char* format, ...);
[[gnu::format(printf, 2, 3)]] void checkSemantic(bool condition, const char* format, ...);
[[gnu::format(printf, 2, 3)]] void checkRuntime(bool condition, const char* format, ...);
// The same without a condition: format the message and throw.
[[noreturn, gnu::format(printf, 1, 2)]] void failSyntax(const char* format, ...);
[[noreturn, gnu::format(printf, 1, 2)]] void failSemantic(const char* format, ...);
[[noreturn, gnu::format(printf, 1, 2)]] void failRuntime(const char* format, ...);
// Writes a warning line to the log instead of throwing; the text is not cut.
[[gnu::format(printf, 2, 3)]] void checkWarning(bool condition, const char* format, ...);

} // namespace Karsto
