// "print" and "tostring" as the registration enters them and as their calls compile:
// the overload tables, the code of a call (run on a channel's interpreter), the
// dispatch of strings of any capacity, and the refusals with their messages.

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "builtin_test_support.h"
#include "builtins/print_tostring.h"
#include "builtins/register_intrinsics.h"
#include "core/aparam_list.h"
#include "core/constant_factory.h"
#include "core/emitters.h"
#include "core/exception.h"
#include "core/function_native.h"
#include "core/natives_basic.h"
#include "core/symbol_tables.h"
#include "core/type.h"
#include "core/type_pointer.h"
#include "core/type_string.h"
#include "support/jyx_harness.h"

namespace Karsto {
namespace {

constexpr int64_t kStringCells = kDefaultStringCapacity + 1;

// The registration's order of the 29 types of both tables, as the instruction suffixes.
const char* const kPrintOrder[] = {
    "Lint", "Ulint", "Char", "Litr",  "Usint", "Ltime",   "Lword", "Ldt",    "Lreal", "Ltod",
    "Dt",   "Uint",  "Byte", "Dint",  "Int",   "Wstring", "Sint",  "String", "Real",  "Word",
    "Time", "Wchar", "Tod",  "Udint", "Liti",  "Date",    "Ldate", "Dword",  "Bool",
};

class PrintToStringTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::prepareLanguageRuntime();
        registerIntrinsics(tables);
        print = dynamic_cast<FunctionIntrinsicPrint*>(tables.functions->lookup("print"));
        toString = dynamic_cast<FunctionIntrinsicToString*>(tables.functions->lookup("tostring"));
        ASSERT_NE(print, nullptr);
        ASSERT_NE(toString, nullptr);
    }

    // A type that lives as long as the test.
    template <class T>
    T* keep(T* type) {
        types.emplace_back(type);
        return type;
    }

    // Arguments, added positionally.
    AParamList& integer(AParamList& list, int64_t value, Type* type) {
        list.addPositional(makeIntConstant(value, type, SourceSpan()), type, Code());
        return list;
    }
    AParamList& real(AParamList& list, double value, Type* type) {
        list.addPositional(makeRealConstant(value, type, SourceSpan()), type, Code());
        return list;
    }
    // A string literal of exactly its length, as the evaluator types one.
    AParamList& text(AParamList& list, const std::u16string& characters, Type* type = nullptr) {
        if (type == nullptr) type = keep(new TypeString(static_cast<int32_t>(characters.size())));
        const std::vector<uint16_t> codes(characters.begin(), characters.end());
        list.addPositional(emitStringLiteral(codes, type, SourceSpan()), type, Code());
        return list;
    }

    // Runs the code; what it printed.
    std::string printed(const Code& code) {
        test::StdoutCapture out;
        test::runCode(machine, code);
        return out.finish();
    }

    // Runs the code of a tostring call: the STRING it left, as low bytes; the stack
    // must hold that value alone.
    std::string stringResult(const Code& code) {
        test::runCode(machine, code);
        EXPECT_EQ(machine.getSp(), test::kStackBottom + kStringCells);
        const int64_t base = test::kStackBottom;
        const int64_t length = machine.loadAddr(base + kDefaultStringCapacity);
        std::string result;
        for (int64_t i = 0; i < length; ++i)
            result += static_cast<char>(machine.loadU16(base + i) & 0xFF);
        return result;
    }

    SymbolTables tables;
    FunctionIntrinsicPrint* print = nullptr;
    FunctionIntrinsicToString* toString = nullptr;
    std::vector<std::unique_ptr<Type>> types;
    StackmachineInterpreter machine;
};

// The names of the instructions of the code, in order.
std::vector<std::string> instructionNames(const Code& code) {
    std::vector<std::string> names;
    code.forEachItem([&names](CodeItem* item) {
        names.push_back(item->toString());
        return true;
    });
    return names;
}

TEST_F(PrintToStringTest, TablesHoldTheTwentyNineTypesInPrintOrder) {
    ASSERT_EQ(print->overloadTable().size(), std::size(kPrintOrder));
    ASSERT_EQ(toString->overloadTable().size(), std::size(kPrintOrder));
    for (size_t i = 0; i < std::size(kPrintOrder); ++i) {
        const FunctionIntrinsic::Overload& p = print->overloadTable()[i];
        const FunctionIntrinsic::Overload& t = toString->overloadTable()[i];
        EXPECT_EQ(instructionNames(p.instructions),
                  std::vector<std::string>{std::string("Print") + kPrintOrder[i] + " "});
        EXPECT_EQ(instructionNames(t.instructions),
                  std::vector<std::string>{std::string("ToString") + kPrintOrder[i] + " "});
        EXPECT_EQ(p.argumentType, t.argumentType);
        EXPECT_EQ(p.instructions.node()->refCount(), 1) << kPrintOrder[i];
        EXPECT_FALSE(p.instructions.node()->asItem()->span().valid);
        EXPECT_NE(p.instructions.node(), t.instructions.node());
    }
    // The global type objects: literal types, LINT itself, the default strings.
    EXPECT_EQ(print->overloadTable()[0].argumentType, typeLint);
    EXPECT_EQ(print->overloadTable()[3].argumentType, typeRealLiteral);
    EXPECT_EQ(print->overloadTable()[15].argumentType, typeWstring);
    EXPECT_EQ(print->overloadTable()[17].argumentType, typeString);
    EXPECT_EQ(print->overloadTable()[24].argumentType, typeIntegerLiteral);
    EXPECT_EQ(print->arity, FunctionIntrinsic::kAnyArity);
    EXPECT_EQ(tables.ownedFunctions.size(), 410u); // with every other built-in
}

