// Variable blocks: VAR with its modifier and access, the parameter blocks, VAR_TEMP and
// VAR_EXTERNAL. Every declaration line opens one new scope below the scope in force and
// declares its names there, so the scope chain grows line by line and a later line may
// hide an earlier name; lines with a direct address declare nothing. All of it happens
// in the first walk; the second only passes through.

#include <string>
#include <utility>
#include <vector>

#include "core/exception.h"
#include "core/memory.h"
#include "core/name_resolution.h"
#include "core/stackmachine.h"
#include "core/type.h"
#include "core/variable.h"
#include "evaluator/attribute_access.h"
#include "evaluator/compile_time_evaluation.h"
#include "evaluator/handlers.h"
#include "evaluator/shared_operations.h"

namespace Karsto::Eval {

namespace {

// What a declaration line needs from its list: the block's flags and access, the area,
// the scopes and the class context. The line's scope in force is set apart.
template <class From>
void passLineContext(const From& from, AstRecord to) {
    attribute(AstAttribute::declFlags, to) = from.declFlags;
    attribute(AstAttribute::access, to) = from.access;
    attribute(AstAttribute::classContext, to) = from.classContext;
    attribute(AstAttribute::storageArea, to) = from.storageArea;
    attribute(AstAttribute::typeScope, to) = from.typeScope;
    attribute(AstAttribute::variableScope, to) = from.variableScope;
}

// The type specification of a line sees the scopes before the line.
template <class From>
void passSpecContext(const From& from, AstRecord to) {
    attribute(AstAttribute::classContext, to) = from.classContext;
    attribute(AstAttribute::typeScope, to) = from.typeScope;
    attribute(AstAttribute::variableScope, to) = from.variableScope;
}

// VAR_INPUT, VAR_OUTPUT, VAR_IN_OUT and VAR_TEMP: "keyword list END_VAR", the variables
// in the block's area with the block's flags and the access handed down.
template <class R>
void parameterBlock(Evaluator& evaluator, Parser::AstNode& node, int32_t step, VariableFlags flags) {
    if (!evaluator.declaring()) return;
    auto& self = node.attributes<R>();
    const AstRecord list = childRecord(node, 1);
    if (step == 0) {
        attribute(AstAttribute::declFlags, list) = flagBit(flags);
        attribute(AstAttribute::access, list) = self.currentAccess;
        attribute(AstAttribute::classContext, list) = self.classContext;
        attribute(AstAttribute::storageArea, list) = self.storageArea;
        attribute(AstAttribute::typeScope, list) = self.typeScope;
        attribute(AstAttribute::variableScope, list) = self.variableScope;
    } else if (step == 1) {
        self.variableScopeOut = attribute(AstAttribute::variableScopeOut, list);
    }
}

// A line of names with one type: one new scope below the line's scope in force.
void declareLine(Evaluator& evaluator, AstNode_rd_decl_any& self, Parser::AstNode& names, Type* type,
                 int32_t flags) {
    auto& list = names.attributes<AstNode_rd_identifier_list>();
    self.variableScopeOut = declareVariables(self.variableScope, list.names, self.storageArea, type, flags,
                                             static_cast<VariableAccess>(self.access), evaluator.parser);
    // Global cells end where the machine's stack begins: a variable beyond would share
    // its cells with the stack.
    if (self.storageArea != nullptr && self.storageArea->kind() == MemoryKind::Global)
        checkSemantic(self.storageArea->size() <= Stackmachine::kStackBase,
                      "Global variables need %lld cells, more than the %lld of global memory",
                      static_cast<long long>(self.storageArea->size() - 1),
                      static_cast<long long>(Stackmachine::kStackBase - 1));
    // The names are not needed again; a long program should not keep them.
    std::vector<std::string>().swap(list.names);
}

// "names ':' BOOL R_EDGE / F_EDGE": BOOL variables with the edge bit added.
void edgeLine(Evaluator& evaluator, Parser::AstNode& node, int32_t step, VariableFlags edge) {
    if (!evaluator.declaring() || step != 3) return;
    auto& self = node.attributes<AstNode_rd_decl_any>();
    declareLine(evaluator, self, *node.childNode(0), typeBool, self.declFlags | flagBit(edge));
}

// A line with a direct or an incomplete address: its parts are walked (the direct
// address builds its record, the specification its type), nothing is declared and
// nothing allocated. `address` is the child that holds the address, `spec` the
// specification's.
void addressLine(Evaluator& evaluator, Parser::AstNode& node, int32_t step, size_t address, size_t spec) {
    if (!evaluator.declaring()) return;
    auto& self = node.attributes<AstNode_rd_decl_any>();
    if (step == static_cast<int32_t>(address) - 1) {
        inherit(AstAttribute::access, childRecord(node, address), self.access);
    } else if (step == static_cast<int32_t>(spec) - 1) {
        passSpecContext(self, childRecord(node, spec));
    } else if (step == static_cast<int32_t>(spec)) {
        self.variableScopeOut = self.variableScope;
    }
}

// A keyword that the grammar hands on as text (location and size prefixes, incomplete
// locations).
template <class R>
void keywordText(Evaluator& evaluator, Parser::AstNode& node, int32_t step, const char* text) {
    if (!evaluator.declaring() || step != -1) return;
    // Cleared and appended: GCC 12 warns (-Wrestrict, a false positive of its inlined
    // string replace) on the assignment of the literal in some optimised builds.
    std::string& target = node.attributes<R>().text;
    target.clear();
    target.append(text);
}

// One number of a direct address, computed from its integer literal, joins the record.
void appendAddressPart(Variable* record, Parser::AstNode& node, size_t integer) {
    const AstRecord literal = childRecord(node, integer);
    record->addAddressPart(
        evaluateConstInt(attribute(AstAttribute::code, literal), attribute(AstAttribute::type, literal)));
}

template <class R>
void accessValue(Evaluator& evaluator, Parser::AstNode& node, int32_t step, VariableAccess access) {
    if (evaluator.declaring() && step == -1) node.attributes<R>().access = static_cast<int32_t>(access);
}

void modifier(Evaluator& evaluator, Parser::AstNode& node, int32_t step, int32_t flags) {
    if (evaluator.declaring() && step == -1) node.attributes<AstNode_rd_block_var_mod>().modifierFlags = flags;
}

// The external lines of "VAR_EXTERNAL [CONSTANT] lines END_VAR"; `list` is the child
// index of the lines.
void externalBlock(Evaluator& evaluator, Parser::AstNode& node, int32_t step, size_t list, int32_t flags) {
    if (!evaluator.declaring()) return;
    auto& self = node.attributes<AstNode_rd_block_var_external>();
    const AstRecord lines = childRecord(node, list);
    if (step == static_cast<int32_t>(list) - 1) {
        attribute(AstAttribute::declFlags, lines) = flags;
        attribute(AstAttribute::classContext, lines) = self.classContext;
        attribute(AstAttribute::typeScope, lines) = self.typeScope;
        attribute(AstAttribute::variableScope, lines) = self.variableScope;
        attribute(AstAttribute::externalScope, lines) = self.externalScope;
    } else if (step == static_cast<int32_t>(list)) {
        self.variableScopeOut = attribute(AstAttribute::variableScopeOut, lines);
    }
}

} // namespace

void access_spec_0(Evaluator& e, Parser::AstNode& n, int32_t step) { // PUBLIC
    accessValue<AstNode_access_spec>(e, n, step, VariableAccess::PUBLIC);
}
void access_spec_1(Evaluator& e, Parser::AstNode& n, int32_t step) { // PROTECTED
    accessValue<AstNode_access_spec>(e, n, step, VariableAccess::PROTECTED);
}
void access_spec_2(Evaluator& e, Parser::AstNode& n, int32_t step) { // PRIVATE
    accessValue<AstNode_access_spec>(e, n, step, VariableAccess::PRIVATE);
}
void access_spec_3(Evaluator& e, Parser::AstNode& n, int32_t step) { // INTERNAL
    accessValue<AstNode_access_spec>(e, n, step, VariableAccess::INTERNAL);
}

void access_spec_opt_0(Evaluator& e, Parser::AstNode& n, int32_t step) { // none written: the owner's default
    if (!e.declaring() || step != -1) return;
    auto& self = n.attributes<AstNode_access_spec_opt>();
    self.access = self.defaultAccess;
}
void access_spec_opt_1(Evaluator& e, Parser::AstNode& n, int32_t step) { // access_spec
    if (e.declaring() && step == 0)
        n.attributes<AstNode_access_spec_opt>().access = attribute(AstAttribute::access, childRecord(n, 0));
}

void rd_block_var_mod_0(Evaluator& e, Parser::AstNode& n, int32_t step) { modifier(e, n, step, 0); }
void rd_block_var_mod_1(Evaluator& e, Parser::AstNode& n, int32_t step) { // CONSTANT
    modifier(e, n, step, flagBit(VariableFlags::CONSTANT));
}
void rd_block_var_mod_2(Evaluator& e, Parser::AstNode& n, int32_t step) { // RETAIN
    modifier(e, n, step, flagBit(VariableFlags::RETAIN));
}
void rd_block_var_mod_3(Evaluator& e, Parser::AstNode& n, int32_t step) { // NON_RETAIN
    modifier(e, n, step, flagBit(VariableFlags::NON_RETAIN));
}

// VAR rd_block_var_mod access_spec_opt rd_decl_any_list END_VAR
void rd_block_var_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    if (!evaluator.declaring()) return;
    auto& self = node.attributes<AstNode_rd_block_var>();
    if (step == 1) {
        attribute(AstAttribute::defaultAccess, childRecord(node, 2)) = self.defaultAccess;
    } else if (step == 2) {
        const AstRecord list = childRecord(node, 3);
        attribute(AstAttribute::declFlags, list) = attribute(AstAttribute::modifierFlags, childRecord(node, 1));
        attribute(AstAttribute::access, list) = attribute(AstAttribute::access, childRecord(node, 2));
        attribute(AstAttribute::classContext, list) = self.classContext;
        attribute(AstAttribute::storageArea, list) = self.storageArea;
        attribute(AstAttribute::typeScope, list) = self.typeScope;
        attribute(AstAttribute::variableScope, list) = self.variableScope;
    } else if (step == 3) {
        self.variableScopeOut = attribute(AstAttribute::variableScopeOut, childRecord(node, 3));
    }
}

