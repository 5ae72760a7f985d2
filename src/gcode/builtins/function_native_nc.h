#pragma once
// The common frame of the NC built-in functions. Each built-in is laid out from its row
// of nc_natives.def: the return variable at offset 0, then the parameters in the row's
// order. The cell offset of every slot (0 the return variable, then one per parameter)
// is resolved once at construction, so a call looks no name up: it computes the base of
// its parameter area from sp and reads and writes the slots with the load or store of
// their width, through onMachine as the instructions do.
// Included by the NC built-ins and their registration only.

#include <cstdint>
#include <memory>
#include <vector>

#include "core/function_native.h"
#include "core/stackmachine.h"
#include "gcode/builtins/nc_native_rows.h"

namespace Karsto {

class GProcessorNc2;

class FunctionNativeNc : public FunctionNative {
public:
    ~FunctionNativeNc() override;

    NcNativeId id() const { return id_; }
    const NcNativeRow& row() const { return ncNativeRow(id_); }
    // The channel's processor (not owned); null for the built-ins that act on the stack
    // machine only.
    GProcessorNc2* processor() const { return processor_; }
    // The offset in the parameter area of slot 0 (the return variable) or of parameter
    // slot i (1 for the row's first parameter).
    int64_t slotOffset(size_t slot) const { return slotOffsets_[slot]; }
    // The cell offsets of the members of the structure that the built-in returns or takes
    // (trcparamtype), in member order; empty for the others.
    const std::vector<int64_t>& structMemberOffsets() const { return structMemberOffsets_; }

    // The address of the parameter area's first cell in the call now executing: where
    // paramAddress finds the return variable. The whole area must lie on the stack.
    template <class Machine>
    int64_t frameBase(Machine& machine) const {
        const int64_t base = machine.getSp() - frameCells_;
        machine.checkStackRange(base, frameCells_);
        return base;
    }
    // The address of a slot in the call whose area starts at base; Slot is the built-in's
    // own slot enumeration.
    template <class Slot>
    int64_t at(int64_t base, Slot slot) const {
        return base + slotOffsets_[static_cast<size_t>(slot)];
    }

protected:
    FunctionNativeNc(NcNativeId id, GProcessorNc2* processor, const NcTypes& types);

    // For the built-ins bound to a processor.
    GProcessorNc2& nc() const { return *processor_; }

    // An enumeration argument (loadU32): "Invalid value %d of enumeration '%s' in
    // function '%s'." for a value that is none of its type's members, so a value that
    // arrived by conversion cannot index the tables of the members.
    template <class Machine, class Slot>
    int32_t loadEnum(Machine& machine, int64_t base, Slot slot) const {
        const auto value = static_cast<int32_t>(machine.loadU32(at(base, slot)));
        checkEnumArgument(static_cast<size_t>(slot), value);
        return value;
    }

private:
    void checkEnumArgument(size_t slot, int32_t value) const;

    NcNativeId id_;
    GProcessorNc2* processor_;
    // The INT type with initial value -1 of a parameter of kind IntMinusOne (the limit of
    // trcset). Declared before nothing it outlives: destroyed before the parameter
    // variables of the base, which only point at it.
    std::unique_ptr<Type> ownedIntMinusOne_;
    std::vector<int64_t> slotOffsets_;
    std::vector<int64_t> structMemberOffsets_;
    int64_t frameCells_ = 0; // the parameter area plus the context cell
};

} // namespace Karsto
