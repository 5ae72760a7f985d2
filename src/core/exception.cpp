#include "core/exception.h"

#include <cstdarg>
#include <cstdio>

#include "core/log.h"

namespace Karsto {

namespace {

// Each throwing helper formats into its own bounded buffer; messages longer than
// 1023 characters are cut.
constexpr size_t kMessageBufferSize = 1024;

std::string formatBounded(char* buffer, const char* format, va_list args) {
    int n = vsnprintf(buffer, kMessageBufferSize, format, args);
    if (n < 0) buffer[0] = '\0';
    return std::string(buffer);
}

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

void checkSyntax(bool condition, const char* format, ...) {
    if (condition) return;
    thread_local char buffer[kMessageBufferSize];
    va_list args;
    va_start(args, format);
    std::string message = formatBounded(buffer, format, args);
    va_end(args);
    throw ExceptionSyntax(std::move(message), SourceSpan());
}

void checkSemantic(bool condition, const char* format, ...) {
    if (condition) return;
    thread_local char buffer[kMessageBufferSize];
    va_list args;
    va_start(args, format);
    std::string message = formatBounded(buffer, format, args);
    va_end(args);
    throw ExceptionSemantic(std::move(message), SourceSpan());
}

void checkRuntime(bool condition, const char* format, ...) {
    if (condition) return;
    thread_local char buffer[kMessageBufferSize];
    va_list args;
    va_start(args, format);
    std::string message = formatBounded(buffer, format, args);
    va_end(args);
    throw ExceptionRuntime(std::move(message), SourceSpan());
}

void checkWarning(bool condition, const char* format, ...) {
    if (condition) return;
    va_list args;
    va_start(args, format);
    globalLog.write(static_cast<int32_t>(LogLevel::warning), format, args);
    va_end(args);
}

} // namespace Karsto
