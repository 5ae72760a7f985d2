// Literals and the elementary type names that typed literals carry: every literal gets
// its type and the code that pushes its value in the first walk, after its children;
// the second walk passes over them. Nothing is folded: a sign and a typed prefix are
// instructions that run with the literal.

#include <string>
#include <utility>

#include "codegen/cast_emitter.h"
#include "codegen/operation_emitters.h"
#include "core/constant_factory.h"
#include "core/emitters.h"
#include "core/exception.h"
#include "core/literals.h"
#include "core/type.h"
#include "core/type_pointer.h"
#include "core/type_string.h"
#include "evaluator/attribute_access.h"
#include "evaluator/handlers.h"
#include "evaluator/shared_operations.h"

namespace Karsto::Eval {

namespace {

// A production whose only symbol is a keyword naming an elementary type.
template <class R>
void typeName(Evaluator& evaluator, Parser::AstNode& node, Type* type) {
    if (evaluator.declaring()) node.attributes<R>().type = type;
}

// A production whose only child names the type.
template <class R>
void typeNameOfChild(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    if (evaluator.declaring() && step == 0)
        node.attributes<R>().type = attribute(AstAttribute::type, childRecord(node, 0));
}

// An untyped integer literal in the given base: the 64-bit pattern of its digits.
template <class R>
void integerConstant(Evaluator& evaluator, Parser::AstNode& node, int32_t step, int32_t base) {
    if (!evaluator.declaring() || step != -1) return;
    auto& self = node.attributes<R>();
    self.type = typeIntegerLiteral;
    self.code = emitIntegerLiteral(std::string(node.lexeme(0)), base, typeIntegerLiteral, node.span());
}

// "<type name> # literal": the untyped literal, then its conversion to the named type,
// made when the code runs (no range check: the low bits are kept).
template <class R>
void typedNumber(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    if (!evaluator.declaring() || step != 2) return;
    auto& self = node.attributes<R>();
    const AstRecord literal = childRecord(node, 2);
    Type* type = attribute(AstAttribute::type, childRecord(node, 0));
    self.code = attribute(AstAttribute::code, literal)
                    .concat(emitImplicitConversion(attribute(AstAttribute::type, literal), type, node.span()));
    self.type = type;
}

void booleanConstant(Evaluator& evaluator, Parser::AstNode& node, int32_t step, int64_t value) {
    if (!evaluator.declaring() || step != -1) return;
    auto& self = node.attributes<AstNode_boolean_literal>();
    self.type = typeBool;
    self.code = makeIntConstant(value, typeBool, node.span());
}

// A quoted string: one character is a CHAR (WCHAR) constant, any other count a STRING
// (WSTRING) of exactly that many characters.
template <class R, class StringType>
void characterString(Evaluator& evaluator, Parser::AstNode& node, int32_t step, int32_t bytesPerCharacter,
                     Type* characterType) {
    if (!evaluator.declaring() || step != -1) return;
    auto& self = node.attributes<R>();
    self.characters = parseStringLiteral(std::string(node.lexeme(0)), bytesPerCharacter);
    if (self.characters.size() == 1) {
        self.type = characterType;
        self.code = makeIntConstant(self.characters[0], characterType, SourceSpan());
        return;
    }
    self.type = evaluator.handle(new StringType(static_cast<int32_t>(self.characters.size())));
    self.code = emitStringLiteral(self.characters, self.type, node.span());
}

// "STRING # '...'" and its kin: the literal cast to the named type.
void typedCharacterString(Evaluator& evaluator, Parser::AstNode& node, int32_t step, Type* type) {
    if (!evaluator.declaring() || step != 2) return;
    auto& self = node.attributes<AstNode_character_string>();
    const AstRecord literal = childRecord(node, 2);
    self.code = attribute(AstAttribute::code, literal)
                    .concat(emitCast(attribute(AstAttribute::type, literal), type, SourceSpan()));
    self.type = type;
}

void timeConstant(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    if (!evaluator.declaring() || step != -1) return;
    auto& self = node.attributes<AstNode_time_literal>();
    const std::string text = toLowerCopy(node.lexeme(0));
    self.type = typedLiteralType(text);
    self.code = makeIntConstant(parseTimeLiteral(text), self.type, node.span());
}

} // namespace

// ---- type names ------------------------------------------------------------------------

void signed_integer_type_name_0(Evaluator& e, Parser::AstNode& n, int32_t) {
    typeName<AstNode_signed_integer_type_name>(e, n, typeSint);
}
void signed_integer_type_name_1(Evaluator& e, Parser::AstNode& n, int32_t) {
    typeName<AstNode_signed_integer_type_name>(e, n, typeInt);
}
void signed_integer_type_name_2(Evaluator& e, Parser::AstNode& n, int32_t) {
    typeName<AstNode_signed_integer_type_name>(e, n, typeDint);
}
void signed_integer_type_name_3(Evaluator& e, Parser::AstNode& n, int32_t) {
    typeName<AstNode_signed_integer_type_name>(e, n, typeLint);
}
void unsigned_integer_type_name_0(Evaluator& e, Parser::AstNode& n, int32_t) {
    typeName<AstNode_unsigned_integer_type_name>(e, n, typeUsint);
}
void unsigned_integer_type_name_1(Evaluator& e, Parser::AstNode& n, int32_t) {
    typeName<AstNode_unsigned_integer_type_name>(e, n, typeUint);
}
void unsigned_integer_type_name_2(Evaluator& e, Parser::AstNode& n, int32_t) {
    typeName<AstNode_unsigned_integer_type_name>(e, n, typeUdint);
}
void unsigned_integer_type_name_3(Evaluator& e, Parser::AstNode& n, int32_t) {
    typeName<AstNode_unsigned_integer_type_name>(e, n, typeUlint);
}
void integer_type_name_0(Evaluator& e, Parser::AstNode& n, int32_t step) {
    typeNameOfChild<AstNode_integer_type_name>(e, n, step);
}
void integer_type_name_1(Evaluator& e, Parser::AstNode& n, int32_t step) {
    typeNameOfChild<AstNode_integer_type_name>(e, n, step);
}
void real_type_name_0(Evaluator& e, Parser::AstNode& n, int32_t) { typeName<AstNode_real_type_name>(e, n, typeReal); }
void real_type_name_1(Evaluator& e, Parser::AstNode& n, int32_t) { typeName<AstNode_real_type_name>(e, n, typeLreal); }
void bit_string_type_name_0(Evaluator& e, Parser::AstNode& n, int32_t) {
    typeName<AstNode_bit_string_type_name>(e, n, typeBool);
}
void bit_string_type_name_1(Evaluator& e, Parser::AstNode& n, int32_t) {
    typeName<AstNode_bit_string_type_name>(e, n, typeByte);
}
void bit_string_type_name_2(Evaluator& e, Parser::AstNode& n, int32_t) {
    typeName<AstNode_bit_string_type_name>(e, n, typeWord);
}
void bit_string_type_name_3(Evaluator& e, Parser::AstNode& n, int32_t) {
    typeName<AstNode_bit_string_type_name>(e, n, typeDword);
}
void bit_string_type_name_4(Evaluator& e, Parser::AstNode& n, int32_t) {
    typeName<AstNode_bit_string_type_name>(e, n, typeLword);
}
void bit_string_type_name_no_bool_0(Evaluator& e, Parser::AstNode& n, int32_t) {
    typeName<AstNode_bit_string_type_name_no_bool>(e, n, typeByte);
}
void bit_string_type_name_no_bool_1(Evaluator& e, Parser::AstNode& n, int32_t) {
    typeName<AstNode_bit_string_type_name_no_bool>(e, n, typeWord);
}
void bit_string_type_name_no_bool_2(Evaluator& e, Parser::AstNode& n, int32_t) {
    typeName<AstNode_bit_string_type_name_no_bool>(e, n, typeDword);
}
void bit_string_type_name_no_bool_3(Evaluator& e, Parser::AstNode& n, int32_t) {
    typeName<AstNode_bit_string_type_name_no_bool>(e, n, typeLword);
}

// ---- numbers ---------------------------------------------------------------------------

void integer_0(Evaluator& e, Parser::AstNode& n, int32_t step) { integerConstant<AstNode_integer>(e, n, step, 10); }
void binary_integer_0(Evaluator& e, Parser::AstNode& n, int32_t step) {
    integerConstant<AstNode_binary_integer>(e, n, step, 2);
}
void octal_integer_0(Evaluator& e, Parser::AstNode& n, int32_t step) {
    integerConstant<AstNode_octal_integer>(e, n, step, 8);
}
void hex_integer_0(Evaluator& e, Parser::AstNode& n, int32_t step) {
    integerConstant<AstNode_hex_integer>(e, n, step, 16);
}

void signed_integer_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step) { // "+" integer
    if (!evaluator.declaring() || step != 1) return;
    auto& self = node.attributes<AstNode_signed_integer>();
    const AstRecord integer = childRecord(node, 1);
    self.type = attribute(AstAttribute::type, integer);
    self.code = attribute(AstAttribute::code, integer);
}

