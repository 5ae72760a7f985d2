#pragma once
// Helpers for the tests of the code generator: spans on every item, and running a
// generated Code on a machine item by item.

#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/code.h"
#include "core/emitters.h"
#include "core/composite_test_support.h"
#include "core/exception.h"
#include "core/stackmachine.h"
#include "core/type_array.h"
#include "core/type_enum.h"
#include "core/type_string.h"
#include "core/variable.h"

namespace Karsto::test {

// The shared types per suite, and composite types made per test and freed with it.
class CodegenTypesTest : public CompositeTypesTest {
protected:
    template <class T>
    T* keep(T* type) {
        owned_.emplace_back(type);
        return type;
    }
    Type* string(int32_t capacity) { return keep(new TypeString(capacity)); }
    Type* wstring(int32_t capacity) { return keep(new TypeWstring(capacity)); }
    TypeArray* array(Type* element, std::vector<ArrayDimension> dimensions) {
        return keep(new TypeArray(element, std::move(dimensions)));
    }
    // An enumeration over the default base with two values.
    TypeEnum* enumeration() {
        TypeEnum* type = keep(new TypeEnum(typeEnumBase));
        type->addValue("red");
        type->addValue("green");
        return type;
    }

private:
    std::vector<std::unique_ptr<Type>> owned_;
};

// Every item of the code carries the span.
inline void expectSpans(const Code& code, const SourceSpan& span) {
    code.forEachItem([&](CodeItem* item) {
        EXPECT_EQ(item->span().toString(), span.toString()) << item->toString();
        return true;
    });
}

// Executes the linked clones of the code's instructions in order on the machine's
// current stack; the code holds no jumps.
inline void runStraight(Stackmachine& machine, const Code& code) {
    const CodeLinked linked(code);
    for (int64_t i = 0; i < linked.size(); ++i) {
        Cmd* cmd = linked.item(i)->asCmd();
        ASSERT_NE(cmd, nullptr) << linked.item(i)->toString();
        cmd->execute(machine);
    }
}

// Loads the code as the machine's program and runs it to its end; returns the text of
// the run-time error that stopped it, or "".
inline std::string runProgram(Stackmachine& machine, const Code& code) {
    machine.loadProgram(CodeLinked(code));
    try {
        while (machine.isRunning()) machine.step();
    } catch (const ExceptionRuntime& e) {
        return e.what();
    }
    return "";
}

using Lines = std::vector<std::string>;

// Item texts of several codes, one after another.
inline Lines join(std::initializer_list<Lines> parts) {
    Lines all;
    for (const Lines& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

// Stores a value into a variable: the value, the variable's address, the store.
inline Code assign(Variable& target, const Code& value) {
    return value.concat(target.addressCode()).concat(emitSt(target.type(), {}));
}

inline constexpr int32_t kInput = flagBit(VariableFlags::VAR_INPUT);
inline constexpr int32_t kImplicit = flagBit(VariableFlags::IMPLICIT);

} // namespace Karsto::test
