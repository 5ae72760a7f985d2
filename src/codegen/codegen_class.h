#pragma once
// The complete class type: the checks of a class definition against its base class and
// its interfaces, and its layout in stack-machine memory.
//
// Object: "vmt" (address of the class image), then the core: the base class's core, the
// own attributes, the pointers to the tables of the interfaces the base class does not
// implement. Image (the "_VMT_" global): "basevmt" (address of the base class's image),
// "inext" (offset of the highest interface table, the head of the chain), then the method
// table: the base class's method table, one code address per new method, the tables of
// the declared interfaces.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "codegen/codegen_interface.h"
#include "core/type_class.h"

namespace Karsto {

class Memory;
class MemoryObject;
class TypeStruct;
class Variable;

class CodegenClass final : public TypeClass {
public:
    // Undefined until define; the base class, when given, must be a defined CodegenClass,
    // every interface a defined CodegenInterface (or a copy of one) by then.
    CodegenClass(std::string name, TypeClass* baseClass, std::vector<TypeInterface*> interfaces,
                 bool isFinal, bool isAbstract);
    ~CodegenClass() override;

    // Checks the methods against the base class and the interfaces, lays the class out
    // and allocates its "_VMT_" global at globalMemory's next free offset. The variables
    // of attributeMemory are the own attributes. Raises ExceptionSemantic at the first
    // failure and leaves the class partly built; a second call raises too.
    CodegenClass* define(void* bodyContext, Memory* attributeMemory,
                         std::vector<MethodUser*> methods, Memory* globalMemory);

    bool isFinal() const { return isFinal_; }
    bool isAbstract() const { return isAbstract_; }
    bool defined() const { return layout().defined; }

    std::string declaredName() const override { return name(); }
    MethodUser* findMethod(const std::string& name) const override;
    int64_t interfaceOffset(TypeInterface* i) override;
    // The address of the "_VMT_" global, the class image.
    Code vmtAddress() const;
    // The cells of X's method table, X this class: methods are the implementations by
    // name (X's own are added where absent), pointerOffsets the offsets of the interface
    // pointers inside the object whose image is built, chain that image's table chain.
    Code vmtImageInit(MethodsByName methods, const InterfaceOffsets& pointerOffsets,
                      const InterfaceChain& chain) const;

    // The attributes, inherited ones first. Outside 0 to memberCount() - 1 the index
    // operations answer the empty name, a null type and offset 0, as a structure does.
    int64_t size() const override;
    Code defaultValue() const override;
    bool hasMember(const std::string& name) const override;
    int32_t memberCount() const override;
    std::string memberName(int32_t i) const override;
    Type* memberType(const std::string& name) const override;
    Type* memberTypeAt(int32_t i) const override;
    int64_t memberOffset(const std::string& name) const override;
    int64_t memberOffsetAt(int32_t i) const override;
    int32_t memberIndex(const std::string& name) const override;

    // A copy sharing this definition (no second define, no second global, no owner
    // change): only its initializer is its own.
    Type* clone() const override;

    // "Class tool (id:int; len:lreal)": the own attributes only.
    std::string toString() const override;
    // Raises when the attribute may not be used from accessingClass (null outside any
    // class): private ones only from the declaring class, protected ones also from
    // classes derived from it, public ones from everywhere.
    void checkAccess(const std::string& name, Type* accessingClass) const override;
    // "Class '...' does not declare method '...'." when findMethod finds none.
    MethodUser* methodOrFail(const std::string& name) const override;
    // The offset inside the image of the method's code-address cell, with
    // methodOrFail's message for a name that has none.
    int64_t methodOffset(const std::string& name) const;
    // The call of the method on the object whose address the caller has pushed; only the
    // result cells remain in its place. direct jumps to the implementation this class
    // finds under the name; otherwise the slot of the object's own image is called.
    Code callCode(const std::string& method, AParamList* parameters, const SourceSpan& span,
                  bool direct) override;
    // The object's initial value with the given values for the attributes they name
    // (inherited ones included); names of no attribute are ignored.
    Code initialValueFrom(MemberValues values) const override;

