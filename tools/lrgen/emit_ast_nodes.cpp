#include <map>
#include <sstream>
#include <vector>

#include "emit.h"

namespace Karsto::Lrgen {
namespace {

const char* const kNodeSources = "ast_node_attributes.txt, grammar_nonterminals.txt";

std::string className(const std::string& nonterminal) { return "AstNode_" + nonterminal; }

const char* storageName(Storage storage) {
    switch (storage) {
    case Storage::code: return "Code";
    case Storage::string: return "string";
    case Storage::chars: return "chars";
    case Storage::strings: return "strings";
    case Storage::bounds: return "bounds";
    case Storage::word: return "word";
    }
    return "";
}

std::string initializer(const Attribute& a) {
    if (a.storage != Storage::word) return "";
    return a.cppType.back() == '*' ? " = nullptr" : " = 0";
}

// A function whose body is one switch over the nonterminal ids: `before` and `after`
// enclose the record class in each case ("return new " X "();"), `otherwise` is the
// default case.
void emitRecordSwitch(std::ostringstream& out, const Grammar& grammar, const std::string& signature,
                      const std::string& before, const std::string& after, const std::string& otherwise) {
    out << signature << " {\n"
        << "    switch (nonterminal) {\n";
    for (int id = 0; id < grammar.nonterminalCount(); ++id) {
        out << "    case " << id << ": " << before << className(grammar.nonterminals[id]) << after << "\n";
    }
    out << "    default: " << otherwise << "\n"
        << "    }\n"
        << "}\n\n";
}

struct NamedAttribute {
    std::string cppType;
    std::vector<int> nonterminals; // ids of the records that carry it, ascending
};

// Every named attribute (placeholders excluded) by name, with the records carrying it.
std::map<std::string, NamedAttribute> namedAttributes(const Grammar& grammar) {
    std::map<std::string, NamedAttribute> named;
    for (int id = 0; id < grammar.nonterminalCount(); ++id) {
        for (const Attribute& a : grammar.attributes[id]) {
            if (a.placeholder) continue;
            NamedAttribute& entry = named[a.name];
            entry.cppType = a.cppType;
            entry.nonterminals.push_back(id);
        }
    }
    return named;
}

} // namespace

std::string emitAstNodesHeader(const Grammar& grammar) {
    std::ostringstream out;
    out << generatedHeader(kNodeSources);
    out << "#pragma once\n"
           "// One attribute record per nonterminal, AstNode_<nonterminal>: the attributes the\n"
           "// evaluator fills, each starting empty or zero. A node's record is had through\n"
           "// Parser::AstNode::attributes<AstNode_X>(). Each record lists its fields to a visitor,\n"
           "// visitAttributes(visit) calling visit(name, field) in storage order, and\n"
           "// visitAstAttributes does the same for a record known only by its nonterminal.\n\n"
           "#include <cstdint>\n"
           "#include <string>\n"
           "#include <vector>\n\n"
           "#include \"core/code.h\"\n"
           "#include \"frontend/ast_node.h\"\n\n"
           "namespace Karsto {\n\n";
    for (const std::string& pointee : grammar.pointerClasses) out << "class " << pointee << ";\n";
    for (const std::string& pointee : grammar.pointerTemplates) {
        out << "template <class T>\nclass " << pointee << ";\n";
    }
    if (!grammar.pointerClasses.empty() || !grammar.pointerTemplates.empty()) out << "\n";

    for (int id = 0; id < grammar.nonterminalCount(); ++id) {
        out << "struct " << className(grammar.nonterminals[id]) << " {\n"
            << "    static constexpr uint16_t nonterminal = " << id << ";\n\n";
        for (const Attribute& a : grammar.attributes[id]) {
            out << "    " << a.cppType << " " << a.name << initializer(a) << ";\n";
        }
        out << "\n    template <class Visitor>\n"
            << "    void visitAttributes(Visitor&& visit) {\n";
        for (const Attribute& a : grammar.attributes[id]) {
            out << "        visit(\"" << a.name << "\", " << a.name << ");\n";
        }
        out << "    }\n};\n\n";
    }
    out << "// The record of that nonterminal (as newAstAttributes made it) to a visitor; nothing\n"
           "// for an unknown nonterminal.\n"
           "template <class Visitor>\n";
    emitRecordSwitch(out, grammar, "void visitAstAttributes(uint16_t nonterminal, void* record, Visitor&& visit)",
                     "static_cast<", "*>(record)->visitAttributes(visit); break;", "break;");
    out << "// A node's attribute record with its nonterminal: what the by-name accessors take.\n"
           "struct AstRecord {\n"
           "    uint16_t nonterminal;\n"
           "    void* fields;\n"
           "};\n\n"
           "inline AstRecord astRecordOf(Parser::AstNode& node) { return {node.nonterminal(), node.attributeRecord()}; }\n\n"
           "// The attributes by name, for a node whose nonterminal is known only at run time (a\n"
           "// forwarding production lets any of several nonterminals stand at one place): the\n"
           "// field of that name in the record, or null when the record has none.\n"
           "namespace AstAttribute {\n";
    for (const auto& [name, attribute] : namedAttributes(grammar)) {
        out << attribute.cppType << "* " << name << "(AstRecord record);\n";
    }
    out << "} // namespace AstAttribute\n\n"
           "} // namespace Karsto\n";
    return out.str();
}

std::string emitAstNodesSource(const Grammar& grammar) {
    std::ostringstream out;
    out << generatedHeader(kNodeSources);
    out << "#include \"frontend/ast_nodes.h\"\n\n"
           "#include <new>\n\n"
           "namespace Karsto {\n\n";
    emitRecordSwitch(out, grammar, "void* newAstAttributes(uint16_t nonterminal)", "return new ", "();",
                     "return nullptr;");
    emitRecordSwitch(out, grammar, "void deleteAstAttributes(uint16_t nonterminal, void* record)",
                     "delete static_cast<", "*>(record); break;", "break;");
    emitRecordSwitch(out, grammar, "size_t astAttributesSize(uint16_t nonterminal)", "return sizeof(", ");",
                     "return 0;");
    emitRecordSwitch(out, grammar, "void* constructAstAttributes(uint16_t nonterminal, void* storage)",
                     "return new (storage) ", "();", "return nullptr;");
    out << "void destroyAstAttributes(uint16_t nonterminal, void* record) {\n"
        << "    switch (nonterminal) {\n";
    for (int id = 0; id < grammar.nonterminalCount(); ++id) {
        const std::string name = className(grammar.nonterminals[id]);
        out << "    case " << id << ": static_cast<" << name << "*>(record)->~" << name << "(); break;\n";
    }
    out << "    default: break;\n"
        << "    }\n"
        << "}\n\n";
    out << "namespace AstAttribute {\n\n";
    for (const auto& [name, attribute] : namedAttributes(grammar)) {
        out << attribute.cppType << "* " << name << "(AstRecord record) {\n"
            << "    switch (record.nonterminal) {\n";
        for (int id : attribute.nonterminals) {
            out << "    case " << id << ": return &static_cast<" << className(grammar.nonterminals[id])
                << "*>(record.fields)->" << name << ";\n";
        }
        out << "    default: return nullptr;\n"
            << "    }\n"
            << "}\n\n";
    }
    out << "} // namespace AstAttribute\n\n"
           "} // namespace Karsto\n";
    return out.str();
}

std::string emitAstNodesDef(const Grammar& grammar) {
    std::ostringstream out;
    out << generatedHeader(kNodeSources);
    out << "// One row per node class (nonterminal id, name) and one per attribute (node name,\n"
           "// storage kind: Code, string, chars, strings, bounds or word; field name), in id and\n"
           "// storage order. Define the row macros you need before including; no include guard.\n\n"
           "#ifndef KARSTO_AST_NODE\n"
           "#define KARSTO_AST_NODE(id, name)\n"
           "#endif\n"
           "#ifndef KARSTO_AST_ATTRIBUTE\n"
           "#define KARSTO_AST_ATTRIBUTE(node, storage, field)\n"
           "#endif\n\n";
    for (int id = 0; id < grammar.nonterminalCount(); ++id) {
        const std::string& name = grammar.nonterminals[id];
        out << "KARSTO_AST_NODE(" << id << ", " << name << ")\n";
        for (const Attribute& a : grammar.attributes[id]) {
            out << "KARSTO_AST_ATTRIBUTE(" << name << ", " << storageName(a.storage) << ", " << a.name << ")\n";
        }
    }
    out << "\n#undef KARSTO_AST_NODE\n"
           "#undef KARSTO_AST_ATTRIBUTE\n";
    return out.str();
}

} // namespace Karsto::Lrgen
