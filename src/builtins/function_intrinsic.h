#pragma once
// A built-in function of the language: compiled inline at each call (its arguments'
// code followed by its own instructions, no call instruction, no frame). To the
// function model it adds the number of arguments a positional call must pass and an
// overload table from argument types to ready-made instruction sequences, filled once
// by the registration and only read afterwards. Each kind decides which type it looks
// up, or emits its code without the table.

#include <cstdint>
#include <string>
#include <vector>

#include "core/code.h"
#include "core/function.h"

namespace Karsto {

class AParamList;
class Type;

class FunctionIntrinsic : public Function {
public:
    // One table entry: the instructions for values of argumentType.
    struct Overload {
        Type* argumentType; // borrowed: a global type object
        Code instructions;  // the table's own reference
    };

    // An arity of -1 lets a positional call pass any number of arguments.
    static constexpr int32_t kAnyArity = -1;

    FunctionIntrinsic(std::string name, int32_t argumentCount)
        : Function(std::move(name)), arity(argumentCount) {}

    // Appends an entry; no check for a type already in the table.
    void addOverload(Type* argumentType, const Code& instructions);
    // Whether an entry's type equals the type (typesEqual), in table order.
    bool hasOverload(Type* type) const;
    // The instructions of the first entry whose type equals the type: the same tree,
    // one more reference, never a copy. Raises ExceptionSemantic when none matches.
    Code overloadCode(Type* type) const;
    // Raises ExceptionSemantic unless hasOverload(type).
    void checkOverloaded(Type* type) const;
    // Raises ExceptionSemantic unless the call is positional and, for an arity other
    // than -1, passes exactly arity arguments. A call without arguments is not
    // positional.
    void checkNonformal(AParamList* parameters) const;

    const std::vector<Overload>& overloadTable() const { return overloads; }

    const int32_t arity;

protected:
    std::vector<Overload> overloads;

private:
    const Overload* findOverload(Type* type) const;
};

} // namespace Karsto