void signed_integer_2(Evaluator& evaluator, Parser::AstNode& node, int32_t step) { // "-" integer
    if (!evaluator.declaring() || step != 1) return;
    auto& self = node.attributes<AstNode_signed_integer>();
    const AstRecord integer = childRecord(node, 1);
    self.type = attribute(AstAttribute::type, integer);
    // The sign is an instruction: the digits were read unsigned.
    self.code = attribute(AstAttribute::code, integer).concat(emitNeg(self.type, node.span()));
}

void integer_literal_1(Evaluator& e, Parser::AstNode& n, int32_t step) { typedNumber<AstNode_integer_literal>(e, n, step); }

void real_literal_2_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    if (!evaluator.declaring() || step != -1) return;
    auto& self = node.attributes<AstNode_real_literal_2>();
    self.type = typeRealLiteral;
    // A value beyond the range of a double leaves as the standard library's range error.
    self.code = emitRealLiteral(std::string(node.lexeme(0)), typeRealLiteral, node.span());
}

void real_literal_1(Evaluator& e, Parser::AstNode& n, int32_t step) { typedNumber<AstNode_real_literal>(e, n, step); }

void bit_string_literal_0(Evaluator& e, Parser::AstNode& n, int32_t step) {
    typedNumber<AstNode_bit_string_literal>(e, n, step);
}