void rd_block_var_input_0(Evaluator& e, Parser::AstNode& n, int32_t step) {
    parameterBlock<AstNode_rd_block_var_input>(e, n, step, VariableFlags::VAR_INPUT);
}
void rd_block_var_output_0(Evaluator& e, Parser::AstNode& n, int32_t step) {
    parameterBlock<AstNode_rd_block_var_output>(e, n, step, VariableFlags::VAR_OUTPUT);
}
void rd_block_var_in_out_0(Evaluator& e, Parser::AstNode& n, int32_t step) {
    parameterBlock<AstNode_rd_block_var_in_out>(e, n, step, VariableFlags::VAR_IN_OUT);
}
void rd_block_var_temp_0(Evaluator& e, Parser::AstNode& n, int32_t step) {
    parameterBlock<AstNode_rd_block_var_temp>(e, n, step, VariableFlags::VAR_TEMP);
}

void rd_decl_any_list_0(Evaluator& e, Parser::AstNode& n, int32_t) { // no line
    if (!e.declaring()) return;
    auto& self = n.attributes<AstNode_rd_decl_any_list>();
    self.variableScopeOut = self.variableScope;
}

// rd_decl_any_list rd_decl_any ';': the earlier lines first; the new line starts from
// the scope they left.
void rd_decl_any_list_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    if (!evaluator.declaring()) return;
    auto& self = node.attributes<AstNode_rd_decl_any_list>();
    if (step == -1) {
        passLineContext(self, childRecord(node, 0));
    } else if (step == 0) {
        const AstRecord line = childRecord(node, 1);
        passLineContext(self, line);
        attribute(AstAttribute::variableScope, line) = attribute(AstAttribute::variableScopeOut, childRecord(node, 0));
    } else if (step == 1) {
        self.variableScopeOut = attribute(AstAttribute::variableScopeOut, childRecord(node, 1));
    }
}

