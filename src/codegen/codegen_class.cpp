#include "codegen/codegen_class.h"

#include <algorithm>
#include <utility>

#include "codegen/method_call.h"
#include "codegen/operation_emitters.h"
#include "codegen/special_emitters.h"
#include "core/constant_factory.h"
#include "core/emitters.h"
#include "core/exception.h"
#include "core/function.h"
#include "core/memory.h"
#include "core/type_function.h"
#include "core/type_pointer.h"
#include "core/type_scif.h"
#include "core/variable.h"
#include "instructions/operators/operator_table.h"

namespace Karsto {
namespace {

bool sameSignature(const MethodUser& a, const MethodUser& b) {
    return typesEqual(a.functionType(), b.functionType());
}

const char* accessName(VariableAccess access) {
    switch (access) {
    case VariableAccess::PUBLIC: return "public";
    case VariableAccess::PROTECTED: return "protected";
    case VariableAccess::PRIVATE: return "private";
    case VariableAccess::INTERNAL: return "internal";
    case VariableAccess::NONE: return "<undef>";
    }
    return ""; // a value outside the five
}

} // namespace

CodegenClass::Layout::Layout() = default;
CodegenClass::Layout::~Layout() = default;

CodegenClass::CodegenClass(std::string name, TypeClass* baseClass,
                           std::vector<TypeInterface*> interfaces, bool isFinal, bool isAbstract)
    : TypeClass(std::move(name), baseClass, std::move(interfaces)), isFinal_(isFinal),
      isAbstract_(isAbstract) {}

CodegenClass::CodegenClass(const CodegenClass* definition)
    : TypeClass(definition), isFinal_(definition->isFinal_), isAbstract_(definition->isAbstract_) {}

CodegenClass::~CodegenClass() = default;

const CodegenClass& CodegenClass::definer() const {
    // A copy is only ever made from a CodegenClass, so its definition is one too.
    return *static_cast<const CodegenClass*>(definition());
}

const CodegenClass* CodegenClass::baseDefinition() const {
    if (baseClass() == nullptr) return nullptr;
    const auto* base = dynamic_cast<const CodegenClass*>(baseClass()->definition());
    // A definition that failed half way has no usable layout.
    checkSemantic(base != nullptr && base->layout().complete,
                  "Class '%s' extends a class that is not defined.", name().c_str());
    return base;
}

std::vector<const CodegenInterface*> CodegenClass::declaredDefinitions() const {
    std::vector<const CodegenInterface*> declared;
    for (const TypeInterface* i : interfaces()) {
        const auto* d =
            i == nullptr ? nullptr : dynamic_cast<const CodegenInterface*>(i->definition());
        checkSemantic(d != nullptr && d->defined(),
                      "Class '%s' implements an interface that is not defined.", name().c_str());
        declared.push_back(d);
    }
    return declared;
}

MethodUser* CodegenClass::findMethod(const std::string& name) const {
    auto found = layout().methodsByName.find(name);
    return found == layout().methodsByName.end() ? nullptr : found->second;
}

CodegenClass* CodegenClass::define(void* bodyContext, Memory* attributeMemory,
                                   std::vector<MethodUser*> methods, Memory* globalMemory) {
    checkSemantic(definition() == this && !layout_.defined, "Class '%s' is defined twice.",
                  name().c_str());
    checkSemantic(attributeMemory != nullptr && globalMemory != nullptr,
                  "Class '%s' has no memory for its layout.", name().c_str());
    const std::vector<const CodegenInterface*> declared = declaredDefinitions();
    baseDefinition(); // refuses an undefined base before anything is entered

    Layout& l = layout_;
    l.bodyContext = bodyContext;
    l.attributeMemory = attributeMemory;
    l.globalMemory = globalMemory;
    l.methods = std::move(methods);
    l.defined = true;
    enterMethods(declared);
    checkOverrides();
    checkInterfaceMethods(declared);

    l.methodPart = std::make_unique<TypeStruct>();
    for (MethodUser* m : l.newMethods) l.methodPart->addMember(m->name(), typeAddr);
    l.interfacePart = std::make_unique<TypeStruct>();
    for (const CodegenInterface* d : declared)
        l.interfacePart->addMember(d->declaredName(), d->tableStruct());
    l.vmtStruct = std::make_unique<TypeStruct>();
    if (const CodegenClass* base = baseDefinition())
        l.vmtStruct->addMember("base", base->layout().vmtStruct.get());
    l.vmtStruct->addMember("method", l.methodPart.get());
    l.vmtStruct->addMember("interface", l.interfacePart.get());
    layOut(declared);
    l.complete = true;
    return this;
}

Type* CodegenClass::keep(Type* initialized) {
    layout_.initializedTypes.emplace_back(initialized);
    return initialized;
}

void CodegenClass::layOut(const std::vector<const CodegenInterface*>& declared) {
    Layout& l = layout_;
    const CodegenClass* base = baseDefinition();
    const SourceSpan none;

    l.inextType = keep(typeAddr->clone());
    l.imageStruct = std::make_unique<TypeStruct>();
    // The cached reference type of a root class is shared: it never gets an initializer.
    Type* basevmt = typeVoid->pointerTo();
    if (base != nullptr)
        basevmt = keep(
            base->layout().imageStruct->pointerTo()->cloneWithInitializer(base->vmtAddress()));
    l.imageStruct->addMember("basevmt", basevmt);
    l.imageStruct->addMember("inext", l.inextType);
    l.imageStruct->addMember("img", l.vmtStruct.get());

    const int64_t img = l.imageStruct->memberOffset("img");
    if (base != nullptr) l.methodSlotOffsets = base->layout().methodSlotOffsets;
    const int64_t methodStart = img + l.vmtStruct->memberOffset("method");
    for (const MethodUser* m : l.newMethods)
        l.methodSlotOffsets[m->name()] = methodStart + l.methodPart->memberOffset(m->name());
    const int64_t interfaceStart = img + l.vmtStruct->memberOffset("interface");
    for (const CodegenInterface* d : declared) {
        const int64_t t = interfaceStart + l.interfacePart->memberOffset(d->declaredName());
        for (const auto& [methodName, o] : d->methodSlotOffsets())
            l.methodSlotOffsets.emplace(methodName, t + o);
    }

    if (base != nullptr) l.tableOffsets = base->layout().tableOffsets;
    for (size_t k = 0; k < declared.size(); ++k)
        for (const auto& [i, o] : declared[k]->tableOffsets())
            l.tableOffsets[i] = interfaceStart +
                                l.interfacePart->memberOffsetAt(static_cast<int32_t>(k)) + o;

    l.vmtVariable = std::make_unique<Variable>(l.globalMemory, vmtName(name()),
                                               l.imageStruct.get(), 0, VariableAccess::NONE);

    if (base != nullptr) l.allInterfaces = base->layout().allInterfaces;
    for (const CodegenInterface* d : declared)
        l.allInterfaces.insert(d->allInterfaces().begin(), d->allInterfaces().end());

    l.attrStruct = std::make_unique<TypeStruct>();
    for (Variable* v : l.attributeMemory->variables()) {
        checkSemantic(!l.attrStruct->hasMember(v->name()),
                      "Attribute '%s' already defined in class '%s'",
                      v->name().c_str(), name().c_str());
        checkSemantic(base == nullptr || !base->hasMember(v->name()),
                      "Attribute '%s' inherited from baseclass of '%s'", v->name().c_str(),
                      name().c_str());
        l.attrStruct->addMember(v->name(), v->type());
    }

    l.ifaceStruct = std::make_unique<TypeStruct>();
    for (const TypeInterface* i : l.allInterfaces) {
        if (base != nullptr && base->implements(i)) continue;
        Code pointer = vmtAddress()
                           .concat(makeIntConstant(l.tableOffsets.at(i), typeAddr, none))
                           .concat(emitAdd(typeAddr, none));
        l.ifaceStruct->addMember(i->name(), keep(typeAddr->cloneWithInitializer(pointer)));
    }

    l.coreStruct = std::make_unique<TypeStruct>();
    l.coreStruct->addMember("base", base == nullptr ? static_cast<Type*>(typeVoid)
                                                      : base->layout().coreStruct.get());
    l.coreStruct->addMember("attr", l.attrStruct.get());
    l.coreStruct->addMember("iface", l.ifaceStruct.get());
    l.objectStruct = std::make_unique<TypeStruct>();
    l.objectStruct->addMember(
        "vmt", keep(l.imageStruct->pointerTo()->cloneWithInitializer(vmtAddress())));
    l.objectStruct->addMember("core", l.coreStruct.get());

    layOutAttributes();

    const int64_t pointerStart =
        l.objectStruct->memberOffset("core") + l.coreStruct->memberOffset("iface");
    for (const TypeInterface* i : l.allInterfaces) {
        l.pointerOffsets[i] = base != nullptr && base->implements(i)
                                  ? base->layout().pointerOffsets.at(i)
                                  : pointerStart + l.ifaceStruct->memberOffset(i->name());
    }

    const InterfaceChain chain = tableChain();
    int64_t head = 0;
    for (const auto& [i, link] : chain) head = std::max(head, link.tableOffset);
    l.inextType->setInitializer(makeIntConstant(head, typeAddr, none));
    l.vmtStruct->setInitializer(vmtImageInit(l.methodsByName, l.pointerOffsets, chain));

    declareMembers();
}

void CodegenClass::layOutAttributes() {
    Layout& l = layout_;
    if (const CodegenClass* base = baseDefinition()) {
        l.attributeIndex = base->layout().attributeIndex;
        l.attributes = base->layout().attributes;
        l.attributeOffsets = base->layout().attributeOffsets;
        l.attributeOwners = base->layout().attributeOwners;
    }
    const int64_t attrStart =
        l.objectStruct->memberOffset("core") + l.coreStruct->memberOffset("attr");
    for (Variable* v : l.attributeMemory->variables()) {
        l.attributeIndex[v->name()] = static_cast<int32_t>(l.attributes.size());
        l.attributes.push_back(v);
        l.attributeOffsets.push_back(attrStart + l.attrStruct->memberOffset(v->name()));
        l.attributeOwners.push_back(this);
    }
}

InterfaceChain CodegenClass::tableChain() const {
    // Tables of distinct interfaces never share an offset, so the order is total.
    std::map<int64_t, const TypeInterface*> byOffset;
    for (const TypeInterface* i : layout_.allInterfaces) byOffset[layout_.tableOffsets.at(i)] = i;
    InterfaceChain chain;
    const TypeInterface* predecessor = nullptr;
    for (const auto& [offset, i] : byOffset) {
        chain[i] = InterfaceChainLink{predecessor, offset};
        predecessor = i;
    }
    return chain;
}

void CodegenClass::declareMembers() {
    Layout& l = layout_;
    l.memberObject = std::make_unique<MemoryObject>();
    for (Variable* v : l.attributeMemory->variables()) {
        l.aliases.push_back(std::make_unique<Variable>(
            l.memberObject.get(), memberOffset(v->name()), v->name(), v->type(), 0));
        memberScope()->declare(v->name(), l.aliases.back().get());
    }
}

Code CodegenClass::vmtAddress() const {
    checkSemantic(layout().vmtVariable != nullptr, "Class '%s' is not defined.", name().c_str());
    return layout().vmtVariable->addressCode();
}

Code CodegenClass::vmtImageInit(MethodsByName methods, const InterfaceOffsets& pointerOffsets,
                                const InterfaceChain& chain) const {
    // From this class up to the root, the own methods entering where absent; then the
    // tables from the root down, so inherited slots hold the most derived implementation.
    std::vector<const CodegenClass*> lineage;
    for (const CodegenClass* c = this; c != nullptr; c = c->baseDefinition()) {
        lineage.push_back(c);
        for (MethodUser* m : c->layout().methods) methods.emplace(m->name(), m);
    }
    const SourceSpan none;
    Code code;
    for (auto c = lineage.rbegin(); c != lineage.rend(); ++c) {
        for (const MethodUser* m : (*c)->layout().newMethods)
            code = code.concat(emitConstLabel(methods.at(m->name())->entryLabel(), none));
        for (const CodegenInterface* d : (*c)->declaredDefinitions())
            code = code.concat(d->tableImageInit(methods, pointerOffsets, chain));
    }
    return code;
}

int64_t CodegenClass::interfaceOffset(TypeInterface* i) {
    auto found = i == nullptr ? layout().pointerOffsets.end() : layout().pointerOffsets.find(i);
    checkSemantic(found != layout().pointerOffsets.end(),
                  "Class '%s' does not implement interface '%s'", name().c_str(),
                  i == nullptr ? "" : i->name().c_str());
    return found->second;
}

int64_t CodegenClass::size() const {
    return layout().objectStruct == nullptr ? 1 : layout().objectStruct->size();
}

Code CodegenClass::defaultValue() const {
    checkSemantic(layout().complete, "Class '%s' is not defined.", name().c_str());
    return layout().objectStruct->initialValue();
}

bool CodegenClass::hasMember(const std::string& name) const {
    return layout().attributeIndex.contains(name);
}

int32_t CodegenClass::memberCount() const {
    return static_cast<int32_t>(layout().attributes.size());
}

std::string CodegenClass::memberName(int32_t i) const {
    return validIndex(i) ? layout().attributes[static_cast<size_t>(i)]->name() : std::string();
}

Type* CodegenClass::memberType(const std::string& name) const {
    return memberTypeAt(memberIndex(name));
}

Type* CodegenClass::memberTypeAt(int32_t i) const {
    return validIndex(i) ? layout().attributes[static_cast<size_t>(i)]->type() : nullptr;
}

int64_t CodegenClass::memberOffset(const std::string& name) const {
    return memberOffsetAt(memberIndex(name));
}

int64_t CodegenClass::memberOffsetAt(int32_t i) const {
    return validIndex(i) ? layout().attributeOffsets[static_cast<size_t>(i)] : 0;
}

int32_t CodegenClass::memberIndex(const std::string& name) const {
    auto found = layout().attributeIndex.find(name);
    checkSemantic(found != layout().attributeIndex.end(),
                  "Member '%s' does not exist in class '%s'",
                  name.c_str(), this->name().c_str());
    return found->second;
}

Type* CodegenClass::clone() const { return new CodegenClass(&definer()); }

std::string CodegenClass::toString() const {
    std::string text = "Class " + name() + " (";
    if (const Memory* own = layout().attributeMemory) {
        const char* separator = "";
        for (Variable* v : own->variables()) {
            text += separator + v->name() + ":" + v->type()->toString();
            separator = "; ";
        }
    }
    return text + ")";
}

void CodegenClass::checkAccess(const std::string& name, Type* accessingClass) const {
    const int32_t i = memberIndex(name);
    const VariableAccess access = layout().attributes[static_cast<size_t>(i)]->access();
    CodegenClass* declaring = layout().attributeOwners[static_cast<size_t>(i)];
    if (accessingClass != nullptr && typesEqual(accessingClass, declaring)) return;
    const std::string declaringName = declaring->declaredName();
    if (accessingClass != nullptr && isImplicitlyConvertible(accessingClass, declaring)) {
        checkSemantic(access == VariableAccess::PUBLIC || access == VariableAccess::PROTECTED,
                      "Invalid access on %s member '%s' of class '%s'. Member is expected to be "
                      "protected or public.",
                      accessName(access), name.c_str(), declaringName.c_str());
        return;
    }
    checkSemantic(access == VariableAccess::PUBLIC,
                  "Invalid access on %s member '%s' of class '%s'. Member is expected to be "
                  "public.",
                  accessName(access), name.c_str(), declaringName.c_str());
}

MethodUser* CodegenClass::methodOrFail(const std::string& name) const {
    MethodUser* method = findMethod(name);
    checkSemantic(method != nullptr, "Class '%s' does not declare method '%s'.",
                  this->name().c_str(), name.c_str());
    return method;
}

int64_t CodegenClass::methodOffset(const std::string& name) const {
    auto found = layout().methodSlotOffsets.find(name);
    checkSemantic(found != layout().methodSlotOffsets.end(),
                  "Class '%s' does not declare method '%s'.", this->name().c_str(), name.c_str());
    return found->second;
}

Code CodegenClass::callCode(const std::string& method, AParamList* parameters,
                            const SourceSpan& span, bool direct) {
    MethodUser* m = methodOrFail(method);
    const MethodCallFrame frame = bindMethodCall(*m, parameters);
    const SourceSpan none;
    // The receiver's address lies below the result and parameter cells; its copy on top
    // is the hidden last parameter "this".
    Code code = frame.binding.push.concat(
        emitCopy(none, -(frame.resultCells + 1 + frame.parameterCells), 1));
    if (direct) {
        code = code.concat(emitJumpSub(m->entryLabel(), none));
    } else {
        // The code address in the method's slot of the image the object's cell 0 names.
        code = code.concat(emitDup(typeAddr, none))
                   .concat(emitLd(typeAddr, none))
                   .concat(makeIntConstant(methodOffset(method), typeAddr, none))
                   .concat(emitAdd(typeAddr, none))
                   .concat(emitLd(typeAddr, none))
                   .concat(emitJumpSubInd(none));
    }
    code = code.concat(methodCallReturn(frame));
    code.setSpan(span);
    return code;
}

Code CodegenClass::initialValueFrom(MemberValues values) const {
    checkSemantic(layout().complete, "Class '%s' is not defined.", name().c_str());
    // The core nests the base class's core first; from the root down, each class adds
    // its attributes and its pointers, so a loop replaces the descent.
    std::vector<const CodegenClass*> lineage;
    for (const CodegenClass* c = &definer(); c != nullptr; c = c->baseDefinition())
        lineage.push_back(c);
    Code code;
    for (const StructMember& member : layout().objectStruct->members()) {
        if (member.name != "core") {
            code = code.concat(member.type->initialValue());
            continue;
        }
        for (auto c = lineage.rbegin(); c != lineage.rend(); ++c) {
            for (const StructMember& part : (*c)->layout().coreStruct->members()) {
                if (part.name == "base" && (*c)->baseClass() != nullptr) continue; // done above
                if (part.name != "attr") {
                    code = code.concat(part.type->initialValue());
                    continue;
                }
                for (const StructMember& attribute : part.type->asStruct()->members()) {
                    auto given = values.find(attribute.name);
                    code = code.concat(given != values.end() ? given->second
                                                             : attribute.type->initialValue());
                }
            }
        }
    }
    return code;
}

const CodegenClass& classDefinition(Type* type) {
    TypeClass* c = type == nullptr ? nullptr : type->asClass();
    const auto* d = c == nullptr ? nullptr : dynamic_cast<const CodegenClass*>(c->definition());
    checkSemantic(d != nullptr, "Internal error: '%s' is not a class with a layout",
                  type == nullptr ? "" : type->toString().c_str());
    return *d;
}

Code emitClassConversion(Type* from, Type* to) {
    const CodegenClass& target = classDefinition(to);
    const OperatorEntry* entry = operatorFor(OperatorFamily::CastClassClass, TypeKind::Void);
    checkSemantic(entry != nullptr, "Internal error: no class conversion instruction");
    return target.vmtAddress().concat(
        Code(entry->make({.first = classDefinition(from).size(), .second = target.size()})));
}

void CodegenClass::enterMethods(const std::vector<const CodegenInterface*>& declared) {
    Layout& l = layout_;
    const CodegenClass* base = baseDefinition();
    for (MethodUser* m : l.methods) {
        m->setOwner(this);
        bool inherited = base != nullptr && base->layout().methodsByName.contains(m->name());
        for (const CodegenInterface* d : declared)
            inherited = inherited || d->methodsByName().contains(m->name());
        if (!inherited) l.newMethods.push_back(m);
        checkSemantic(!l.ownMethodsByName.contains(m->name()), "Method '%s' defined twice in '%s'",
                      m->name().c_str(), name().c_str());
        l.ownMethodsByName[m->name()] = m;
    }

    l.methodsByName = l.ownMethodsByName;
    if (base == nullptr) return;
    checkSemantic(!base->isFinal_,
                  "Class '%s' id declared 'final' and can not be inherited by class '%s'.",
                  base->name().c_str(), name().c_str());
    for (const auto& [methodName, method] : base->layout().methodsByName)
        l.methodsByName.emplace(methodName, method);
}

void CodegenClass::checkOverrides() {
    const Layout& l = layout_;
    const CodegenClass* base = baseDefinition();
    const char* className = name().c_str();
    bool containsAbstract = false;
    for (const MethodUser* m : l.methods) {
        const MethodUser* e = base == nullptr ? nullptr : base->findMethod(m->name());
        const char* methodName = m->name().c_str();
        checkSemantic(e == nullptr || m->isOverride(),
                      "Method '%s' in class '%s' overrides method of baseclass, but is not "
                      "declared as overriding.",
                      methodName, className);
        checkSemantic(e != nullptr || !m->isOverride(),
                      "Method '%s' in class '%s' is declared to override method, which is not "
                      "declared in baseclass.",
                      methodName, className);
        checkSemantic(e == nullptr || e->access() != VariableAccess::PRIVATE,
                      "Can not override private method '%s' in class '%s'.", methodName, className);
        checkSemantic(e == nullptr || sameSignature(*m, *e),
                      "Signature of method '%s' in class '%s' differs from signature in baseclass.",
                      methodName, className);
        checkSemantic(!m->isAbstract() || isAbstract_,
                      "Method '%s' in class '%s' is abstract, but the class itself is not "
                      "abstract.",
                      methodName, className);
        checkSemantic(!m->isAbstract() || !m->isOverride(),
                      "Method '%s' in class '%s' must not be abstract and overriding.", methodName,
                      className);
        checkSemantic(e == nullptr || e->access() == m->access(),
                      "Access specifier of method '%s' in class '%s' differs from overridden "
                      "method.",
                      methodName, className);
        checkSemantic(e == nullptr || !e->isFinal(),
                      "Method '%s' is declared as 'final' in baseclass and can not be "
                      "overridden in class '%s'.",
                      methodName, className);
        containsAbstract = containsAbstract || m->isAbstract();
    }

    if (base != nullptr) {
        for (const auto& [methodName, f] : base->layout().methodsByName) {
            if (!f->isAbstract() || l.ownMethodsByName.contains(methodName)) continue;
            const std::string owner =
                f->owner() != nullptr ? f->owner()->declaredName() : std::string("<undef>");
            checkSemantic(isAbstract_,
                          "Method '%s' of class '%s' is abstract, but not defined in non-abstract "
                          "class '%s'.",
                          methodName.c_str(), owner.c_str(), className);
            containsAbstract = true;
        }
    }
    checkSemantic(!isAbstract_ || containsAbstract,
                  "Class '%s' is declared to be abstract, but does not contain any abstract "
                  "method.",
                  className);
}

void CodegenClass::checkInterfaceMethods(
    const std::vector<const CodegenInterface*>& declared) const {
    const char* className = name().c_str();
    for (const CodegenInterface* d : declared) {
        const char* interfaceName = d->name().c_str();
        for (const auto& [methodName, h] : d->methodsByName()) {
            const MethodUser* c = findMethod(methodName);
            checkSemantic(c != nullptr,
                          "Declaration of method '%s' of interface '%s' is missing in cl0ass '%s'.",
                          methodName.c_str(), interfaceName, className);
            checkSemantic(c->access() == VariableAccess::PUBLIC ||
                              c->access() == VariableAccess::INTERNAL,
                          "Declaration of method '%s' of interface '%s' in class '%s' must be "
                          "declared 'public' or 'internal'.",
                          methodName.c_str(), interfaceName, className);
            checkSemantic(sameSignature(*h, *c),
                          "Signature of method '%s' in class '%s' does not match declaration in "
                          "interface '%s'",
                          c->name().c_str(), className, interfaceName);
        }
    }
}

} // namespace Karsto
