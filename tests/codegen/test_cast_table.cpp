// The conversion table against the two things it must agree with: the conversion
// family it creates instructions from, and the table's rules stated independently.

#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <set>
#include <utility>

#include "codegen/cast_table.h"
#include "core/type_kind.h"
#include "instructions/conversions/conversion_table.h"
#include "instructions/operators/operator_table.h"

namespace Karsto {
namespace {

using K = TypeKind;

bool isOneOf(TypeKind kind, std::initializer_list<TypeKind> kinds) {
    return std::find(kinds.begin(), kinds.end(), kind) != kinds.end();
}

bool isInteger(TypeKind k) {
    return isOneOf(k, {K::Usint, K::Uint, K::Udint, K::Ulint, K::Sint, K::Int, K::Dint, K::Lint});
}
bool isBitString(TypeKind k) { return isOneOf(k, {K::Byte, K::Word, K::Dword, K::Lword}); }
bool isStringKind(TypeKind k) { return isOneOf(k, {K::String, K::Wstring}); }

// The table written as rules, apart from its rows: what each pair should emit.
CastEntry entryByRules(TypeKind f, TypeKind t) {
    if (f == t) {
        if (isStringKind(f)) return CastEntry::StringToString;
        if (f == K::Class) return CastEntry::ClassToClass;
        if (isOneOf(f, {K::LitString, K::LitWstring, K::Array, K::Enum, K::Subrange, K::Struct,
                        K::Void, K::Interface, K::Function}))
            return CastEntry::Refused;
        return CastEntry::Nothing;
    }
    const bool toNumber = isInteger(t) || isOneOf(t, {K::Liti, K::Litr, K::Real, K::Lreal});
    if (isInteger(f)) return toNumber || isBitString(t) ? CastEntry::Convert : CastEntry::Refused;
    if (isOneOf(f, {K::Real, K::Lreal})) {
        if (isInteger(t)) return CastEntry::RoundConvert;
        if (isOneOf(t, {K::Liti, K::Litr, K::Real, K::Lreal})) return CastEntry::Convert;
        if ((f == K::Real && t == K::Dword) || (f == K::Lreal && t == K::Lword))
            return CastEntry::Convert;
        return CastEntry::Refused;
    }
    if (f == K::Liti) return toNumber || t == K::Bool || isBitString(t) ? CastEntry::Convert
                                                                        : CastEntry::Refused;
    if (f == K::Litr) return isOneOf(t, {K::Real, K::Lreal}) ? CastEntry::Convert : CastEntry::Refused;
    if (f == K::Bool) return isInteger(t) || isBitString(t) ? CastEntry::Convert : CastEntry::Refused;
    if (isBitString(f)) {
        const bool extra = (f == K::Dword && t == K::Real) || (f == K::Lword && t == K::Lreal) ||
                           (f == K::Byte && t == K::Char) || (f == K::Word && t == K::Wchar);
        return isInteger(t) || t == K::Bool || isBitString(t) || extra ? CastEntry::Convert
                                                                       : CastEntry::Refused;
    }
    if (isOneOf(f, {K::Char, K::Wchar})) {
        if (t == K::Bool || isBitString(t)) return CastEntry::Convert;
        if (isOneOf(t, {K::Char, K::Wchar})) return CastEntry::Nothing;
        if ((f == K::Char && t == K::String) || (f == K::Wchar && t == K::Wstring))
            return CastEntry::CharToString;
        return CastEntry::Refused;
    }
    if (isStringKind(f)) {
        if (isStringKind(t)) return CastEntry::StringToString;
        if ((f == K::String && t == K::Char) || (f == K::Wstring && t == K::Wchar))
            return CastEntry::StringToChar;
        return CastEntry::Refused;
    }
    const std::pair<TypeKind, TypeKind> pair{f, t};
    const std::set<std::pair<TypeKind, TypeKind>> timeDate = {
        {K::Time, K::Ltime}, {K::Ltime, K::Time}, {K::Tod, K::Ltod},  {K::Ltod, K::Tod},
        {K::Date, K::Ldate}, {K::Ldate, K::Date}, {K::Dt, K::Ldt},    {K::Ldt, K::Dt},
        {K::Dt, K::Tod},     {K::Dt, K::Ltod},    {K::Dt, K::Date},   {K::Dt, K::Ldate},
        {K::Ldt, K::Tod},    {K::Ldt, K::Ltod},   {K::Ldt, K::Date},  {K::Ldt, K::Ldate},
    };
    if (timeDate.count(pair) != 0) return CastEntry::Convert;
    if (f == K::Enum) return toNumber || t == K::Bool || isBitString(t) ? CastEntry::FromEnum
                                                                        : CastEntry::Refused;
    return CastEntry::Refused;
}

TEST(CastTable, EveryPairHasTheEntryItsRulesGive) {
    int32_t accepted = 0;
    for (int32_t f = 0; f < kTypeKindCount; ++f) {
        for (int32_t t = 0; t < kTypeKindCount; ++t) {
            const auto from = static_cast<TypeKind>(f);
            const auto to = static_cast<TypeKind>(t);
            EXPECT_EQ(castEntry(from, to), entryByRules(from, to)) << "kinds " << f << " to " << t;
            accepted += castEntry(from, to) == CastEntry::Refused ? 0 : 1;
        }
    }
    EXPECT_EQ(accepted, 308);
}

TEST(CastTable, ConversionCellsMatchTheConversionFamilyOneToOne) {
    // Each class of the family is the instruction of exactly one cell ...
    std::set<std::pair<TypeKind, TypeKind>> classPairs;
    int32_t fromEnumeration = 0;
    for (const ConversionEntry& entry : conversionRegistry()) {
        EXPECT_TRUE(classPairs.insert({entry.from, entry.to}).second);
        const CastEntry cell = castEntry(entry.from, entry.to);
        if (entry.from == TypeKind::Enum) {
            ++fromEnumeration;
            EXPECT_EQ(cell, CastEntry::FromEnum) << "CastEnum to kind " << kindIndex(entry.to);
        } else {
            EXPECT_TRUE(cell == CastEntry::Convert || cell == CastEntry::RoundConvert)
                << "kinds " << kindIndex(entry.from) << " to " << kindIndex(entry.to);
        }
    }
    EXPECT_EQ(classPairs.size() - static_cast<size_t>(fromEnumeration), 252u);
    EXPECT_EQ(fromEnumeration, 17);
    // ... and each A, R and E cell has its class (and R its rounding), so none is left.
    for (int32_t f = 0; f < kTypeKindCount; ++f) {
        for (int32_t t = 0; t < kTypeKindCount; ++t) {
            const auto from = static_cast<TypeKind>(f);
            const auto to = static_cast<TypeKind>(t);
            switch (castEntry(from, to)) {
            case CastEntry::Convert:
                EXPECT_NE(conversionFor(from, to), nullptr) << "kinds " << f << " to " << t;
                break;
            case CastEntry::RoundConvert:
                EXPECT_NE(conversionFor(from, to), nullptr) << "kinds " << f << " to " << t;
                EXPECT_NE(operatorFor(OperatorFamily::Round, from), nullptr) << "kind " << f;
                break;
            case CastEntry::FromEnum:
                EXPECT_EQ(from, TypeKind::Enum);
                EXPECT_NE(conversionFor(TypeKind::Enum, to), nullptr) << "to kind " << t;
                break;
            case CastEntry::Refused:
            case CastEntry::Nothing:
            case CastEntry::CharToString:
            case CastEntry::StringToChar:
            case CastEntry::StringToString:
            case CastEntry::ClassToClass:
                break;
            }
        }
    }
}

TEST(CastTable, KindsOutsideTheTypeKindsAreRefused) {
    EXPECT_EQ(castEntry(static_cast<TypeKind>(-1), TypeKind::Int), CastEntry::Refused);
    EXPECT_EQ(castEntry(TypeKind::Int, static_cast<TypeKind>(kTypeKindCount)), CastEntry::Refused);
}

} // namespace
} // namespace Karsto
