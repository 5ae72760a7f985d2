// The variable blocks that only functions, methods and classes contain (parameters,
// VAR_TEMP, VAR_EXTERNAL), walked in a parsed function with the context that the
// enclosing declaration hands them: flags, access, areas, the scope chain and the
// binding of externals.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "core/exception.h"
#include "core/memory.h"
#include "core/scope.h"
#include "core/type.h"
#include "core/variable.h"
#include "evaluator/evaluator.h"
#include "frontend/ast_nodes.h"
#include "frontend/grammar_symbols.h"
#include "frontend/probe_parser.h"
#include "support/jyx_harness.h"

namespace Karsto {
namespace {

// The context the enclosing declaration gives a block; the block's scope in force is
// the one the block before it left.
struct BlockContext {
    Memory* params = nullptr;
    Memory* locals = nullptr;
    Scope<Type>* types = nullptr;
    Scope<Variable>* externals = nullptr;
    Scope<Variable>* scope = nullptr; // in force; each block moves it on
};

BlockContext* context = nullptr;

bool isBlock(const Parser::AstNode& node) {
    switch (static_cast<Prod>(node.production())) {
    case Prod::rd_block_var_0:
    case Prod::rd_block_var_input_0:
    case Prod::rd_block_var_output_0:
    case Prod::rd_block_var_in_out_0:
    case Prod::rd_block_var_temp_0:
    case Prod::rd_block_var_external_0:
    case Prod::rd_block_var_external_1: return true;
    default: return false;
    }
}

bool insideBlock(const Parser::AstNode* node) {
    for (; node != nullptr; node = node->parent())
        if (isBlock(*node)) return true;
    return false;
}

// Sets what the enclosing FUNCTION would set on entering a block.
void enterBlock(Parser::AstNode& block) {
    const AstRecord record = astRecordOf(block);
    const bool temporaryOrVar = block.production() == static_cast<int32_t>(Prod::rd_block_var_temp_0) ||
                                block.production() == static_cast<int32_t>(Prod::rd_block_var_0);
    if (auto* area = AstAttribute::storageArea(record)) *area = temporaryOrVar ? context->locals : context->params;
    if (auto* access = AstAttribute::currentAccess(record)) *access = static_cast<int32_t>(VariableAccess::NONE);
    if (auto* access = AstAttribute::defaultAccess(record)) *access = static_cast<int32_t>(VariableAccess::PRIVATE);
    if (auto* externals = AstAttribute::externalScope(record)) *externals = context->externals;
    *AstAttribute::typeScope(record) = context->types;
    *AstAttribute::variableScope(record) = context->scope;
}

// The evaluator's actions inside the blocks; the function around them is left alone.
void blockActions(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    if (!insideBlock(&node)) return;
    const bool block = isBlock(node);
    if (block && step == -1) enterBlock(node);
    evaluateProduction(evaluator, node, step);
    if (block && step == static_cast<int32_t>(node.childCount()) - 1)
        context->scope = *AstAttribute::variableScopeOut(astRecordOf(node));
}

// Parses a function around the blocks and walks them declaring; `check` runs while the
// parser still owns what the walk made. Returns the error text, "" when there is none.
std::string declareBlocks(const std::string& blocks, BlockContext& blockContext,
                          const std::function<void()>& check = [] {}) {
    test::prepareLanguageRuntime();
    context = &blockContext;
    StringCompile compile("{FUNCTION f : INT\n" + blocks + "\n; END_FUNCTION}\n");
    blockContext.types = compile.parser.symbols.types;
    std::string error;
    compile.parser.step = [&error, &check](ProbeParser& parser) {
        try {
            Evaluator evaluator(parser, Walk::declare);
            runWalk(evaluator, parser.root, blockActions);
        } catch (const ExceptionSemantic& e) {
            error = e.what();
            return;
        }
        check();
    };
    compile.parser.parse();
    EXPECT_EQ(compile.parser.evaluations, 1);
    return error;
}

struct Declared {
    std::string name;
    std::string type;
    int32_t flags;
    VariableAccess access;
    const Memory* area;
    int64_t offset;
    bool operator==(const Declared&) const = default;
};

void PrintTo(const Declared& d, std::ostream* out) {
    *out << d.name << ":" << d.type << " flags " << d.flags << " access " << static_cast<int>(d.access) << " @"
         << d.offset;
}

// The variables along the scope chain, innermost line first, down to (not including)
// the end.
std::vector<Declared> chainOf(const Scope<Variable>* scope, const Scope<Variable>* end) {
    std::vector<Declared> out;
    for (; scope != nullptr && scope != end; scope = scope->parent())
        for (Variable* v : scope->values())
            out.push_back({v->name(), v->type()->toString(), v->flags(), v->access(), v->memory(), v->offset()});
    return out;
}

constexpr VariableAccess kNone = VariableAccess::NONE;

TEST(VariableBlocks, ParameterBlocksVarTempAndVarGiveTheirFlagsAreasAndAccess) {
    MemoryParam params;
    MemoryLocal locals;
    Scope<Variable> outer;
    BlockContext blockContext{&params, &locals, nullptr, nullptr, &outer};
    const std::string error = declareBlocks("VAR_INPUT a, B : INT; e : BOOL R_EDGE; END_VAR\n"
                                            "VAR_OUTPUT o : LREAL; END_VAR\n"
                                            "VAR_IN_OUT io : STRING[3]; END_VAR\n"
                                            "VAR_TEMP t : INT; END_VAR\n"
                                            "VAR x : INT; END_VAR\n"
                                            "VAR PUBLIC a : INT; END_VAR\n",
                                            blockContext, [&] {
                                                const std::vector<Declared> expected = {
                                                    {"a", "int", 0, VariableAccess::PUBLIC, &locals, 2},
                                                    {"x", "int", 0, VariableAccess::PRIVATE, &locals, 1},
                                                    {"t", "int", 256, kNone, &locals, 0},
                                                    {"io", "string[3]", 64, kNone, &params, 4},
                                                    {"o", "lreal", 32, kNone, &params, 3},
                                                    {"e", "bool", 16 | 0x400, kNone, &params, 2},
                                                    {"a", "int", 16, kNone, &params, 0},
                                                    {"b", "int", 16, kNone, &params, 1},
                                                };
                                                EXPECT_EQ(chainOf(blockContext.scope, &outer), expected);
                                            });
    EXPECT_EQ(error, "");
    EXPECT_EQ(params.size(), 8);
    EXPECT_EQ(locals.size(), 3);
}

TEST(VariableBlocks, ExternalsBindToTheVariablesWhereTheDeclarationStands) {
    test::prepareLanguageRuntime();
    MemoryGlobal globals;
    Variable r5(&globals, "r5", typeLreal, 0, VariableAccess::INTERNAL);
    Variable k(&globals, "k", typeInt, flagBit(VariableFlags::CONSTANT), VariableAccess::INTERNAL);
    Scope<Variable> externals;
    externals.declare("r5", &r5);
    externals.declare("k", &k);
    MemoryParam params;
    MemoryLocal locals;
    Scope<Variable> outer;
    BlockContext blockContext{&params, &locals, nullptr, &externals, &outer};
    const std::string error = declareBlocks("VAR_EXTERNAL R5 : LREAL; END_VAR VAR_EXTERNAL CONSTANT k : INT; END_VAR",
                                            blockContext, [&] {
                                                const std::vector<Declared> expected = {
                                                    {"k", "int", 129, kNone, &globals, 2},
                                                    {"r5", "lreal", 128, kNone, &globals, 1},
                                                };
                                                EXPECT_EQ(chainOf(blockContext.scope, &outer), expected);
                                                // One scope per line.
                                                EXPECT_EQ(blockContext.scope->parent()->parent(), &outer);
                                            });
    EXPECT_EQ(error, "");
    // Aliases take no storage.
    EXPECT_EQ(globals.size(), 3);
    EXPECT_EQ(params.size() + locals.size(), 0);

    struct Case {
        std::string blocks;
        std::string error; // the input has no file name: the text starts with ": "
    };
    const Case cases[] = {
        {"VAR_EXTERNAL r5 : REAL; END_VAR",
         ": 2.14-2.23: Type of referenced variable ('lreal') does not match type of alias ('real')"},
        {"VAR_EXTERNAL k : INT; END_VAR", ": 2.14-2.21: Referenced variable is constant, but alias is not"},
        {"VAR_EXTERNAL zz : INT; END_VAR", ": 2.14-2.22: Undeclared Identifier 'zz'"},
        {"VAR_EXTERNAL r5 : Missing; END_VAR", ": 2.19-2.26: Undeclared Identifier 'missing'"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.blocks);
        BlockContext again{&params, &locals, nullptr, &externals, &outer};
        EXPECT_EQ(declareBlocks(c.blocks, again), c.error);
    }
}

} // namespace
} // namespace Karsto
