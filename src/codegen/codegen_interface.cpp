#include "codegen/codegen_interface.h"

#include <utility>

#include "codegen/address_constant.h"
#include "codegen/method_call.h"
#include "codegen/operation_emitters.h"
#include "codegen/special_emitters.h"
#include "core/emitters.h"
#include "core/exception.h"
#include "core/function.h"
#include "core/memory.h"
#include "core/stackmachine.h"
#include "core/type_function.h"
#include "core/type_scif.h"
#include "core/variable.h"

namespace Karsto {
namespace {

// The fixed head of every table; objectAddressCode relies on "offset" without a struct.
constexpr int64_t kHeadCells = 3; // "vmt", "inext", "offset"
constexpr int64_t kOffsetCell = 2;

// The global area lies below the stack, so no table can be larger. Extension graphs that
// share interfaces (diamonds) double the table per level; they are refused here rather
// than laid out in memory that does not exist.
constexpr int64_t kMaxTableCells = Stackmachine::kStackBase;

} // namespace

std::string vmtName(const std::string& name) { return "_VMT_" + name; }

CodegenInterface::Layout::Layout() = default;
CodegenInterface::Layout::~Layout() = default;

CodegenInterface::CodegenInterface(std::string name, std::vector<TypeInterface*> extends)
    : TypeInterface(std::move(name), std::move(extends)) {}

CodegenInterface::CodegenInterface(const CodegenInterface* definition)
    : TypeInterface(definition) {}

CodegenInterface::~CodegenInterface() = default;

const CodegenInterface& CodegenInterface::definer() const {
    // A copy is only ever made from a CodegenInterface, so its definition is one too.
    return *static_cast<const CodegenInterface*>(definition());
}

const CodegenInterface& CodegenInterface::extendedDefinition(const TypeInterface* extended) const {
    const auto* x =
        extended == nullptr ? nullptr : dynamic_cast<const CodegenInterface*>(extended->definition());
    // A definition that failed half way has no usable table.
    checkSemantic(x != nullptr && x->layout_.complete,
                  "Interface '%s' extends an interface that is not defined.", name().c_str());
    return *x;
}

void CodegenInterface::define(std::vector<MethodUser*> methods, Memory* globalMemory) {
    checkSemantic(definition() == this && !layout_.defined, "Interface '%s' is defined twice.",
                  name().c_str());
    checkSemantic(globalMemory != nullptr, "Interface '%s' has no memory for its table.",
                  name().c_str());
    std::vector<const CodegenInterface*> extended;
    for (const TypeInterface* x : extends()) extended.push_back(&extendedDefinition(x));

    Layout& l = layout_;
    l.globalMemory = globalMemory;
    l.methods = std::move(methods);
    l.defined = true;
    for (MethodUser* m : l.methods) {
        bool declaredInBase = false;
        for (const CodegenInterface* x : extended)
            declaredInBase = declaredInBase || x->layout_.methodsByName.contains(m->name());
        if (!declaredInBase) l.newMethods.push_back(m);
        l.ownMethodsByName[m->name()] = m; // a later method replaces an earlier one
    }

    l.methodsByName = l.ownMethodsByName;
    for (const CodegenInterface* x : extended) {
        for (const auto& [methodName, method] : x->layout_.methodsByName) {
            checkSemantic(!l.ownMethodsByName.contains(methodName),
                          "Invalid redeclaration of method '%s' in interface '%s'.",
                          methodName.c_str(), name().c_str());
            l.methodsByName.emplace(methodName, method); // the first interface's entry stays
        }
    }

    l.methodPart = std::make_unique<TypeStruct>();
    for (MethodUser* m : l.newMethods) l.methodPart->addMember(m->name(), typeAddr);
    l.interfacePart = std::make_unique<TypeStruct>();
    for (const CodegenInterface* x : extended)
        l.interfacePart->addMember(x->declaredName(), x->layout_.tableStruct.get());
    l.tableStruct = std::make_unique<TypeStruct>();
    l.tableStruct->addMember("vmt", typeAddr);
    l.tableStruct->addMember("inext", typeAddr);
    l.tableStruct->addMember("offset", typeAddr);
    l.tableStruct->addMember("method", l.methodPart.get());
    l.tableStruct->addMember("interface", l.interfacePart.get());
    l.vmtHolderStruct = std::make_unique<TypeStruct>();
    l.vmtHolderStruct->addMember("vmt", typeAddr); // no initializer: only its address counts

    // The offsets of the extended tables, from the sizes the extended interfaces keep:
    // asking the structs would walk every nested table again.
    const int64_t interfaceStart = kHeadCells + static_cast<int64_t>(l.newMethods.size());
    std::vector<int64_t> extendedStart;
    int64_t cells = interfaceStart;
    for (const CodegenInterface* x : extended) {
        extendedStart.push_back(cells);
        cells += x->layout_.tableCells; // each at most the limit: no overflow
        checkSemantic(cells <= kMaxTableCells,
                      "Table of interface '%s' does not fit into memory.", name().c_str());
    }
    l.tableCells = cells;

    l.vmtVariable = std::make_unique<Variable>(globalMemory, vmtName(name()),
                                               l.vmtHolderStruct.get(), 0, VariableAccess::NONE);

    for (size_t i = 0; i < l.newMethods.size(); ++i)
        l.methodSlotOffsets[l.newMethods[i]->name()] = kHeadCells + static_cast<int64_t>(i);
    for (size_t k = 0; k < extended.size(); ++k)
        for (const auto& [methodName, offset] : extended[k]->layout_.methodSlotOffsets)
            l.methodSlotOffsets.emplace(methodName, extendedStart[k] + offset);

    l.tableOffsets[this] = 0;
    for (size_t k = 0; k < extended.size(); ++k)
        for (const auto& [interface, offset] : extended[k]->layout_.tableOffsets)
            l.tableOffsets[interface] = extendedStart[k] + offset; // a later entry replaces

    l.allInterfaces.insert(this);
    for (const CodegenInterface* x : extended)
        l.allInterfaces.insert(x->layout_.allInterfaces.begin(), x->layout_.allInterfaces.end());
    l.complete = true;
}

Type* CodegenInterface::clone() const { return new CodegenInterface(&definer()); }

MethodUser* CodegenInterface::findMethod(const std::string& name) const {
    const MethodsByName& byName = layout().methodsByName;
    auto found = byName.find(name);
    return found == byName.end() ? nullptr : found->second;
}

int64_t CodegenInterface::methodOffset(const std::string& methodName) const {
    const std::map<std::string, int64_t>& slots = layout().methodSlotOffsets;
    auto found = slots.find(methodName);
    checkSemantic(found != slots.end(), "Class '%s' does not declare method '%s'.",
                  name().c_str(), methodName.c_str());
    return found->second;
}

Code CodegenInterface::vmtAddress() const {
    Variable* variable = layout().vmtVariable.get();
    checkSemantic(variable != nullptr, "Interface '%s' is not defined.", name().c_str());
    return variable->addressCode();
}

Code CodegenInterface::objectAddressCode() {
    // R is the address of the pointer cell; the cell holds the table's address T, and
    // the table's "offset" cell how far into the object that pointer cell lies.
    const SourceSpan none;
    return emitDup(typeAddr, none)                        // R, R
        .concat(emitLd(typeAddr, none))                   // R, T
        .concat(addressConstant(kOffsetCell))
        .concat(emitAdd(typeAddr, none))
        .concat(emitLd(typeAddr, none))                   // R, offset
        .concat(emitSub(typeAddr, none));                 // the object
}

Code CodegenInterface::tableImageInit(MethodsByName methods,
                                      const InterfaceOffsets& pointerOffsets,
                                      const InterfaceChain& chain) const {
    checkSemantic(layout().complete, "Interface '%s' is not defined.", name().c_str());
    const SourceSpan none;
    Code code;
    // Each table, then the tables nested in it in order: a depth-first walk with an
    // explicit stack, since extension chains are as deep as the source makes them.
    std::vector<const CodegenInterface*> pending{&definer()};
    while (!pending.empty()) {
        const CodegenInterface* i = pending.back();
        pending.pop_back();
        int64_t next = 0;
        auto link = chain.find(i);
        if (link != chain.end() && link->second.predecessor != nullptr) {
            auto predecessor = chain.find(link->second.predecessor);
            checkSemantic(predecessor != chain.end(),
                          "Internal error: no table for the predecessor of interface '%s'",
                          i->name().c_str());
            next = predecessor->second.tableOffset;
        }
        auto pointer = pointerOffsets.find(i);
        checkSemantic(pointer != pointerOffsets.end(),
                      "Internal error: no pointer to interface '%s'", i->name().c_str());
        code = code.concat(i->vmtAddress())
                   .concat(addressConstant(next))
                   .concat(addressConstant(pointer->second));
        for (const MethodUser* h : i->layout_.newMethods) {
            auto implementation = methods.find(h->name());
            checkSemantic(implementation != methods.end() && implementation->second != nullptr,
                          "Internal error: no implementation of method '%s' of interface '%s'",
                          h->name().c_str(), i->name().c_str());
            const MethodUser* k = implementation->second;
            const std::string owner =
                h->owner() != nullptr ? h->owner()->declaredName() : std::string("<undef>");
            checkSemantic(typesEqual(k->functionType(), h->functionType()),
                          "Signature of method '%s' in class '%s' does not match type of method "
                          "in interface '%s'.",
                          h->name().c_str(), owner.c_str(), i->name().c_str());
            code = code.concat(emitConstLabel(k->entryLabel(), none));
        }
        const std::vector<TypeInterface*>& extended = i->extends();
        for (auto x = extended.rbegin(); x != extended.rend(); ++x)
            pending.push_back(&extendedDefinition(*x));
    }
    return code;
}

Code CodegenInterface::callCode(const std::string& method, AParamList* parameters,
                                const SourceSpan& span, bool /*direct*/) {
    const MethodCallFrame frame = bindMethodCall(*methodOrFail(method), parameters);
    const int64_t below = frame.resultCells + frame.parameterCells;
    const SourceSpan none;
    Code code =
        frame.binding.push
            // The variable's address lies below the result and parameter cells: its
            // reference, checked, becomes the object address, which stays as "this".
            .concat(emitCopy(none, -(below + 1), 1))
            .concat(emitLd(typeAddr, none))
            .concat(emitCheckNonNull(none))
            .concat(objectAddressCode())
            // The code address in the method's slot of the table the reference holds.
            .concat(emitCopy(none, -(below + 2), 1))
            .concat(emitLd(typeAddr, none))
            .concat(emitLd(typeAddr, none))
            .concat(addressConstant(methodOffset(method)))
            .concat(emitAdd(typeAddr, none))
            .concat(emitLd(typeAddr, none))
            .concat(emitJumpSubInd(none))
            .concat(methodCallReturn(frame));
    code.setSpan(span);
    return code;
}

} // namespace Karsto
