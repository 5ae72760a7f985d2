// The registration as a whole: every function it declares, in order, with its kind,
// its conversion types and the size of its overload table, compared with the
// checked-in list; and the rules that the tables' instructions follow.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "builtins/conversion_builtins.h"
#include "builtins/date_time_builtins.h"
#include "builtins/operator_builtins.h"
#include "builtins/print_tostring.h"
#include "builtins/register_intrinsics.h"
#include "builtins/selection_builtins.h"
#include "builtins/string_builtins.h"
#include "core/symbol_tables.h"
#include "core/type.h"
#include "core/type_string.h"
#include "support/jyx_harness.h"

namespace Karsto {
namespace {

struct Registration {
    std::string name;
    std::string kind;
    std::string fromType;
    std::string toType;
    size_t entries;
    bool operator==(const Registration&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Registration& r) {
    return out << r.name << ' ' << r.kind << ' ' << r.fromType << ' ' << r.toType << ' '
               << r.entries;
}

const Registration kExpected[] = {
#include "registrations.inc"
};

// A type's name as function names spell it: the default strings without capacity.
std::string typeName(const Type* type) {
    if (type == nullptr) return {};
    std::string text = type->toString();
    const auto bracket = text.find('[');
    return bracket == std::string::npos ? text : text.substr(0, bracket);
}

template <class Kind>
bool is(Function* function) {
    return dynamic_cast<Kind*>(function) != nullptr;
}

// The kind of a built-in with a name of its own.
const char* fixedKind(Function* function) {
    return is<FunctionIntrinsicSel>(function)              ? "Sel"
           : is<FunctionIntrinsicMux>(function)            ? "Mux"
           : is<FunctionIntrinsicMin>(function)            ? "Min"
           : is<FunctionIntrinsicMax>(function)            ? "Max"
           : is<FunctionIntrinsicLimit>(function)          ? "Limit"
           : is<FunctionIntrinsicLen>(function)            ? "Len"
           : is<FunctionIntrinsicMid>(function)            ? "Mid"
           : is<FunctionIntrinsicConcat>(function)         ? "Concat"
           : is<FunctionIntrinsicLeft>(function)           ? "Left"
           : is<FunctionIntrinsicRight>(function)          ? "Right"
           : is<FunctionIntrinsicConcatDateTod>(function)  ? "ConcatDateTod"
           : is<FunctionIntrinsicConcatDateLtod>(function) ? "ConcatDateLtod"
           : is<FunctionIntrinsicConcatDate>(function)     ? "ConcatDate"
           : is<FunctionIntrinsicConcatTod>(function)      ? "ConcatTod"
           : is<FunctionIntrinsicConcatLtod>(function)     ? "ConcatLtod"
           : is<FunctionIntrinsicConcatDt>(function)       ? "ConcatDt"
           : is<FunctionIntrinsicConcatLdt>(function)      ? "ConcatLdt"
           : is<FunctionIntrinsicSplitDate>(function)      ? "SplitDate"
           : is<FunctionIntrinsicSplitTod>(function)       ? "SplitTod"
           : is<FunctionIntrinsicSplitLtod>(function)      ? "SplitLtod"
           : is<FunctionIntrinsicSplitDt>(function)        ? "SplitDt"
           : is<FunctionIntrinsicSplitLdt>(function)       ? "SplitLdt"
           : is<FunctionIntrinsicDayOfWeek>(function)      ? "DayOfWeek"
                                                           : "?";
}

Registration describe(Function* function) {
    auto* intrinsic = dynamic_cast<FunctionIntrinsic*>(function);
    Registration r{function->name(), "", "", "", intrinsic->overloadTable().size()};
    if (auto* f = dynamic_cast<FunctionIntrinsicCastTo*>(function)) {
        r.kind = "CastTo";
        r.toType = typeName(f->toType);
    } else if (auto* fromTo = dynamic_cast<FunctionIntrinsicFromTo*>(function)) {
        r.kind = is<FunctionIntrinsicCastFromTo>(function) ? "CastFromTo"
                 : is<FunctionIntrinsicTrunc>(function)     ? "Trunc"
                 : is<FunctionIntrinsicBcd>(function)       ? "Bcd"
                                                            : "?";
        r.fromType = typeName(fromTo->fromType);
        r.toType = typeName(fromTo->toType);
    } else if (auto* tableTo = dynamic_cast<FunctionIntrinsicTableTo*>(function)) {
        r.kind = is<FunctionIntrinsicTruncTo>(function) ? "TruncTo"
                 : is<FunctionIntrinsicBcdTo>(function) ? "BcdTo"
                                                        : "?";
        r.toType = typeName(tableTo->toType);
    } else {
        r.kind = is<FunctionIntrinsicArithBinary>(function)     ? "ArithBinary"
                 : is<FunctionIntrinsicArithVariadic>(function) ? "ArithVariadic"
                 : is<FunctionIntrinsicCmpBinary>(function)     ? "CmpBinary"
                 : is<FunctionIntrinsicArithUnary>(function)    ? "ArithUnary"
                 : is<FunctionIntrinsicBitshift>(function)      ? "Bitshift"
                 : is<FunctionIntrinsicPrint>(function)         ? "Print"
                 : is<FunctionIntrinsicToString>(function)      ? "ToString"
                                                                : fixedKind(function);
    }
    return r;
}

class RegistrationTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::prepareLanguageRuntime();
        registerIntrinsics(tables);
    }
    FunctionIntrinsic* function(const char* name) {
        return dynamic_cast<FunctionIntrinsic*>(tables.functions->lookup(name));
    }
    SymbolTables tables;
};

TEST_F(RegistrationTest, DeclaresTheListedFunctionsInOrder) {
    ASSERT_EQ(tables.ownedFunctions.size(), std::size(kExpected));
    for (size_t index = 0; index < std::size(kExpected); ++index) {
        EXPECT_EQ(describe(tables.ownedFunctions[index]), kExpected[index]) << index;
        EXPECT_EQ(tables.functions->lookup(kExpected[index].name), tables.ownedFunctions[index]);
    }
}

TEST_F(RegistrationTest, FunctionScopeHoldsExactlyTheListedLowerCaseNames) {
    const auto& names = tables.functions->names();
    ASSERT_EQ(names.size(), std::size(kExpected));
    for (size_t index = 0; index < names.size(); ++index) {
        EXPECT_EQ(names[index], kExpected[index].name);
        for (char c : names[index]) EXPECT_FALSE(c >= 'A' && c <= 'Z') << names[index];
    }
}

TEST_F(RegistrationTest, TableCountsOfTheWholeRegistration) {
    size_t withTable = 0;
    size_t entries = 0;
    size_t twoInstructions = 0;
    int64_t instructions = 0;
    for (Function* f : tables.ownedFunctions) {
        const auto& table = dynamic_cast<FunctionIntrinsic*>(f)->overloadTable();
        withTable += table.empty() ? 0 : 1;
        entries += table.size();
        for (const auto& entry : table) {
            int64_t items = 0;
            entry.instructions.forEachItem([&items](CodeItem*) {
                ++items;
                return true;
            });
            twoInstructions += items == 2 ? 1 : 0;
            instructions += items;
        }
    }
    EXPECT_EQ(withTable, 138u);
    EXPECT_EQ(entries, 559u);
    EXPECT_EQ(twoInstructions, 128u);
    EXPECT_EQ(instructions, 687);

    FunctionIntrinsic* add = function("add");
    EXPECT_EQ(add->overloadTable().size(), 12u);
    EXPECT_FALSE(add->hasOverload(typeTime));
    FunctionIntrinsic* eq = function("eq");
    EXPECT_EQ(eq->overloadTable().size(), 29u);
    for (Type* type : {static_cast<Type*>(typeTime), static_cast<Type*>(typeDate),
                       static_cast<Type*>(typeString), static_cast<Type*>(typeWchar)})
        EXPECT_TRUE(eq->hasOverload(type)) << type->toString();

    const auto& print = function("print")->overloadTable();
    const auto& toString = function("tostring")->overloadTable();
    ASSERT_EQ(print.size(), toString.size());
    for (size_t index = 0; index < print.size(); ++index)
        EXPECT_EQ(print[index].argumentType, toString[index].argumentType) << index;
}

// The instruction texts of an entry, joined.
std::string texts(const Code& code) {
    std::string joined;
    code.forEachItem([&joined](CodeItem* item) {
        joined += item->toString();
        return true;
    });
    return joined;
}

TEST_F(RegistrationTest, TablesHoldFreshInstructionsOfTheNamedClasses) {
    const auto& truncUdint = function("trunc_udint")->overloadTable();
    ASSERT_EQ(truncUdint.size(), 2u);
    EXPECT_EQ(truncUdint[0].argumentType, typeLreal);
    EXPECT_EQ(truncUdint[1].argumentType, typeReal);
    const auto& realTruncUdint = function("real_trunc_udint")->overloadTable();
    ASSERT_EQ(realTruncUdint.size(), 1u);
    EXPECT_EQ(realTruncUdint[0].argumentType, typeUdint);

    EXPECT_EQ(texts(function("bcd_to_int")->overloadCode(typeWord)),
              "BcdDecodeWord CastWordInt ");
    EXPECT_EQ(texts(function("int_to_bcd_byte")->overloadCode(typeByte)),
              "CastIntByte BcdEncodeByte ");
    EXPECT_EQ(texts(function("eq")->overloadCode(typeTime)), "EqTime ");
    EXPECT_EQ(texts(function("mod")->overloadCode(typeIntegerLiteral)), "ModLiti ");

    // No entry is shared and none carries a span.
    std::vector<const CodeNode*> seen;
    for (Function* f : tables.ownedFunctions)
        for (const auto& entry : dynamic_cast<FunctionIntrinsic*>(f)->overloadTable()) {
            for (const CodeNode* other : seen) ASSERT_NE(entry.instructions.node(), other);
            seen.push_back(entry.instructions.node());
        }
    EXPECT_EQ(seen.size(), 559u);
}

} // namespace
} // namespace Karsto
