#pragma once
// The compile-time type model: the abstract Type with its kind and conversion mask, the
// elementary types (TypeSimple singletons) and the relations the compiler combines
// operands with. The stack machine never sees a Type; code generation picks
// instruction classes by kind.

#include <cstdint>
#include <span>
#include <string>

#include "core/code.h"
#include "core/type_kind.h"

namespace Karsto {

class TypeString;
class TypeWstring;
class TypeArray;
class TypeEnum;
class TypeSubrange;
class TypeStruct;
class TypeClass;
class TypeInterface;
class TypeFunction;
class TypePointer;
class TypeScif;

class Type {
public:
    Type(TypeKind kind, uint64_t conversionMask);
    virtual ~Type();
    Type(const Type&) = delete;
    Type& operator=(const Type&) = delete;

    // Casts and tests per composite family. The family's class overrides its own pair:
    // the cast returns the object, the test true. The default cast raises
    // ExceptionSemantic naming this type.
#define KARSTO_TYPE_CAST(family, message) virtual Type##family* as##family();
#include "core/type_casts.def"
#define KARSTO_TYPE_CAST(family, message) virtual bool is##family() const;
#include "core/type_casts.def"

    // A new type of the same class and shape without initializer; the caller owns it.
    virtual Type* clone() const = 0;
    // Stack-machine cells a value of this type occupies.
    virtual int64_t size() const = 0;
    // The text used in messages.
    virtual std::string toString() const = 0;
    // Code that pushes the default value.
    virtual Code defaultValue() const = 0;

    TypeKind kind() const { return kind_; }
    // Bit k set: a value of this type converts implicitly to kind k.
    uint64_t conversionMask() const { return conversionMask_; }
    bool hasInitializer() const { return hasInitializer_; }

    // The explicit initializer when there is one, else the default value: what every
    // declaration without an explicit value uses.
    Code initialValue() const;
    void setInitializer(const Code& code);
    // clone() carrying the given initializer; the caller owns the clone.
    Type* cloneWithInitializer(const Code& code) const;
    // The pointer type to this type: made on the first call, owned by this type and
    // handed out on every later call, so each type has exactly one cached pointer type.
    TypePointer* pointerTo();

private:
    const TypeKind kind_;
    const uint64_t conversionMask_;
    bool hasInitializer_ = false;
    Code initializer_;
    TypePointer* pointerType_ = nullptr; // owned
};

// An elementary type: a name, a size and, for the types that have one, the constant
// instruction that pushes its zero value.
class TypeSimple final : public Type {
public:
    TypeSimple(std::string name, TypeKind kind, uint64_t conversionMask, Code defaultCode,
               int64_t size);
    // For the types without a default value.
    TypeSimple(std::string name, TypeKind kind, uint64_t conversionMask, int64_t size);
    ~TypeSimple() override;

    // Clones exist only to carry an initializer: one cell, no default code.
    Type* clone() const override;
    int64_t size() const override;
    std::string toString() const override;
    // A fresh copy of the zero-value instruction on every call.
    Code defaultValue() const override;

private:
    const std::string name_;
    const int64_t size_;
    const Code defaultCode_;
};

// The elementary singletons, null outside createElementaryTypes/destroyElementaryTypes.
// Every part of the system compares against and hands out these objects.
#define KARSTO_ELEMENTARY_TYPE(global, text, kind, size, mask, defaultClass) \
    extern TypeSimple* global;
#include "core/elementary_types.def"

inline constexpr int32_t kElementaryTypeCount = 32;

// Builds the elementary singletons in table order; a global that already exists is
// kept, so calling it twice is harmless.
void createElementaryTypes();
// Deletes every existing elementary singleton in table order and nulls the globals.
void destroyElementaryTypes();
// The elementary singletons in creation order, while they exist.
std::span<TypeSimple* const> elementaryTypes();

// Structural equality decided by kind: "lint", "<addr>" and "<enumbase>" are equal, and
// so is a subrange to its base.
bool typesEqual(Type* a, Type* b);
// The type both operands of a binary operation convert to, or null: a itself when the
// two are equal, else decided by the lowest kind both masks share.
Type* commonType(Type* a, Type* b);
// commonType, raising ExceptionSemantic when there is none.
Type* commonTypeOrFail(Type* a, Type* b);
// Combining a value of `from` with `to` yields `to` itself.
bool isImplicitlyConvertible(Type* from, Type* to);

} // namespace Karsto
