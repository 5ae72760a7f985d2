#include "evaluator/plain_lines.h"

#include <stdexcept>
#include <string_view>
#include <typeinfo>
#include <utility>
#include <vector>

#include "core/exception.h"
#include "core/gprocessor.h"
#include "core/stackmachine.h"
#include "core/stackmachine_interpreter.h"
#include "frontend/plain_gcode_line.h"
#include "frontend/scanner_input.h"

namespace Karsto {

namespace {

bool isPlainLineEnd(char c) { return c == '\n' || c == '\r'; }
bool isPlainBlank(char c) { return c == ' ' || c == '\t'; }
char lowerPlainLetter(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// One item of a line as the compile would emit it, with the offsets of its span.
enum class LineItem : uint8_t {
    push,   // the LREAL constant of a word's number
    negate, // the negation of a word's minus sign
    block,  // the G-code instruction: pops the values, executes the block
};

struct LineStep {
    LineItem kind;
    uint32_t begin;
    uint32_t end;
    double value; // of a push
};

class PlainLinesCursor final : public StepCursor {
public:
    SourceSpan span() const override {
        const LineStep& step = steps[last];
        const SourcePosition begin = source->positionAt(static_cast<int32_t>(step.begin), hint);
        return SourceSpan(begin, source->positionAt(static_cast<int32_t>(step.end), hint));
    }

    const ScannerInputFile* source = nullptr;
    bool done = false;           // the last item of the last line was executed
    uint32_t next = 0;           // where the line after the current one begins
    std::vector<LineStep> steps; // the current line's items
    size_t current = 0;          // the item the next step executes
    size_t last = 0;             // the item executed last
    std::vector<GCodeWord> words;
    std::vector<PlainGcodeWord> plainWords;
    mutable size_t hint = 0; // the source's line entry found last
};

PlainLinesCursor& cursorOf(Stackmachine& machine) {
    StepCursor* cursor = machine.stepCursor.get();
    if (cursor == nullptr || typeid(*cursor) != typeid(PlainLinesCursor)) {
        machine.stepCursor = std::make_unique<PlainLinesCursor>();
        cursor = machine.stepCursor.get();
    }
    return static_cast<PlainLinesCursor&>(*cursor);
}

[[noreturn]] void failChangedLine() {
    throw std::logic_error("a plain G-code line no longer reads as one");
}

// The items of the line at the cursor's next offset, up to end; the cursor then stands
// at its first item.
void loadLine(PlainLinesCursor& cursor, uint32_t end) {
    const std::string_view text = cursor.source->expandedText();
    if (end > text.size()) failChangedLine();
    size_t begin = cursor.next;
    while (begin < end && isPlainBlank(text[begin])) ++begin;
    const size_t length = readPlainGcodeLine(text.substr(begin, end - begin), false, cursor.plainWords);
    if (length == std::string_view::npos || cursor.plainWords.empty()) failChangedLine();
    const size_t lineEnd = begin + length;
    size_t after = lineEnd;
    while (after < end && isPlainLineEnd(text[after])) ++after;
    const std::string_view line = text.substr(begin, lineEnd - begin);

    cursor.steps.clear();
    cursor.words.resize(cursor.plainWords.size());
    const auto at = [begin](size_t offset) { return static_cast<uint32_t>(begin + offset); };
    for (size_t i = 0; i < cursor.plainWords.size(); ++i) {
        const PlainGcodeWord& word = cursor.plainWords[i];
        double value = 0.0;
        if (!readPlainNumber(line.substr(word.numberBegin, word.numberEnd - word.numberBegin), value))
            failChangedLine();
        cursor.steps.push_back({LineItem::push, at(word.numberBegin), at(word.numberEnd), value});
        if (word.negated) cursor.steps.push_back({LineItem::negate, at(word.minus), at(word.numberEnd), 0.0});
        // The same lines come again and again: mostly the name is there already.
        std::string& name = cursor.words[i].name;
        const char letter = lowerPlainLetter(line[word.letter]);
        if (name.size() != 1 || name[0] != letter) name.assign(1, letter);
    }
    cursor.steps.push_back({LineItem::block, static_cast<uint32_t>(begin), static_cast<uint32_t>(after), 0.0});
    cursor.current = 0;
    cursor.next = static_cast<uint32_t>(after);
}

} // namespace

CmdPlainLines::CmdPlainLines(std::shared_ptr<const ScannerInputFile> source, uint32_t begin, uint32_t end,
                             Code negation)
    : source_(std::move(source)), begin_(begin), end_(end), negation_(std::move(negation)) {
    CodeNode* node = negation_.node();
    if (source_ == nullptr || node == nullptr || !node->isCmd())
        throw std::logic_error("plain lines need their source and a negation instruction");
}

void CmdPlainLines::executeItem(Stackmachine& machine) const {
    PlainLinesCursor& cursor = cursorOf(machine);
    if (cursor.item != this || cursor.done) {
        cursor.item = this;
        cursor.source = source_.get();
        cursor.done = false;
        cursor.next = begin_;
        cursor.steps.clear();
        cursor.current = 0;
    }
    if (cursor.current == cursor.steps.size()) {
        try {
            loadLine(cursor, end_);
        } catch (...) {
            cursor.item = nullptr; // no item of it was executed: nothing to locate
            throw;
        }
    }
    const int64_t at = machine.getPc() - 1;
    cursor.last = cursor.current;
    const LineStep step = cursor.steps[cursor.current++];
    try {
        switch (step.kind) {
        case LineItem::push: machine.pushF64(step.value); break;
        case LineItem::negate: static_cast<Cmd*>(negation_.node())->execute(machine); break;
        case LineItem::block:
            // The last word's value lies on top: position 0 gets the first word of the line.
            for (size_t i = cursor.words.size(); i-- > 0;) cursor.words[i].value = machine.popF64();
            machine.executeGcode(-1, cursor.words);
            break;
        }
    } catch (ExceptionRuntime& error) {
        // The place of the item, as the step gives an item's own error.
        if (!error.span().valid) error.setSpan(cursor.span());
        cursor.item = nullptr;
        throw;
    } catch (...) {
        cursor.item = nullptr;
        throw;
    }
    if (cursor.item != this) return; // the block ended the program: the machine jumped to its end
    if (cursor.current == cursor.steps.size() && cursor.next >= end_) {
        cursor.done = true; // on to the next instruction
        return;
    }
    machine.setPc(at); // the next item is this instruction's again
}

void CmdPlainLines::runQuiet(StackmachineInterpreter& machine, const Cmd& item) {
    static_cast<const CmdPlainLines&>(item).executeItem(machine);
}

RunKernel CmdPlainLines::runKernel() const { return &runQuiet; }

std::string CmdPlainLines::toString() const {
    return "PlainLines " + std::to_string(begin_) + "-" + std::to_string(end_);
}

CodeItem* CmdPlainLines::clone() const { return withSpanOf(new CmdPlainLines(source_, begin_, end_, negation_)); }

} // namespace Karsto
