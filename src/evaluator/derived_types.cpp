// TYPE declarations and the constructed types: subranges, enumerations, arrays,
// structures and references. All of it happens in the first walk: every bound
// and explicit enumeration value is computed there by running its code; the second
// walk only passes through. Each declared name gets a type scope of its own, so what
// follows sees it and a later declaration of the name hides it.

#include <string>
#include <vector>

#include "core/exception.h"
#include "core/scope.h"
#include "core/type.h"
#include "core/type_array.h"
#include "core/type_enum.h"
#include "core/type_pointer.h"
#include "core/type_scif.h"
#include "core/type_subrange.h"
#include "evaluator/attribute_access.h"
#include "evaluator/compile_time_evaluation.h"
#include "evaluator/handlers.h"
#include "evaluator/shared_operations.h"
#include "frontend/grammar_symbols.h"

namespace Karsto::Eval {

namespace {

// The bounds of a range, upper first: a bound's errors are reported in that order.
BoundPair evaluateBounds(Parser::AstNode& range) {
    const AstRecord bounds = astRecordOf(range);
    BoundPair pair;
    pair.upper = evaluateConstInt(attribute(AstAttribute::upperCode, bounds), attribute(AstAttribute::upperType, bounds));
    pair.lower = evaluateConstInt(attribute(AstAttribute::lowerCode, bounds), attribute(AstAttribute::lowerType, bounds));
    return pair;
}

// Whether the type as written names an object that exists without this declaration (an
// elementary keyword or a declared name), which other declarations share.
bool namesExistingType(const Parser::AstNode& typeNode, Type* type) {
    const auto production = static_cast<Prod>(typeNode.production());
    if (production == Prod::spec_1) return true; // identifier
    // elementary_type_name: every STRING and WSTRING keyword makes a type of its own
    return production == Prod::spec_0 && !type->isString() && !type->isWstring();
}

// A constructed type (subrange, enumeration, array, structure, reference): the context
// on entering, the form's type when done.
void constructedSpec(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    if (!evaluator.declaring()) return;
    auto& self = node.attributes<AstNode_spec>();
    const AstRecord form = childRecord(node, 0);
    if (step == -1)
        passContext(self, form);
    else
        self.type = attribute(AstAttribute::type, form);
}

} // namespace

// "TYPE" data_type_declaration_2 "END_TYPE"
void data_type_declaration_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    if (!evaluator.declaring()) return;
    auto& self = node.attributes<AstNode_data_type_declaration>();
    const AstRecord list = childRecord(node, 1);
    if (step == 0)
        passContext(self, list);
    else if (step == 1)
        self.typeScopeOut = attribute(AstAttribute::typeScopeOut, list);
}

// type_declaration ";"
void data_type_declaration_2_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    if (!evaluator.declaring()) return;
    auto& self = node.attributes<AstNode_data_type_declaration_2>();
    const AstRecord declaration = childRecord(node, 0);
    if (step == -1)
        passContext(self, declaration);
    else if (step == 0)
        self.typeScopeOut = attribute(AstAttribute::typeScopeOut, declaration);
}

// data_type_declaration_2 type_declaration ";": the later declaration sees the earlier.
void data_type_declaration_2_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    if (!evaluator.declaring()) return;
    auto& self = node.attributes<AstNode_data_type_declaration_2>();
    const AstRecord earlier = childRecord(node, 0);
    if (step == -1) {
        passContext(self, earlier);
    } else if (step == 0) {
        const AstRecord declaration = childRecord(node, 1);
        passContext(self, declaration);
        attribute(AstAttribute::typeScope, declaration) = attribute(AstAttribute::typeScopeOut, earlier);
    } else if (step == 1) {
        self.typeScopeOut = attribute(AstAttribute::typeScopeOut, childRecord(node, 1));
    }
}

// identifier ":" type_spec_init
void type_declaration_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    if (!evaluator.declaring()) return;
    auto& self = node.attributes<AstNode_type_declaration>();
    const AstRecord written = childRecord(node, 2);
    if (step == 1) {
        passContext(self, written);
        attribute(AstAttribute::typeName, written) = attribute(AstAttribute::name, childRecord(node, 0));
    } else if (step == 2) {
        self.typeScopeOut = attribute(AstAttribute::typeScopeOut, written);
    }
}

// A type alone: the name denotes the very object the written type yields.
void type_spec_init_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    if (!evaluator.declaring()) return;
    auto& self = node.attributes<AstNode_type_spec_init>();
    const AstRecord written = childRecord(node, 0);
    if (step == -1) {
        passContext(self, written);
        return;
    }
    self.typeScopeOut = evaluator.handle(
        Scope<Type>::createWith(self.typeScope, toLowerCopy(self.typeName), attribute(AstAttribute::type, written)));
}

