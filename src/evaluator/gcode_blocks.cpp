// G-code blocks: the block record (skip level, address letters) made in the first walk,
// and in the second the code that pushes one LREAL per word followed by the block's
// instruction. G-code expressions compute in the common type of their operands.

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

#include "codegen/cast_emitter.h"
#include "codegen/operation_emitters.h"
#include "core/emitters.h"
#include "core/exception.h"
#include "core/gcode.h"
#include "core/literals.h"
#include "core/name_resolution.h"
#include "core/type.h"
#include "evaluator/attribute_access.h"
#include "evaluator/handlers.h"
#include "evaluator/plain_lines.h"
#include "evaluator/shared_operations.h"
#include "frontend/ast_arena.h"
#include "frontend/grammar_symbols.h"

namespace Karsto::Eval {

namespace {

// The scopes a word value or a G-code operand needs for its names, in either walk; a
// child that names nothing (a number) carries none of them.
template <class R>
void passNameScopes(Evaluator& evaluator, const R& from, AstRecord to) {
    if (evaluator.declaring()) {
        if constexpr (requires { from.classContext; }) {
            inherit(AstAttribute::classContext, to, from.classContext);
            inherit(AstAttribute::functionScope, to, from.functionScope);
        }
        inherit(AstAttribute::typeScope, to, from.typeScope);
    } else {
        inherit(AstAttribute::variableScope, to, from.variableScope);
        if constexpr (requires { from.thisClass; }) inherit(AstAttribute::thisClass, to, from.thisClass);
    }
}

// A word value: the expression's code converted to LREAL.
void wordValueOf(Evaluator& evaluator, Parser::AstNode& node, int32_t step, size_t expression) {
    auto& self = node.attributes<AstNode_gvalue>();
    const AstRecord child = childRecord(node, expression);
    if (step == static_cast<int32_t>(expression) - 1) {
        passNameScopes(evaluator, self, child);
    } else if (evaluator.compiling() && step == static_cast<int32_t>(expression)) {
        self.code = attribute(AstAttribute::code, child)
                        .concat(emitImplicitConversion(attribute(AstAttribute::type, child), typeLreal, node.span()));
    }
}

using OperationEmitter = Code (*)(Type*, const SourceSpan&);

// gexpression and gterm with two operands: both converted to their common type, then
// the operation of that type.
template <class R>
void binaryOperation(Evaluator& evaluator, Parser::AstNode& node, int32_t step, OperationEmitter emit) {
    auto& self = node.attributes<R>();
    if (step == -1 || step == 1) {
        passNameScopes(evaluator, self, childRecord(node, static_cast<size_t>(step + 1)));
        return;
    }
    if (!evaluator.compiling() || step != 2) return;
    const AstRecord left = childRecord(node, 0);
    const AstRecord right = childRecord(node, 2);
    Type* leftType = attribute(AstAttribute::type, left);
    Type* rightType = attribute(AstAttribute::type, right);
    Type* type = commonTypeOrFail(leftType, rightType);
    const SourceSpan span = node.span();
    self.type = type;
    self.code = attribute(AstAttribute::code, left)
                    .concat(emitImplicitConversion(leftType, type, span))
                    .concat(attribute(AstAttribute::code, right))
                    .concat(emitImplicitConversion(rightType, type, span))
                    .concat(emit(type, span));
}

void number(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    if (!evaluator.declaring() || step != -1) return;
    auto& self = node.attributes<AstNode_gnumber>();
    // An integer such as 10 is the LREAL 10.0 as well.
    self.type = typeLreal;
    self.code = emitRealLiteral(std::string(node.lexeme(0)), typeLreal, node.span());
}

bool isNumber(const Parser::AstNode& node) {
    const auto production = static_cast<Prod>(node.production());
    return production == Prod::gnumber_0 || production == Prod::gnumber_1;
}

// Fills words with the block's word nodes in source order when every word's value is a
// number or a negated number, the bulk of what CAM systems write ("G1 X5 Z-0.18 F300"),
// and no skip level needs reading. Such a block needs no names, so it is compiled when it
// is parsed (JyxParser::compactLiteralBlocks).
bool literalBlock(Parser::AstNode& block, std::vector<Parser::AstNode*>& words) {
    if (static_cast<Prod>(block.childNode(0)->production()) == Prod::gstatement_3_2) return false;
    words.clear();
    Parser::AstNode* list = block.childNode(1);
    while (static_cast<Prod>(list->production()) == Prod::gword_list_1) {
        words.push_back(list->childNode(1));
        list = list->childNode(0);
    }
    words.push_back(list);
    for (Parser::AstNode* word : words) {
        if (static_cast<Prod>(word->production()) != Prod::gword_0) return false;
        const Parser::AstNode& value = *word->childNode(1);
        if (!isNumber(value) && static_cast<Prod>(value.production()) != Prod::gvalue_1) return false;
    }
    std::reverse(words.begin(), words.end());
    return true;
}

} // namespace

void gstatement_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step) { // empty line
    if (evaluator.compiling() && step == 0) node.attributes<AstNode_gstatement>().code = Code();
}