void rd_decl_any_0(Evaluator& e, Parser::AstNode& n, int32_t step) { // AT direct_variable ':' spec_init
    addressLine(e, n, step, 1, 3);
}
void rd_decl_any_1(Evaluator& e, Parser::AstNode& n, int32_t step) { // identifier AT direct_variable ':' spec_init
    addressLine(e, n, step, 2, 4);
}
void rd_decl_any_2(Evaluator& e, Parser::AstNode& n, int32_t step) { // identifier incompl_location ':' spec_init
    addressLine(e, n, step, 1, 3);
}

// rd_identifier_list ':' spec_init: the specification is walked with the scope before
// the line, then the names are declared.
void rd_decl_any_3(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    if (!evaluator.declaring()) return;
    auto& self = node.attributes<AstNode_rd_decl_any>();
    if (step == 1) {
        passSpecContext(self, childRecord(node, 2));
    } else if (step == 2) {
        declareLine(evaluator, self, *node.childNode(0), attribute(AstAttribute::type, childRecord(node, 2)),
                    self.declFlags);
    }
}

void rd_decl_any_4(Evaluator& e, Parser::AstNode& n, int32_t step) { edgeLine(e, n, step, VariableFlags::R_EDGE); }
void rd_decl_any_5(Evaluator& e, Parser::AstNode& n, int32_t step) { edgeLine(e, n, step, VariableFlags::F_EDGE); }

