#include "core/gcode.h"

#include <algorithm>
#include <string>
#include <vector>

#include "core/gprocessor.h"
#include "core/stackmachine_interpreter.h"

namespace Karsto {

namespace {

// The word lists being handed on, one per CmdGcode execution under way on this thread:
// a processor that runs further blocks before it returns gets a list of their own for
// each. Names are assigned into strings kept from earlier blocks, so a block allocates
// nothing once the lists have grown.
class WordLists {
public:
    std::vector<GCodeWord>& enter() {
        if (depth_ == lists_.size()) lists_.emplace_back();
        return lists_[depth_++];
    }
    void leave() { --depth_; }

private:
    std::vector<std::vector<GCodeWord>> lists_;
    size_t depth_ = 0;
};

thread_local WordLists wordLists;

void fillNames(std::vector<GCodeWord>& words, int32_t count, const std::string& names) {
    words.resize(static_cast<size_t>(count));
    const char* name = names.c_str();
    for (GCodeWord& word : words) {
        const size_t length = std::char_traits<char>::length(name);
        // A loop runs the same blocks again and again: mostly the list holds the name.
        if (word.name.size() != length || !std::equal(name, name + length, word.name.data()))
            word.name.assign(name, length);
        name += length + 1;
    }
}

} // namespace

CmdGcode::CmdGcode(const GCode& block) : skipLevel_(block.skipLevel), count_(static_cast<int32_t>(block.words.size())) {
    for (const std::string& name : block.words) {
        names_ += name;
        names_ += '\0';
    }
}

std::vector<GCodeWord> CmdGcode::words() const {
    std::vector<GCodeWord> words;
    fillNames(words, count_, names_);
    return words;
}

void CmdGcode::execute(Stackmachine& machine) {
    onMachine(machine, [this](auto& m) {
        std::vector<GCodeWord>& words = wordLists.enter();
        struct Leave {
            ~Leave() { wordLists.leave(); }
        } leave;
        fillNames(words, count_, names_);
        // The last word's value lies on top: position 0 gets the first word of the line.
        for (size_t i = words.size(); i-- > 0;) words[i].value = m.popF64();
        m.executeGcode(skipLevel_, words);
    });
}

std::string CmdGcode::toString() const { return "Gcode " + std::to_string(count_); }

CodeItem* CmdGcode::clone() const { return withSpanOf(new CmdGcode(skipLevel_, count_, names_)); }

} // namespace Karsto
