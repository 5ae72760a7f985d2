#pragma once
// The type-agnostic instructions that move whole cells between memory and the stack and
// shape the stack. Counts and offsets are int64 numbers of cells; offsets are relative
// to sp, the first free stack cell. Each works only through the machine's operations.

#include <cstdint>
#include <string>

#include "core/code.h"

namespace Karsto {

// Pops an address (0 is refused) and pushes the count cells stored from there on, the
// cell at the address lowest.
class CmdLd final : public Cmd {
public:
    explicit CmdLd(int64_t count) : count_(count) {}
    void execute(Stackmachine& machine) override;
    RunKernel runKernel() const override;
    template <class Machine>
    void runOn(Machine& m) const;
    std::string toString() const override; // "Ld " + count
    CodeItem* clone() const override;
    int64_t count() const { return count_; }

private:
    int64_t count_;
};

// Pops an address (0 is refused; it lies on top of the value), then moves the count
// cells below it to the address.
class CmdSt final : public Cmd {
public:
    explicit CmdSt(int64_t count) : count_(count) {}
    void execute(Stackmachine& machine) override;
    RunKernel runKernel() const override;
    template <class Machine>
    void runOn(Machine& m) const;
    std::string toString() const override; // "St " + count
    CodeItem* clone() const override;
    int64_t count() const { return count_; }

private:
    int64_t count_;
};

// Pushes a copy of the top count cells.
class CmdDup final : public Cmd {
public:
    explicit CmdDup(int64_t count) : count_(count) {}
    void execute(Stackmachine& machine) override;
    RunKernel runKernel() const override;
    template <class Machine>
    void runOn(Machine& m) const;
    std::string toString() const override; // "Dup " + count
    CodeItem* clone() const override;
    int64_t count() const { return count_; }

private:
    int64_t count_;
};

// Pushes a copy of the count cells from sp + offset on.
class CmdCopy final : public Cmd {
public:
    CmdCopy(int64_t offset, int64_t count) : offset_(offset), count_(count) {}
    void execute(Stackmachine& machine) override;
    RunKernel runKernel() const override;
    template <class Machine>
    void runOn(Machine& m) const;
    std::string toString() const override; // "Copy " + offset + " " + count
    CodeItem* clone() const override;
    int64_t offset() const { return offset_; }
    int64_t count() const { return count_; }

private:
    int64_t offset_;
    int64_t count_;
};

// Copies count cells from sp + source offset to sp + destination offset (as if through
// a buffer); sp unchanged. Operands and text in the order source, destination, count.
class CmdCopyTo final : public Cmd {
public:
    CmdCopyTo(int64_t sourceOffset, int64_t destinationOffset, int64_t count)
        : sourceOffset_(sourceOffset), destinationOffset_(destinationOffset), count_(count) {}
    void execute(Stackmachine& machine) override;
    RunKernel runKernel() const override;
    template <class Machine>
    void runOn(Machine& m) const;
    std::string toString() const override; // "CopyTo " + source + " " + destination + " " + count
    CodeItem* clone() const override;
    int64_t sourceOffset() const { return sourceOffset_; }
    int64_t destinationOffset() const { return destinationOffset_; }
    int64_t count() const { return count_; }

private:
    int64_t sourceOffset_;
    int64_t destinationOffset_;
    int64_t count_;
};

// sp += n: reserves n cells without writing them, or drops -n.
class CmdSpAdd final : public Cmd {
public:
    explicit CmdSpAdd(int64_t n) : n_(n) {}
    void execute(Stackmachine& machine) override;
    RunKernel runKernel() const override;
    template <class Machine>
    void runOn(Machine& m) const;
    std::string toString() const override; // "SpAdd " + n
    CodeItem* clone() const override;
    int64_t n() const { return n_; }

private:
    int64_t n_;
};

// Pushes fp as an Addr.
class CmdFp final : public Cmd {
public:
    CmdFp() = default;
    void execute(Stackmachine& machine) override;
    RunKernel runKernel() const override;
    template <class Machine>
    void runOn(Machine& m) const;
    std::string toString() const override; // "Fp"
    CodeItem* clone() const override;
};

// Selection: below the Addr selector k lie count values of size cells each (value 0
// lowest); leaves value k alone, moved onto the place of value 0. k is not tested: it
// must lie in 0 to count - 1 (the machine's bounds checks contain any other).
class CmdMux final : public Cmd {
public:
    CmdMux(int64_t size, int64_t count) : size_(size), count_(count) {}
    void execute(Stackmachine& machine) override;
    RunKernel runKernel() const override;
    template <class Machine>
    void runOn(Machine& m) const;
    std::string toString() const override; // "Mux " + size + " " + count
    CodeItem* clone() const override;
    int64_t size() const { return size_; }
    int64_t count() const { return count_; }

private:
    int64_t size_;
    int64_t count_;
};

} // namespace Karsto
