#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/error_test_support.h"
#include "core/exception.h"
#include "core/literals.h"
#include "core/type.h"
#include "core/type_test_support.h"

namespace Karsto {
namespace {

struct IntegerCase {
    const char* text;
    int32_t base;
    int64_t value;
};

TEST(IntegerLiteral, ConvertsEveryBaseAndDropsUnderscores) {
    const IntegerCase cases[] = {
        {"16#FF", 16, 255},
        {"16#ff", 16, 255},
        {"2#1010_1010", 2, 170},
        {"8#777", 8, 511},
        {"8#17", 8, 15},
        {"1_000", 10, 1000},
        {"1_000_000", 10, 1000000},
        {"16#7FFF_FFFF_FFFF_FFFF", 16, INT64_MAX},
        // Unsigned text keeps its 64 bits.
        {"16#FFFF_FFFF_FFFF_FFFF", 16, -1},
        {"18446744073709551615", 10, -1},
        {"-9223372036854775808", 10, INT64_MIN},
        {"-5", 10, -5},
        // Characters after the last digit are ignored.
        {"12abc", 10, 12},
    };
    for (const auto& c : cases)
        EXPECT_EQ(parseIntegerLiteral(c.text, c.base), c.value) << c.text;
}

TEST(IntegerLiteral, OutOfRangeOrEmptyNamesTheWholeLiteral) {
    const IntegerCase cases[] = {
        {"16#1_0000_0000_0000_0000", 16, 0},
        {"18446744073709551616", 10, 0},
        {"-9223372036854775809", 10, 0},
        {"16#", 16, 0},
        {"2#_", 2, 0},
        {"", 10, 0},
        {"8#9", 8, 0},
    };
    for (const auto& c : cases) {
        try {
            parseIntegerLiteral(c.text, c.base);
            ADD_FAILURE() << "no error for " << c.text;
        } catch (const ExceptionSemantic& e) {
            EXPECT_EQ(std::string(e.what()), std::string("?: Invalid literal '") + c.text + "'");
        }
    }
}

TEST(RealLiteral, ConvertsWithoutUnderscores) {
    EXPECT_EQ(parseRealLiteral("1_000.5"), 1000.5);
    EXPECT_EQ(parseRealLiteral("2.5e3"), 2500.0);
    EXPECT_EQ(parseRealLiteral("1.0E-3"), 0.001);
    EXPECT_EQ(parseRealLiteral("0.0"), 0.0);
}

TEST(RealLiteral, FailsWithTheStandardErrorsAndFixedTexts) {
    for (const char* text : {"1.0e-400", "1.0e400", "1e-310"}) {
        try {
            parseRealLiteral(text);
            ADD_FAILURE() << "no error for " << text;
        } catch (const ExceptionKarsto&) {
            ADD_FAILURE() << "a semantic error for " << text;
        } catch (const std::out_of_range& e) {
            EXPECT_STREQ(e.what(), "stod argument out of range") << text;
        }
    }
    for (const char* text : {"", "_", "x1.0"}) {
        try {
            parseRealLiteral(text);
            ADD_FAILURE() << "no error for '" << text << "'";
        } catch (const ExceptionKarsto&) {
            ADD_FAILURE() << "a semantic error for " << text;
        } catch (const std::invalid_argument& e) {
            EXPECT_STREQ(e.what(), "invalid stod argument") << text;
        }
    }
}

struct StringCase {
    std::string text;
    int32_t bytesPerCharacter;
    std::vector<uint16_t> codes;
};

TEST(StringLiteral, EscapesAndPlainBytes) {
    const StringCase cases[] = {
        {"'$R$N'", 1, {13, 10}},
        {"'a$Nb'", 1, {97, 10, 98}},
        {"'$l$p$t$L$P$T'", 1, {10, 12, 9, 10, 12, 9}},
        {"'a$'b'", 1, {97, 39, 98}},
        {"'$$x'", 1, {36, 120}},
        {"'$41'", 1, {65}},
        {"\"$20AC\"", 2, {8364}},
        {"\"$00e4\"", 2, {228}},
        {"\"$\"\"", 2, {34}},
        // The whole width is consumed even where a non-hex character ends the number.
        {"'$4g1'", 1, {4, '1'}},
        {"'\xFC'", 1, {252}},
        {"'\xE4x'", 1, {228, 'x'}},
        {"''", 1, {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(parseStringLiteral(c.text, c.bytesPerCharacter), c.codes) << c.text;
}

TEST(StringLiteral, MalformedTextStaysInsideTheLiteral) {
    EXPECT_EQ(parseStringLiteral("'$'", 1), std::vector<uint16_t>{36});
    EXPECT_EQ(parseStringLiteral("'$4'", 1), std::vector<uint16_t>{4});
    EXPECT_EQ(parseStringLiteral("\"$20\"", 2), std::vector<uint16_t>{0x20});
    EXPECT_TRUE(parseStringLiteral("'", 1).empty());
    EXPECT_TRUE(parseStringLiteral("", 1).empty());
}

struct TimeCase {
    const char* text;
    int64_t nanoseconds;
};

TEST(TimeLiteral, Durations) {
    const TimeCase cases[] = {
        {"t#2m30s", 150000000000},
        {"t#1d2h", 93600000000000},
        {"t#0.5m", 30000000000},
        {"lt#-1.25ms", -1250000},
        {"t#1h30m", 5400000000000},
        {"t#1.5h", 5400000000000},
        {"time#1.5d", 129600000000000},
        {"t#-2s", -2000000000},
        {"t#+2s", 2000000000},
        {"ltime#1.7ns", 1},
        {"t#1.5us", 1500},
        {"t#0.123456789123s", 123456789},
        {"t#0.1234567891234567891234s", 123456789},
        {"t#1ms1us1ns", 1001001},
        {"t#1_000ms", 1000000000},
        // 2^64 ns wraps around to 0 without a check.
        {"t#18446744073709551616ns", 0},
    };
    for (const auto& c : cases) EXPECT_EQ(parseTimeLiteral(c.text), c.nanoseconds) << c.text;
}

TEST(TimeLiteral, DatesAndTimesOfDay) {
    const TimeCase cases[] = {
        {"d#1970-01-01", 0},
        {"d#2000-02-29", 951782400000000000},
        {"date#2024-02-30", 1709251200000000000}, // carries into 2024-03-01
        {"dt#2024-02-29-13:45:30", 1709214330000000000},
        {"date_and_time#2000-01-01-00:00:01", 946684801000000000},
        {"ldt#1970-01-01-25:00:00", 90000000000000},
        {"tod#23:59:59.999999999", 86399999999999},
        {"tod#12:00:00.5", 43200500000000},
        {"ltime_of_day#00:01:00", 60000000000},
        {"ltod#0:0:0.1234567891", 123456789},
    };
    for (const auto& c : cases) EXPECT_EQ(parseTimeLiteral(c.text), c.nanoseconds) << c.text;
}

TEST(TimeLiteral, ErrorsNameTheWholeLiteral) {
    const struct {
        const char* text;
        const char* what;
    } cases[] = {
        {"t#1.5us2ns", "?: Invalid time literal 't#1.5us2ns'. A fractional value may only "
                       "appear in the last component of a literal."},
        {"t#1.5s2ms", "?: Invalid time literal 't#1.5s2ms'. A fractional value may only appear "
                      "in the last component of a literal."},
        {"t#-", "?: Invalid time literal 't#-'. Must not be empty."},
        {"t#", "?: Invalid time literal 't#'. Must not be empty."},
        {"ld#1960-01-01", "?: Invalid date literal 'ld#1960-01-01'. Date must not be smaller "
                          "than 1970-01-01-00:00:00 (GMT)"},
        {"d#1969-12-31", "?: Invalid date literal 'd#1969-12-31'. Date must not be smaller "
                         "than 1970-01-01-00:00:00 (GMT)"},
        // The scanner never delivers these; they fail with a reason of their own.
        {"t#5", "?: Invalid time literal 't#5'. Expected a unit (d, h, m, s, ms, us or ns)."},
        {"t#5x", "?: Invalid time literal 't#5x'. Expected a unit (d, h, m, s, ms, us or ns)."},
        {"t#s", "?: Invalid time literal 't#s'. Expected a number."},
        {"d#2024-01", "?: Invalid date literal 'd#2024-01'. Expected a separator."},
        {"d#2024-01-", "?: Invalid date literal 'd#2024-01-'. Expected a number."},
        {"d#2024-01-01x", "?: Invalid date literal 'd#2024-01-01x'. Unexpected text after the "
                          "value."},
        {"dt#2024-01-01", "?: Invalid date literal 'dt#2024-01-01'. Expected a separator."},
        {"tod#12:00", "?: Invalid time literal 'tod#12:00'. Expected a separator."},
        {"x#1", "?: Invalid time literal 'x#1'. Unknown type prefix."},
        {"t1s", "?: Invalid time literal 't1s'. Unknown type prefix."},
    };
    for (const auto& c : cases) EXPECT_EQ(test::semanticWhat([&] { parseTimeLiteral(c.text); }), c.what) << c.text;
}

class TypedLiteral : public test::ElementaryTypesTest {};

TEST_F(TypedLiteral, PrefixBeforeTheFirstHashNamesTheType) {
    const struct {
        const char* text;
        Type* type;
    } cases[] = {
        {"t#1s", typeTime},
        {"time#1s", typeTime},
        {"lt#1s", typeLtime},
        {"ltime#1s", typeLtime},
        {"d#2000-01-01", typeDate},
        {"date#2000-01-01", typeDate},
        {"ld#2000-01-01", typeLdate},
        {"ldate#2000-01-01", typeLdate},
        {"tod#1:2:3", typeTod},
        {"time_of_day#1:2:3", typeTod},
        {"ltod#1:2:3", typeLtod},
        {"ltime_of_day#1:2:3", typeLtod},
        {"dt#2000-01-01-0:0:0", typeDt},
        {"date_and_time#x", typeDt},
        {"ldt#x", typeLdt},
        {"ldate_and_time#x#y", typeLdt},
        {"ldt", typeLdt}, // no "#": the whole text is the prefix
        {"x#1", nullptr},
        {"T#1s", nullptr}, // compared exactly: the evaluator hands over lower case
        {"tim#1s", nullptr},
        {"#1s", nullptr},
    };
    for (const auto& c : cases) EXPECT_EQ(typedLiteralType(c.text), c.type) << c.text;
}

} // namespace
} // namespace Karsto
