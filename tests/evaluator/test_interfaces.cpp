// Interfaces, the assignment attempt "?=" and NAMESPACE blocks, compiled and run: calls
// through interface references, the refusals of interface declarations and of "?=",
// and what a namespace keeps to itself. The located error texts of the same areas are in
// the corpus, tests/programs/interfaces and tests/programs/namespaces.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/namespace.h"
#include "frontend/ast_nodes.h"
#include "frontend/jyx_parser.h"
#include "evaluator_test_support.h"

namespace Karsto::test {
namespace {

// An interface with one prototype and a class implementing it.
const std::string kShape = "{INTERFACE IShape METHOD area : LREAL END_METHOD END_INTERFACE\n"
                           "CLASS Sq IMPLEMENTS IShape VAR PUBLIC side : LREAL; END_VAR\n"
                           "METHOD PUBLIC area : LREAL area := side * side; END_METHOD END_CLASS\n";

// Base and Kid with references to both.
const std::string kBaseAndKid = "{CLASS Base END_CLASS CLASS Kid EXTENDS Base END_CLASS\n"
                             "VAR b : Base; k : Kid; rb : REF_TO Base; rk : REF_TO Kid; END_VAR\n";

TEST(Interfaces, ProgramsWithInterfacesPrintTheirResults) {
    expectPrintingPrograms({
        {"a call through an interface reaches the class's method; the name ignores case",
         kShape + "VAR q : Sq; sh : IShape; s2 : ishape; s3 : ISHAPE; END_VAR\n"
                  "q.side := 3.0; sh := q; s2 := q; s3 := q; print(sh.area(), ' ', s2.area(), ' ', s3.area());}",
         "9.000000 9.000000 9.000000"},
        {"an extended interface's prototypes are found through the extending interface",
         "{INTERFACE IBase METHOD halt : INT END_METHOD END_INTERFACE\n"
         "INTERFACE IAxis EXTENDS IBase METHOD move : INT VAR_INPUT dist : INT; END_VAR END_METHOD END_INTERFACE\n"
         "CLASS Axis IMPLEMENTS IAxis VAR pos : INT; END_VAR\n"
         "METHOD PUBLIC halt : INT halt := pos; END_METHOD\n"
         "METHOD PUBLIC move : INT VAR_INPUT dist : INT; END_VAR pos := pos + dist; move := pos; END_METHOD END_CLASS\n"
         "VAR a : Axis; i : IAxis; END_VAR i := a; i.move(4); i.move(dist := 3); print(i.halt());}",
         "7"},
        {"an interface without prototypes; a prototype without a result type",
         "{INTERFACE IEmpty END_INTERFACE INTERFACE IStop METHOD stop END_METHOD END_INTERFACE\n"
         "CLASS Stopper IMPLEMENTS IEmpty, IStop VAR PUBLIC n : INT; END_VAR\n"
         "METHOD PUBLIC stop n := n + 1; END_METHOD END_CLASS\n"
         "VAR st : Stopper; i : IStop; END_VAR i := st; i.stop(); i.stop(); print(st.n);}",
         "2"},
        {"\"?=\" between class references yields null where the object does not fit",
         kBaseAndKid + "rb := REF(k); rk ?= rb; print(rk = NULL); rb := REF(b); rk ?= rb; print(rk = NULL);}",
         "01"},
        {"\"?=\" to an interface",
         kShape + "VAR q : Sq; sh : IShape; rq : REF_TO Sq; END_VAR q.side := 3.0;\n"
                  "rq := REF(q); sh ?= rq; print(sh.area());}",
         "9.000000"},
        {"namespaces are compiled, and members see the names declared before the NAMESPACE",
         "{FUNCTION two : INT two := 2; END_FUNCTION\n"
         "NAMESPACE geo.util USING no.such.place; FUNCTION half : LREAL VAR_INPUT v : LREAL; END_VAR\n"
         "half := v / two(); END_FUNCTION\n"
         "CLASS Inner METHOD PUBLIC get : INT get := two(); END_METHOD END_CLASS\n"
         "NAMESPACE INTERNAL deeper TYPE t : INT; END_TYPE END_NAMESPACE END_NAMESPACE\n"
         "print(two());}",
         "2"},
    });
}

TEST(Interfaces, ACallThroughANullInterfaceStopsTheProgram) {
    const HarnessResult r = compileAndRun(kShape + kBaseAndKid.substr(1) +
                                          "VAR sh : IShape; END_VAR rb := REF(b); sh ?= rb; print(sh.area());}\n");
    ASSERT_TRUE(r.compiled()) << r.errorText();
    ASSERT_TRUE(r.runError.has_value());
    EXPECT_EQ(r.runError->message, "Null-Pointer Exception");
    EXPECT_EQ(r.output, "");
}

TEST(Interfaces, DeclarationsAndAssignmentsThatDoNotFitFailWithTheirMessage) {
    struct Case {
        std::string source;
        std::string message;
    };
    const Case cases[] = {
        {kShape + "CLASS Circle IMPLEMENTS IShape END_CLASS}",
         "Declaration of method 'area' of interface 'IShape' is missing in cl0ass 'circle'."},
        {kShape + "CLASS Circle IMPLEMENTS IShape METHOD PRIVATE area : LREAL ; END_METHOD END_CLASS}",
         "Declaration of method 'area' of interface 'IShape' in class 'circle' must be declared 'public' or "
         "'internal'."},
        {"{INTERFACE IAxis EXTENDS IBase END_INTERFACE INTERFACE IBase END_INTERFACE}",
         "Undeclared Identifier 'ibase'"},
        {"{INTERFACE IBase METHOD halt END_METHOD END_INTERFACE\n"
         "INTERFACE IAxis EXTENDS IBase METHOD halt END_METHOD END_INTERFACE}",
         "Invalid redeclaration of method 'halt' in interface 'IAxis'."},
        {kShape + "INTERFACE IBad EXTENDS Sq END_INTERFACE}",
         "Expected interface-type, but 'Class sq (side:lreal)' is given."},
        {"{INTERFACE I METHOD get : I END_METHOD END_INTERFACE}", "Undeclared Identifier 'i'"},
        {kShape + "VAR sh : IShape; END_VAR print(sh.perimeter());}",
         "Class 'IShape' does not declare method 'perimeter'."},
        // "?=" needs class references or interfaces on both sides.
        {"{VAR i, j : INT; END_VAR i ?= j;}", "Invalid assignment attempt from type 'int' to 'int'."},
        {kShape + "FUNCTION mk : Sq ; END_FUNCTION VAR sh : IShape; END_VAR sh := mk();}",
         "Object can not be referenced"},
        // Interfaces have no attributes.
        {kShape + "VAR s2 : IShape := (side := 1.0); END_VAR}",
         "Structure initialization is not possible for interface 'Interface IShape ()'."},
        {kShape + "VAR sh : IShape; x : LREAL; END_VAR x := sh.side;}",
         "Invalid access on member 'side' of interface 'Interface IShape ()'."},
        // What a namespace declares stays inside it.
        {"{NAMESPACE geo.util FUNCTION half : LREAL VAR_INPUT v : LREAL; END_VAR half := v / 2; END_FUNCTION "
         "END_NAMESPACE\n"
         "VAR x : LREAL; END_VAR x := half(3.0);}",
         "Undeclared Identifier 'half'"},
        {"{NAMESPACE n CLASS c END_CLASS END_NAMESPACE VAR x : c; END_VAR}", "Undeclared Identifier 'c'"},
        {"{NAMESPACE n TYPE t : INT; END_TYPE TYPE u : t; END_TYPE END_NAMESPACE}", "Undeclared Identifier 't'"},
        {"{NAMESPACE n FUNCTION f : INT f := 1; END_FUNCTION FUNCTION g : INT g := f(); END_FUNCTION "
         "END_NAMESPACE}",
         "Undeclared Identifier 'f'"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source);
        const HarnessResult r = compileOnly(c.source + "\n");
        ASSERT_TRUE(r.compileError.has_value());
        EXPECT_EQ(r.compileError->message, c.message);
    }
}

// Compiles in a row free everything they made with the parser, interfaces included;
// under LeakSanitizer nothing may remain.
TEST(Interfaces, ManyCompilesOfInterfacesInARow) {
    const std::string source = kShape + "VAR q : Sq; sh : IShape; rq : REF_TO Sq; x : LREAL; END_VAR\n"
                                        "sh := q; x := sh.area(); rq := REF(q); sh ?= rq;}\n";
    constexpr int kCompiles = 1000;
    int compiled = 0;
    for (int i = 0; i < kCompiles; ++i) compiled += compileOnly(source).compiled() ? 1 : 0;
    EXPECT_EQ(compiled, kCompiles);
}

TEST(Namespaces, BodiesInsideANamespaceArePartOfTheProgram) {
    const HarnessResult r = compileOnly(
        "{NAMESPACE geo.util FUNCTION half : LREAL VAR_INPUT v : LREAL; END_VAR half := v / 2; END_FUNCTION "
        "CLASS c METHOD PUBLIC get : INT get := 1; END_METHOD END_CLASS END_NAMESPACE}\n");
    ASSERT_TRUE(r.compiled()) << r.errorText();
    const std::vector<std::string> lines = listingLines(r);
    // The division of the body stands between the program's jump over the bodies and its
    // halt.
    const auto division = std::find_if(lines.begin(), lines.end(),
                                       [](const std::string& line) { return line.rfind("DivLreal", 0) == 0; });
    ASSERT_NE(division, lines.end());
    const auto jump = std::find_if(lines.begin(), lines.end(),
                                   [](const std::string& line) { return line.rfind("Jump", 0) == 0; });
    EXPECT_LT(jump, division);
    // The function's body and the method's, each ending with its return.
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "Return"), 2);
}