void rd_identifier_list_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    if (evaluator.declaring() && step == 0)
        node.attributes<AstNode_rd_identifier_list>().names =
            std::move(attribute(AstAttribute::names, childRecord(node, 0)));
}

void rd_identifier_list_2_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step) { // identifier
    if (evaluator.declaring() && step == 0)
        node.attributes<AstNode_rd_identifier_list_2>().names.push_back(
            toLowerCopy(attribute(AstAttribute::name, childRecord(node, 0))));
}

// rd_identifier_list_2 ',' identifier: the names so far move up, the new one follows.
void rd_identifier_list_2_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    if (!evaluator.declaring() || step != 2) return;
    auto& self = node.attributes<AstNode_rd_identifier_list_2>();
    self.names = std::move(attribute(AstAttribute::names, childRecord(node, 0)));
    self.names.push_back(toLowerCopy(attribute(AstAttribute::name, childRecord(node, 2))));
}

// '%' location_prefix size_prefix direct_variable_2: the record of a directly
// represented variable, which no scope and no area receives.
void direct_variable_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    if (!evaluator.declaring() || step != 2) return;
    auto& self = node.attributes<AstNode_direct_variable>();
    const std::string location = toLowerCopy(attribute(AstAttribute::text, childRecord(node, 1)));
    const std::string size = toLowerCopy(attribute(AstAttribute::text, childRecord(node, 2)));
    self.directVariable = evaluator.handle(
        new Variable(nullptr, location[0], size.empty() ? '\0' : size[0], 0, static_cast<VariableAccess>(self.access)));
    attribute(AstAttribute::directVariable, childRecord(node, 3)) = self.directVariable;
}

void direct_variable_2_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step) { // integer
    if (evaluator.declaring() && step == 0)
        appendAddressPart(node.attributes<AstNode_direct_variable_2>().directVariable, node, 0);
}

// direct_variable_2 '.' integer: the parts before it first, in source order.
void direct_variable_2_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    if (!evaluator.declaring()) return;
    auto& self = node.attributes<AstNode_direct_variable_2>();
    if (step == -1)
        attribute(AstAttribute::directVariable, childRecord(node, 0)) = self.directVariable;
    else if (step == 2)
        appendAddressPart(self.directVariable, node, 2);
}

void location_prefix_0(Evaluator& e, Parser::AstNode& n, int32_t step) {
    keywordText<AstNode_location_prefix>(e, n, step, "I");
}
void location_prefix_1(Evaluator& e, Parser::AstNode& n, int32_t step) {
    keywordText<AstNode_location_prefix>(e, n, step, "Q");
}
void location_prefix_2(Evaluator& e, Parser::AstNode& n, int32_t step) {
    keywordText<AstNode_location_prefix>(e, n, step, "M");
}

