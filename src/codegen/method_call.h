#pragma once
// The frame shared by the method calls through an object and through an interface
// reference. Below the call's cells lies the cell the caller pushed (the object's
// address, or the interface variable's); the return cells and the parameters follow,
// then "this". After the call only the result cells remain, in that cell's place.

#include <cstdint>

#include "codegen/call_compiler.h"

namespace Karsto {

class AParamList;
class MethodUser;

struct MethodCallFrame {
    CallBinding binding;    // the return cells and the formals, and their copy-back
    int64_t resultCells;    // r
    int64_t parameterCells; // P: every formal, given or not
};

// Binds the list to the method's formals: its parameter area without the return
// variable and without the hidden "this", which comes last. The binding's messages
// pass through unchanged.
MethodCallFrame bindMethodCall(MethodUser& method, AParamList* parameters);

// After the call returned: drops "this", runs the copy-back and moves the result cells
// down over the caller's cell. The items carry the empty span.
Code methodCallReturn(const MethodCallFrame& frame);

} // namespace Karsto