    const std::vector<MethodUser*>& methods() const { return layout().methods; }
    // The own methods that get a slot of their own in the method table.
    const std::vector<MethodUser*>& newMethods() const { return layout().newMethods; }
    const MethodsByName& ownMethodsByName() const { return layout().ownMethodsByName; }
    // Own and inherited methods by name, an own method hiding an inherited one.
    const MethodsByName& methodsByName() const { return layout().methodsByName; }
    // The offset inside the image of each method's code-address cell.
    const std::map<std::string, int64_t>& methodSlotOffsets() const {
        return layout().methodSlotOffsets;
    }
    // The offset inside the image of each implemented interface's table.
    const InterfaceOffsets& tableOffsets() const { return layout().tableOffsets; }
    const InterfaceSet& allInterfaces() const { return layout().allInterfaces; }
    // The offset inside an object of each implemented interface's pointer cell.
    const InterfaceOffsets& pointerOffsets() const { return layout().pointerOffsets; }

    TypeStruct* vmtStruct() const { return layout().vmtStruct.get(); }
    TypeStruct* imageStruct() const { return layout().imageStruct.get(); }
    TypeStruct* attrStruct() const { return layout().attrStruct.get(); }
    TypeStruct* ifaceStruct() const { return layout().ifaceStruct.get(); }
    TypeStruct* coreStruct() const { return layout().coreStruct.get(); }
    TypeStruct* objectStruct() const { return layout().objectStruct.get(); }
    Variable* vmtVariable() const { return layout().vmtVariable.get(); }

private:
    struct Layout {
        Layout();
        ~Layout();
        bool defined = false;  // define has started
        bool complete = false; // define has finished without error
        void* bodyContext = nullptr;       // the evaluator's, kept as given
        Memory* attributeMemory = nullptr; // not owned
        Memory* globalMemory = nullptr;    // not owned
        std::vector<MethodUser*> methods;
        std::vector<MethodUser*> newMethods;
        MethodsByName ownMethodsByName;
        MethodsByName methodsByName;
        std::map<std::string, int64_t> methodSlotOffsets;
        InterfaceOffsets tableOffsets;
        InterfaceSet allInterfaces;
        std::unique_ptr<TypeStruct> methodPart;
        std::unique_ptr<TypeStruct> interfacePart;
        std::unique_ptr<TypeStruct> vmtStruct;
        std::unique_ptr<TypeStruct> imageStruct;
        std::unique_ptr<TypeStruct> attrStruct;
        std::unique_ptr<TypeStruct> ifaceStruct;
        std::unique_ptr<TypeStruct> coreStruct;
        std::unique_ptr<TypeStruct> objectStruct;
        // The copies that carry initializers ("inext", "basevmt", "vmt", the pointers).
        std::vector<std::unique_ptr<Type>> initializedTypes;
        Type* inextType = nullptr; // one of initializedTypes
        // Owned here: an area frees only its list, never its variables.
        std::unique_ptr<Variable> vmtVariable;
        // All attributes, the base class's first; an attribute's index in the vectors.
        std::map<std::string, int32_t> attributeIndex;
        std::vector<Variable*> attributes;
        std::vector<int64_t> attributeOffsets;
        std::vector<CodegenClass*> attributeOwners;
        InterfaceOffsets pointerOffsets;
        // The running object's attributes for the method bodies: aliases into the object.
        std::unique_ptr<MemoryObject> memberObject;
        std::vector<std::unique_ptr<Variable>> aliases;
    };

    explicit CodegenClass(const CodegenClass* definition);
    bool validIndex(int32_t i) const { return i >= 0 && i < memberCount(); }
    const CodegenClass& definer() const;
    const Layout& layout() const { return definer().layout_; }
    // The defined CodegenClass behind the base class, or a semantic error.
    const CodegenClass* baseDefinition() const;
    // The defined CodegenInterfaces behind the declared interfaces, in order.
    std::vector<const CodegenInterface*> declaredDefinitions() const;
    void enterMethods(const std::vector<const CodegenInterface*>& declared);
    void checkOverrides();
    void checkInterfaceMethods(const std::vector<const CodegenInterface*>& declared) const;
    void layOut(const std::vector<const CodegenInterface*>& declared);
    void layOutAttributes();
    InterfaceChain tableChain() const;
    void declareMembers();
    Type* keep(Type* initialized);

    bool isFinal_;
    bool isAbstract_;
    Layout layout_; // empty in a copy
};

// The defined CodegenClass behind a class type (a copy answers its definition); an
// internal error for any other type.
const CodegenClass& classDefinition(Type* type);

// The conversion of an object value of class `from` into one of class `to`: the target's
// image address, then CastClassClass with both sizes. Whether the classes are related
// is the implicit conversion's concern.
Code emitClassConversion(Type* from, Type* to);

} // namespace Karsto
