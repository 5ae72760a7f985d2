// Step 7 of the registration: the operators and mathematical functions, each with one
// instruction of its operation family per type of its overload set.

#include <span>

#include "builtins/operator_builtins.h"
#include "builtins/registration_steps.h"
#include "core/symbol_tables.h"
#include "instructions/operators/operator_table.h"

namespace Karsto {

namespace {

using K = TypeKind;
using F = OperatorFamily;

// The overload sets, each in registration order.
constexpr TypeKind kNumbers[] = {K::Lreal, K::Real, K::Sint,  K::Int,   K::Dint, K::Lint,
                                 K::Usint, K::Uint, K::Udint, K::Ulint, K::Litr, K::Liti};
constexpr TypeKind kIntegerKinds[] = {K::Sint, K::Int,  K::Dint,  K::Lint, K::Usint,
                                  K::Uint, K::Udint, K::Ulint, K::Liti};
constexpr TypeKind kReals[] = {K::Lreal, K::Real, K::Litr};
constexpr TypeKind kBits[] = {K::Bool, K::Byte, K::Word, K::Dword, K::Lword, K::Liti};
constexpr TypeKind kBitsWithoutLiteral[] = {K::Bool, K::Byte, K::Word, K::Dword, K::Lword};
constexpr TypeKind kBitStrings[] = {K::Byte, K::Word, K::Dword, K::Lword};
constexpr TypeKind kAllValues[] = {
    K::Lreal, K::Real,  K::Sint,  K::Int,    K::Dint, K::Lint,  K::Usint, K::Uint,
    K::Udint, K::Ulint, K::Time,  K::Ltime,  K::Bool, K::Byte,  K::Word,  K::Dword,
    K::Lword, K::String, K::Wstring, K::Char, K::Wchar, K::Date, K::Ldate, K::Tod,
    K::Ltod,  K::Dt,    K::Ldt,   K::Liti,   K::Litr,
};

enum class Shape { ArithBinary, ArithVariadic, CmpBinary, ArithUnary, Bitshift };

struct OperatorFunction {
    const char* name;
    Shape shape;
    OperatorFamily family;
    std::span<const TypeKind> types;
};

constexpr OperatorFunction kOperatorFunctions[] = {
    {"atan2", Shape::ArithBinary, F::Atan2, kReals},
    {"add", Shape::ArithVariadic, F::Add, kNumbers},
    {"sub", Shape::ArithBinary, F::Sub, kNumbers},
    {"mul", Shape::ArithVariadic, F::Mul, kNumbers},
    {"div", Shape::ArithBinary, F::Div, kNumbers},
    {"mod", Shape::ArithBinary, F::Mod, kIntegerKinds},
    {"or", Shape::ArithVariadic, F::Or, kBits},
    {"xor", Shape::ArithVariadic, F::Xor, kBits},
    {"and", Shape::ArithVariadic, F::And, kBits},
    {"expt", Shape::ArithBinary, F::Expt, kReals},
    {"shl", Shape::Bitshift, F::Shl, kBitStrings},
    {"shr", Shape::Bitshift, F::Shr, kBitStrings},
    {"rol", Shape::Bitshift, F::Rol, kBitStrings},
    {"ror", Shape::Bitshift, F::Ror, kBitStrings},
    {"eq", Shape::CmpBinary, F::Eq, kAllValues},
    {"ne", Shape::CmpBinary, F::Ne, kAllValues},
    {"lt", Shape::CmpBinary, F::Lt, kAllValues},
    {"gt", Shape::CmpBinary, F::Gt, kAllValues},
    {"le", Shape::CmpBinary, F::Le, kAllValues},
    {"ge", Shape::CmpBinary, F::Ge, kAllValues},
    {"abs", Shape::ArithUnary, F::Abs, kNumbers},
    {"sqrt", Shape::ArithUnary, F::Sqrt, kReals},
    {"ln", Shape::ArithUnary, F::Ln, kReals},
    {"log", Shape::ArithUnary, F::Log, kReals},
    {"exp", Shape::ArithUnary, F::Exp, kReals},
    {"sin", Shape::ArithUnary, F::Sin, kReals},
    {"cos", Shape::ArithUnary, F::Cos, kReals},
    {"tan", Shape::ArithUnary, F::Tan, kReals},
    {"asin", Shape::ArithUnary, F::Asin, kReals},
    {"acos", Shape::ArithUnary, F::Acos, kReals},
    {"atan", Shape::ArithUnary, F::Atan, kReals},
    {"neg", Shape::ArithUnary, F::Neg, kNumbers},
    {"inv", Shape::ArithUnary, F::Inv, kBitsWithoutLiteral},
    {"bcdencode", Shape::ArithUnary, F::BcdEncode, kBitStrings},
    {"bcddecode", Shape::ArithUnary, F::BcdDecode, kBitStrings},
    {"round", Shape::ArithUnary, F::Round, kReals},
};

FunctionIntrinsic* create(const OperatorFunction& function) {
    switch (function.shape) {
    case Shape::ArithBinary: return new FunctionIntrinsicArithBinary(function.name);
    case Shape::ArithVariadic: return new FunctionIntrinsicArithVariadic(function.name);
    case Shape::CmpBinary: return new FunctionIntrinsicCmpBinary(function.name);
    case Shape::ArithUnary: return new FunctionIntrinsicArithUnary(function.name);
    case Shape::Bitshift: return new FunctionIntrinsicBitshift(function.name);
    }
    return nullptr;
}

} // namespace

void registerOperators(SymbolTables& tables) {
    for (const OperatorFunction& entry : kOperatorFunctions) {
        FunctionIntrinsic* function = create(entry);
        declareIntrinsic(tables, function);
        // Each entry gets an instruction object of its own.
        for (TypeKind kind : entry.types)
            function->addOverload(overloadType(kind),
                                  Code(operatorFor(entry.family, kind)->make(OperatorOperands{})));
    }
}

} // namespace Karsto
