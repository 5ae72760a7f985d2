#pragma once
// The two things a plain identifier in an expression can denote: a declared variable
// with its place in a memory area, and a value of an enumeration.

#include <cstdint>
#include <string>
#include <vector>

#include "core/code.h"
#include "core/source_span.h"
#include "core/stackmachine.h"

namespace Karsto {

class Type;
class TypeEnum;
class Memory;
class Variable;
class EnumValue;

// The declaration bits of a variable: those of its declaration block plus its
// modifiers. Bit 8 is not used.
enum class VariableFlags : int32_t {
    CONSTANT = 1,
    RETAIN = 2,
    NON_RETAIN = 4,
    VAR_INPUT = 16,
    VAR_OUTPUT = 32,
    VAR_IN_OUT = 64,
    VAR_EXTERNAL = 128,
    VAR_TEMP = 256,
    HOST_DECLARED = 512, // the R-parameters
    R_EDGE = 1024,
    F_EDGE = 2048,
    IMPLICIT = 4096, // made by the system: result variables, the object reference "this"
};

constexpr int32_t flagBit(VariableFlags flag) { return static_cast<int32_t>(flag); }
constexpr bool hasFlag(int32_t flags, VariableFlags flag) { return (flags & flagBit(flag)) != 0; }

// The hidden object reference of a method carries all three parameter bits and
// IMPLICIT, so it counts as none of the parameter kinds.
inline constexpr int32_t kThisFlags = flagBit(VariableFlags::IMPLICIT) |
                                      flagBit(VariableFlags::VAR_INPUT) |
                                      flagBit(VariableFlags::VAR_OUTPUT) |
                                      flagBit(VariableFlags::VAR_IN_OUT);

// How the call code treats a parameter variable: decided by the bits VAR_INPUT,
// VAR_OUTPUT, VAR_IN_OUT and IMPLICIT taken together.
enum class ParameterKind : int32_t { none = 0, input = 1, output = 2, inOut = 3 };

constexpr ParameterKind parameterKindOf(int32_t flags) {
    switch (flags & kThisFlags) {
    case flagBit(VariableFlags::VAR_INPUT): return ParameterKind::input;
    case flagBit(VariableFlags::VAR_OUTPUT): return ParameterKind::output;
    case flagBit(VariableFlags::VAR_IN_OUT): return ParameterKind::inOut;
    default: return ParameterKind::none;
    }
}

enum class VariableAccess : int32_t {
    PUBLIC = 0,
    PROTECTED = 1,
    PRIVATE = 2,
    INTERNAL = 3,
    NONE = 4, // variables of natives, host variables, aliases, "this"
};

class ProgramObject {
public:
    ProgramObject() = default;
    ProgramObject(const ProgramObject&) = delete;
    ProgramObject& operator=(const ProgramObject&) = delete;
    virtual ~ProgramObject() = default;

    virtual Variable* asVariable() = 0;
    virtual EnumValue* asEnumValue() = 0;
    // Code that pushes the value.
    virtual Code valueCode(const SourceSpan& span) = 0;
    // Code that pushes the address; empty for an enumeration value.
    virtual Code addressCode() = 0;
    virtual Type* type() = 0;

    // The object as a variable; "Expected variable." for an enumeration value.
    static Variable* variableOrFail(ProgramObject* object);
};

class Variable final : public ProgramObject {
public:
    // An ordinary variable, allocated at the end of the area when one is given.
    Variable(Memory* memory, std::string name, Type* type, int32_t flags, VariableAccess access);
    // An alias at a given place: allocated, but neither entered in the area's list nor
    // counted in its size; access NONE.
    Variable(Memory* memory, int64_t offset, std::string name, Type* type, int32_t flags);
    // A directly represented variable (AT %IX1.2): no name, no type and no storage; the
    // numbers of its address follow through addAddressPart.
    Variable(Memory* memory, char location, char sizeLetter, int32_t flags, VariableAccess access);
    ~Variable() override = default;

    Variable* asVariable() override { return this; }
    EnumValue* asEnumValue() override { return nullptr; }
    // The address, then a load of as many cells as the type occupies.
    Code valueCode(const SourceSpan& span) override;
    // The area's address code for the offset. A variable without storage has none:
    // asking raises ExceptionSemantic.
    Code addressCode() override;
    Type* type() override { return type_; }

    void addAddressPart(int32_t part) { addressParts_.push_back(part); }
    // A new variable (owned by the caller) at this variable's place, whose type must
    // equal this one's and which must be CONSTANT when this one is.
    Variable* makeAlias(const std::string& name, Type* type, int32_t flags) const;

    const std::string& name() const { return name_; }
    int32_t flags() const { return flags_; }
    VariableAccess access() const { return access_; }
    bool isDirect() const { return isDirect_; }
    char location() const { return location_; }
    char sizeLetter() const { return sizeLetter_; }
    const std::vector<int32_t>& addressParts() const { return addressParts_; }
    bool allocated() const { return allocated_; }
    Memory* memory() const { return memory_; }
    int64_t offset() const { return offset_; }

private:
    std::string name_; // empty for a directly represented variable
    Type* type_;       // not owned
    int32_t flags_;
    VariableAccess access_;
    bool isDirect_ = false;
    char location_ = 0;   // i, q or m
    char sizeLetter_ = 0; // x, b, w, d, l, or 0
    std::vector<int32_t> addressParts_;
    bool allocated_ = false;
    Memory* memory_;
    int64_t offset_ = 0;
};

// One value of an enumeration, made and owned by its TypeEnum.
class EnumValue final : public ProgramObject {
public:
    Variable* asVariable() override { return nullptr; }
    EnumValue* asEnumValue() override { return this; }
    // One 64-bit constant of "<enumbase>"; the expression's type is the enumeration.
    Code valueCode(const SourceSpan& span) override;
    Code addressCode() override { return Code(); } // an enumeration value has no address
    Type* type() override;

    TypeEnum* enumType() const { return enumType_; }
    const std::string& name() const { return name_; }
    int32_t value() const { return value_; }

private:
    friend class TypeEnum;
    EnumValue(TypeEnum* enumType, std::string name, int32_t value)
        : enumType_(enumType), name_(std::move(name)), value_(value) {}

    TypeEnum* enumType_;
    std::string name_;
    int32_t value_;
};

// The names and offsets of variables of the shared area, as the machine's name map
// takes them when the controller binds the area.
std::vector<SharedName> sharedNamesOf(const std::vector<Variable*>& variables);

} // namespace Karsto
