#pragma once
// The complete interface type: its definition with the merged method map, the layout of
// its table, the one-cell "_VMT_" global that identifies it, the initial value of its
// table inside a class image, and the dispatch of a method call through an interface
// reference.
//
// Table layout, in cells: "vmt" (address of the "_VMT_" global), "inext" (offset of the
// next table of the class image's chain), "offset" (offset of the pointer cell inside
// the object), "method" (one code address per method no extended interface declares),
// "interface" (the tables of the extended interfaces, nested in the same layout).
//
// A copy made by clone shares the definition of its original: the tables, the maps and
// the "_VMT_" global are the original's, and only the initializer is its own.

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "core/type_class.h"

namespace Karsto {

class Memory;
class TypeStruct;
class Variable;

// Interfaces ordered by creation: a copy finds the entry of its definition.
using InterfaceOffsets = std::map<const TypeInterface*, int64_t, InterfaceOrder>;
using InterfaceSet = std::set<const TypeInterface*, InterfaceOrder>;
using MethodsByName = std::map<std::string, MethodUser*>;

// One link of a class image's chain of interface tables.
struct InterfaceChainLink {
    const TypeInterface* predecessor; // the table with the next lower offset; null for the lowest
    int64_t tableOffset;              // of this interface's own table inside the image
};
using InterfaceChain = std::map<const TypeInterface*, InterfaceChainLink, InterfaceOrder>;

// "_VMT_" followed by the name: the global of a class or interface.
std::string vmtName(const std::string& name);

class CodegenInterface final : public TypeInterface {
public:
    // Undefined until define; every extended interface must be a defined CodegenInterface
    // (or a copy of one) by then.
    CodegenInterface(std::string name, std::vector<TypeInterface*> extends);
    ~CodegenInterface() override;

    // Lays the interface out and allocates its "_VMT_" global at the area's next free
    // offset. Raises ExceptionSemantic at the first failure and leaves the interface
    // partly built; a second call raises too.
    void define(std::vector<MethodUser*> methods, Memory* globalMemory);

    // A copy sharing this definition (no second define, no second global).
    Type* clone() const override;
    MethodUser* findMethod(const std::string& name) const override;
    // The call through the reference held by the variable whose address the caller has
    // pushed; only the result cells remain in its place. direct has no meaning for an
    // interface: every call dispatches through the table.
    Code callCode(const std::string& method, AParamList* parameters, const SourceSpan& span,
                  bool direct) override;

    // The address of the "_VMT_" global, which identifies the interface at run time.
    Code vmtAddress() const;
    // The offset of the method's code-address cell inside this interface's table;
    // "Class '...' does not declare method '...'." for a name it has no slot for.
    int64_t methodOffset(const std::string& name) const;
    // Turns the interface reference on top of the stack into the object's address.
    static Code objectAddressCode();
    // The cells of this interface's table inside a class image, the extended interfaces'
    // tables nested in order: methods are the class's implementations by name,
    // pointerOffsets the offset of each interface's pointer cell inside the object, and
    // chain the class image's chain of tables.
    Code tableImageInit(MethodsByName methods, const InterfaceOffsets& pointerOffsets,
                        const InterfaceChain& chain) const;

    bool defined() const { return layout().defined; }
    // Own methods in declaration order, and those no extended interface declares.
    const std::vector<MethodUser*>& methods() const { return layout().methods; }
    const std::vector<MethodUser*>& newMethods() const { return layout().newMethods; }
    // Own and inherited methods by name.
    const MethodsByName& methodsByName() const { return layout().methodsByName; }
    const std::map<std::string, int64_t>& methodSlotOffsets() const {
        return layout().methodSlotOffsets;
    }
    // This interface at 0 and every extended one at the offset of its table inside this
    // interface's table.
    const InterfaceOffsets& tableOffsets() const { return layout().tableOffsets; }
    // This interface and every interface it extends, directly or not.
    const InterfaceSet& allInterfaces() const { return layout().allInterfaces; }
    TypeStruct* tableStruct() const { return layout().tableStruct.get(); }
    Variable* vmtVariable() const { return layout().vmtVariable.get(); }

private:
    struct Layout {
        Layout();
        ~Layout();
        bool defined = false;  // define has started
        bool complete = false; // define has finished without error
        Memory* globalMemory = nullptr; // not owned
        std::vector<MethodUser*> methods;
        std::vector<MethodUser*> newMethods;
        MethodsByName ownMethodsByName;
        MethodsByName methodsByName;
        std::map<std::string, int64_t> methodSlotOffsets;
        InterfaceOffsets tableOffsets;
        InterfaceSet allInterfaces;
        int64_t tableCells = 0; // the size of tableStruct
        // The table's parts and the global's type must live as long as the interface.
        std::unique_ptr<TypeStruct> methodPart;
        std::unique_ptr<TypeStruct> interfacePart;
        std::unique_ptr<TypeStruct> tableStruct;
        std::unique_ptr<TypeStruct> vmtHolderStruct;
        // Owned here: an area frees only its list, never its variables.
        std::unique_ptr<Variable> vmtVariable;
    };

    explicit CodegenInterface(const CodegenInterface* definition);
    const CodegenInterface& definer() const;
    const Layout& layout() const { return definer().layout_; }
    // The defined CodegenInterface behind an extended interface, or a semantic error.
    const CodegenInterface& extendedDefinition(const TypeInterface* extended) const;
    void layOutTable();

    Layout layout_; // empty in a copy
};

} // namespace Karsto
