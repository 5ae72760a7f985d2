#pragma once
// The address rules of the memory areas: the code that pushes the 64-bit cell address
// of an offset, per area kind. Installed into the language core by
// installCodeGenerator (codegen/codegen_install.h).

#include <cstdint>
#include <string>

#include "core/code.h"
#include "core/memory.h"

namespace Karsto {

// The constant part of a parameter's address, offset minus the size of the parameter
// area, taken when the code is linked: the code of an initial value is emitted while
// parameter blocks declared after it can still grow the area, and only the final size
// places the parameters directly below fp. Linking (cloning) fixes the value, so a
// linked program never reaches back into an area, which dies with the compile. It reads
// and runs as the LINT constant it stands for.
class CmdConstParamOffset final : public Cmd {
public:
    // The area must live until the code is linked.
    CmdConstParamOffset(const Memory& area, int64_t offset) : area_(&area), offset_(offset) {}
    void execute(Stackmachine& machine) override; // pushes value() as an Addr
    RunKernel runKernel() const override;
    RunRole runRole() const override { return RunRole::pushS64; }
    int64_t runValue() const override { return value(); }
    RunForm runForm() const override { return {RunOp::push, RunCell::s64}; }
    template <class Machine>
    void runOn(Machine& m) const {
        m.pushAddr(value());
    }
    std::string toString() const override;       // "ConstLint " + value()
    CodeItem* clone() const override;            // the same constant with its value fixed
    // offset - the area's size now, or the value fixed by cloning.
    int64_t value() const { return area_ != nullptr ? offset_ - area_->size() : offset_; }

private:
    explicit CmdConstParamOffset(int64_t value) : area_(nullptr), offset_(value) {}

    const Memory* area_; // null once fixed
    int64_t offset_;     // the parameter's offset, or the fixed value
};

class CodegenMemoryAddressing final : public MemoryAddressing {
public:
    // Every instruction with the empty span; constants and additions of the address
    // type, so every constant is a ConstLint and every addition an AddLint.
    Code addressCode(const Memory& area, int64_t offset) const override;
};

} // namespace Karsto