TEST_F(PrintToStringTest, EachCompileRegistersObjectsOfItsOwn) {
    auto first = std::make_unique<SymbolTables>();
    SymbolTables second;
    registerIntrinsics(*first);
    registerIntrinsics(second);
    Function* firstPrint = first->functions->lookup("print");
    auto* secondPrint = dynamic_cast<FunctionIntrinsicPrint*>(second.functions->lookup("print"));
    ASSERT_NE(secondPrint, nullptr);
    EXPECT_NE(firstPrint, secondPrint);
    EXPECT_NE(dynamic_cast<FunctionIntrinsic*>(firstPrint)->overloadTable()[0].instructions.node(),
              secondPrint->overloadTable()[0].instructions.node());
    first.reset();

    AParamList list;
    integer(list, 7, typeInt);
    EXPECT_EQ(printed(emitCall(secondPrint, &list, SourceSpan())), "7");
}

// The basic natives are declared after the registration, into the same scope.
TEST_F(PrintToStringTest, BasicNativesDoNotReuseABuiltInName) {
    std::vector<FunctionNative*> natives;
    registerBasicNatives(natives);
    ASSERT_FALSE(natives.empty());
    for (FunctionNative* native : natives) {
        native->retain();
        EXPECT_NO_THROW(tables.addFunction(native, false)) << native->name();
    }
    for (FunctionNative* native : natives) native->release();
}

TEST_F(PrintToStringTest, PrintWritesEachArgumentWithoutSeparator) {
    struct Argument {
        int64_t value;
        Type* type;
    };
    const std::vector<Argument> wide = {{-12, typeLint},  {' ', typeChar}, {-1, typeUlint},
                                        {' ', typeChar},  {171, typeByte}, {' ', typeChar},
                                        {4096, typeWord}, {' ', typeChar}, {0xDEADBEEF, typeDword}};
    const std::vector<Argument> narrow = {
        {-3, typeSint},    {' ', typeChar}, {200, typeUsint},        {' ', typeChar},
        {60000, typeUint}, {' ', typeChar}, {4000000000, typeUdint}, {' ', typeChar},
        {1, typeBool},     {0, typeBool}};
    const std::pair<const std::vector<Argument>*, std::string> cases[] = {
        {&wide, "-12 18446744073709551615 ab 1000 deadbeef"},
        {&narrow, "-3 200 60000 4000000000 10"},
    };
    for (const auto& [arguments, expected] : cases) {
        AParamList list;
        for (const Argument& argument : *arguments) integer(list, argument.value, argument.type);
        EXPECT_EQ(printed(emitCall(print, &list, SourceSpan())), expected);
        EXPECT_EQ(machine.getSp(), test::kStackBottom);
    }

    AParamList one, two;
    integer(one, 1, typeIntegerLiteral);
    real(two, 2.5, typeRealLiteral);
    EXPECT_EQ(
        printed(emitCall(print, &one, SourceSpan()).concat(emitCall(print, &two, SourceSpan()))),
        "12.500000");
}

// Every string goes to the default type of its width and leaves all of its cells.
TEST_F(PrintToStringTest, StringsOfAnyCapacityPrintAsTheDefaultOnes) {
    AParamList list;
    integer(list, 'x', typeChar);
    integer(list, 0x263B, typeWchar);
    text(list, u"abc");
    text(list, u"");
    text(list, u"q", typeString);
    const Code code = emitCall(print, &list, SourceSpan());
    EXPECT_EQ(printed(code), "x;abcq");
    EXPECT_EQ(machine.getSp(), test::kStackBottom);
    const std::vector<std::string> names = instructionNames(code);
    const std::vector<std::string> conversions = {"CastStr 3 255", "CastStr 0 255"};
    std::vector<std::string> found;
    for (const std::string& name : names)
        if (name.rfind("CastStr", 0) == 0) found.push_back(name);
    EXPECT_EQ(found, conversions); // the default STRING needs none

    AParamList wide;
    auto* type = keep(new TypeWstring(4));
    text(wide, u"\u263Ade", type);
    EXPECT_EQ(printed(emitCall(print, &wide, SourceSpan())), ":de");
}

TEST_F(PrintToStringTest, EmptyCallsHaveNoTextAndNoCode) {
    AParamList none;
    EXPECT_TRUE(emitCall(print, &none, SourceSpan()).empty());
    EXPECT_EQ(print->getReturnType(&none), typeVoid);
    EXPECT_EQ(toString->getReturnType(&none), typeString);

    AParamList empty;
    EXPECT_EQ(stringResult(emitCall(toString, &empty, SourceSpan())), "");
}