void gstatement_2_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    if (step == -1 && node.childNode(0) == nullptr) {
        // Compiled when it was parsed (JyxParser::compactLiteralBlocks): the code is in
        // the record, the words are gone.
        evaluator.passOverChildren = true;
        return;
    }
    auto& self = node.attributes<AstNode_gstatement_2>();
    const AstRecord words = childRecord(node, 1);
    if (evaluator.declaring()) {
        if (step == -1) {
            attribute(AstAttribute::classContext, words) = self.classContext;
            attribute(AstAttribute::functionScope, words) = self.functionScope;
            attribute(AstAttribute::typeScope, words) = self.typeScope;
            attribute(AstAttribute::wordValues, words) = Code();
        } else if (step == 0) {
            // After the skip mark and before the words, which append their letters.
            const int32_t skipLevel = attribute(AstAttribute::skipLevel, childRecord(node, 0));
            attribute(AstAttribute::gcodeBlock, words) = evaluator.handle(new GCode(skipLevel, node.span()));
        } else if (step == 1) {
            self.gcodeBlock = attribute(AstAttribute::gcodeBlockOut, words);
        }
        return;
    }
    if (step == -1) {
        attribute(AstAttribute::variableScope, words) = self.variableScope;
        attribute(AstAttribute::thisClass, words) = self.thisClass;
        attribute(AstAttribute::wordValues, words) = Code();
    } else if (step == 1) {
        // The values left to right, then the instruction that takes them off in reverse.
        self.code = attribute(AstAttribute::wordValuesOut, words).concat(self.gcodeBlock->code());
    }
}

void gstatement_3_0(Evaluator& evaluator, Parser::AstNode& node, int32_t) { // no skip mark
    if (evaluator.declaring()) node.attributes<AstNode_gstatement_3>().skipLevel = -1;
}

void gstatement_3_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step) { // "/"
    if (evaluator.declaring() && step == 0) node.attributes<AstNode_gstatement_3>().skipLevel = 0;
}

void gstatement_3_2(Evaluator& evaluator, Parser::AstNode& node, int32_t step) { // "/n"
    if (!evaluator.declaring() || step != 1) return;
    // The level keeps the low 32 bits of the number.
    const int64_t level = parseIntegerLiteral(std::string(node.lexeme(1)), 10);
    node.attributes<AstNode_gstatement_3>().skipLevel = static_cast<int32_t>(static_cast<uint32_t>(level));
}

void gword_list_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    auto& self = node.attributes<AstNode_gword_list>();
    if (step == -1 || step == 0) {
        const AstRecord left = childRecord(node, 0);
        const AstRecord word = childRecord(node, static_cast<size_t>(step + 1));
        passNameScopes(evaluator, self, word);
        if (evaluator.declaring())
            attribute(AstAttribute::gcodeBlock, word) =
                step == -1 ? self.gcodeBlock : attribute(AstAttribute::gcodeBlockOut, left);
        else
            attribute(AstAttribute::wordValues, word) =
                step == -1 ? self.wordValues : attribute(AstAttribute::wordValuesOut, left);
        return;
    }
    const AstRecord word = childRecord(node, 1);
    if (evaluator.declaring())
        self.gcodeBlockOut = attribute(AstAttribute::gcodeBlockOut, word);
    else
        self.wordValuesOut = attribute(AstAttribute::wordValuesOut, word);
}

void gword_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    auto& self = node.attributes<AstNode_gword>();
    const AstRecord value = childRecord(node, 1);
    if (step == 0) {
        passNameScopes(evaluator, self, value);
        return;
    }
    if (step != 1) return;
    if (evaluator.declaring()) {
        // The letter joins the record after its value was walked.
        self.gcodeBlock->addWord(toLowerCopy(node.lexeme(0)));
        self.gcodeBlockOut = self.gcodeBlock;
    } else {
        self.wordValuesOut = self.wordValues.concat(attribute(AstAttribute::code, value));
    }
}

void gvalue_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step) { // "-" number
    if (!evaluator.compiling() || step != 1) return;
    node.attributes<AstNode_gvalue>().code =
        attribute(AstAttribute::code, childRecord(node, 1)).concat(emitNeg(typeLreal, node.span()));
}

void gvalue_2(Evaluator& evaluator, Parser::AstNode& node, int32_t step) { // "=" G-code expression
    wordValueOf(evaluator, node, step, 1);
}

void gvalue_3(Evaluator& evaluator, Parser::AstNode& node, int32_t step) { // Structured Text expression
    wordValueOf(evaluator, node, step, 0);
}

