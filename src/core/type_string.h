#pragma once
// STRING and WSTRING of a capacity. A value occupies capacity + 1 cells: one character
// per cell, the first lowest, then one cell holding the current length.

#include <cstdint>
#include <string>

#include "core/type.h"

namespace Karsto {

// What the two string kinds share: the capacity, the cells and the empty default.
class TypeCharacterString : public Type {
public:
    int64_t size() const override { return int64_t{capacity_} + 1; }
    // Reserves the character cells and pushes the length 0.
    Code defaultValue() const override;

    int32_t capacity() const { return capacity_; }

protected:
    TypeCharacterString(TypeKind kind, int32_t capacity)
        : Type(kind, kindBit(kind)), capacity_(capacity) {}
    // name "[" capacity "]"
    std::string textWith(const char* name) const;

private:
    int32_t capacity_;
};

class TypeString final : public TypeCharacterString {
public:
    explicit TypeString(int32_t capacity) : TypeCharacterString(TypeKind::String, capacity) {}
    TypeString* asString() override { return this; }
    bool isString() const override { return true; }
    Type* clone() const override { return new TypeString(capacity()); }
    std::string toString() const override { return textWith("string"); }
};

class TypeWstring final : public TypeCharacterString {
public:
    explicit TypeWstring(int32_t capacity) : TypeCharacterString(TypeKind::Wstring, capacity) {}
    TypeWstring* asWstring() override { return this; }
    bool isWstring() const override { return true; }
    Type* clone() const override { return new TypeWstring(capacity()); }
    std::string toString() const override { return textWith("wstring"); }
};

// The types of STRING and WSTRING written without a capacity (255), and the fixed
// types of the string built-ins. Null outside create/destroyDefaultStringTypes.
extern TypeString* typeString;
extern TypeWstring* typeWstring;

inline constexpr int32_t kDefaultStringCapacity = 255;

// Called by the program entry right after createElementaryTypes; an existing type is
// kept, so calling it twice is harmless.
void createDefaultStringTypes();
// Deletes both and nulls the globals; called after destroyElementaryTypes.
void destroyDefaultStringTypes();

} // namespace Karsto
