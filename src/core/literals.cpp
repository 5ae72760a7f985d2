#include "core/literals.h"

#include <array>
#include <cstddef>
#include <cerrno>
#include <cstdlib>
#include <stdexcept>
#include <string_view>

#include "core/calendar_time.h"
#include "core/exception.h"
#include "core/type.h"

namespace Karsto {

namespace {

std::string withoutUnderscores(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text)
        if (c != '_') out += c;
    return out;
}

bool isDecimalDigit(char c) { return c >= '0' && c <= '9'; }

int hexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// ---- typed literals -------------------------------------------------------------

enum class TimeLiteralForm { duration, date, timeOfDay, dateAndTime };

struct TypedLiteralPrefix {
    std::string_view prefix;
    TypeSimple* const* type; // the elementary global, which exists only at run time
    TimeLiteralForm form;
};

constexpr std::array<TypedLiteralPrefix, 16> kTypedLiteralPrefixes = {{
    {"time", &typeTime, TimeLiteralForm::duration},
    {"t", &typeTime, TimeLiteralForm::duration},
    {"ltime", &typeLtime, TimeLiteralForm::duration},
    {"lt", &typeLtime, TimeLiteralForm::duration},
    {"date", &typeDate, TimeLiteralForm::date},
    {"d", &typeDate, TimeLiteralForm::date},
    {"ldate", &typeLdate, TimeLiteralForm::date},
    {"ld", &typeLdate, TimeLiteralForm::date},
    {"time_of_day", &typeTod, TimeLiteralForm::timeOfDay},
    {"tod", &typeTod, TimeLiteralForm::timeOfDay},
    {"ltime_of_day", &typeLtod, TimeLiteralForm::timeOfDay},
    {"ltod", &typeLtod, TimeLiteralForm::timeOfDay},
    {"date_and_time", &typeDt, TimeLiteralForm::dateAndTime},
    {"dt", &typeDt, TimeLiteralForm::dateAndTime},
    {"ldate_and_time", &typeLdt, TimeLiteralForm::dateAndTime},
    {"ldt", &typeLdt, TimeLiteralForm::dateAndTime},
}};

// The text before the first "#" (all of it without one), compared exactly.
const TypedLiteralPrefix* findTypedLiteralPrefix(std::string_view text) {
    const std::string_view prefix = text.substr(0, text.find('#'));
    for (const auto& row : kTypedLiteralPrefixes)
        if (row.prefix == prefix) return &row;
    return nullptr;
}

// Reads the body of a duration or date literal. Every failure names the whole literal;
// the cursor never reads past the end of the body.
class TimeLiteralReader {
public:
    TimeLiteralReader(const std::string& literal, std::string body, const char* what)
        : literal_(literal), body_(std::move(body)), what_(what) {}

    bool atEnd() const { return pos_ >= body_.size(); }
    char peek() const { return atEnd() ? '\0' : body_[pos_]; }
    void advance() { ++pos_; }

    bool accept(char c) {
        if (peek() != c || atEnd()) return false;
        ++pos_;
        return true;
    }

    bool acceptWord(std::string_view word) {
        if (body_.compare(pos_, word.size(), word) != 0) return false;
        pos_ += word.size();
        return true;
    }

    // A decimal number; arithmetic wraps in 64 bits, as the value computations do.
    uint64_t number() {
        require(isDecimalDigit(peek()), "Expected a number.");
        uint64_t value = 0;
        while (isDecimalDigit(peek())) {
            value = value * 10 + static_cast<uint64_t>(peek() - '0');
            advance();
        }
        return value;
    }

    // The digits after a decimal point, kept as text so any number of them scales
    // exactly: digits beyond the scale are cut.
    std::string_view fractionDigits() {
        const size_t start = pos_;
        while (isDecimalDigit(peek())) advance();
        return std::string_view(body_).substr(start, pos_ - start);
    }

    void separator() {
        require(!atEnd(), "Expected a separator.");
        advance();
    }