// A type with an initial value: the name is declared before the initial value is
// compiled, which may name the type being declared (and its enumeration values). A
// new type takes the value itself; a type that exists without this declaration (an
// elementary type, a declared name) would carry it into every other user of that
// object, so the name is declared for a copy of it instead.
void type_spec_init_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    if (!evaluator.declaring()) return;
    auto& self = node.attributes<AstNode_type_spec_init>();
    const AstRecord written = childRecord(node, 0);
    const AstRecord init = childRecord(node, 2);
    if (step == -1) {
        passContext(self, written);
    } else if (step == 0) {
        Type* specified = attribute(AstAttribute::type, written);
        Type* declared =
            namesExistingType(*node.childNode(0), specified) ? evaluator.handle(specified->clone()) : specified;
        self.typeScopeOut =
            evaluator.handle(Scope<Type>::createWith(self.typeScope, toLowerCopy(self.typeName), declared));
    } else if (step == 1) {
        passContext(self, init);
        attribute(AstAttribute::typeScope, init) = self.typeScopeOut;
        attribute(AstAttribute::expectedType, init) = attribute(AstAttribute::type, written);
    } else if (step == 2) {
        self.typeScopeOut->findOwn(toLowerCopy(self.typeName))->setInitializer(attribute(AstAttribute::code, init));
    }
}

// init: its code.
void type_spec_init_2_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    if (!evaluator.declaring()) return;
    auto& self = node.attributes<AstNode_type_spec_init_2>();
    const AstRecord init = childRecord(node, 0);
    if (step == -1) {
        passContext(self, init);
        attribute(AstAttribute::expectedType, init) = self.expectedType;
    } else {
        self.code = attribute(AstAttribute::code, init);
    }
}

void spec_4(Evaluator& e, Parser::AstNode& n, int32_t step) { constructedSpec(e, n, step); } // subrange
void spec_5(Evaluator& e, Parser::AstNode& n, int32_t step) { constructedSpec(e, n, step); } // enumeration
void spec_6(Evaluator& e, Parser::AstNode& n, int32_t step) { constructedSpec(e, n, step); } // array
void spec_7(Evaluator& e, Parser::AstNode& n, int32_t step) { constructedSpec(e, n, step); } // structure
void spec_8(Evaluator& e, Parser::AstNode& n, int32_t step) { constructedSpec(e, n, step); } // reference

// integer_type_name "(" subrange ")": the bounds as computed, compared with nothing (a
// subrange has its base's size whatever they are).
void spec_subrange_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    if (!evaluator.declaring()) return;
    auto& self = node.attributes<AstNode_spec_subrange>();
    if (step == 1) {
        passContext(self, childRecord(node, 2));
    } else if (step == 3) {
        const BoundPair bounds = evaluateBounds(*node.childNode(2));
        self.type = evaluator.handle(
            new TypeSubrange(attribute(AstAttribute::type, childRecord(node, 0)), bounds.lower, bounds.upper));
    }
}

// spec_enum_4 "(" spec_enum_2 ")": the values' expressions see the enumeration being
// filled through a type scope of their own, so they may name its earlier values.
void spec_enum_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    if (!evaluator.declaring()) return;
    auto& self = node.attributes<AstNode_spec_enum>();
    if (step == 0) {
        self.enumType = evaluator.handle(new TypeEnum(attribute(AstAttribute::type, childRecord(node, 0))));
        self.enumScope = evaluator.handle(Scope<Type>::createWith(self.typeScope, "<anonymous>", self.enumType));
    } else if (step == 1) {
        const AstRecord values = childRecord(node, 2);
        attribute(AstAttribute::enumType, values) = self.enumType;
        attribute(AstAttribute::enumScope, values) = self.enumScope;
        attribute(AstAttribute::variableScope, values) = self.variableScope;
    } else if (step == 3) {
        self.type = self.enumType;
    }
}

// (empty): the base of every enumeration.
void spec_enum_4_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    if (evaluator.declaring() && step == -1) node.attributes<AstNode_spec_enum_4>().type = typeDint;
}

namespace {

// The enumeration being filled and the scopes of the value expressions, handed on.
void passEnumContext(const AstNode_spec_enum_2& self, AstRecord to) {
    passContext(self, to);
    attribute(AstAttribute::enumType, to) = self.enumType;
    attribute(AstAttribute::enumScope, to) = self.enumScope;
}

} // namespace

// spec_enum_3
void spec_enum_2_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    if (evaluator.declaring() && step == -1) passEnumContext(node.attributes<AstNode_spec_enum_2>(), childRecord(node, 0));
}

// spec_enum_2 "," spec_enum_3: the values in source order.
void spec_enum_2_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    if (evaluator.declaring() && (step == -1 || step == 1))
        passEnumContext(node.attributes<AstNode_spec_enum_2>(), childRecord(node, static_cast<size_t>(step + 1)));
}

// identifier: the next automatic value.
void spec_enum_3_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    if (!evaluator.declaring() || step != 0) return;
    node.attributes<AstNode_spec_enum_3>().enumType->addValue(
        toLowerCopy(attribute(AstAttribute::name, childRecord(node, 0))));
}

