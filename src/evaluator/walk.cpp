#include "core/exception.h"
#include "evaluator/evaluator.h"

namespace Karsto {

void runWalk(Evaluator& evaluator, Parser::AstNode* root, EvaluatorAction action) {
    Parser::AstNode* node = root;
    int32_t step = -1;
    try {
        while (node != nullptr) {
            action(evaluator, *node, step);
            if (evaluator.passOverChildren) {
                evaluator.passOverChildren = false;
                step = static_cast<int32_t>(node->childCount()) - 1;
            }
            const auto next = static_cast<size_t>(step + 1);
            if (next < node->childCount()) {
                if (Parser::AstNode* child = node->childNode(next)) {
                    node = child;
                    step = -1;
                } else {
                    step = static_cast<int32_t>(next);
                }
            } else {
                step = node->index();
                node = node->parent();
            }
        }
    } catch (const ExceptionSemantic& error) {
        if (node == nullptr) throw;
        // The construct whose rule failed answers for the error, whatever span the
        // service that raised it gave.
        ExceptionSemantic located(error);
        located.setSpan(node->span());
        throw located;
    }
}

void JyxParser::evaluate() {
    if (root == nullptr) return;
    // Every declaration is complete before the first statement is compiled.
    Evaluator declaring(*this, Walk::declare);
    runWalk(declaring, root, evaluateProduction);
    Evaluator compiling(*this, Walk::compile);
    runWalk(compiling, root, evaluateProduction);
}

} // namespace Karsto
