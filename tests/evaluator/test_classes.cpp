// Classes and methods, compiled and run: attributes reached by their plain names,
// calls through an object, through THIS and through SUPER, dispatch to the most derived
// implementation, the order in which classes and methods become visible, the rules the
// class definition checks at END_CLASS, and the refusals of method calls. The located
// error texts of the same area are in the corpus, tests/programs/classes.

#include <gtest/gtest.h>

#include <string>

#include "core/code.h"
#include "evaluator_test_support.h"

namespace Karsto::test {
namespace {

// A counter with a protected attribute and a public method that adds to it.
const std::string kTally = "{CLASS Tally VAR hits : INT; END_VAR\n"
                           "METHOD PUBLIC bump : INT VAR_INPUT n : INT; END_VAR hits := hits + n; bump := hits; "
                           "END_METHOD\n";

// Base and Kid: who answers 1 in Base and SUPER.who() + 10 in Kid.
const std::string kBaseKid = "{CLASS Base METHOD PUBLIC who : INT who := 1; END_METHOD END_CLASS\n"
                             "CLASS Kid EXTENDS Base METHOD PUBLIC OVERRIDE who : INT who := SUPER.who() + 10; "
                             "END_METHOD END_CLASS\n";

struct RunCase {
    std::string name;
    std::string source;
    std::string output;
};

// Programs that run to their end with the stack at its bottom, and what they print.
TEST(Classes, ProgramsWithClassesPrintTheirResults) {
    const RunCase cases[] = {
        {"a method reads and writes its object's attributes by their plain names",
         kTally + "END_CLASS VAR t : Tally; r : INT; END_VAR\n"
                  "r := t.bump(2); r := t.bump(3); print(r);}",
         "5"},
        {"a call as a statement drops its result; every object has its own attributes",
         kTally + "END_CLASS VAR t, u : Tally; END_VAR\n"
                  "t.bump(1); t.bump(1); u.bump(7); print(t.bump(0), ' ', u.bump(0));}",
         "2 7"},
        {"a method calls itself through THIS",
         kTally + "METHOD PUBLIC sum : INT VAR_INPUT n : INT; END_VAR\n"
                  "IF n > 0 THEN sum := n + THIS.sum(n - 1); END_IF END_METHOD END_CLASS\n"
                  "VAR t : Tally; END_VAR print(t.sum(10));}",
         "55"},
        {"a method calls one declared further down through THIS",
         "{CLASS Pair METHOD PUBLIC first : INT first := THIS.second(4) * 2; END_METHOD\n"
         "METHOD PRIVATE second : INT VAR_INPUT k : INT; END_VAR second := k + 1; END_METHOD END_CLASS\n"
         "VAR p : Pair; END_VAR print(p.first(), (p).second(1));}",
         "102"},
        {"a method above is called by its plain name on the same object",
         kTally + "METHOD PUBLIC get : INT get := hits; END_METHOD\n"
                  "METHOD PUBLIC next : INT next := get() + 1; END_METHOD END_CLASS\n"
                  "VAR t, u : Tally; END_VAR t.bump(41); u.bump(5); print(t.next(), ' ', u.next());}",
         "42 6"},
        {"an initial value of a local reads a parameter",
         kTally + "METHOD PUBLIC scaled : INT VAR_INPUT n : INT; END_VAR VAR k : INT := n * 2; END_VAR\n"
                  "scaled := k; END_METHOD END_CLASS VAR t : Tally; END_VAR print(t.scaled(21));}",
         "42"},
        {"locals start fresh on every call; a local hides an attribute of its name",
         kTally + "METHOD PUBLIC tick : INT VAR k, hits : INT; END_VAR k := k + 1; hits := 100;\n"
                  "tick := k; END_METHOD END_CLASS VAR t : Tally; END_VAR\n"
                  "print(t.tick(), t.tick(), ' ', t.bump(0));}",
         "11 0"},
        {"a private method is called from outside its class; names ignore case",
         "{CLASS Vault METHOD PRIVATE Secret : INT secret := 7; END_METHOD END_CLASS\n"
         "VAR v : VAULT; END_VAR print(v.SECRET());}",
         "7"},
        {"a derived class's method uses an inherited attribute by its plain name",
         "{CLASS Motor VAR speed : INT := 3; END_VAR END_CLASS\n"
         "CLASS Fast EXTENDS Motor METHOD PUBLIC boost : INT speed := speed * 10; boost := speed; END_METHOD "
         "END_CLASS\n"
         "VAR f : Fast; END_VAR print(f.boost(), ' ', f.boost());}",
         "30 300"},
        {"SUPER calls the base class's implementation, the object's class decides otherwise",
         kBaseKid + "VAR b : Base; k : Kid; END_VAR print(k.who(), ' ', b.who());}", "11 1"},
        {"a base method's call through THIS reaches the override of the object's class",
         "{CLASS Base METHOD PUBLIC who : INT who := 1; END_METHOD\n"
         "METHOD PUBLIC ask : INT ask := THIS.who() * 100; END_METHOD END_CLASS\n"
         "CLASS Kid EXTENDS Base METHOD PUBLIC OVERRIDE who : INT who := 2; END_METHOD END_CLASS\n"
         "VAR b : Base; k : Kid; END_VAR print(b.ask(), ' ', k.ask());}",
         "100 200"},
        {"a plain call of a method above goes through the method table too",
         "{CLASS Base METHOD PUBLIC who : INT who := 1; END_METHOD\n"
         "METHOD PUBLIC ask : INT ask := who() * 100; END_METHOD END_CLASS\n"
         "CLASS Kid EXTENDS Base METHOD PUBLIC OVERRIDE who : INT who := 3; END_METHOD END_CLASS\n"
         "VAR k : Kid; END_VAR print(k.ask());}",
         "300"},
        {"a method of a base class is found through a variable of a derived class",
         kBaseKid + "CLASS Grandkid EXTENDS Kid END_CLASS VAR g : Grandkid; END_VAR print(g.who());}", "11"},
        {"a second class of a name hides the first for the code after it",
         "{CLASS c METHOD PUBLIC get : INT get := 1; END_METHOD END_CLASS VAR a : c; END_VAR\n"
         "CLASS c METHOD PUBLIC get : INT get := 2; END_METHOD END_CLASS VAR b : c; END_VAR\n"
         "print(a.get(), b.get());}",
         "12"},
        {"a method without a result; output parameters of a method",
         "{CLASS Acc VAR total : LREAL; END_VAR\n"
         "METHOD PUBLIC add VAR_INPUT v : LREAL; END_VAR total := total + v; END_METHOD\n"
         "METHOD PUBLIC get VAR_OUTPUT o : LREAL; END_VAR o := total; END_METHOD END_CLASS\n"
         "VAR a : Acc; x : LREAL; END_VAR a.add(1.5); a.add(v := 2.0); a.get(o => x); print(x);}",
         "3.500000"},
        {"an empty class and an abstract class are accepted",
         "{CLASS Empty END_CLASS CLASS ABSTRACT Shape METHOD PUBLIC ABSTRACT area : INT ; END_METHOD "
         "END_CLASS\n"
         "CLASS FINAL Sq EXTENDS Shape METHOD PUBLIC OVERRIDE area : INT area := 4; END_METHOD END_CLASS\n"
         "VAR e : Empty; sq : Sq; END_VAR print(sq.area());}",
         "4"},
        {"a reference to the base class calls the implementation of the object's class",
         kBaseKid + "VAR b : Base; k : Kid; pb : REF_TO Base; END_VAR\n"
                    "pb := REF(k); print(pb^.who()); pb := REF(b); print(pb^.who());}",
         "111"},
        {"objects as array elements and structure members, THIS and its attributes",
         "{CLASS Cell VAR PUBLIC v : INT; END_VAR VAR w : INT; END_VAR\n"
         "METHOD PUBLIC put : INT VAR_INPUT n : INT; END_VAR THIS.w := n; put := THIS.v + w; END_METHOD END_CLASS\n"
         "TYPE Box : STRUCT c : Cell; END_STRUCT; END_TYPE\n"
         "VAR a : ARRAY[1..3] OF Cell; b : Box; i : INT := 2; END_VAR\n"
         "a[i].v := 5; b.c.v := 7; print(a[2].put(1), ' ', b.c.put(2), ' ', a[1].put(0));}",
         "6 9 0"},
        {"a derived class's method uses a protected attribute of its base through THIS",
         "{CLASS Base VAR prot : INT := 4; END_VAR VAR PRIVATE secret : INT; END_VAR END_CLASS\n"
         "CLASS Kid EXTENDS Base METHOD PUBLIC twice : INT THIS.prot := THIS.prot * 2; twice := prot; END_METHOD "
         "END_CLASS\n"
         "VAR k : Kid; END_VAR print(k.twice(), k.twice());}",
         "816"},
        {"USING clauses in a class head change nothing",
         "{CLASS u USING no.such.place; USING a, b.c; METHOD PUBLIC nine : INT nine := 9; END_METHOD END_CLASS\n"
         "VAR x : u; END_VAR print(x.nine());}",
         "9"},
    };
    for (const RunCase& c : cases) {
        SCOPED_TRACE(c.name);
        const HarnessResult r = compileAndRun(c.source + "\n");
        ASSERT_TRUE(r.ok()) << r.errorText();
        EXPECT_EQ(r.output, c.output);
        EXPECT_EQ(r.sp, kStackBottom);
    }
}

// The message of each compile error; the corpus checks the places of a few of them.
TEST(Classes, DeclarationsAndCallsThatDoNotFitFailWithTheirMessage) {
    struct Case {
        std::string source;
        std::string message;
    };
    const std::string tally = kTally + "END_CLASS VAR t : Tally; r, i : INT; END_VAR\n";
    const Case cases[] = {
        // Declaration order and the kinds of the names in the head.
        {"{CLASS Kid EXTENDS Later END_CLASS CLASS Later END_CLASS}", "Undeclared Identifier 'later'"},
        {"{CLASS c VAR x : c; END_VAR END_CLASS}", "Undeclared Identifier 'c'"},
        {"{CLASS c METHOD PUBLIC get : c get := 1; END_METHOD END_CLASS}", "Undeclared Identifier 'c'"},
        {"{CLASS Plain END_CLASS CLASS c IMPLEMENTS Plain END_CLASS}",
         "Expected interface-type, but 'Class plain ()' is given."},
        {"{CLASS c EXTENDS a.b END_CLASS}", "Undeclared Identifier 'a.b'"},
        // The class's own methods and attributes are no names outside it.
        {tally + "r := bump(1);}", "Undeclared Identifier 'bump'"},
        {tally + "r := hits;}", "Undeclared variable or enumeration value 'hits'."},
        // A method sees the methods above it by their plain names, not itself or those below.
        {"{CLASS c METHOD PUBLIC get : INT get := later(); END_METHOD METHOD PUBLIC later : INT ; END_METHOD "
         "END_CLASS}",
         "Undeclared Identifier 'later'"},
        {"{CLASS c METHOD PUBLIC get : INT get := get(); END_METHOD END_CLASS}", "Undeclared Identifier 'get'"},
        // Program variables are reached only through VAR_EXTERNAL.
        {"{VAR g : INT; END_VAR CLASS c METHOD PUBLIC get : INT get := g; END_METHOD END_CLASS}",
         "Undeclared variable or enumeration value 'g'."},
        // THIS and SUPER.
        {"{VAR i : INT; END_VAR i := THIS.get();}", "Invalid use of THIS outside of method"},
        {kBaseKid + "FUNCTION f : INT f := SUPER.who(); END_FUNCTION}", "Invalid use of SUPER outside of method"},
        {"{SUPER.who();}", "Invalid use of SUPER outside of method"},
        {"{CLASS Base METHOD PUBLIC who : INT who := SUPER.who(); END_METHOD END_CLASS}",
         "SUPER is used, but class does not have a baseclass"},
        // Before the arguments are compiled.
        {"{CLASS Base METHOD PUBLIC who : INT who := SUPER.who(nothere); END_METHOD END_CLASS}",
         "SUPER is used, but class does not have a baseclass"},
        {kBaseKid + "CLASS k2 EXTENDS Base METHOD PUBLIC get : INT get := SUPER.what(); END_METHOD END_CLASS}",
         "Class 'base' does not declare method 'what'."},
        // The rules of the class definition.
        {"{CLASS Base METHOD PUBLIC who : INT who := 1; END_METHOD END_CLASS\n"
         "CLASS Kid EXTENDS Base METHOD PUBLIC who : INT who := 2; END_METHOD END_CLASS}",
         "Method 'who' in class 'kid' overrides method of baseclass, but is not declared as overriding."},
        {"{CLASS Base METHOD PUBLIC OVERRIDE who : INT who := 1; END_METHOD END_CLASS}",
         "Method 'who' in class 'base' is declared to override method, which is not declared in baseclass."},
        {"{CLASS FINAL Base END_CLASS CLASS Kid EXTENDS Base END_CLASS}",
         "Class 'base' id declared 'final' and can not be inherited by class 'kid'."},
        {"{CLASS c METHOD PUBLIC get : INT ; END_METHOD METHOD PRIVATE GET : INT ; END_METHOD END_CLASS}",
         "Method 'get' defined twice in 'c'"},
        {"{CLASS c METHOD PUBLIC ABSTRACT get : INT ; END_METHOD END_CLASS}",
         "Method 'get' in class 'c' is abstract, but the class itself is not abstract."},
        {"{CLASS Base VAR a : INT; END_VAR END_CLASS CLASS Kid EXTENDS Base VAR A : INT; END_VAR END_CLASS}",
         "Attribute 'a' inherited from baseclass of 'kid'"},
        {"{CLASS Base METHOD PUBLIC who : INT who := 1; END_METHOD END_CLASS\n"
         "CLASS Kid EXTENDS Base METHOD PROTECTED OVERRIDE who : INT who := 2; END_METHOD END_CLASS}",
         "Access specifier of method 'who' in class 'kid' differs from overridden method."},
        {"{CLASS Base METHOD PUBLIC who : INT who := 1; END_METHOD END_CLASS\n"
         "CLASS Kid EXTENDS Base METHOD PUBLIC OVERRIDE who : INT VAR_INPUT k : INT; END_VAR who := k; END_METHOD "
         "END_CLASS}",
         "Signature of method 'who' in class 'kid' differs from signature in baseclass."},
        // Attributes: protected ones only inside the class and the classes derived from it,
        // private ones only inside the class.
        {tally + "print(t.hits);}",
         "Invalid access on protected member 'hits' of class 'tally'. Member is expected to be public."},
        {"{CLASS Base VAR prot : INT; END_VAR VAR PRIVATE secret : INT; END_VAR END_CLASS\n"
         "CLASS Kid EXTENDS Base METHOD PUBLIC get : INT get := THIS.prot + THIS.secret; END_METHOD END_CLASS}",
         "Invalid access on private member 'secret' of class 'base'. Member is expected to be protected or public."},
        {"{TYPE num : INT; END_TYPE CLASS c EXTENDS num END_CLASS}", "Expected class-type, but 'int' is given."},
        // Method calls.
        {tally + "r := i.bump(1);}", "Expected class- or struct-type, but 'int' is given."},
        {"{TYPE pt : STRUCT x : INT; END_STRUCT; END_TYPE VAR p : pt; END_VAR p.bump(1);}",
         " Method 'bump' is not declared"},
        {tally + "r := t.nosuch();}", "Class 'tally' does not declare method 'nosuch'."},
        {tally + "FUNCTION mk : Tally ; END_FUNCTION r := mk().bump(1);}", "Invalid location"},
        {tally + "r := t.bump(1).bump(1);}", "Expected class- or struct-type, but 'int' is given."},
        {tally + "r := t.bump(1, 2);}",
         "Number of actual parameters (2) and number of formal parameters (1) do not match in non-formal function "
         "call."},
        {tally + "r := t.bump(k := 1);}", "Use of undeclared formal parameter 'k' in formal call."},
        {kBaseKid + "VAR b : Base; END_VAR b.nope();}", "Class 'base' does not declare method 'nope'."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source);
        const HarnessResult r = compileOnly(c.source + "\n");
        ASSERT_TRUE(r.compileError.has_value());
        EXPECT_EQ(r.compileError->message, c.message);
    }
}

// Compiles in a row free everything they made with the parser, classes included; under
// LeakSanitizer nothing may remain.
TEST(Classes, ManyCompilesOfClassesInARow) {
    const std::string source = kBaseKid + "CLASS Tally VAR hits : INT; END_VAR METHOD PUBLIC bump : INT "
                                          "VAR_INPUT n : INT; END_VAR hits := hits + n; bump := hits; END_METHOD "
                                          "END_CLASS VAR t : Tally; k : Kid; r : INT; END_VAR r := t.bump(k.who());}\n";
    constexpr int kCompiles = 1000;
    int compiled = 0;
    for (int i = 0; i < kCompiles; ++i) compiled += compileOnly(source).compiled() ? 1 : 0;
    EXPECT_EQ(compiled, kCompiles);
}

} // namespace
} // namespace Karsto::test
