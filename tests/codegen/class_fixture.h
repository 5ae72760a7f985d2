#pragma once
// Classes and interfaces of the code generator built as the evaluator builds them:
// methods with the parameter area of a class method, attributes in an area of their
// own, definitions in one global area, and a machine that runs generated code.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "codegen/codegen_class.h"
#include "codegen/codegen_interface.h"
#include "codegen/codegen_test_support.h"
#include "codegen/scoped_code_generator.h"
#include "core/code.h"
#include "core/emitters.h"
#include "core/error_test_support.h"
#include "core/exception.h"
#include "core/function.h"
#include "core/machine_test_support.h"
#include "core/memory.h"
#include "core/stackmachine.h"
#include "core/variable.h"

namespace Karsto::test {

using Lines = std::vector<std::string>;

// The text of every item as compiled, labels and their references by label id.
inline Lines compiledTexts(const Code& code) {
    Lines lines;
    code.forEachItem([&lines](CodeItem* item) {
        lines.push_back(item->toString());
        return true;
    });
    return lines;
}

struct MethodTraits {
    VariableAccess access = VariableAccess::PUBLIC;
    bool isOverride = false;
    bool isFinal = false;
    bool isAbstract = false;
    Type* input = nullptr;    // one input of this type when given
    Type* result = typeVoid;  // the return type
    const char* inputName = "x";
};

// A method with the parameter area of a class method: the return variable, the input,
// then "this".
struct ClassMethod {
    ClassMethod(const std::string& name, const MethodTraits& traits)
        : area(std::make_unique<MemoryParam>()) {
        add(name, traits.result, flagBit(VariableFlags::IMPLICIT));
        if (traits.input != nullptr)
            add(traits.inputName, traits.input, flagBit(VariableFlags::VAR_INPUT));
        add("this", typeAddr, kThisFlags);
        method = std::make_unique<MethodUser>(name, nullptr, traits.result, &locals, area.get(),
                                              traits.access, traits.isOverride, traits.isFinal,
                                              traits.isAbstract, spanAt(1));
    }
    void add(const std::string& name, Type* type, int32_t flags) {
        variables.push_back(
            std::make_unique<Variable>(area.get(), name, type, flags, VariableAccess::NONE));
    }

    std::unique_ptr<MemoryParam> area;
    MemoryLocal locals;
    std::vector<std::unique_ptr<Variable>> variables;
    std::unique_ptr<MethodUser> method;
};

struct Attribute {
    std::string name;
    Type* type;
    VariableAccess access = VariableAccess::PUBLIC;
};

class ClassFixture : public CodegenTypesTest {
private:
    ScopedCodeGenerator generator_; // first in, last out

public: // the cases of tables build through a reference
    void TearDown() override { machine.unload(); }

    // A method whose body is empty, or stores the value into its result.
    MethodUser* method(const std::string& name, const MethodTraits& traits = {},
                       const Code* result = nullptr) {
        methods_.push_back(std::make_unique<ClassMethod>(name, traits));
        ClassMethod& m = *methods_.back();
        Code body;
        if (result != nullptr) {
            Variable& r = *m.variables.front();
            body = result->concat(r.addressCode()).concat(emitSt(r.type(), {}));
        }
        m.method->setBody(body);
        return m.method.get();
    }
    CodegenInterface* interface(const std::string& name, std::vector<MethodUser*> own) {
        interfaces_.push_back(
            std::make_unique<CodegenInterface>(name, std::vector<TypeInterface*>{}));
        interfaces_.back()->define(std::move(own), &globals);
        return interfaces_.back().get();
    }
    CodegenClass* make(const std::string& name, CodegenClass* base,
                       std::vector<TypeInterface*> interfaces, bool isFinal = false,
                       bool isAbstract = false) {
        classes_.push_back(std::make_unique<CodegenClass>(name, base, std::move(interfaces),
                                                          isFinal, isAbstract));
        return classes_.back().get();
    }
    // Defines the class with the attributes and methods.
    CodegenClass* define(CodegenClass* c, const std::vector<Attribute>& attributes,
                         std::vector<MethodUser*> own) {
        areas_.push_back(std::make_unique<MemoryLocal>());
        for (const Attribute& a : attributes)
            attributes_.push_back(std::make_unique<Variable>(areas_.back().get(), a.name, a.type,
                                                             0, a.access));
        return c->define(nullptr, areas_.back().get(), std::move(own), &globals);
    }
    Variable* global(const std::string& name, Type* type) {
        attributes_.push_back(
            std::make_unique<Variable>(&globals, name, type, 0, VariableAccess::PUBLIC));
        return attributes_.back().get();
    }
    // Keeps a type made for the test (a copy with an initializer, a reference type).
    Type* own(Type* type) {
        types_.emplace_back(type);
        return type;
    }
    std::string vmt(const Variable* v) { return "ConstLint " + std::to_string(v->offset()); }
    std::string label(const MethodUser* m) { return "ConstLabel " + m->entryLabel()->toString(); }

    // Runs the global initialisation, main, a halt, then the bodies of the methods;
    // returns the run-time error or "".
    std::string run(const Code& main) {
        Code bodies;
        for (const auto& m : methods_) bodies = bodies.concat(m->method->code());
        return runProgram(machine,
                          globals.initCode().concat(main).concat(emitHalt({})).concat(bodies));
    }
    int64_t stackCells() { return machine.getSp() - Stackmachine::kStackBase; }

    MemoryGlobal globals;
    HookMachine machine;

private:
    std::vector<std::unique_ptr<ClassMethod>> methods_;
    std::vector<std::unique_ptr<CodegenInterface>> interfaces_;
    std::vector<std::unique_ptr<MemoryLocal>> areas_;
    std::vector<std::unique_ptr<Variable>> attributes_;
    std::vector<std::unique_ptr<CodegenClass>> classes_;
    std::vector<std::unique_ptr<Type>> types_; // copies go before their classes
};

} // namespace Karsto::test
