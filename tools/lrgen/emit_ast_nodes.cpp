#include <sstream>

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

} // namespace

std::string emitAstNodesHeader(const Grammar& grammar) {
    std::ostringstream out;
    out << generatedHeader(kNodeSources);
    out << "#pragma once\n"
           "// One class per nonterminal: the base fields of Parser::AstNode, then the attributes\n"
           "// the evaluator fills, each starting empty or zero. A node frees its own attributes\n"
           "// only; deleteAstTree frees whole trees.\n\n"
           "#include <cstdint>\n"
           "#include <string>\n"
           "#include <vector>\n\n"
           "#include \"core/code.h\"\n"
           "#include \"frontend/ast_node.h\"\n\n"
           "namespace Karsto {\n\n";
    for (const std::string& pointee : grammar.pointerClasses) out << "class " << pointee << ";\n";
    if (!grammar.pointerClasses.empty()) out << "\n";

    for (int id = 0; id < grammar.nonterminalCount(); ++id) {
        const std::string cls = className(grammar.nonterminals[id]);
        out << "class " << cls << " final : public Parser::AstNode {\n"
            << "public:\n"
            << "    explicit " << cls << "(const SourceSpan& nodeSpan);\n"
            << "    ~" << cls << "() override;\n\n";
        for (const Attribute& a : grammar.attributes[id]) {
            out << "    " << a.cppType << " " << a.name << initializer(a) << ";\n";
        }
        out << "};\n\n";
    }
    out << "} // namespace Karsto\n";
    return out.str();
}

std::string emitAstNodesSource(const Grammar& grammar) {
    std::ostringstream out;
    out << generatedHeader(kNodeSources);
    out << "#include \"frontend/ast_nodes.h\"\n\n"
           "#include \"frontend/grammar_symbols.h\"\n\n"
           "namespace Karsto {\n\n";
    // Out of line so that the 192 constructors and destructors are compiled once.
    for (const std::string& nonterminal : grammar.nonterminals) {
        const std::string cls = className(nonterminal);
        out << cls << "::" << cls << "(const SourceSpan& nodeSpan) : Parser::AstNode(nodeSpan) {}\n";
        out << cls << "::~" << cls << "() = default;\n";
    }
    out << "\nParser::AstNode* createAstNode(uint16_t nonterminal, const SourceSpan& span, AstArena* arena) {\n"
           "    switch (static_cast<Nonterminal>(nonterminal)) {\n";
    for (const std::string& nonterminal : grammar.nonterminals) {
        out << "    case Nonterminal::" << nonterminalEnumerator(nonterminal) << ": return new (arena) "
            << className(nonterminal) << "(span);\n";
    }
    out << "    }\n"
           "    return nullptr;\n"
           "}\n\n"
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