void size_prefix_0(Evaluator& e, Parser::AstNode& n, int32_t step) { keywordText<AstNode_size_prefix>(e, n, step, ""); }
void size_prefix_1(Evaluator& e, Parser::AstNode& n, int32_t step) { keywordText<AstNode_size_prefix>(e, n, step, "X"); }
void size_prefix_2(Evaluator& e, Parser::AstNode& n, int32_t step) { keywordText<AstNode_size_prefix>(e, n, step, "B"); }
void size_prefix_3(Evaluator& e, Parser::AstNode& n, int32_t step) { keywordText<AstNode_size_prefix>(e, n, step, "W"); }
void size_prefix_4(Evaluator& e, Parser::AstNode& n, int32_t step) { keywordText<AstNode_size_prefix>(e, n, step, "D"); }
void size_prefix_5(Evaluator& e, Parser::AstNode& n, int32_t step) { keywordText<AstNode_size_prefix>(e, n, step, "L"); }

void incompl_location_0(Evaluator& e, Parser::AstNode& n, int32_t step) { // AT '%' I '*'
    keywordText<AstNode_incompl_location>(e, n, step, "I");
}
void incompl_location_1(Evaluator& e, Parser::AstNode& n, int32_t step) { // AT '%' Q '*'
    keywordText<AstNode_incompl_location>(e, n, step, "Q");
}
void incompl_location_2(Evaluator& e, Parser::AstNode& n, int32_t step) { // AT '%' M '*'
    keywordText<AstNode_incompl_location>(e, n, step, "M");
}

void rd_block_var_external_0(Evaluator& e, Parser::AstNode& n, int32_t step) { // VAR_EXTERNAL lines END_VAR
    externalBlock(e, n, step, 1, flagBit(VariableFlags::VAR_EXTERNAL));
}
void rd_block_var_external_1(Evaluator& e, Parser::AstNode& n, int32_t step) { // VAR_EXTERNAL CONSTANT ...
    externalBlock(e, n, step, 2, flagBit(VariableFlags::VAR_EXTERNAL) | flagBit(VariableFlags::CONSTANT));
}

void rd_block_var_external_2_0(Evaluator& e, Parser::AstNode& n, int32_t) { // no line
    if (!e.declaring()) return;
    auto& self = n.attributes<AstNode_rd_block_var_external_2>();
    self.variableScopeOut = self.variableScope;
}

// rd_block_var_external_2 rd_block_var_external_3 ';': threaded like the VAR lines.
void rd_block_var_external_2_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    if (!evaluator.declaring()) return;
    auto& self = node.attributes<AstNode_rd_block_var_external_2>();
    if (step == -1 || step == 0) {
        const AstRecord to = childRecord(node, static_cast<size_t>(step + 1));
        attribute(AstAttribute::declFlags, to) = self.declFlags;
        attribute(AstAttribute::classContext, to) = self.classContext;
        attribute(AstAttribute::typeScope, to) = self.typeScope;
        attribute(AstAttribute::externalScope, to) = self.externalScope;
        attribute(AstAttribute::variableScope, to) =
            step == -1 ? self.variableScope : attribute(AstAttribute::variableScopeOut, childRecord(node, 0));
    } else if (step == 1) {
        self.variableScopeOut = attribute(AstAttribute::variableScopeOut, childRecord(node, 1));
    }
}

// identifier ':' spec: an alias of the variable of that name where the enclosing
// declaration stands, at the same place in storage; it allocates nothing.
void rd_block_var_external_3_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    if (!evaluator.declaring()) return;
    auto& self = node.attributes<AstNode_rd_block_var_external_3>();
    if (step == 1) {
        passSpecContext(self, childRecord(node, 2));
        return;
    }
    if (step != 2) return;
    const std::string name = toLowerCopy(attribute(AstAttribute::name, childRecord(node, 0)));
    Variable* referenced = self.externalScope->lookupOrFail(name);
    Variable* alias =
        evaluator.handle(referenced->makeAlias(name, attribute(AstAttribute::type, childRecord(node, 2)), self.declFlags));
    self.variableScopeOut = evaluator.handle(Scope<Variable>::createWith(self.variableScope, name, alias));
}

} // namespace Karsto::Eval
