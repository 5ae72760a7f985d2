#pragma once
// The machine's typed operations as types, one per row of machine_types.def, for the
// instruction families generated over cell formats: `cell::S32::pop(machine)`,
// `cell::F64::push(machine, x)`, `cell::U8::load(machine, address)`. Templates over
// the machine, so that an instruction body run through onMachine on a channel's
// interpreter binds to its final overrides and inlines instead of going through the
// virtual table.

#include <cstdint>

namespace Karsto::cell {

#define KARSTO_MACHINE_TYPE(name, In, Out, Cell, PushTrace, PopTrace)                             \
    struct name {                                                                                 \
        using Pushed = In;                                                                        \
        using Popped = Out;                                                                       \
        template <class Machine>                                                                  \
        static Out pop(Machine& machine) {                                                        \
            return machine.pop##name();                                                           \
        }                                                                                         \
        template <class Machine>                                                                  \
        static void push(Machine& machine, In value) {                                            \
            machine.push##name(value);                                                            \
        }                                                                                         \
        template <class Machine>                                                                  \
        static Out load(Machine& machine, int64_t address) {                                      \
            return machine.load##name(address);                                                   \
        }                                                                                         \
    };
#include "core/machine_types.def"

} // namespace Karsto::cell
