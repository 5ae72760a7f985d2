// Steps 2 to 6 of the registration: the named conversions, built by rules over the
// integer order and the width order; only the to_T order and the A_to_B groups are
// spelled out.

#include <iterator>
#include <span>
#include <string>
#include <string_view>

#include "builtins/conversion_builtins.h"
#include "builtins/registration_steps.h"
#include "core/symbol_tables.h"
#include "instructions/conversions/conversion_table.h"
#include "instructions/operators/operator_table.h"

namespace Karsto {

namespace {

using K = TypeKind;

constexpr TypeKind kIntegerOrder[] = {K::Sint, K::Int,  K::Dint,  K::Lint,
                                      K::Usint, K::Uint, K::Udint, K::Ulint};
constexpr TypeKind kWidthOrder[] = {K::Byte, K::Word, K::Dword, K::Lword};

// to_T, in registration order.
constexpr TypeKind kCastToOrder[] = {
    K::Usint, K::Ltime, K::Lint,  K::Ulint,   K::Char,   K::Dint, K::Byte,  K::Lword, K::Ldt,
    K::Ltod,  K::Lreal, K::Dt,    K::Uint,    K::Word,   K::Time, K::Wchar, K::Int,   K::Wstring,
    K::String, K::Sint, K::Real,  K::Date,    K::Ldate,  K::Dword, K::Bool, K::Tod,   K::Udint,
};

// In an A_to_B target list: the eight integers in the integer order, the source left out.
constexpr TypeKind kIntegers = K::Void;

struct CastGroup {
    TypeKind source;
    std::span<const TypeKind> targets;
};

constexpr TypeKind kFromLreal[] = {K::Real, kIntegers, K::Lword};
constexpr TypeKind kFromReal[] = {K::Lreal, kIntegers, K::Dword};
constexpr TypeKind kFromInteger[] = {K::Lreal, K::Real, kIntegers, K::Lword,
                                     K::Dword, K::Word, K::Byte};
constexpr TypeKind kFromLword[] = {kIntegers, K::Bool, K::Byte, K::Word, K::Dword, K::Lreal};
constexpr TypeKind kFromDword[] = {kIntegers, K::Bool, K::Byte, K::Word, K::Lword, K::Real};
constexpr TypeKind kFromWord[] = {kIntegers, K::Bool, K::Byte, K::Dword, K::Lword, K::Wchar};
constexpr TypeKind kFromByte[] = {kIntegers, K::Bool, K::Word, K::Dword, K::Lword, K::Char};
constexpr TypeKind kFromBool[] = {kIntegers, K::Byte, K::Word, K::Dword, K::Lword};
constexpr TypeKind kFromWstring[] = {K::String, K::Wchar};
constexpr TypeKind kFromString[] = {K::Wstring, K::Char};
constexpr TypeKind kFromWchar[] = {K::Char, K::Wstring, K::Bool, K::Byte,
                                   K::Word, K::Dword,   K::Lword};
constexpr TypeKind kFromChar[] = {K::Wchar, K::String, K::Bool, K::Byte,
                                  K::Word,  K::Dword,  K::Lword};
constexpr TypeKind kToLtime[] = {K::Ltime};
constexpr TypeKind kToTime[] = {K::Time};
constexpr TypeKind kToLdate[] = {K::Ldate};
constexpr TypeKind kToDate[] = {K::Date};
constexpr TypeKind kToLtod[] = {K::Ltod};
constexpr TypeKind kToTod[] = {K::Tod};
constexpr TypeKind kFromDt[] = {K::Date, K::Ldate, K::Tod, K::Ltod, K::Ldt};
constexpr TypeKind kFromLdt[] = {K::Date, K::Ldate, K::Tod, K::Ltod, K::Dt};

constexpr CastGroup kCastGroups[] = {
    {K::Lreal, kFromLreal},     {K::Real, kFromReal},       {K::Lint, kFromInteger},
    {K::Dint, kFromInteger},    {K::Int, kFromInteger},     {K::Sint, kFromInteger},
    {K::Ulint, kFromInteger},   {K::Udint, kFromInteger},   {K::Uint, kFromInteger},
    {K::Usint, kFromInteger},   {K::Lword, kFromLword},     {K::Dword, kFromDword},
    {K::Word, kFromWord},       {K::Byte, kFromByte},       {K::Bool, kFromBool},
    {K::Wstring, kFromWstring}, {K::String, kFromString},   {K::Wchar, kFromWchar},
    {K::Char, kFromChar},       {K::Time, kToLtime},        {K::Ltime, kToTime},
    {K::Date, kToLdate},        {K::Ldate, kToDate},        {K::Tod, kToLtod},
    {K::Ltod, kToTod},          {K::Dt, kFromDt},           {K::Ldt, kFromLdt},
};

// The lower-case name of a named elementary type, as it stands in function names.
std::string_view typeName(TypeKind kind) {
    switch (kind) {
    case K::Sint: return "sint";
    case K::Int: return "int";
    case K::Dint: return "dint";
    case K::Lint: return "lint";
    case K::Usint: return "usint";
    case K::Uint: return "uint";
    case K::Udint: return "udint";
    case K::Ulint: return "ulint";
    case K::Real: return "real";
    case K::Lreal: return "lreal";
    case K::Bool: return "bool";
    case K::Byte: return "byte";
    case K::Word: return "word";
    case K::Dword: return "dword";
    case K::Lword: return "lword";
    case K::Time: return "time";
    case K::Ltime: return "ltime";
    case K::Date: return "date";
    case K::Ldate: return "ldate";
    case K::Tod: return "tod";
    case K::Ltod: return "ltod";
    case K::Dt: return "dt";
    case K::Ldt: return "ldt";
    case K::Char: return "char";
    case K::Wchar: return "wchar";
    case K::String: return "string";
    case K::Wstring: return "wstring";
    default: return {};
    }
}

std::string joined(TypeKind first, std::string_view middle, TypeKind second) {
    return std::string(typeName(first)).append(middle).append(typeName(second));
}

// A fresh conversion instruction.
Code conversion(TypeKind from, TypeKind to) { return Code(conversionFor(from, to)()); }

// A fresh BCD instruction of the bit string's width.
Code bcd(OperatorFamily family, TypeKind bits) {
    return Code(operatorFor(family, bits)->make(OperatorOperands{}));
}

Code decodeThenCast(TypeKind bits, TypeKind integer) {
    return bcd(OperatorFamily::BcdDecode, bits).concat(conversion(bits, integer));
}

Code castThenEncode(TypeKind integer, TypeKind bits) {
    return conversion(integer, bits).concat(bcd(OperatorFamily::BcdEncode, bits));
}

template <class Kind, class... Types>
Kind* declare(SymbolTables& tables, std::string name, Types... types) {
    auto* function = new Kind(std::move(name), overloadType(types)...);
    declareIntrinsic(tables, function);
    return function;
}

void registerCastTo(SymbolTables& tables) {
    for (TypeKind to : kCastToOrder)
        declare<FunctionIntrinsicCastTo>(tables, std::string("to_").append(typeName(to)), to);
}

void registerCastFromTo(SymbolTables& tables) {
    for (const CastGroup& group : kCastGroups)
        for (TypeKind target : group.targets) {
            if (target != kIntegers) {
                declare<FunctionIntrinsicCastFromTo>(tables, joined(group.source, "_to_", target),
                                                     group.source, target);
                continue;
            }
            for (TypeKind integer : kIntegerOrder)
                if (integer != group.source)
                    declare<FunctionIntrinsicCastFromTo>(
                        tables, joined(group.source, "_to_", integer), group.source, integer);
        }
}

void registerTruncations(SymbolTables& tables) {
    for (TypeKind integer : kIntegerOrder) {
        for (TypeKind real : {K::Lreal, K::Real})
            declare<FunctionIntrinsicTrunc>(tables, joined(real, "_trunc_", integer), real,
                                            integer)
                ->addOverload(overloadType(integer), conversion(real, integer));
        auto* truncTo = declare<FunctionIntrinsicTruncTo>(
            tables, std::string("trunc_").append(typeName(integer)), integer);
        for (TypeKind real : {K::Lreal, K::Real})
            truncTo->addOverload(overloadType(real), conversion(real, integer));
    }
}

void registerBcdWidths(SymbolTables& tables) {
    for (TypeKind integer : kIntegerOrder)
        for (TypeKind bits : kWidthOrder) {
            declare<FunctionIntrinsicBcd>(tables, joined(bits, "_bcd_to_", integer), bits,
                                          integer)
                ->addOverload(overloadType(integer), decodeThenCast(bits, integer));
            declare<FunctionIntrinsicBcd>(tables, joined(integer, "_to_bcd_", bits), integer,
                                          bits)
                ->addOverload(overloadType(bits), castThenEncode(integer, bits));
        }
}

void registerBcdByArgument(SymbolTables& tables) {
    for (TypeKind integer : kIntegerOrder) {
        auto* function = declare<FunctionIntrinsicBcdTo>(
            tables, std::string("bcd_to_").append(typeName(integer)), integer);
        for (TypeKind bits : kWidthOrder)
            function->addOverload(overloadType(bits), decodeThenCast(bits, integer));
    }
    for (TypeKind bits : kWidthOrder) {
        auto* function = declare<FunctionIntrinsicBcdTo>(
            tables, std::string("to_bcd_").append(typeName(bits)), bits);
        for (TypeKind integer : kIntegerOrder)
            function->addOverload(overloadType(integer), castThenEncode(integer, bits));
    }
}

} // namespace

void registerConversions(SymbolTables& tables) {
    registerCastTo(tables);
    registerCastFromTo(tables);
    registerTruncations(tables);
    registerBcdWidths(tables);
    registerBcdByArgument(tables);
}

} // namespace Karsto
