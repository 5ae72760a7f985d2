// Array and structure initialisers: [1, 2, 3(7), 4()] and (x := 1, y := 2). Like every
// initial value they compile in the first walk into code that pushes the complete value
// of the expected type; nothing is computed but the repetition counts.

#include <algorithm>
#include <cstdint>
#include <string>

#include "codegen/cast_emitter.h"
#include "core/emitters.h"
#include "core/exception.h"
#include "core/stackmachine.h"
#include "core/struct_init.h"
#include "core/type.h"
#include "core/type_array.h"
#include "core/type_class.h"
#include "core/type_scif.h"
#include "evaluator/attribute_access.h"
#include "evaluator/compile_time_evaluation.h"
#include "evaluator/handlers.h"
#include "evaluator/shared_operations.h"

namespace Karsto::Eval {

namespace {

// The context of an initial value and the type it must have.
template <class R>
void passInitContext(const R& self, AstRecord to, Type* expectedType) {
    passContext(self, to);
    attribute(AstAttribute::expectedType, to) = expectedType;
}

// init -> init_array / init_struct: the form's code.
void aggregateInit(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    if (!evaluator.declaring()) return;
    auto& self = node.attributes<AstNode_init>();
    const AstRecord form = childRecord(node, 0);
    if (step == -1)
        passInitContext(self, form, self.expectedType);
    else
        self.code = attribute(AstAttribute::code, form);
}

// The values of an element list are pushed onto the stack before the surplus is
// dropped, so they must fit it; a larger repetition count would only build a giant
// code. Counted in 64 bits, and in cells of the element type.
int32_t checkedCount(int64_t count, const Type* elementType) {
    constexpr int64_t kStackCells = Stackmachine::kStackEnd - Stackmachine::kStackBase;
    const int64_t elementCells = std::max<int64_t>(elementType->size(), 1);
    checkSemantic(count <= kStackCells / elementCells,
                  "Array initialization needs %lld cells, more than the %lld of the stack",
                  static_cast<long long>(count) * static_cast<long long>(elementCells),
                  static_cast<long long>(kStackCells));
    return static_cast<int32_t>(count);
}

} // namespace

void init_1(Evaluator& e, Parser::AstNode& n, int32_t step) { aggregateInit(e, n, step); } // init_array
void init_2(Evaluator& e, Parser::AstNode& n, int32_t step) { aggregateInit(e, n, step); } // init_struct

// "[" init_array_2 "]": one flat list of element values for all dimensions, padded
// with the element's initial value or cut to the array's element count.
void init_array_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    if (!evaluator.declaring()) return;
    auto& self = node.attributes<AstNode_init_array>();
    const AstRecord elements = childRecord(node, 1);
    if (step == 0) {
        passInitContext(self, elements, self.expectedType->asArray()->elementType());
    } else if (step == 2) {
        self.code = attribute(AstAttribute::code, elements)
                        .concat(emitArrayInit(attribute(AstAttribute::elementCount, elements),
                                              self.expectedType->asArray(), node.span()));
    }
}

// init_array_elements
void init_array_2_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    if (!evaluator.declaring()) return;
    auto& self = node.attributes<AstNode_init_array_2>();
    const AstRecord elements = childRecord(node, 0);
    if (step == -1) {
        passInitContext(self, elements, self.expectedType);
    } else {
        self.code = attribute(AstAttribute::code, elements);
        self.elementCount = attribute(AstAttribute::elementCount, elements);
    }
}

// init_array_2 "," init_array_elements: the values in order.
void init_array_2_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    if (!evaluator.declaring()) return;
    auto& self = node.attributes<AstNode_init_array_2>();
    const AstRecord earlier = childRecord(node, 0);
    const AstRecord elements = childRecord(node, 2);
    if (step == -1) {
        passInitContext(self, earlier, self.expectedType);
    } else if (step == 1) {
        passInitContext(self, elements, self.expectedType);
    } else if (step == 2) {
        self.code = attribute(AstAttribute::code, earlier).concat(attribute(AstAttribute::code, elements));
        self.elementCount = checkedCount(int64_t{attribute(AstAttribute::elementCount, earlier)} +
                                             attribute(AstAttribute::elementCount, elements),
                                         self.expectedType);
    }
}

