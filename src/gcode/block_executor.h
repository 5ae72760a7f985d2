#pragma once
// The executor of a channel's G-code blocks: it decides what the words of a block mean,
// checks them and carries out their effects on the processor in a fixed order, then
// closes the block. It keeps the words of the block in storage that it reuses, so a
// block allocates nothing beyond the commands and elements it makes.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace Karsto {

// The addresses that carry a value (G and M numbers are kept apart).
enum class WordSlot : uint8_t {
    a = 0,
    b = 1,
    c = 2,
    d = 3,
    f = 4,
    h = 5,
    i = 6,
    j = 7,
    k = 8,
    n = 9,
    p = 10,
    s = 11,
    t = 12,
    u = 13,
    x = 14,
    y = 15,
    z = 16,
    q1 = 17, // q1 to q5 must stay consecutive: q axis i is q1 + i
    q2 = 18,
    q3 = 19,
    q4 = 20,
    q5 = 21,
};
inline constexpr size_t kWordSlots = 22;
inline constexpr size_t kQWords = 5;

class BlockWords {
public:
    bool has(WordSlot slot) const { return (given_ >> index(slot)) & 1u; }
    double value(WordSlot slot) const { return values_[index(slot)]; }
    void set(WordSlot slot, double v) {
        values_[index(slot)] = v;
        given_ |= uint32_t{1} << index(slot);
    }
    void forget(WordSlot slot) { given_ &= ~(uint32_t{1} << index(slot)); }
    bool anyQ() const { return (given_ >> index(WordSlot::q1)) & ((uint32_t{1} << kQWords) - 1); }
    static WordSlot qSlot(size_t axis) {
        return static_cast<WordSlot>(index(WordSlot::q1) + axis);
    }

    // Enters a number into its ascending set; false when the set holds it already.
    static bool addNumber(std::vector<int32_t>& numbers, int32_t number);
    bool hasG(int32_t number) const;

    // Forgets every word; the sets keep their capacity.
    void clear() {
        given_ = 0;
        g.clear();
        m.clear();
    }

    std::vector<int32_t> g; // the block's G numbers, ascending
    std::vector<int32_t> m; // the block's M numbers, ascending

private:
    static constexpr size_t index(WordSlot slot) { return static_cast<size_t>(slot); }

    std::array<double, kWordSlots> values_{};
    uint32_t given_ = 0; // bit per slot
};
static_assert(kWordSlots <= 32, "one bit per slot in given_");

// "absolute" for 0, "relative" for 1, "" for anything else.
std::string referenceName(int32_t reference);

class GProcessorNc2;
class SourceSpan;
enum class ModalWord : int32_t;
struct GCodeWord;
struct Pose;

class BlockExecutor {
public:
    explicit BlockExecutor(GProcessorNc2& processor) : p_(processor) {}
    BlockExecutor(const BlockExecutor&) = delete;
    BlockExecutor& operator=(const BlockExecutor&) = delete;

    void execute(int32_t skipLevel, const std::vector<GCodeWord>& words, const SourceSpan& span);

    // The words of the block executed last (also of one that failed).
    const BlockWords& words() const { return words_; }

private:
    // What one block has decided about itself.
    struct Flags {
        bool accurateStop = false; // G9 or G60, or the modal stop without G0
        bool noMove = false;       // G4, G58, G59
        bool moved = false;        // the motion step ran
        bool qMoved = false;
        bool changed = false;            // a recorded modal word changed
        bool zeroOffsetsChanged = false; // G54 to G59 with recording on
    };

    void readWords(const std::vector<GCodeWord>& words);
    void readWord(const std::string& name, double value);
    void checkExclusiveSets() const;
    void selectToolDirection(Flags& flags);
    void firstPass(Flags& flags);
    void secondPass(Flags& flags);
    void programZeroOffset(int32_t g, Flags& flags);
    void setFeed();
    void emitFunctions();
    void moveQAxes(Flags& flags);
    void reportPosition();
    void move(Flags& flags);
    void moveCircle(const Pose& target, const Pose& start);
    void deleteDistanceToGo(const Flags& flags);
    void dwell(Flags& flags);
    void holdForBlockSearch();
    // Writes a modal word while recording; a change marks the block.
    void record(ModalWord word, int32_t value, Flags& flags);

    GProcessorNc2& p_;
    BlockWords words_;
    std::vector<double> qTargets_;
};

} // namespace Karsto
