// Literals and operator expressions, observed as the value of a G-code word (which
// converts it to LREAL), in the code they compile to, and in their refusals.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/code.h"
#include "evaluator_test_support.h"

namespace Karsto::test {
namespace {

using Lines = std::vector<std::string>;

std::string wordSource(const std::string& expression) { return "G1 X{" + expression + "}\n"; }

// The linked listing from the first item to the block instruction, without the trailer.
Lines codeOf(const HarnessResult& r) {
    Lines lines = listingLines(r);
    const auto block = std::find_if(lines.begin(), lines.end(), [](const std::string& l) { return l.rfind("Gcode", 0) == 0; });
    return Lines(lines.begin(), block);
}

// The instruction names of a listing, without their operands.
Lines namesOf(const Lines& lines) {
    Lines names;
    for (const std::string& line : lines) names.push_back(line.substr(0, line.find(' ')));
    return names;
}

TEST(Expressions, ValuesOfLiteralsAndOperators) {
    struct Case {
        std::string expression;
        std::string block;
    };
    const Case cases[] = {
        // integers in every base; the 64-bit pattern of an unsigned text
        {"16#7F", "g=1 x=127"},
        {"8#177", "g=1 x=127"},
        {"2#0111_1111", "g=1 x=127"},
        {"1_000", "g=1 x=1000"},
        {"18446744073709551615", "g=1 x=-1"},
        {"16#FFFFFFFFFFFFFFFF", "g=1 x=-1"},
        // typed literals keep the low bits without a message
        {"SINT#200", "g=1 x=-56"},
        {"SINT#300", "g=1 x=44"},
        {"UINT#-1", "g=1 x=65535"},
        {"USINT#-1", "g=1 x=255"},
        {"INT#40000", "g=1 x=-25536"},
        {"INT#-32769", "g=1 x=32767"},
        {"INT#16#FFFF", "g=1 x=-1"},
        {"UINT#16#1FFFF", "g=1 x=65535"},
        {"INT#+7", "g=1 x=7"},
        {"DINT#2#101", "g=1 x=5"},
        {"UDINT#8#17", "g=1 x=15"},
        {"REAL#1.5", "g=1 x=1.5"},
        {"LREAL#0.1", "g=1 x=0.1"},
        {"1.5e2", "g=1 x=150"},
        // operators
        {"1 + 2.5", "g=1 x=3.5"},
        {"1 + 2", "g=1 x=3"},
        {"2.0 ** 3.0 ** 2.0", "g=1 x=64"},
        {"2.0 ** 2", "g=1 x=4"},
        {"LREAL#2.0 ** REAL#0.5", "g=1 x=1.4142135623730951"},
        {"10 - 4 - 3", "g=1 x=3"},
        {"-7 MOD 2", "g=1 x=-1"},
        {"7 MOD -2", "g=1 x=1"},
        {"(1 + 2) * 3", "g=1 x=9"},
        {"1 + 2 * 3", "g=1 x=7"},
        {"7 / 2", "g=1 x=3"},
        {"7.0 / 2", "g=1 x=3.5"},
        {"-(3 - 5)", "g=1 x=2"},
        {"+4", "g=1 x=4"},
        {"-INT#5", "g=1 x=-5"},
        {"-USINT#1", "g=1 x=255"},
        {"SINT#-1 + USINT#255", "g=1 x=254"}, // common type INT
        {"5 AND 3", "g=1 x=1"},
        {"5 OR 3", "g=1 x=7"},
        {"5 XOR 3", "g=1 x=6"},
        {"5 & 6", "g=1 x=4"},
        {"INT#1000 * INT#1000", "g=1 x=16960"}, // INT arithmetic wraps
        {"REAL#0.1 + 0.2", "g=1 x=0.30000001192092896"}, // REAL rounds once per operation
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expression);
        const HarnessResult r = compileAndRun(wordSource(c.expression));
        ASSERT_TRUE(r.ok()) << r.errorText();
        ASSERT_EQ(r.blocks.size(), 1u);
        EXPECT_EQ(blockText(r.blocks[0]), c.block);
    }
}

TEST(Expressions, ComparisonsAreBoolAndCompareInTheCommonType) {
    // A BOOL is no word value, nor cast to a number; joined with a DWORD it becomes one,
    // and the exponent of "**" is cast to the base's type, so 2 ** c shows c as 2 (TRUE)
    // or 1 (FALSE).
    struct Case {
        std::string expression;
        bool value;
    };
    const Case cases[] = {
        {"1 < 2.5", true},         {"3 > 2", true},          {"2 <= 2", true},
        {"2 >= 3", false},         {"1 = 1.0", true},        {"1 <> 1", false},
        {"'ab' = 'ab'", true},     {"'ab' < 'b'", true},     {"'a' <> 'b'", true},
        {"\"ab\" = \"ab\"", true}, {"T#1s < T#2s", true},    {"TRUE = FALSE", false},
        {"NULL = NULL", true},     {"INT#-1 < UINT#1", true}, // both compared as DINT
        {"1 < 2 = TRUE", true},    // left-associative: the BOOL of 1 < 2 against TRUE
        {"NOT (1 < 2)", false},    {"(1 < 2) AND (2 < 1)", false}, {"(1 < 2) XOR (2 < 1)", true},
        {"D#2020-01-02 - D#2020-01-01 = T#1d", true},
        {"TOD#12:00:00 + T#1s = TOD#12:00:01", true},
        {"-1 < 18446744073709551615", false}, // both the integer literal -1
        {"BOOL#1 OR FALSE", true},
        {"BOOL#0 AND TRUE", false},
        // bit strings keep their low bits and are no word values
        {"BYTE#16#1FF = 255", true},
        {"WORD#16#1FFFF = 16#FFFF", true},
        {"NOT BYTE#1 = 254", true},
        {"(DWORD#16#F0 AND 16#3C) = 48", true},
        {"DWORD#16#F0 AND 16#3C = 48", false}, // AND binds weaker than "="
        {"UDINT#4294967295 + DINT#1 = LINT#4294967296", true}, // common type LINT
        {"LWORD#16#FFFFFFFFFFFFFFFF = LWORD#16#FFFF_FFFF_FFFF_FFFF", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expression);
        const HarnessResult r = compileAndRun(wordSource("REAL#2.0 ** ((" + c.expression + ") OR DWORD#0)"));
        ASSERT_TRUE(r.ok()) << r.errorText();
        ASSERT_EQ(r.blocks.size(), 1u);
        EXPECT_EQ(blockText(r.blocks[0]), c.value ? "g=1 x=2" : "g=1 x=1");
    }
}

TEST(Expressions, TypesShowInTheWordsConversion) {
    struct Case {
        std::string expression;
        std::string type;
    };
    const Case cases[] = {
        {"'A'", "char"},
        {"'AB'", "string[2]"},
        {"''", "string[0]"},
        {"\"A\"", "wchar"},
        {"\"ABC\"", "wstring[3]"},
        {"NULL", "NullPointer"},
        {"T#1h30m", "time"},
        {"LT#1s", "ltime"},
        {"D#2020-01-02 - D#2020-01-01", "time"},
        {"TOD#12:00:00 + T#1s", "tod"},
        {"DT#2020-01-01-00:00:00", "dt"},
        {"1 < 2.5", "bool"},
        {"TRUE", "bool"},
        {"BOOL#0", "bool"},
        {"WORD#1", "word"},
        {"STRING#'A'", "string[255]"},
        {"WSTRING#\"AB\"", "wstring[255]"},
        {"CHAR#'AB'", "char"},
        {"WCHAR#'A'", "wchar"},
        {"ULINT#1", "ulint"},
        {"+'abc'", "string[3]"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expression);
        const HarnessResult r = compileOnly(wordSource(c.expression));
        ASSERT_FALSE(r.compiled());
        EXPECT_EQ(r.compileError->message, "Invalid implicit conversion from type '" + c.type + "' to 'lreal'.");
    }
}

TEST(Expressions, RefusalsNameTheOperationOrTheTypes) {
    struct Case {
        std::string expression;
        std::string message;
    };
    const Case cases[] = {
        {"2 ** 3", "Operation Expt is not overloaded for given type."},
        {"INT#2 ** 2.0", "Operation Expt is not overloaded for given type."},
        {"7.0 MOD 2", "Operation Mod is not overloaded for given type."},
        {"NOT 5", "Operation Inv is not overloaded for given type."},
        {"NOT INT#5", "Operation Inv is not overloaded for given type."},
        {"-T#1s", "Operation Neg is not overloaded for given type."},
        {"'ab' + 'cd'", "Operation Add is not overloaded for given type."},
        {"1.5 OR 2", "Operation Or is not overloaded for given type."},
        {"INT#1 AND INT#2", "Operation And is not overloaded for given type."},
        {"ULINT#1 + LINT#1", "Types 'ulint' and 'lint' can not be combined"},
        {"REAL#1.0 + LINT#1", "Types 'real' and 'lint' can not be combined"},
        {"ULINT#1 < LINT#1", "Types 'ulint' and 'lint' can not be combined"},
        {"'a' MOD 2", "Types 'char' and '<integer literal>' can not be combined"},
        {"LTIME#1s * 1.5", "Operation 'mul' is not overloaded for types '<real literal>' and 'ltime'"},
        {"T#1s * 2", "Operation 'mul' is not overloaded for types '<integer literal>' and 'time'"},
        {"D#2020-01-01 - T#1s", "Operation 'sub' is not overloaded for types 'date' and 'time'"},
        {"2.0 ** 'a'", "Invalid cast from 'char' to '<real literal>'."},
        {"WCHAR#'AB'", "Invalid cast from 'string[2]' to 'wchar'."},
        {"WCHAR#''", "Invalid cast from 'string[0]' to 'wchar'."},
        {"WSTRING#'A'", "Invalid cast from 'char' to 'wstring[255]'."},
        {"BOOL#2", "Invalid boolean literal"},
        {"BOOL#01", "Invalid boolean literal"},
        {"BOOL#1_0", "Invalid boolean literal"},
        {"18446744073709551616", "Invalid literal '18446744073709551616'"},
        {"INT#16#1_0000_0000_0000_0000", "Invalid literal '16#1_0000_0000_0000_0000'"},
        {"D#1969-12-31",
         "Invalid date literal 'd#1969-12-31'. Date must not be smaller than 1970-01-01-00:00:00 (GMT)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expression);
        const HarnessResult r = compileOnly(wordSource(c.expression));
        ASSERT_FALSE(r.compiled());
        EXPECT_EQ(r.compileError->message, c.message);
        EXPECT_TRUE(r.compileError->span.valid);
    }
}

TEST(Expressions, ErrorsAreLocatedAtTheRefusingNode) {
    // The operator answers for its refusal, the literal for its own.
    HarnessResult r = compileOnly("G1 X{1 + (2 ** 3)}\n");
    ASSERT_FALSE(r.compiled());
    EXPECT_EQ(r.compileError->text, "t.jyx: 1.11-1.17: Operation Expt is not overloaded for given type.");
    r = compileOnly("G1 X{1 + BOOL#2}\n");
    ASSERT_FALSE(r.compiled());
    EXPECT_EQ(r.compileError->text, "t.jyx: 1.10-1.16: Invalid boolean literal");
}

TEST(Expressions, ARealLiteralOutOfRangeIsTheLibrarysRangeError) {
    const HarnessResult r = compileOnly(wordSource("1.0E400"));
    ASSERT_FALSE(r.compiled());
    EXPECT_EQ(r.compileError->message, "stod argument out of range");
    EXPECT_FALSE(r.compileError->span.valid);
}

TEST(Expressions, CodeOfLiteralsAndOperators) {
    struct Case {
        std::string expression;
        Lines names; // up to the block instruction
    };
    const Case cases[] = {
        {"INT#-5", {"ConstLiti", "NegLiti", "CastLitiInt", "CastIntLreal"}},
        {"REAL#1.5", {"ConstLitr", "CastLitrReal", "CastRealLreal"}},
        {"1 + 2.5", {"ConstLiti", "CastLitiReal", "ConstLitr", "CastLitrReal", "AddReal", "CastRealLreal"}},
        {"1 + 2", {"ConstLiti", "ConstLiti", "AddLiti", "CastLitiLreal"}},
        {"REAL#2.0 ** 2", {"ConstLitr", "CastLitrReal", "ConstLiti", "CastLitiReal", "ExptReal", "CastRealLreal"}},
        {"7 MOD 2", {"ConstLiti", "ConstLiti", "ModLiti", "CastLitiLreal"}},
        {"REAL#2.0 ** ((1 < 2) OR DWORD#0)",
         {"ConstLitr", "CastLitrReal", "ConstLiti", "ConstLiti", "LtLiti", "CastBoolDword", "ConstLiti",
          "CastLitiDword", "OrDword", "CastDwordReal", "ExptReal", "CastRealLreal"}},
        {"+3", {"ConstLiti", "CastLitiLreal"}},
        {"(((4)))", {"ConstLiti", "CastLitiLreal"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expression);
        const HarnessResult r = compileOnly(wordSource(c.expression));
        ASSERT_TRUE(r.compiled()) << r.errorText();
        const Lines code = codeOf(r);
        ASSERT_FALSE(code.empty());
        // The listing starts with the program's own items before the word's code.
        const Lines names = namesOf(code);
        ASSERT_GE(names.size(), c.names.size());
        EXPECT_EQ(Lines(names.end() - static_cast<long>(c.names.size()), names.end()), c.names);
    }
    // A few operand texts: the sign is an instruction on the unsigned digits.
    const HarnessResult r = compileOnly(wordSource("INT#-5"));
    ASSERT_TRUE(r.compiled());
    const Lines code = codeOf(r);
    ASSERT_GE(code.size(), 4u);
    EXPECT_EQ(code[code.size() - 4], "ConstLiti 5");
    EXPECT_EQ(code[code.size() - 3], "NegLiti ");
    EXPECT_EQ(code[code.size() - 2], "CastLitiInt ");
}

TEST(Expressions, TypedCharacterStringsConvertWithinOneWidth) {
    // Each typed string compared with a plain one of its own type, to see its value too;
    // the names are the conversion the typed prefix adds after the literal's constants.
    struct Case {
        std::string expression;
        Lines conversion; // between the literal's last constant and the comparison's own
    };
    const Case cases[] = {
        {"STRING#'A' = 'A'", {"CastCharStr"}},
        {"CHAR#'A' = 'A'", {}},
        {"CHAR#'AB' = 'A'", {"CastStrChar"}},
        {"WCHAR#'A' = \"A\"", {}},
        {"WSTRING#'ABC' = \"ABC\"", {"CastStr"}},
        {"WSTRING#\"A\" = \"A\"", {"CastCharStr"}},
        {"WCHAR#\"AB\" = \"A\"", {"CastStrChar"}},
        {"STRING#'' = ''", {"CastStr"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expression);
        const HarnessResult r = compileAndRun(wordSource("REAL#2.0 ** ((" + c.expression + ") OR DWORD#0)"));
        ASSERT_TRUE(r.ok()) << r.errorText();
        EXPECT_EQ(blockText(r.blocks[0]), "g=1 x=2");
        const Lines names = namesOf(codeOf(r));
        Lines casts;
        for (const std::string& name : names)
            if (name == "CastCharStr" || name == "CastStrChar" || name == "CastStr") casts.push_back(name);
        // The right operand converts to the common type too, where it differs (CastStr
        // is the text of the string-to-string conversion).
        ASSERT_GE(casts.size(), c.conversion.size()) << r.listing;
        EXPECT_EQ(Lines(casts.begin(), casts.begin() + static_cast<long>(c.conversion.size())), c.conversion);
    }
}

TEST(Expressions, OneCharacterNullAndTypedStringCastsCarryNoSpan) {
    const HarnessResult r = compileOnly(wordSource("REAL#2.0 ** ((CHAR#'AB' = 'A') OR (NULL = NULL) OR DWORD#0)"));
    ASSERT_TRUE(r.compiled()) << r.errorText();
    const CodeLinked& linked = r.linked();
    int checked = 0;
    for (int64_t i = 0; i < linked.size(); ++i) {
        const std::string text = linked.item(i)->toString();
        const std::string name = text.substr(0, text.find(' '));
        SCOPED_TRACE(text);
        if (name == "ConstChar" || text == "ConstLint 0" || name == "CastStrChar") {
            EXPECT_FALSE(linked.item(i)->span().valid);
            ++checked;
        } else if (name == "ConstUint" || name == "ConstLitr" || name == "EqChar") {
            EXPECT_TRUE(linked.item(i)->span().valid);
        }
    }
    EXPECT_EQ(checked, 4); // 'A', the cast, and the two NULLs
}

TEST(Expressions, ATimeFactorIsEvaluatedFirst) {
    // "10 * t" pushes t before 10 whichever side it stands on.
    const HarnessResult r = compileAndRun(wordSource("REAL#2.0 ** ((INT#10 * T#1s = T#10s) OR DWORD#0)"));
    ASSERT_TRUE(r.ok()) << r.errorText();
    EXPECT_EQ(blockText(r.blocks[0]), "g=1 x=2");
    const Lines names = namesOf(codeOf(r));
    const auto time = std::find(names.begin(), names.end(), "ConstTime");
    const auto factor = std::find(names.begin(), names.end(), "ConstLiti");
    ASSERT_NE(time, names.end());
    ASSERT_NE(factor, names.end());
    EXPECT_LT(time, factor);
}

TEST(Expressions, DeepNestingAndLongSumsNeedNoNativeRecursion) {
    constexpr int kDepth = 100'000;
    std::string nested(kDepth, '(');
    nested += "1 + 1";
    nested.append(kDepth, ')');
    HarnessResult r = compileAndRun(wordSource(nested));
    ASSERT_TRUE(r.ok()) << r.errorText();
    EXPECT_EQ(blockText(r.blocks[0]), "g=1 x=2");

    std::string sum = "1";
    for (int i = 1; i < kDepth; ++i) sum += " + 1";
    r = compileAndRun(wordSource(sum));
    ASSERT_TRUE(r.ok()) << r.errorText();
    EXPECT_EQ(blockText(r.blocks[0]), "g=1 x=100000");
}

} // namespace
} // namespace Karsto::test