// identifier ":=" const_expression: an explicit value, which leaves the automatic
// numbering where it was.
void spec_enum_3_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    if (!evaluator.declaring()) return;
    auto& self = node.attributes<AstNode_spec_enum_3>();
    const AstRecord expression = childRecord(node, 2);
    if (step == 1) {
        attribute(AstAttribute::typeScope, expression) = self.enumScope;
        attribute(AstAttribute::variableScope, expression) = self.variableScope;
    } else if (step == 2) {
        const int32_t value =
            evaluateConstInt(attribute(AstAttribute::code, expression), attribute(AstAttribute::type, expression));
        self.enumType->addValue(toLowerCopy(attribute(AstAttribute::name, childRecord(node, 0))), value);
    }
}

// "ARRAY" "[" spec_array_2 "]" "OF" non_generic_type_name
void spec_array_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    if (!evaluator.declaring()) return;
    auto& self = node.attributes<AstNode_spec_array>();
    if (step == 1) {
        const AstRecord dimensions = childRecord(node, 2);
        passContext(self, dimensions);
        attribute(AstAttribute::dimensions, dimensions).clear();
    } else if (step == 4) {
        passContext(self, childRecord(node, 5));
    } else if (step == 5) {
        self.dimensions = attribute(AstAttribute::dimensions, childRecord(node, 2));
        std::vector<ArrayDimension> dimensions;
        for (const BoundPair& bounds : self.dimensions) dimensions.push_back({bounds.lower, bounds.upper});
        self.type = evaluator.handle(new TypeArray(attribute(AstAttribute::type, childRecord(node, 5)), dimensions));
    }
}

namespace {

// One dimension appended to those before it. A dimension needs at least one element:
// an upper bound below the lower one would give the array no storage or a negative
// size.
void appendDimension(AstNode_spec_array_2& self, Parser::AstNode& range) {
    const BoundPair bounds = evaluateBounds(range);
    checkSemantic(bounds.upper >= bounds.lower, "Invalid array dimension %lld..%lld: the upper bound is below the lower bound.",
                  static_cast<long long>(bounds.lower), static_cast<long long>(bounds.upper));
    self.dimensions.push_back(bounds);
}

} // namespace

// subrange: the first dimension.
void spec_array_2_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    if (!evaluator.declaring()) return;
    auto& self = node.attributes<AstNode_spec_array_2>();
    if (step == -1)
        passContext(self, childRecord(node, 0));
    else
        appendDimension(self, *node.childNode(0));
}

// spec_array_2 "," subrange: the dimensions in source order.
void spec_array_2_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    if (!evaluator.declaring()) return;
    auto& self = node.attributes<AstNode_spec_array_2>();
    const AstRecord earlier = childRecord(node, 0);
    if (step == -1) {
        passContext(self, earlier);
        attribute(AstAttribute::dimensions, earlier) = self.dimensions;
    } else if (step == 1) {
        passContext(self, childRecord(node, 2));
    } else if (step == 2) {
        self.dimensions = attribute(AstAttribute::dimensions, earlier);
        appendDimension(self, *node.childNode(2));
    }
}

// "STRUCT" spec_struct_2 "END_STRUCT": the members join one new structure in order.
void spec_struct_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    if (!evaluator.declaring()) return;
    auto& self = node.attributes<AstNode_spec_struct>();
    if (step == 0) {
        self.structType = evaluator.handle(new TypeStruct());
        const AstRecord members = childRecord(node, 1);
        passContext(self, members);
        attribute(AstAttribute::structType, members) = self.structType;
    } else if (step == 2) {
        self.type = self.structType;
    }
}

namespace {

template <class R>
void passStructContext(const R& self, AstRecord to) {
    passContext(self, to);
    attribute(AstAttribute::structType, to) = self.structType;
}

} // namespace

// structure_element_declaration ";"
void spec_struct_2_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    if (evaluator.declaring() && step == -1)
        passStructContext(node.attributes<AstNode_spec_struct_2>(), childRecord(node, 0));
}

// spec_struct_2 structure_element_declaration ";"
void spec_struct_2_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    if (evaluator.declaring() && (step == -1 || step == 0))
        passStructContext(node.attributes<AstNode_spec_struct_2>(), childRecord(node, static_cast<size_t>(step + 1)));
}

// identifier ":" spec_init: a member with an initial value has the copy of its type
// that carries the value, so the structure's initial value includes it.
void structure_element_declaration_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    if (!evaluator.declaring()) return;
    auto& self = node.attributes<AstNode_structure_element_declaration>();
    const AstRecord member = childRecord(node, 2);
    if (step == 1)
        passContext(self, member);
    else if (step == 2)
        self.structType->addMember(toLowerCopy(attribute(AstAttribute::name, childRecord(node, 0))),
                                   attribute(AstAttribute::type, member));
}

// "REF_TO" non_generic_type_name: a reference type of its own for every occurrence.
void spec_pointer_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    if (!evaluator.declaring()) return;
    auto& self = node.attributes<AstNode_spec_pointer>();
    const AstRecord target = childRecord(node, 1);
    if (step == 0)
        passContext(self, target);
    else if (step == 1)
        self.type = evaluator.handle(new TypePointer(attribute(AstAttribute::type, target)));
}

} // namespace Karsto::Eval
