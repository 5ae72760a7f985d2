#pragma once
// References (REF_TO) and the type of the NULL literal. A value is one "<addr>" cell;
// 0 is the null reference.

#include <string>

#include "core/type.h"

namespace Karsto {

class TypePointer final : public Type {
public:
    // Null target: the NULL pointer type. Several pointer types to one target may exist
    // (besides the one cached by Type::pointerTo); typesEqual compares their targets.
    explicit TypePointer(Type* target);
    TypePointer* asPointer() override { return this; }
    bool isPointer() const override { return true; }

    Type* clone() const override;
    int64_t size() const override;
    std::string toString() const override; // "ref_to " + target, or "NullPointer"
    Code defaultValue() const override;    // the null reference

    Type* target() const { return target_; }

private:
    Type* target_; // not owned
};

// The type of the NULL literal, from start-up to exit; null outside
// create/destroyNullPointerType.
extern TypePointer* typeNullPointer;

// Called by the program entry right after createDefaultStringTypes.
void createNullPointerType();
// Called at exit after destroyDefaultStringTypes.
void destroyNullPointerType();

} // namespace Karsto
