#include "core/exception.h"

#include <cstdarg>
#include <cstdio>

#include "core/log.h"

namespace Karsto {

namespace {

// Each throwing helper formats into its own bounded buffer; messages longer than
// 1023 characters are cut.
constexpr size_t kMessageBufferSize = 1024;

// Each exception class gets its own instantiation and so its own buffer.
template <class E>
[[noreturn, gnu::format(printf, 1, 0)]] void throwFormatted(const char* format, va_list args) {
    thread_local char buffer[kMessageBufferSize];
    if (vsnprintf(buffer, kMessageBufferSize, format, args) < 0) buffer[0] = '\0';
    throw E(std::string(buffer), SourceSpan());
}

// Ends the argument list also when the throw unwinds past it.
struct ArgumentList {
    va_list list;
    ~ArgumentList() { va_end(list); }
};

} // namespace

ExceptionKarsto::ExceptionKarsto(std::string message, const SourceSpan& span)
    : message_(std::move(message)) {
    setSpan(span);
}

void ExceptionKarsto::setSpan(const SourceSpan& span) {
    span_ = span;
    whatText_ = span_.toString();
    whatText_ += ": ";
    whatText_ += message_;
}

ExceptionKarsto* ExceptionSyntax::clone() const { return new ExceptionSyntax(*this); }
ExceptionKarsto* ExceptionSemantic::clone() const { return new ExceptionSemantic(*this); }
ExceptionKarsto* ExceptionRuntime::clone() const { return new ExceptionRuntime(*this); }

#define KARSTO_CHECK_HELPERS(kind)                                                                  \
    void check##kind(bool condition, const char* format, ...) {                                    \
        if (condition) return;                                                                     \
        ArgumentList args;                                                                         \
        va_start(args.list, format);                                                               \
        throwFormatted<Exception##kind>(format, args.list);                                        \
    }                                                                                              \
    void fail##kind(const char* format, ...) {                                                     \
        ArgumentList args;                                                                         \
        va_start(args.list, format);                                                               \
        throwFormatted<Exception##kind>(format, args.list);                                        \
    }
KARSTO_CHECK_HELPERS(Syntax)
KARSTO_CHECK_HELPERS(Semantic)
KARSTO_CHECK_HELPERS(Runtime)
#undef KARSTO_CHECK_HELPERS

void checkWarning(bool condition, const char* format, ...) {
    if (condition) return;
    va_list args;
    va_start(args, format);
    globalLog.write(static_cast<int32_t>(LogLevel::warning), format, args);
    va_end(args);
}

} // namespace Karsto
