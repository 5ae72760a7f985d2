// The print and to-string classes, two per row of text_instructions.def.

#include "builtins/text_instructions.h"

#include <cstdio>
#include <iterator>
#include <string>
#include <string_view>

#include "builtins/text_kernels.h"
#include "core/code.h"
#include "core/machine_cells.h"
#include "core/stackmachine.h"
#include "core/stackmachine_interpreter.h"

namespace Karsto::text {
namespace {

// Everything a print class has but its name and its row. Self is the class itself, so
// that a clone is of the same class; the span is all it carries.
template <class Self, class Row>
class PrintInstruction : public Cmd {
public:
    void execute(Stackmachine& machine) final {
        onMachine(machine, [](auto& m) { Row::print(m); });
    }
    std::string toString() const final { return std::string(Self::kText); }
    CodeItem* clone() const final { return withSpanOf(new Self()); }
};

template <class Self, class Row>
class ToStringInstruction : public Cmd {
public:
    void execute(Stackmachine& machine) final {
        onMachine(machine, [](auto& m) {
            char text[kBufferBytes];
            const int length = Row::format(m, text);
            pushText(m, text, length);
        });
    }
    std::string toString() const final { return std::string(Self::kText); }
    CodeItem* clone() const final { return withSpanOf(new Self()); }
};

// One row: how its values are taken and formatted (the format stays a literal at each
// call, so the compiler checks it against the arguments), then its two classes.
// Printing goes to standard output unflushed, and its result is not examined.
#define KARSTO_TEXT(Suffix, Pop, Format, Behaviour)                                                \
    struct Row##Suffix {                                                                           \
        template <class Machine>                                                                   \
        static void print(Machine& machine) {                                                      \
            behaviour::Behaviour::template take<cell::Pop>(machine, [](auto... arguments) {        \
                std::printf(Format, arguments...);                                                 \
                return 0;                                                                          \
            });                                                                                    \
        }                                                                                          \
        template <class Machine>                                                                   \
        static int format(Machine& machine, char (&text)[kBufferBytes]) {                          \
            return behaviour::Behaviour::template take<cell::Pop>(                                 \
                machine, [&text](auto... arguments) {                                              \
                    return std::snprintf(text, kBufferBytes, Format, arguments...);                \
                });                                                                                \
        }                                                                                          \
    };                                                                                             \
    class CmdPrint##Suffix final : public PrintInstruction<CmdPrint##Suffix, Row##Suffix> {        \
    public:                                                                                        \
        static constexpr std::string_view kText = "Print" #Suffix " ";                             \
    };                                                                                             \
    class CmdToString##Suffix final                                                                \
        : public ToStringInstruction<CmdToString##Suffix, Row##Suffix> {                           \
    public:                                                                                        \
        static constexpr std::string_view kText = "ToString" #Suffix " ";                          \
    };
#include "builtins/text_instructions.def"

constexpr TextInstructionEntry kRegistry[] = {
#define KARSTO_TEXT(Suffix, Pop, Format, Behaviour)                                                \
    {TypeKind::Suffix, []() -> Cmd* { return new CmdPrint##Suffix(); },                            \
     []() -> Cmd* { return new CmdToString##Suffix(); }},
#include "builtins/text_instructions.def"
};
static_assert(std::size(kRegistry) == kTextInstructionTypes);

} // namespace
} // namespace Karsto::text

namespace Karsto {

std::span<const TextInstructionEntry> textInstructionRegistry() { return text::kRegistry; }

const TextInstructionEntry* textInstructionsFor(TypeKind kind) {
    for (const TextInstructionEntry& entry : text::kRegistry)
        if (entry.kind == kind) return &entry;
    return nullptr;
}

} // namespace Karsto
