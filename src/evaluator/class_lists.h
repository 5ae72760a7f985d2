#pragma once
// The lists a class or namespace head collects while the first walk passes through it:
// the implemented interfaces, the methods, the namespaces named by USING. Each is one
// object handed to the parser, so the syntax-tree records hold plain pointers to it.

#include <set>
#include <vector>

namespace Karsto {

class MethodUser;
class Namespace;
class TypeInterface;

// The interfaces after IMPLEMENTS, in the order written.
class InterfaceList {
public:
    std::vector<TypeInterface*> items;
};

// The methods of a class in source order, each appended after its own body.
class MethodList {
public:
    std::vector<MethodUser*> items;
};

// The namespaces named by the USING clauses of one head; a name that names no namespace
// stands as null.
class NamespaceSet {
public:
    std::set<Namespace*> items;
};

} // namespace Karsto