    void require(bool condition, const char* reason) const {
        checkSemantic(condition, "Invalid %s literal '%s'. %s", what_, literal_.c_str(), reason);
    }

private:
    const std::string& literal_;
    std::string body_;
    const char* what_;
    size_t pos_ = 0;
};

uint64_t powerOfTen(int32_t exponent) {
    uint64_t p = 1;
    for (int32_t i = 0; i < exponent; ++i) p *= 10;
    return p;
}

// The fraction f of k digits scaled to the given number of digits: multiplied up when
// k is smaller, the surplus digits cut when it is larger.
uint64_t scaleFraction(std::string_view fraction, int32_t digits) {
    const size_t used = fraction.size() < static_cast<size_t>(digits)
                            ? fraction.size()
                            : static_cast<size_t>(digits);
    uint64_t value = 0;
    for (size_t i = 0; i < used; ++i) value = value * 10 + static_cast<uint64_t>(fraction[i] - '0');
    return value * powerOfTen(digits - static_cast<int32_t>(used));
}

struct DurationUnit {
    std::string_view name;
    uint64_t perUnit;  // the integer part's multiplier
    int32_t digits;    // fraction digits kept (0: fraction ignored)
    uint64_t factor;   // applied to integer and fraction together
};

// Order matters: "ms" must be tried before "m" and "s".
constexpr std::array<DurationUnit, 7> kDurationUnits = {{
    {"ns", 1, 0, 1},
    {"us", 1000, 3, 1},
    {"ms", 1000000, 6, 1},
    {"s", 1000000000, 9, 1},
    {"m", 10000000000, 10, 6},
    {"h", 100000000000, 11, 36},
    {"d", 100000000000, 11, 864},
}};

uint64_t parseDuration(TimeLiteralReader& in, const std::string& literal) {
    bool negative = false;
    if (in.accept('-'))
        negative = true;
    else
        in.accept('+');
    checkSemantic(!in.atEnd(), "Invalid time literal '%s'. Must not be empty.", literal.c_str());

    uint64_t total = 0;
    bool hadFraction = false;
    while (!in.atEnd()) {
        checkSemantic(!hadFraction,
                      "Invalid time literal '%s'. A fractional value may only appear in the "
                      "last component of a literal.",
                      literal.c_str());
        const uint64_t n = in.number();
        std::string_view fraction;
        if (in.accept('.')) {
            hadFraction = true;
            fraction = in.fractionDigits();
        }
        const DurationUnit* unit = nullptr;
        for (const auto& row : kDurationUnits) {
            if (in.acceptWord(row.name)) {
                unit = &row;
                break;
            }
        }
        in.require(unit != nullptr, "Expected a unit (d, h, m, s, ms, us or ns).");
        total += (n * unit->perUnit + scaleFraction(fraction, unit->digits)) * unit->factor;
    }
    return negative ? 0 - total : total;
}

constexpr uint64_t kNanosPerSecond = 1000000000;

int16_t asInt16(uint64_t value) { return static_cast<int16_t>(static_cast<uint16_t>(value)); }

uint64_t parseDate(TimeLiteralReader& in, const std::string& literal) {
    CalendarTime date;
    date.year = asInt16(in.number());
    in.separator();
    date.month = asInt16(in.number());
    in.separator();
    date.day = asInt16(in.number());
    const int64_t seconds = calendarToSeconds(date);
    checkSemantic(seconds != -1,
                  "Invalid date literal '%s'. Date must not be smaller than "
                  "1970-01-01-00:00:00 (GMT)",
                  literal.c_str());
    return static_cast<uint64_t>(seconds) * kNanosPerSecond;
}

// Hours, minutes and seconds carry over arithmetically: there is no range test.
uint64_t parseTimeOfDay(TimeLiteralReader& in) {
    const uint64_t hours = in.number();
    in.separator();
    const uint64_t minutes = in.number();
    in.separator();
    const uint64_t seconds = in.number();
    uint64_t fraction = 0;
    if (in.accept('.')) fraction = scaleFraction(in.fractionDigits(), 9);
    return (hours * 60 + minutes) * 60 * kNanosPerSecond + seconds * kNanosPerSecond + fraction;
}

} // namespace

