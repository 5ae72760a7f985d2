#include "core/source_span.h"

namespace Karsto {

std::string SourceSpan::toString() const {
    if (!valid) return "?";
    std::string text;
    text.reserve(begin.file.size() + end.file.size() + 32);
    text += begin.file.str();
    text += ": ";
    text += std::to_string(begin.line);
    text += '.';
    text += std::to_string(begin.column);
    text += '-';
    if (end.file != begin.file) { // byte-wise, lengths included
        text += end.file.str();
        text += ": ";
    }
    text += std::to_string(end.line);
    text += '.';
    text += std::to_string(end.column);
    return text;
}

} // namespace Karsto
