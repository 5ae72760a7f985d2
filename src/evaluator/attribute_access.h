#pragma once
// Reaching the attributes of a node's children. A node's own record is typed
// (node.attributes<AstNode_X>()); a child's nonterminal may vary, because a forwarding
// production lets any of several nonterminals stand at one place, so children are
// reached through their record and the by-name accessors of frontend/ast_nodes.h.

#include <cstddef>
#include <cstdint>

#include "frontend/ast_node.h"
#include "frontend/ast_nodes.h"

namespace Karsto {

// Raises std::logic_error: the record of that nonterminal lacks an attribute that an
// action needs, a fault of the attribute file, not of the source.
[[noreturn]] void missingAttribute(uint16_t nonterminal);

// The record of child i, which must be a node.
inline AstRecord childRecord(Parser::AstNode& node, size_t i) { return astRecordOf(*node.childNode(i)); }

// An attribute the record must carry: read it, or set it as an inherited attribute.
template <class T>
T& attribute(T* (*accessor)(AstRecord), AstRecord record) {
    T* field = accessor(record);
    if (field == nullptr) missingAttribute(record.nonterminal);
    return *field;
}

// An inherited attribute for a record that may not carry it: set where it is carried.
template <class T, class V>
void inherit(T* (*accessor)(AstRecord), AstRecord record, const V& value) {
    if (T* field = accessor(record)) *field = value;
}

// The address code of an expression; a node that cannot have one (a literal) carries
// no such attribute.
inline Code addressCodeOf(AstRecord expression) {
    const Code* address = AstAttribute::addressCode(expression);
    return address == nullptr ? Code() : *address;
}

// The first walk's context: every context attribute of `from` that the child carries.
// A production that defines one of them itself sets it in the child afterwards. An
// attribute that its owner sets explicitly (defaultAccess) is not part of it; a context
// attribute that the attribute file names for the first time joins the list here.
template <class R>
void passContext(const R& from, AstRecord to) {
    if constexpr (requires { from.currentAccess; }) inherit(AstAttribute::currentAccess, to, from.currentAccess);
    if constexpr (requires { from.classContext; }) inherit(AstAttribute::classContext, to, from.classContext);
    if constexpr (requires { from.continueLabel; }) inherit(AstAttribute::continueLabel, to, from.continueLabel);
    if constexpr (requires { from.exitLabel; }) inherit(AstAttribute::exitLabel, to, from.exitLabel);
    if constexpr (requires { from.returnLabel; }) inherit(AstAttribute::returnLabel, to, from.returnLabel);
    if constexpr (requires { from.storageArea; }) inherit(AstAttribute::storageArea, to, from.storageArea);
    if constexpr (requires { from.globalArea; }) inherit(AstAttribute::globalArea, to, from.globalArea);
    if constexpr (requires { from.currentNamespace; })
        inherit(AstAttribute::currentNamespace, to, from.currentNamespace);
    if constexpr (requires { from.rootNamespace; }) inherit(AstAttribute::rootNamespace, to, from.rootNamespace);
    if constexpr (requires { from.functionScope; }) inherit(AstAttribute::functionScope, to, from.functionScope);
    if constexpr (requires { from.typeScope; }) inherit(AstAttribute::typeScope, to, from.typeScope);
    if constexpr (requires { from.variableScope; }) inherit(AstAttribute::variableScope, to, from.variableScope);
    if constexpr (requires { from.thisClass; }) inherit(AstAttribute::thisClass, to, from.thisClass);
}

// The second walk's context: the variables in force at the node and the class of THIS.
template <class R>
void passCompileContext(const R& from, AstRecord to) {
    inherit(AstAttribute::variableScope, to, from.variableScope);
    inherit(AstAttribute::thisClass, to, from.thisClass);
}

// A range's two bounds (children 0 and 2 of "lower '..' upper"): their code and type.
template <class Attributes>
void takeRangeBounds(Attributes& self, Parser::AstNode& node) {
    const AstRecord lower = childRecord(node, 0);
    const AstRecord upper = childRecord(node, 2);
    self.lowerCode = attribute(AstAttribute::code, lower);
    self.lowerType = attribute(AstAttribute::type, lower);
    self.upperCode = attribute(AstAttribute::code, upper);
    self.upperType = attribute(AstAttribute::type, upper);
}

} // namespace Karsto
