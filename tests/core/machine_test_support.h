#pragma once
// Helpers for the tests of the code model and the stack machine: small test-only
// instructions, a capture of the global log, a recording G-code processor and spans.

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "core/code.h"
#include "core/gprocessor.h"
#include "core/log.h"
#include "core/stackmachine.h"

namespace Karsto::test {

// A fresh machine's stack pointer.
inline constexpr int64_t kBase = 0x100000;

// The text of every item as compiled, in order (labels are placed elsewhere).
inline std::vector<std::string> eachItemText(const Code& code) {
    std::vector<std::string> texts;
    code.forEachItem([&texts](CodeItem* item) {
        texts.push_back(item->toString());
        return true;
    });
    return texts;
}

inline SourceSpan spanAt(int32_t line, int32_t column = 1, const std::string& file = "t.jyx") {
    SourcePosition begin, end;
    begin.file = end.file = file;
    begin.line = end.line = line;
    begin.column = column;
    end.column = column + 1;
    return SourceSpan(begin, end);
}

// An instruction with a name and an action; clones share the action.
class TestCmd : public Cmd {
public:
    using Action = std::function<void(Stackmachine&)>;
    explicit TestCmd(std::string name, Action action = {})
        : name_(std::move(name)), action_(std::move(action)) {}
    void execute(Stackmachine& machine) override {
        if (action_) action_(machine);
    }
    std::string toString() const override { return name_; }
    CodeItem* clone() const override {
        auto* copy = new TestCmd(name_, action_);
        copy->setSpan(span());
        return copy;
    }

private:
    std::string name_;
    Action action_;
};

// A test instruction with a label operand: jumps to its target.
class TestJump : public CmdWithTarget {
public:
    explicit TestJump(Label* target) : CmdWithTarget(target) {}
    void execute(Stackmachine& machine) override { machine.setPc(target()->address()); }
    std::string toString() const override { return textWithTarget("TestJump"); }
    CodeItem* clone() const override {
        auto* copy = new TestJump(target());
        copy->setSpan(span());
        return copy;
    }
};

inline Code codeOf(CodeItem* item) { return Code(item); }

// Concatenates the items in order, links them and loads the program.
inline void loadItems(Stackmachine& machine, const std::vector<CodeItem*>& items) {
    Code code;
    for (CodeItem* item : items) code = code.concat(Code(item));
    machine.loadProgram(CodeLinked(code));
}

inline CodeItem* withSpan(CodeItem* item, int32_t line) {
    item->setSpan(spanAt(line));
    return item;
}

// Counts the calls of the two program hooks.
class HookMachine : public Stackmachine {
public:
    void onProgramStart() override { ++starts; }
    void onProgramEnd() override { ++ends; }
    int starts = 0;
    int ends = 0;
};

// Captures the lines of the given levels of the global log while it lives, and
// restores the levels and the standard-error switch afterwards.
class LogCapture : public LogListener {
public:
    explicit LogCapture(std::vector<LogLevel> levels, bool toStderr = false)
        : levels_(std::move(levels)) {
        for (LogLevel level : levels_) {
            saved_.push_back(globalLog.enabled(level));
            globalLog.setLevel(level, true);
        }
        savedStderr_ = globalLog.toStderr();
        globalLog.setStderr(toStderr);
        globalLog.addListener(this);
    }
    ~LogCapture() override {
        globalLog.removeListener(this);
        for (size_t i = 0; i < levels_.size(); ++i) globalLog.setLevel(levels_[i], saved_[i]);
        globalLog.setStderr(savedStderr_);
    }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    void logLine(int32_t, const std::string& line) override { lines.push_back(line); }

    std::vector<std::string> lines;

private:
    std::vector<LogLevel> levels_;
    std::vector<bool> saved_;
    bool savedStderr_ = false;
};

// Records every call of the machine.
class FakeProcessor : public GProcessor {
public:
    struct Block {
        int32_t skipLevel;
        std::vector<GCodeWord> words;
        SourceSpan span;
    };
    void executeBlock(int32_t skipLevel, const std::vector<GCodeWord>& words,
                      const SourceSpan& span) override {
        if (recordBlocks) blocks.push_back({skipLevel, words, span});
        if (failWith) failWith();
    }
    void startProgram() override { ++starts; }
    void finishProgram() override { ++finishes; }
    bool isStalled() override { return false; }
    void registerNatives(SymbolTables&, std::vector<FunctionNative*>&) override {}
    void reset() override { ++resets; }

    std::vector<Block> blocks;
    bool recordBlocks = true; // off: blocks are taken without allocating anything
    std::function<void()> failWith; // called after recording a block
    int starts = 0;
    int finishes = 0;
    int resets = 0;
};

} // namespace Karsto::test
