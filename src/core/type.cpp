#include "core/type.h"

#include <array>
#include <set>
#include <vector>
#include <bit>
#include <type_traits>
#include <utility>

#include "core/cmd_const.h"
#include "core/exception.h"
#include "core/type_array.h"
#include "core/type_class.h"
#include "core/type_enum.h"
#include "core/type_function.h"
#include "core/type_pointer.h"
#include "core/type_scif.h"
#include "core/type_string.h"
#include "core/variable.h"

namespace Karsto {

#define KARSTO_ELEMENTARY_TYPE(global, text, kind, size, mask, defaultClass) \
    TypeSimple* global = nullptr;
#include "core/elementary_types.def"

namespace {

constexpr int32_t kElementaryRows = 0
#define KARSTO_ELEMENTARY_TYPE(global, text, kind, size, mask, defaultClass) +1
#include "core/elementary_types.def"
    ;
static_assert(kElementaryRows == kElementaryTypeCount, "one singleton per elementary row");

// Marks the rows whose type has no default value (literal strings, void).
struct NoDefaultValue {};

// The singletons in creation order, and for each kind the first singleton of that kind
// (the one commonType hands out).
std::array<TypeSimple*, kElementaryTypeCount> gElementary{};
std::array<TypeSimple*, kTypeKindCount> gElementaryByKind{};
bool gElementaryExist = false;

template <class DefaultClass>
TypeSimple* makeElementary(const char* text, TypeKind kind, uint64_t mask, int64_t size) {
    if constexpr (std::is_same_v<DefaultClass, NoDefaultValue>) {
        return new TypeSimple(text, kind, mask, size);
    } else {
        // Built with the class constructor, not a factory: the zero of the class's own
        // cell type.
        Code zero(new DefaultClass(typename DefaultClass::Value{}));
        return new TypeSimple(text, kind, mask, std::move(zero), size);
    }
}

} // namespace

Type::Type(TypeKind kind, uint64_t conversionMask) : kind_(kind), conversionMask_(conversionMask) {}

Type::~Type() {
    // References to references made through pointerTo form a chain in which each cached
    // type owns the next; it is unlinked and freed in a loop, so a chain of any length
    // needs no stack.
    TypePointer* next = pointerType_;
    while (next != nullptr) {
        Type* current = next;
        next = current->pointerType_;
        current->pointerType_ = nullptr;
        delete current;
    }
}

TypePointer* Type::pointerTo() {
    if (pointerType_ == nullptr) pointerType_ = new TypePointer(this);
    return pointerType_;
}

#define KARSTO_TYPE_CAST(family, message) \
    Type##family* Type::as##family() { failSemantic(message, toString().c_str()); }
#include "core/type_casts.def"

#define KARSTO_TYPE_CAST(family, message) \
    bool Type::is##family() const { return false; }
#include "core/type_casts.def"

Code Type::initialValue() const { return hasInitializer_ ? initializer_ : defaultValue(); }

void Type::setInitializer(const Code& code) {
    hasInitializer_ = true;
    initializer_ = code;
}

Type* Type::cloneWithInitializer(const Code& code) const {
    Type* copy = clone();
    copy->setInitializer(code);
    return copy;
}

TypeSimple::TypeSimple(std::string name, TypeKind kind, uint64_t conversionMask, Code defaultCode,
                       int64_t size)
    : Type(kind, conversionMask), name_(std::move(name)), size_(size),
      defaultCode_(std::move(defaultCode)) {}

TypeSimple::TypeSimple(std::string name, TypeKind kind, uint64_t conversionMask, int64_t size)
    : Type(kind, conversionMask), name_(std::move(name)), size_(size) {}

TypeSimple::~TypeSimple() = default;

Type* TypeSimple::clone() const { return new TypeSimple(name_, kind(), conversionMask(), 1); }

int64_t TypeSimple::size() const { return size_; }

std::string TypeSimple::toString() const { return name_; }

Code TypeSimple::defaultValue() const {
    // A fresh copy per use: code generators give their code a span of its own, and a
    // shared item would carry the last caller's span into every later program; its count
    // would also be touched by every channel's thread.
    CodeNode* node = defaultCode_.node();
    if (node == nullptr) return Code();
    return Code(node->asItem()->clone());
}

void createElementaryTypes() {
    size_t row = 0;
#define KARSTO_ELEMENTARY_TYPE(global, text, kind, size, mask, defaultClass)               \
    if (global == nullptr) {                                                              \
        global = makeElementary<defaultClass>(text, TypeKind::kind, mask, size);          \
    }                                                                                     \
    gElementary[row++] = global;
#include "core/elementary_types.def"

    gElementaryByKind.fill(nullptr);
    for (TypeSimple* type : gElementary) {
        TypeSimple*& slot = gElementaryByKind[static_cast<size_t>(kindIndex(type->kind()))];
        if (slot == nullptr) {
            slot = type;
        }
    }
    gElementaryExist = true;
}

void destroyElementaryTypes() {
#define KARSTO_ELEMENTARY_TYPE(global, text, kind, size, mask, defaultClass) \
    delete global;                                                           \
    global = nullptr;
#include "core/elementary_types.def"
    gElementary.fill(nullptr);
    gElementaryByKind.fill(nullptr);
    gElementaryExist = false;
}

std::span<TypeSimple* const> elementaryTypes() {
    if (!gElementaryExist) {
        return {};
    }
    return gElementary;
}

namespace {

using TypePair = std::pair<Type*, Type*>;

// Compares one pair of types as far as it can without looking into other types, and
// leaves the pairs of element, member, parameter and target types that must also be
// equal in `parts`.
bool shallowEqual(Type* a, Type* b, std::vector<TypePair>& parts) {
    if (a->kind() != b->kind()) {
        return false;
    }
    switch (a->kind()) {
    case TypeKind::Enum:
        // Separately declared enumerations never equal each other, however alike their
        // definitions are; a copy that carries an initializer is its original.
        if (!a->isEnum() || !b->isEnum()) return a == b;
        return a->asEnum()->definition() == b->asEnum()->definition();
    case TypeKind::Class:
        // Likewise classes, but a copy that carries an initializer is its original.
        if (!a->isClass() || !b->isClass()) return a == b;
        return a->asClass()->definition() == b->asClass()->definition();
    case TypeKind::Interface:
        // Likewise interfaces, but a copy that carries an initializer is its original.
        if (!a->isInterface() || !b->isInterface()) return a == b;
        return a->asInterface()->definition() == b->asInterface()->definition();
    case TypeKind::String:
        if (!a->isString() || !b->isString()) return a == b;
        return a->asString()->capacity() == b->asString()->capacity();
    case TypeKind::Wstring:
        if (!a->isWstring() || !b->isWstring()) return a == b;
        return a->asWstring()->capacity() == b->asWstring()->capacity();
    case TypeKind::Array: {
        if (!a->isArray() || !b->isArray()) return a == b;
        const TypeArray* x = a->asArray();
        const TypeArray* y = b->asArray();
        if (x->dimensionCount() != y->dimensionCount()) return false;
        for (size_t i = 0; i < x->dimensions().size(); ++i) {
            if (x->dimensions()[i].lower != y->dimensions()[i].lower ||
                x->dimensions()[i].upper != y->dimensions()[i].upper) {
                return false;
            }
        }
        parts.emplace_back(x->elementType(), y->elementType());
        return true;
    }
    case TypeKind::Struct: {
        if (!a->isStruct() || !b->isStruct()) return a == b;
        const auto& x = a->asStruct()->members();
        const auto& y = b->asStruct()->members();
        if (x.size() != y.size()) return false;
        for (size_t i = 0; i < x.size(); ++i) {
            if (x[i].name != y[i].name) return false;
            parts.emplace_back(x[i].type, y[i].type);
        }
        return true;
    }
    case TypeKind::Function: {
        // The return types are not compared.
        if (!a->isFunction() || !b->isFunction()) return a == b;
        const auto& x = a->asFunction()->parameters();
        const auto& y = b->asFunction()->parameters();
        if (x.size() != y.size()) return false;
        for (size_t i = 0; i < x.size(); ++i) {
            if (x[i]->name() != y[i]->name() || x[i]->flags() != y[i]->flags()) return false;
            parts.emplace_back(x[i]->type(), y[i]->type());
        }
        return true;
    }
    case TypeKind::Pointer: {
        if (!a->isPointer() || !b->isPointer()) return a == b;
        Type* x = a->asPointer()->target();
        Type* y = b->asPointer()->target();
        if (x == nullptr || y == nullptr) return x == y; // the NULL pointer type
        parts.emplace_back(x, y);
        return true;
    }
    case TypeKind::Liti:
    case TypeKind::Litr:
    case TypeKind::LitString:
    case TypeKind::LitWstring:
    case TypeKind::Usint:
    case TypeKind::Uint:
    case TypeKind::Udint:
    case TypeKind::Ulint:
    case TypeKind::Sint:
    case TypeKind::Int:
    case TypeKind::Dint:
    case TypeKind::Lint:
    case TypeKind::Real:
    case TypeKind::Lreal:
    case TypeKind::Bool:
    case TypeKind::Byte:
    case TypeKind::Word:
    case TypeKind::Dword:
    case TypeKind::Lword:
    case TypeKind::Time:
    case TypeKind::Ltime:
    case TypeKind::Dt:
    case TypeKind::Ldt:
    case TypeKind::Tod:
    case TypeKind::Ltod:
    case TypeKind::Date:
    case TypeKind::Ldate:
    case TypeKind::Char:
    case TypeKind::Wchar:
    case TypeKind::Subrange:
    case TypeKind::Void:
        // The kind alone decides: a subrange carries its base's kind and so equals it.
        return true;
    }
    return false;
}

} // namespace

bool typesEqual(Type* a, Type* b) {
    // Structural equality over nested arrays, structures, signatures and references,
    // with an explicit list of the pairs still to compare: generated sources nest types
    // deeper than the machine stack would allow. A pair met again (types that refer to
    // themselves through references) is not compared twice; it holds unless another
    // pair fails.
    std::vector<TypePair> pending;
    if (!shallowEqual(a, b, pending)) {
        return false;
    }
    std::set<TypePair> seen;
    while (!pending.empty()) {
        const TypePair pair = pending.back();
        pending.pop_back();
        if (pair.first == pair.second || !seen.insert(pair).second) {
            continue; // one object equals itself
        }
        if (!shallowEqual(pair.first, pair.second, pending)) {
            return false;
        }
    }
    return true;
}

namespace {

// Of the operands that are strings of a capacity (not characters or literals), the one
// with the larger capacity; the first on equal capacity.
template <class StringType>
Type* longerString(Type* a, Type* b) {
    auto* x = dynamic_cast<StringType*>(a);
    auto* y = dynamic_cast<StringType*>(b);
    if (x == nullptr) return y;
    if (y == nullptr) return x;
    return y->capacity() > x->capacity() ? y : x;
}

// An interface combined with a class that implements it, or with an interface related
// to it by extension.
Type* commonInterface(Type* a, Type* b) {
    Type* i = a->isInterface() ? a : b;
    Type* o = i == a ? b : a;
    TypeInterface* interface = i->asInterface();
    if (o->isClass()) {
        return o->asClass()->implements(interface) ? i : nullptr;
    }
    if (!o->isInterface()) {
        return nullptr;
    }
    TypeInterface* other = o->asInterface();
    if (other->derivesFrom(interface)) return i;
    if (interface->derivesFrom(other)) return o;
    return nullptr;
}

// NULL combines with any reference. Otherwise two references, stripped of as many
// levels as both have, combine only when their targets are related classes; the
// result is the common class under as many levels again.
Type* commonPointer(Type* a, Type* b) {
    Type* x = a->asPointer()->target();
    Type* y = b->asPointer()->target();
    if (x == nullptr) return b;
    if (y == nullptr) return a;
    int64_t levels = 1;
    while (x->isPointer() && y->isPointer()) {
        Type* nx = x->asPointer()->target();
        Type* ny = y->asPointer()->target();
        if (nx == nullptr || ny == nullptr) break;
        x = nx;
        y = ny;
        ++levels;
    }
    Type* common = commonType(x, y);
    if (common == nullptr || !common->isClass()) return nullptr;
    for (int64_t i = 0; i < levels; ++i) common = common->pointerTo();
    return common;
}

} // namespace

Type* commonType(Type* a, Type* b) {
    if (typesEqual(a, b)) {
        return a;
    }
    const uint64_t shared = a->conversionMask() & b->conversionMask();
    if (shared == 0) {
        return nullptr;
    }
    const int lowest = std::countr_zero(shared);
    if (lowest >= kTypeKindCount) {
        return nullptr;
    }
    const auto kind = static_cast<TypeKind>(lowest);
    switch (kind) {
    case TypeKind::Usint:
    case TypeKind::Uint:
    case TypeKind::Udint:
    case TypeKind::Ulint:
    case TypeKind::Sint:
    case TypeKind::Int:
    case TypeKind::Dint:
    case TypeKind::Lint:
    case TypeKind::Real:
    case TypeKind::Lreal:
    case TypeKind::Bool:
    case TypeKind::Byte:
    case TypeKind::Word:
    case TypeKind::Dword:
    case TypeKind::Lword:
    case TypeKind::Time:
    case TypeKind::Ltime:
    case TypeKind::Dt:
    case TypeKind::Ldt:
    case TypeKind::Tod:
    case TypeKind::Ltod:
    case TypeKind::Date:
    case TypeKind::Ldate:
    case TypeKind::Char:
    case TypeKind::Wchar:
        // For kind 11 this is "lint", never "<addr>" or "<enumbase>".
        return gElementaryByKind[static_cast<size_t>(lowest)];
    case TypeKind::String:
        return longerString<TypeString>(a, b);
    case TypeKind::Wstring:
        return longerString<TypeWstring>(a, b);
    case TypeKind::Class: {
        // No search for a third, common base class: one must derive from the other.
        TypeClass* x = a->asClass();
        TypeClass* y = b->asClass();
        if (x->derivesFrom(y)) return y;
        if (y->derivesFrom(x)) return x;
        return nullptr;
    }
    case TypeKind::Interface:
        return commonInterface(a, b);
    case TypeKind::Pointer:
        return commonPointer(a, b);
    case TypeKind::Liti:
    case TypeKind::Litr:
    case TypeKind::LitString:
    case TypeKind::LitWstring:
    case TypeKind::Array:
    case TypeKind::Enum:
    case TypeKind::Subrange:
    case TypeKind::Struct:
    case TypeKind::Void:
    case TypeKind::Function:
        return nullptr;
    }
    return nullptr;
}

Type* commonTypeOrFail(Type* a, Type* b) {
    Type* common = commonType(a, b);
    if (common == nullptr)
        failSemantic("Types '%s' and '%s' can not be combined", a->toString().c_str(), b->toString().c_str());
    return common;
}

bool isImplicitlyConvertible(Type* from, Type* to) {
    Type* common = commonType(from, to);
    return common != nullptr && typesEqual(common, to);
}

} // namespace Karsto
