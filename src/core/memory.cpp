#include "core/memory.h"

#include "core/emitters.h"
#include "core/exception.h"
#include "core/type.h"
#include "core/variable.h"

namespace Karsto {

namespace {

const MemoryAddressing* gAddressing = nullptr;

} // namespace

const MemoryAddressing* setMemoryAddressing(const MemoryAddressing* addressing) {
    const MemoryAddressing* previous = gAddressing;
    gAddressing = addressing;
    return previous;
}

Code Memory::addressCode(int64_t offset) const {
    checkSemantic(gAddressing != nullptr, "No address rules for memory areas are installed.");
    return gAddressing->addressCode(*this, offset);
}

Code Memory::initCode() const {
    Code code;
    for (Variable* variable : variables_) {
        code = code.concat(variable->type()->initialValue())
                   .concat(variable->addressCode())
                   .concat(emitSt(variable->type(), SourceSpan()));
    }
    return code;
}

int64_t Memory::allocate(Variable* variable, int64_t cells) {
    const int64_t offset = size_;
    variables_.push_back(variable);
    // Unsigned, as type sizes are: absurd sizes wrap instead of overflowing. Whoever
    // lays out an area checks it against the machine's limits.
    size_ = static_cast<int64_t>(static_cast<uint64_t>(size_) + static_cast<uint64_t>(cells));
    return offset;
}

} // namespace Karsto
