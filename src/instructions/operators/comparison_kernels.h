#pragma once
// The execute kernels of the comparisons and the relations that Min, Max and the range
// branches order by. Private to the operator library.
//
// Every relation is the built-in operator on two values of one cell format: integers in
// their own width and signedness, BOOL as its stored byte, REAL and LREAL by IEEE 754
// (a NaN makes all but Ne false, -0.0 equals +0.0).

#include <cstdint>

#include "instructions/operators/string_kernels.h"

namespace Karsto::operators::family {

// [..., x, y] to [..., x relation y] as one BOOL. The String and Wstring members compare
// the two values of the capacity by compareStrings and leave the BOOL in x's first cell.
template <class Relation>
struct Comparison {
    template <class Cell, class Machine>
    [[gnu::flatten]] static void run(Machine& machine) {
        const auto y = Cell::pop(machine); // pushed last
        const auto x = Cell::pop(machine);
        machine.pushU1(Relation::holds(x, y));
    }

    template <class Cell, class Machine>
    static void run(Machine& machine, int32_t capacity) {
        const int64_t cells = valueCells(capacity);
        const int64_t y = machine.getSp() - cells;
        const int64_t x = y - cells;
        const int64_t order = compareStrings<typename Cell::Char>(machine, x, y, capacity);
        machine.setSp(x);
        machine.pushU1(Relation::holds(order, int64_t{0}));
    }
};

struct Eq : Comparison<Eq> {
    template <class T>
    static bool holds(T x, T y) {
        return x == y;
    }
};

struct Ne : Comparison<Ne> {
    template <class T>
    static bool holds(T x, T y) {
        return x != y; // true for a NaN
    }
};

struct Lt : Comparison<Lt> {
    template <class T>
    static bool holds(T x, T y) {
        return x < y;
    }
};

struct Gt : Comparison<Gt> {
    template <class T>
    static bool holds(T x, T y) {
        return x > y;
    }
};

struct Le : Comparison<Le> {
    template <class T>
    static bool holds(T x, T y) {
        return x <= y;
    }
};

struct Ge : Comparison<Ge> {
    template <class T>
    static bool holds(T x, T y) {
        return x >= y;
    }
};

} // namespace Karsto::operators::family