TEST_F(PrintToStringTest, ToStringJoinsTheTextsIntoOneDefaultString) {
    AParamList list;
    integer(list, 42, typeIntegerLiteral);
    integer(list, '-', typeChar);
    integer(list, 0, typeBool);
    EXPECT_EQ(stringResult(emitCall(toString, &list, SourceSpan())), "42-0");

    AParamList negative;
    real(negative, -2.5, typeLreal);
    EXPECT_EQ(stringResult(emitCall(toString, &negative, SourceSpan())), "-2.500000");

    AParamList huge;
    real(huge, 1.0e300, typeLreal);
    EXPECT_EQ(stringResult(emitCall(toString, &huge, SourceSpan())).size(), 255u);
    AParamList hugePrinted;
    real(hugePrinted, 1.0e300, typeLreal);
    const std::string whole = printed(emitCall(print, &hugePrinted, SourceSpan()));
    EXPECT_EQ(whole.size(), 308u); // 301 digits, the point and six decimals
    EXPECT_EQ(whole.substr(whole.size() - 7), ".000000");

    // Joined texts beyond the capacity are cut to it.
    AParamList many;
    for (int i = 0; i < 30; ++i) real(many, 1.0e10, typeLreal); // 17 characters each
    EXPECT_EQ(stringResult(emitCall(toString, &many, SourceSpan())).size(), 255u);
}

TEST_F(PrintToStringTest, CallCodeIsTheEmptyStringTheArgumentsAndOneConcat) {
    AParamList list;
    integer(list, 5, typeInt);
    text(list, u"ab");
    SourcePosition at;
    at.file = "t.jyx";
    at.line = 4;
    const Code code = emitCall(toString, &list, SourceSpan(at, at));
    const std::vector<std::string> names = instructionNames(code);
    ASSERT_GE(names.size(), 4u);
    EXPECT_EQ(names[names.size() - 1], "Concat 3");
    EXPECT_EQ(names[names.size() - 2], "ToStringString ");
    EXPECT_EQ(names[names.size() - 3], "CastStr 2 255");
    // The empty string carries the call's span; the concatenation none.
    CodeItem* firstItem = nullptr;
    CodeItem* lastItem = nullptr;
    code.forEachItem([&](CodeItem* item) {
        if (firstItem == nullptr) firstItem = item;
        lastItem = item;
        return true;
    });
    EXPECT_EQ(firstItem->span().begin.line, 4);
    EXPECT_FALSE(lastItem->span().valid);
}

// The table's instruction stands at every call; linking clones each.
TEST_F(PrintToStringTest, CallsShareTheTableInstructionUntilLinked) {
    AParamList first, second;
    integer(first, 1, typeInt);
    integer(second, 2, typeInt);
    const Code a = emitCall(print, &first, SourceSpan());
    const Code b = emitCall(print, &second, SourceSpan());
    CodeItem* shared = nullptr;
    int uses = 0;
    a.concat(b).forEachItem([&](CodeItem* item) {
        if (item->toString() == "PrintInt ") {
            if (shared == nullptr) shared = item;
            EXPECT_EQ(item, shared);
            ++uses;
        }
        return true;
    });
    EXPECT_EQ(uses, 2);
    const CodeLinked linked(a.concat(b));
    std::vector<CodeItem*> clones;
    for (int64_t i = 0; i < linked.size(); ++i)
        if (linked.item(i)->toString() == "PrintInt ") clones.push_back(linked.item(i));
    ASSERT_EQ(clones.size(), 2u);
    EXPECT_NE(clones[0], clones[1]);
    EXPECT_NE(clones[0], shared);
}

TEST_F(PrintToStringTest, RefusalsNameTheFunction) {
    auto message = [](Function* function, AParamList& list) {
        try {
            (void)emitCall(function, &list, SourceSpan());
        } catch (const ExceptionSemantic& error) {
            return error.message();
        }
        return std::string();
    };
    AParamList null;
    null.addPositional(makeIntConstant(0, typeAddr, SourceSpan()), typeNullPointer, Code());
    EXPECT_EQ(message(print, null), "Function 'print' is not overloaded for type 'NullPointer'.");

    // The check comes per argument: a good first argument does not hide a bad second.
    AParamList second;
    integer(second, 1, typeInt);
    second.addPositional(Code(), typeVoid, Code());
    EXPECT_EQ(message(toString, second),
              "Function 'tostring' is not overloaded for type '<void>'.");

    for (Function* function : {static_cast<Function*>(print), static_cast<Function*>(toString)}) {
        AParamList formal;
        formal.addFormalInput("x", makeIntConstant(1, typeIntegerLiteral, SourceSpan()),
                              typeIntegerLiteral, Code());
        EXPECT_EQ(message(function, formal),
                  "Call of function '" + function->name() + "' must be nonformal.");
    }
}

} // namespace
} // namespace Karsto
