#pragma once
// The member values of one structure initialiser, e.g. (a := 1, b := 2.5).

#include <string>

#include "core/code.h"
#include "core/type_scif.h"

namespace Karsto {

class StructInit {
public:
    explicit StructInit(TypeScif* structType) : structType_(structType) {}

    // Records one member's value after checking that the member exists, may be
    // accessed from the accessing class (null outside any class) and has no value yet.
    // A failure leaves the values unchanged.
    void set(const std::string& name, const Code& value, Type* accessingClass);

    TypeScif* structType() const { return structType_; }
    // The evaluator passes a copy to TypeScif::initialValueFrom.
    const MemberValues& memberValues() const { return memberValues_; }

private:
    TypeScif* structType_; // not owned
    MemberValues memberValues_;
};

} // namespace Karsto