int64_t parseIntegerLiteral(const std::string& text, int32_t base) {
    const size_t prefixLength = base == 16 ? 3 : (base == 2 || base == 8) ? 2 : 0;
    const std::string digits =
        withoutUnderscores(text.size() > prefixLength ? std::string_view(text).substr(prefixLength)
                                                      : std::string_view());
    const char* begin = digits.c_str();
    char* end = nullptr;
    errno = 0;
    int64_t value = 0;
    if (!digits.empty() && digits[0] == '-')
        value = std::strtoll(begin, &end, base);
    else
        value = static_cast<int64_t>(std::strtoull(begin, &end, base));
    checkSemantic(end != begin && errno != ERANGE, "Invalid literal '%s'", text.c_str());
    return value;
}

double parseRealLiteral(const std::string& text) {
    const std::string digits = withoutUnderscores(text);
    const char* begin = digits.c_str();
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(begin, &end);
    // The texts are fixed here because the platform words its own conversion errors
    // differently.
    if (end == begin) throw std::invalid_argument("invalid stod argument");
    if (errno == ERANGE) throw std::out_of_range("stod argument out of range");
    return value;
}

std::vector<uint16_t> parseStringLiteral(const std::string& text, int32_t bytesPerCharacter) {
    std::vector<uint16_t> codes;
    if (text.size() < 2) return codes;
    const std::string_view body = std::string_view(text).substr(1, text.size() - 2);
    const size_t hexWidth = 2 * static_cast<size_t>(bytesPerCharacter > 0 ? bytesPerCharacter : 1);
    size_t i = 0;
    while (i < body.size()) {
        const char c = body[i];
        if (c != '$' || i + 1 >= body.size()) {
            codes.push_back(static_cast<unsigned char>(c));
            ++i;
            continue;
        }
        const char e = body[i + 1];
        switch (e) {
        case 'l': case 'L': case 'n': case 'N': codes.push_back(10); i += 2; continue;
        case 'p': case 'P': codes.push_back(12); i += 2; continue;
        case 'r': case 'R': codes.push_back(13); i += 2; continue;
        case 't': case 'T': codes.push_back(9); i += 2; continue;
        default: break;
        }
        if (hexDigitValue(e) >= 0) {
            // The whole width is consumed even when a non-hex character ends the number.
            const std::string_view hex = body.substr(i + 1, hexWidth);
            uint32_t value = 0;
            for (char h : hex) {
                const int d = hexDigitValue(h);
                if (d < 0) break;
                value = value * 16 + static_cast<uint32_t>(d);
            }
            codes.push_back(static_cast<uint16_t>(value));
            i += 1 + hex.size();
            continue;
        }
        codes.push_back(static_cast<unsigned char>(e)); // "$$" and the escaped quote
        i += 2;
    }
    return codes;
}

Type* typedLiteralType(const std::string& text) {
    const TypedLiteralPrefix* prefix = findTypedLiteralPrefix(text);
    return prefix == nullptr ? nullptr : *prefix->type;
}

int64_t parseTimeLiteral(const std::string& text) {
    const TypedLiteralPrefix* prefix = findTypedLiteralPrefix(text);
    const size_t hash = text.find('#');
    checkSemantic(prefix != nullptr && hash != std::string::npos,
                  "Invalid time literal '%s'. Unknown type prefix.", text.c_str());
    const bool isDate =
        prefix->form == TimeLiteralForm::date || prefix->form == TimeLiteralForm::dateAndTime;
    TimeLiteralReader in(text, withoutUnderscores(std::string_view(text).substr(hash + 1)),
                         isDate ? "date" : "time");

    uint64_t total = 0;
    switch (prefix->form) {
    case TimeLiteralForm::duration:
        total = parseDuration(in, text);
        break;
    case TimeLiteralForm::date:
        total = parseDate(in, text);
        break;
    case TimeLiteralForm::timeOfDay:
        total = parseTimeOfDay(in);
        break;
    case TimeLiteralForm::dateAndTime:
        total = parseDate(in, text);
        in.separator();
        total += parseTimeOfDay(in);
        break;
    }
    in.require(in.atEnd(), "Unexpected text after the value.");
    return static_cast<int64_t>(total);
}

} // namespace Karsto