void gvalue_4(Evaluator& evaluator, Parser::AstNode& node, int32_t step) { // "=" Structured Text expression
    wordValueOf(evaluator, node, step, 1);
}

void gnumber_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step) { number(evaluator, node, step); }

void gnumber_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step) { number(evaluator, node, step); }

void gexpression_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    binaryOperation<AstNode_gexpression>(evaluator, node, step, emitAdd);
}

void gexpression_2(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    binaryOperation<AstNode_gexpression>(evaluator, node, step, emitSub);
}

void gterm_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    binaryOperation<AstNode_gterm>(evaluator, node, step, emitMul);
}

void gterm_2(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    binaryOperation<AstNode_gterm>(evaluator, node, step, emitDiv);
}

void gunary_expression_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step) { // "-" operand
    auto& self = node.attributes<AstNode_gunary_expression>();
    const AstRecord operand = childRecord(node, 1);
    if (step == 0) {
        passNameScopes(evaluator, self, operand);
    } else if (evaluator.compiling() && step == 1) {
        Type* type = attribute(AstAttribute::type, operand);
        const SourceSpan span = node.span();
        self.type = type;
        self.code = attribute(AstAttribute::code, operand)
                        .concat(emitImplicitConversion(type, type, span))
                        .concat(emitNeg(type, span));
    }
}

void gprimary_expression_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step) { // variable
    auto& self = node.attributes<AstNode_gprimary_expression>();
    const AstRecord variable = childRecord(node, 0);
    if (step == -1) {
        passNameScopes(evaluator, self, variable);
    } else if (evaluator.compiling()) {
        self.type = attribute(AstAttribute::type, variable);
        self.code = attribute(AstAttribute::addressCode, variable).concat(emitLd(self.type, node.span()));
    }
}

void gvariable_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    if (!evaluator.compiling() || step != -1) return;
    auto& self = node.attributes<AstNode_gvariable>();
    // Against the variables in force where the block stands, not the program's last scope.
    ProgramObject* object = resolveIdentifier(self.variableScope, self.typeScope, toLowerCopy(node.lexeme(0)));
    Variable* variable = ProgramObject::variableOrFail(object);
    self.type = variable->type();
    self.addressCode = variable->addressCode();
}

} // namespace Karsto::Eval

namespace Karsto {

bool JyxParser::compileLiteralBlock(AstNode& block, Code& code) {
    if (!Eval::literalBlock(block, blockWords_)) return false;
    // The words as the offsets of their tokens and nodes: a negation's node runs from the
    // minus to the number's end.
    plainWords_.clear();
    for (AstNode* word : blockWords_) {
        AstNode& value = *word->childNode(1);
        const bool negated = !Eval::isNumber(value);
        const AstNode& number = negated ? *value.childNode(1) : value;
        const AstChild letter = word->child(0);
        plainWords_.push_back(PlainWord{letter.begin(), letter.end(), value.beginOffset(), negated,
                                        number.beginOffset(), number.endOffset()});
    }
    const int32_t skipLevel = static_cast<Prod>(block.childNode(0)->production()) == Prod::gstatement_3_0 ? -1 : 0;
    try {
        code = literalBlockCode(skipLevel, block.beginOffset(), block.endOffset());
        return true;
    } catch (const ExceptionKarsto&) {
    } catch (const std::logic_error&) { // the literal's own range errors
    }
    code = Code();
    return false;
}

Code JyxParser::literalBlockCode(int32_t skipLevel, uint32_t begin, uint32_t end) {
    // The values, the same items, spans and order that the word nodes' actions give, then
    // the block's instruction. The block record lives only as long as this call, since the
    // instruction keeps its own copy of the letters and a whole file of such records would
    // stay until the compile ends.
    const AstArena& arena = *nodeArena;
    GCode block(skipLevel, arena.spanOf(begin, end));
    block.words.reserve(plainWords_.size());
    Code values;
    for (const PlainWord& word : plainWords_) {
        values.append(emitRealLiteral(std::string(arena.textOf(word.numberBegin, word.numberEnd)), typeLreal,
                                      arena.spanOf(word.numberBegin, word.numberEnd)));
        if (word.negated) values.append(emitNeg(typeLreal, arena.spanOf(word.minus, word.numberEnd)));
        block.addWord(toLowerCopy(arena.textOf(word.letter, word.letterEnd)));
    }
    values.append(block.code());
    return values;
}

Code JyxParser::plainLinesCode(uint32_t begin, uint32_t end) {
    if (plainNegation_.node() == nullptr) plainNegation_ = emitNeg(typeLreal, SourceSpan());
    auto* lines = new CmdPlainLines(plainLineSource, begin, end, plainNegation_);
    Code code(lines);
    lines->setSpan(nodeArena->spanOf(begin, end));
    openLines_ = lines;
    return code;
}

} // namespace Karsto
