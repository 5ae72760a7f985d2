#pragma once
// Helpers for the tests of composite types, memory areas and scopes: a suite fixture
// that owns every shared type, stand-ins for the parts of classes and interfaces that
// code generation completes, address rules standing in for the code generator's, and
// listings.

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "core/code.h"
#include "core/constant_factory.h"
#include "core/memory.h"
#include "core/type.h"
#include "core/type_class.h"
#include "core/type_pointer.h"
#include "core/type_string.h"

namespace Karsto::test {

// Builds the shared types in the program entry's order and frees them in the same
// order, once per suite.
class CompositeTypesTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        createElementaryTypes();
        createDefaultStringTypes();
        createNullPointerType();
    }
    static void TearDownTestSuite() {
        destroyElementaryTypes();
        destroyDefaultStringTypes();
        destroyNullPointerType();
    }
};

// The text of every item, in execution order.
inline std::vector<std::string> itemTexts(const Code& code) {
    std::vector<std::string> lines;
    std::istringstream in(CodeLinked(code).toString());
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// Every area's address is its offset as one "<addr>" constant, so tests see which
// offset a variable's code addresses.
class OffsetAddressing final : public MemoryAddressing {
public:
    Code addressCode(const Memory&, int64_t offset) const override {
        return makeIntConstant(offset, typeAddr, SourceSpan());
    }
};

// Installs OffsetAddressing for the lifetime of the object.
class ScopedOffsetAddressing {
public:
    ScopedOffsetAddressing() : previous_(setMemoryAddressing(&rules_)) {}
    ~ScopedOffsetAddressing() { setMemoryAddressing(previous_); }

private:
    OffsetAddressing rules_;
    const MemoryAddressing* previous_;
};

// A class with only the data part: no layout, no members, no methods.
class TestClass final : public TypeClass {
public:
    TestClass(std::string name, TypeClass* base, std::vector<TypeInterface*> interfaces = {})
        : TypeClass(std::move(name), base, std::move(interfaces)) {}
    Type* clone() const override { return new TestClass(name(), baseClass(), interfaces()); }
    int64_t size() const override { return 1; }
    std::string toString() const override { return "Class " + name() + " ()"; }
    Code defaultValue() const override { return Code(); }
    std::string declaredName() const override { return name(); }
    bool hasMember(const std::string&) const override { return false; }
    int32_t memberCount() const override { return 0; }
    std::string memberName(int32_t) const override { return std::string(); }
    Type* memberType(const std::string&) const override { return nullptr; }
    Type* memberTypeAt(int32_t) const override { return nullptr; }
    int64_t memberOffset(const std::string&) const override { return 0; }
    int64_t memberOffsetAt(int32_t) const override { return 0; }
    int32_t memberIndex(const std::string&) const override { return -1; }
    void checkAccess(const std::string&, Type*) const override {}
    MethodUser* methodOrFail(const std::string&) const override { return nullptr; }
    MethodUser* findMethod(const std::string&) const override { return nullptr; }
    Code callCode(const std::string&, AParamList*, const SourceSpan&, bool) override {
        return Code();
    }
    Code initialValueFrom(MemberValues) const override { return Code(); }
    int64_t interfaceOffset(TypeInterface*) override { return interfaceOffsetValue; }

    // What interfaceOffset answers for every interface.
    int64_t interfaceOffsetValue = 0;
};

// An interface without method tables.
class TestInterface final : public TypeInterface {
public:
    explicit TestInterface(std::string name, std::vector<TypeInterface*> extends = {})
        : TypeInterface(std::move(name), std::move(extends)) {}
    Type* clone() const override { return new TestInterface(name(), extends()); }
    MethodUser* findMethod(const std::string&) const override { return nullptr; }
    Code callCode(const std::string&, AParamList*, const SourceSpan&, bool) override {
        return Code();
    }
};

} // namespace Karsto::test