// Namespace names are compared as written: a second block of a name reopens its
// namespace, another spelling makes another one; INTERNAL changes nothing.
TEST(Namespaces, BlocksOfOneNameShareTheirNamespace) {
    const HarnessResult r = compileOnly("{NAMESPACE a.b TYPE t : INT; END_TYPE END_NAMESPACE\n"
                                        "NAMESPACE a.b TYPE t : INT; END_TYPE END_NAMESPACE\n"
                                        "NAMESPACE INTERNAL A TYPE t : INT; END_TYPE END_NAMESPACE\n"
                                        "NAMESPACE a NAMESPACE c TYPE t : INT; END_TYPE END_NAMESPACE END_NAMESPACE}\n");
    ASSERT_TRUE(r.compiled()) << r.errorText();
    Namespace* root = r.parser()->root->childNode(0)->attributes<AstNode_gprogram>().rootNamespace;
    ASSERT_NE(root, nullptr);
    std::vector<std::string> top;
    for (const auto& [name, child] : root->children()) top.push_back(name);
    EXPECT_EQ(top, (std::vector<std::string>{"A", "a"}));
    Namespace* a = root->find("a");
    std::vector<std::string> inA;
    for (const auto& [name, child] : a->children()) inA.push_back(name);
    EXPECT_EQ(inA, (std::vector<std::string>{"b", "c"}));
    EXPECT_EQ(root->find("a.b")->parent(), a);
    EXPECT_EQ(root->find("a.c")->parent(), a);
}

} // namespace
} // namespace Karsto::test