// ---- Booleans --------------------------------------------------------------------------

void boolean_literal_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step) { // BOOL # <decimal>
    if (!evaluator.declaring() || step != -1) return;
    auto& self = node.attributes<AstNode_boolean_literal>();
    const std::string digits(node.lexeme(2));
    checkSemantic(digits.size() == 1 && (digits[0] == '0' || digits[0] == '1'), "Invalid boolean literal");
    self.type = typeBool;
    self.code = emitIntegerLiteral(digits, 10, typeBool, node.span());
}

void boolean_literal_1(Evaluator& e, Parser::AstNode& n, int32_t step) { booleanConstant(e, n, step, 1); }
void boolean_literal_2(Evaluator& e, Parser::AstNode& n, int32_t step) { booleanConstant(e, n, step, 1); }
void boolean_literal_3(Evaluator& e, Parser::AstNode& n, int32_t step) { booleanConstant(e, n, step, 0); }
void boolean_literal_4(Evaluator& e, Parser::AstNode& n, int32_t step) { booleanConstant(e, n, step, 0); }

// ---- character strings -----------------------------------------------------------------

void single_byte_character_string_0(Evaluator& e, Parser::AstNode& n, int32_t step) {
    characterString<AstNode_single_byte_character_string, TypeString>(e, n, step, 1, typeChar);
}
void double_byte_character_string_0(Evaluator& e, Parser::AstNode& n, int32_t step) {
    characterString<AstNode_double_byte_character_string, TypeWstring>(e, n, step, 2, typeWchar);
}

void character_string_1(Evaluator& e, Parser::AstNode& n, int32_t step) { typedCharacterString(e, n, step, typeString); }
void character_string_2(Evaluator& e, Parser::AstNode& n, int32_t step) { typedCharacterString(e, n, step, typeChar); }
void character_string_3(Evaluator& e, Parser::AstNode& n, int32_t step) { typedCharacterString(e, n, step, typeWstring); }
void character_string_4(Evaluator& e, Parser::AstNode& n, int32_t step) { typedCharacterString(e, n, step, typeWchar); }
void character_string_6(Evaluator& e, Parser::AstNode& n, int32_t step) { typedCharacterString(e, n, step, typeWstring); }
void character_string_7(Evaluator& e, Parser::AstNode& n, int32_t step) { typedCharacterString(e, n, step, typeWchar); }

// ---- durations, dates, times of day and NULL -------------------------------------------

void time_literal_0(Evaluator& e, Parser::AstNode& n, int32_t step) { timeConstant(e, n, step); }
void time_literal_1(Evaluator& e, Parser::AstNode& n, int32_t step) { timeConstant(e, n, step); }
void time_literal_2(Evaluator& e, Parser::AstNode& n, int32_t step) { timeConstant(e, n, step); }
void time_literal_3(Evaluator& e, Parser::AstNode& n, int32_t step) { timeConstant(e, n, step); }

void constant_5(Evaluator& evaluator, Parser::AstNode& node, int32_t step) { // NULL
    if (!evaluator.declaring() || step != -1) return;
    auto& self = node.attributes<AstNode_constant>();
    self.type = typeNullPointer;
    self.code = makeIntConstant(0, typeAddr, SourceSpan());
}

} // namespace Karsto::Eval
