// Type names and the type of a declaration: the keywords of the elementary types, a
// declared type named by its identifier, and STRING[n] / WSTRING[n]. All of it happens
// in the first walk; the second only passes through.

#include <string>

#include "core/exception.h"
#include "core/type.h"
#include "core/type_string.h"
#include "evaluator/attribute_access.h"
#include "evaluator/compile_time_evaluation.h"
#include "evaluator/handlers.h"
#include "evaluator/shared_operations.h"

namespace Karsto::Eval {

namespace {

// A keyword that names one type. The elementary types are process-wide singletons, so
// the long and short spelling of a date type give the same object.
template <class R>
void keywordType(Evaluator& evaluator, Parser::AstNode& node, int32_t step, Type* type) {
    if (evaluator.declaring() && step == -1) node.attributes<R>().type = type;
}

// The child's type, once the child is finished.
template <class R>
void typeOfChild(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    if (evaluator.declaring() && step == 0) node.attributes<R>().type = attribute(AstAttribute::type, childRecord(node, 0));
}

// A type named by an identifier: the declared object itself, looked up lower-cased.
template <class R>
void namedType(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    if (!evaluator.declaring() || step != 0) return;
    auto& self = node.attributes<R>();
    self.type = self.typeScope->lookupOrFail(toLowerCopy(attribute(AstAttribute::name, childRecord(node, 0))));
}

// The capacity between the brackets of STRING[n] and WSTRING[n], computed from the
// integer literal's code. A negative capacity (a literal beyond 2^31 wraps in the 32-bit
// evaluation) would give the type no cells or fewer: refused.
int32_t stringCapacity(Parser::AstNode& node) {
    const AstRecord literal = childRecord(node, 2);
    const int32_t capacity = evaluateConstInt(attribute(AstAttribute::code, literal), attribute(AstAttribute::type, literal));
    checkSemantic(capacity >= 0, "Invalid string length %d", static_cast<int>(capacity));
    return capacity;
}

} // namespace

void date_type_name_0(Evaluator& e, Parser::AstNode& n, int32_t step) { // DATE
    keywordType<AstNode_date_type_name>(e, n, step, typeDate);
}
void date_type_name_1(Evaluator& e, Parser::AstNode& n, int32_t step) { // LDATE
    keywordType<AstNode_date_type_name>(e, n, step, typeLdate);
}
void date_type_name_2(Evaluator& e, Parser::AstNode& n, int32_t step) { // TIME_OF_DAY
    keywordType<AstNode_date_type_name>(e, n, step, typeTod);
}
void date_type_name_3(Evaluator& e, Parser::AstNode& n, int32_t step) { // TOD
    keywordType<AstNode_date_type_name>(e, n, step, typeTod);
}
void date_type_name_4(Evaluator& e, Parser::AstNode& n, int32_t step) { // LTIME_OF_DAY
    keywordType<AstNode_date_type_name>(e, n, step, typeLtod);
}
void date_type_name_5(Evaluator& e, Parser::AstNode& n, int32_t step) { // LTOD
    keywordType<AstNode_date_type_name>(e, n, step, typeLtod);
}
void date_type_name_6(Evaluator& e, Parser::AstNode& n, int32_t step) { // DATE_AND_TIME
    keywordType<AstNode_date_type_name>(e, n, step, typeDt);
}
void date_type_name_7(Evaluator& e, Parser::AstNode& n, int32_t step) { // DT
    keywordType<AstNode_date_type_name>(e, n, step, typeDt);
}
void date_type_name_8(Evaluator& e, Parser::AstNode& n, int32_t step) { // LDT
    keywordType<AstNode_date_type_name>(e, n, step, typeLdt);
}
void date_type_name_9(Evaluator& e, Parser::AstNode& n, int32_t step) { // LDATE_AND_TIME
    keywordType<AstNode_date_type_name>(e, n, step, typeLdt);
}

void elementary_type_name_0(Evaluator& e, Parser::AstNode& n, int32_t step) { // numeric
    typeOfChild<AstNode_elementary_type_name>(e, n, step);
}
void elementary_type_name_1(Evaluator& e, Parser::AstNode& n, int32_t step) { // date
    typeOfChild<AstNode_elementary_type_name>(e, n, step);
}
void elementary_type_name_2(Evaluator& e, Parser::AstNode& n, int32_t step) { // bit string
    typeOfChild<AstNode_elementary_type_name>(e, n, step);
}
void elementary_type_name_3(Evaluator& e, Parser::AstNode& n, int32_t step) { // CHAR
    keywordType<AstNode_elementary_type_name>(e, n, step, typeChar);
}
void elementary_type_name_4(Evaluator& e, Parser::AstNode& n, int32_t step) { // WCHAR
    keywordType<AstNode_elementary_type_name>(e, n, step, typeWchar);
}
// Every STRING and WSTRING keyword makes a type of its own; two of them are equal by
// their capacity.
void elementary_type_name_5(Evaluator& e, Parser::AstNode& n, int32_t step) { // STRING
    if (e.declaring() && step == -1)
        n.attributes<AstNode_elementary_type_name>().type = e.handle(new TypeString(kDefaultStringCapacity));
}
void elementary_type_name_6(Evaluator& e, Parser::AstNode& n, int32_t step) { // WSTRING
    if (e.declaring() && step == -1)
        n.attributes<AstNode_elementary_type_name>().type = e.handle(new TypeWstring(kDefaultStringCapacity));
}
void elementary_type_name_7(Evaluator& e, Parser::AstNode& n, int32_t step) { // TIME
    keywordType<AstNode_elementary_type_name>(e, n, step, typeTime);
}
void elementary_type_name_8(Evaluator& e, Parser::AstNode& n, int32_t step) { // LTIME
    keywordType<AstNode_elementary_type_name>(e, n, step, typeLtime);
}

void numeric_type_name_0(Evaluator& e, Parser::AstNode& n, int32_t step) { // integer
    typeOfChild<AstNode_numeric_type_name>(e, n, step);
}
void numeric_type_name_1(Evaluator& e, Parser::AstNode& n, int32_t step) { // real
    typeOfChild<AstNode_numeric_type_name>(e, n, step);
}

void non_generic_type_name_0(Evaluator& e, Parser::AstNode& n, int32_t step) { // elementary
    typeOfChild<AstNode_non_generic_type_name>(e, n, step);
}
void non_generic_type_name_1(Evaluator& e, Parser::AstNode& n, int32_t step) { // identifier
    namedType<AstNode_non_generic_type_name>(e, n, step);
}

void spec_0(Evaluator& e, Parser::AstNode& n, int32_t step) { // elementary_type_name
    typeOfChild<AstNode_spec>(e, n, step);
}
void spec_1(Evaluator& e, Parser::AstNode& n, int32_t step) { // identifier
    namedType<AstNode_spec>(e, n, step);
}
void spec_2(Evaluator& e, Parser::AstNode& n, int32_t step) { // STRING '[' integer ']'
    if (e.declaring() && step == 2) n.attributes<AstNode_spec>().type = e.handle(new TypeString(stringCapacity(n)));
}
void spec_3(Evaluator& e, Parser::AstNode& n, int32_t step) { // WSTRING '[' integer ']'
    if (e.declaring() && step == 2) n.attributes<AstNode_spec>().type = e.handle(new TypeWstring(stringCapacity(n)));
}

void spec_init_0(Evaluator& e, Parser::AstNode& n, int32_t step) { // spec without an initial value
    auto& self = n.attributes<AstNode_spec_init>();
    if (!e.declaring()) return;
    if (step == -1)
        passContext(self, childRecord(n, 0));
    else
        self.type = attribute(AstAttribute::type, childRecord(n, 0));
}

} // namespace Karsto::Eval
