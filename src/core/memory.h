#pragma once
// Memory areas: each hands out consecutive cell offsets to the variables declared in it
// and turns an offset into the code that pushes the variable's address at run time.
//
// The address rules need the address addition of the operator instructions, which the
// language core cannot create itself. The code generator supplies them as a
// MemoryAddressing installed once at start-up; that is the only way the core reaches
// into code generation.

#include <cstdint>
#include <vector>

#include "core/code.h"

namespace Karsto {

class Variable;

// Which rule turns an offset into an address. Explicit values: the code generator's
// rules switch on them.
enum class MemoryKind : int32_t {
    Global = 0, // o: cell 0 stays the null address
    Local = 1,  // fp + 3 + o: above the call frame's three cells
    Param = 2,  // fp - size + o: the parameters lie directly below fp
    Object = 3, // the object reference in cell fp - 1, plus o
    Shared = 4, // 0x80000000 + o: the area shared by all programs of a controller
};

class Memory;

// The code generator's half of the memory areas.
class MemoryAddressing {
public:
    virtual ~MemoryAddressing() = default;
    // Code that pushes the address of the cell at the offset of the area; every
    // instruction with an empty span; no failure.
    virtual Code addressCode(const Memory& area, int64_t offset) const = 0;
};

// Installs the rules (not owned; null removes them) and returns the previous ones.
const MemoryAddressing* setMemoryAddressing(const MemoryAddressing* addressing);

class Memory {
public:
    Memory(const Memory&) = delete;
    Memory& operator=(const Memory&) = delete;
    // Frees the list, not the variables.
    virtual ~Memory() = default;

    // Through the installed rules; without them ExceptionSemantic.
    virtual Code addressCode(int64_t offset) const;
    // For every variable in allocation order: its type's initial value, its address and
    // a store of its type; the empty Code for an area without variables.
    Code initCode() const;

    MemoryKind kind() const { return kind_; }
    // Cells handed out so far: the next free offset. It only grows.
    int64_t size() const { return size_; }
    const std::vector<Variable*>& variables() const { return variables_; }

protected:
    Memory(MemoryKind kind, int64_t firstOffset) : kind_(kind), size_(firstOffset) {}
    // Starts the area over: nothing handed out, no variables listed (none is deleted).
    void restart(int64_t firstOffset) {
        size_ = firstOffset;
        variables_.clear();
    }

private:
    friend class Variable;
    // Places the variable at the end of the area and returns its offset.
    int64_t allocate(Variable* variable, int64_t cells);

    const MemoryKind kind_;
    int64_t size_;
    std::vector<Variable*> variables_; // allocation order, not owned
};

class MemoryGlobal final : public Memory {
public:
    MemoryGlobal() : Memory(MemoryKind::Global, 1) {}
};

class MemoryLocal final : public Memory {
public:
    MemoryLocal() : Memory(MemoryKind::Local, 0) {}
};

class MemoryParam final : public Memory {
public:
    MemoryParam() : Memory(MemoryKind::Param, 0) {}
};

class MemoryObject final : public Memory {
public:
    MemoryObject() : Memory(MemoryKind::Object, 0) {}
};

class MemoryShared final : public Memory {
public:
    MemoryShared() : Memory(MemoryKind::Shared, 0) {}
    // Cell count 0 and an empty list, so the next variable declared takes cell 0 again;
    // the variables themselves belong to their creators.
    void clear() { restart(0); }
};

} // namespace Karsto