// init: one element value.
void init_array_elements_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    if (!evaluator.declaring()) return;
    auto& self = node.attributes<AstNode_init_array_elements>();
    const AstRecord value = childRecord(node, 0);
    if (step == -1) {
        passInitContext(self, value, self.expectedType);
    } else {
        self.code = attribute(AstAttribute::code, value);
        self.elementCount = 1;
    }
}

// integer "(" ")": nothing at all, whatever the count; not that many default values.
void init_array_elements_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    if (!evaluator.declaring() || step != 2) return;
    auto& self = node.attributes<AstNode_init_array_elements>();
    self.code = Code();
    self.elementCount = 0;
}

// integer "(" init ")": the value's code repeated; a count of 0 contributes nothing.
void init_array_elements_2(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    if (!evaluator.declaring()) return;
    auto& self = node.attributes<AstNode_init_array_elements>();
    const AstRecord value = childRecord(node, 2);
    if (step == 1) {
        passInitContext(self, value, self.expectedType);
    } else if (step == 3) {
        const AstRecord integer = childRecord(node, 0);
        const int32_t count = evaluateConstInt(attribute(AstAttribute::code, integer), attribute(AstAttribute::type, integer));
        self.elementCount = checkedCount(count > 0 ? count : 0, self.expectedType);
        self.code = repeatCode(attribute(AstAttribute::code, value), self.elementCount);
    }
}

// "(" init_struct_2 ")": the named members from their values, the others from their
// own initial values, in declaration order.
void init_struct_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    if (!evaluator.declaring()) return;
    auto& self = node.attributes<AstNode_init_struct>();
    const AstRecord members = childRecord(node, 1);
    if (step == 0) {
        TypeScif* scif = self.expectedType->asScif();
        // An interface has no members to name, and no value to build from them.
        checkSemantic(!scif->isInterface(), "Structure initialization is not possible for interface '%s'.",
                      scif->toString().c_str());
        self.structInit = evaluator.handle(new StructInit(scif));
        passContext(self, members);
        attribute(AstAttribute::structInit, members) = self.structInit;
    } else if (step == 2) {
        self.code = self.structInit->structType()->initialValueFrom(self.structInit->memberValues());
    }
}

namespace {

template <class R>
void passMemberContext(const R& self, AstRecord to) {
    passContext(self, to);
    attribute(AstAttribute::structInit, to) = self.structInit;
}

} // namespace

// init_struct_element
void init_struct_2_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    if (evaluator.declaring() && step == -1) passMemberContext(node.attributes<AstNode_init_struct_2>(), childRecord(node, 0));
}

// init_struct_2 "," init_struct_element
void init_struct_2_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    if (evaluator.declaring() && (step == -1 || step == 1))
        passMemberContext(node.attributes<AstNode_init_struct_2>(), childRecord(node, static_cast<size_t>(step + 1)));
}

// identifier ":=" init: the value has the member's type; the member must exist, be
// accessible from the class being declared and be named once.
void init_struct_element_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    if (!evaluator.declaring()) return;
    auto& self = node.attributes<AstNode_init_struct_element>();
    const AstRecord value = childRecord(node, 2);
    const std::string name = toLowerCopy(attribute(AstAttribute::name, childRecord(node, 0)));
    if (step == 1) {
        passInitContext(self, value, self.structInit->structType()->memberType(name));
    } else if (step == 2) {
        self.structInit->set(name, attribute(AstAttribute::code, value), self.classContext);
    }
}

} // namespace Karsto::Eval
