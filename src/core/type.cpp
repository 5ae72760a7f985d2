#include "core/type.h"

#include <array>
#include <bit>
#include <type_traits>
#include <utility>

#include "core/cmd_const.h"
#include "core/exception.h"

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

Type::~Type() = default;

#define KARSTO_TYPE_CAST(family, message)                 \
    Type##family* Type::as##family() {                    \
        checkSemantic(false, message, toString().c_str()); \
        return nullptr;                                   \
    }
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

Code TypeSimple::defaultValue() const { return defaultCode_; }

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

bool typesEqual(Type* a, Type* b) {
    if (a->kind() != b->kind()) {
        return false;
    }
    switch (a->kind()) {
    case TypeKind::Enum:
    case TypeKind::Class:
    case TypeKind::Interface:
        // Separately declared enumerations, classes and interfaces never equal each
        // other, however alike their definitions are.
        return a == b;
    case TypeKind::String:
    case TypeKind::Wstring:
    case TypeKind::Array:
    case TypeKind::Struct:
    case TypeKind::Function:
    case TypeKind::Pointer:
        // TODO(#9): compare capacities, dimensions, members, parameters and targets once
        // the composite types exist; until then only the object itself is known equal.
        return a == b;
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
    case TypeKind::Wstring:
    case TypeKind::Class:
    case TypeKind::Interface:
    case TypeKind::Pointer:
        // TODO(#9): strings by capacity, classes and interfaces by derivation, pointers
        // to related classes, once the composite types exist.
        return nullptr;
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
    if (common == nullptr) {
        checkSemantic(false, "Types '%s' and '%s' can not be combined", a->toString().c_str(),
                      b->toString().c_str());
    }
    return common;
}

bool isImplicitlyConvertible(Type* from, Type* to) {
    Type* common = commonType(from, to);
    return common != nullptr && typesEqual(common, to);
}

} // namespace Karsto
