#include "core/type_walk.h"

#include <variant>
#include <vector>

#include "core/emitters.h"
#include "core/type_array.h"
#include "core/type_function.h"
#include "core/type_pointer.h"
#include "core/type_scif.h"
#include "core/type_subrange.h"
#include "core/variable.h"

namespace Karsto {

namespace {

// Structures only: classes and interfaces are leaves with their own layout.
const TypeStruct* asPlainStruct(const Type* type) {
    return type->isStruct() ? static_cast<const TypeStruct*>(type) : nullptr;
}

const TypeArray* asArrayType(const Type* type) {
    return type->isArray() ? static_cast<const TypeArray*>(type) : nullptr;
}

} // namespace

int64_t typeSize(const Type* type) {
    // The size is the sum over the leaves of leaf size times the product of the element
    // counts of the arrays above it: no order is needed, only a multiplier per part.
    // Unsigned arithmetic: absurd sizes wrap instead of overflowing.
    struct Part {
        const Type* type;
        uint64_t multiplier;
    };
    std::vector<Part> pending{{type, 1}};
    uint64_t total = 0;
    while (!pending.empty()) {
        const Part part = pending.back();
        pending.pop_back();
        if (const TypeArray* array = asArrayType(part.type)) {
            pending.push_back(
                {array->elementType(), part.multiplier * static_cast<uint64_t>(array->elementCount())});
        } else if (const TypeStruct* structure = asPlainStruct(part.type)) {
            for (const StructMember& member : structure->members())
                pending.push_back({member.type, part.multiplier});
        } else {
            total += part.multiplier * static_cast<uint64_t>(part.type->size());
        }
    }
    return static_cast<int64_t>(total);
}

std::string typeText(const Type* type) {
    // A stack of pieces still to write, the next one on top: literal text, or a type
    // whose text goes there.
    using Piece = std::variant<std::string, const Type*>;
    std::vector<Piece> pending{type};
    std::string text;
    std::vector<Piece> parts; // one type's pieces in writing order
    while (!pending.empty()) {
        Piece piece = std::move(pending.back());
        pending.pop_back();
        if (auto* literal = std::get_if<std::string>(&piece)) {
            text += *literal;
            continue;
        }
        const Type* t = std::get<const Type*>(piece);
        parts.clear();
        if (const TypeArray* array = asArrayType(t)) {
            std::string head = "Array [";
            for (size_t i = 0; i < array->dimensions().size(); ++i) {
                const ArrayDimension& d = array->dimensions()[i];
                if (i > 0) head += ",";
                head += std::to_string(d.lower) + ".." + std::to_string(d.upper);
            }
            parts.emplace_back(head + "] of ");
            parts.emplace_back(array->elementType());
        } else if (const TypeStruct* structure = asPlainStruct(t)) {
            parts.emplace_back(std::string("Struct ("));
            for (size_t i = 0; i < structure->members().size(); ++i) {
                const StructMember& member = structure->members()[i];
                parts.emplace_back((i > 0 ? "; " : "") + member.name + ":");
                parts.emplace_back(member.type);
            }
            parts.emplace_back(std::string(")"));
        } else if (t->isPointer()) {
            const Type* target = static_cast<const TypePointer*>(t)->target();
            if (target == nullptr) {
                parts.emplace_back(std::string("NullPointer"));
            } else {
                parts.emplace_back(std::string("ref_to "));
                parts.emplace_back(target);
            }
        } else if (t->isFunction()) {
            const auto* function = static_cast<const TypeFunction*>(t);
            parts.emplace_back(std::string("Function  ("));
            for (size_t i = 0; i < function->parameters().size(); ++i) {
                Variable* parameter = function->parameters()[i];
                parts.emplace_back((i > 0 ? " x " : "") + parameter->name() + ":");
                parts.emplace_back(parameter->type());
            }
            parts.emplace_back(std::string(" -> "));
            parts.emplace_back(function->returnType());
            parts.emplace_back(std::string(")"));
        } else if (t->isSubrange()) {
            const auto* subrange = static_cast<const TypeSubrange*>(t);
            parts.emplace_back(std::string("subrange "));
            parts.emplace_back(subrange->baseType());
            parts.emplace_back("(" + std::to_string(subrange->lower()) + ".." +
                               std::to_string(subrange->upper()) + ")");
        } else {
            text += t->toString();
            continue;
        }
        for (auto it = parts.rbegin(); it != parts.rend(); ++it) pending.push_back(std::move(*it));
    }
    return text;
}

Code typeDefaultValue(const Type* type) {
    // Post-order: a type to expand, or a step that combines the values its parts left on
    // the value stack. A part with an initializer of its own is not expanded: its
    // initial value is that initializer.
    struct Step {
        enum class Kind { expand, repeat, join } kind;
        const Type* type = nullptr;
        int64_t count = 0; // repeat: elements; join: members
    };
    std::vector<Step> pending{{Step::Kind::expand, type, 0}};
    std::vector<Code> values;
    bool root = true; // the type itself gives its default, never its initializer
    while (!pending.empty()) {
        const Step step = pending.back();
        pending.pop_back();
        switch (step.kind) {
        case Step::Kind::repeat: {
            Code element = std::move(values.back());
            values.back() = repeatCode(element, step.count);
            break;
        }
        case Step::Kind::join: {
            const size_t first = values.size() - static_cast<size_t>(step.count);
            Code joined;
            for (size_t i = first; i < values.size(); ++i) joined = joined.concat(values[i]);
            values.resize(first);
            values.push_back(std::move(joined));
            break;
        }
        case Step::Kind::expand: {
            const Type* t = step.type;
            const bool useInitializer = !root && t->hasInitializer();
            root = false;
            if (useInitializer) {
                values.push_back(t->initialValue());
            } else if (const TypeArray* array = asArrayType(t)) {
                pending.push_back({Step::Kind::repeat, nullptr, array->elementCount()});
                pending.push_back({Step::Kind::expand, array->elementType(), 0});
            } else if (const TypeStruct* structure = asPlainStruct(t)) {
                const auto& members = structure->members();
                pending.push_back(
                    {Step::Kind::join, nullptr, static_cast<int64_t>(members.size())});
                for (auto it = members.rbegin(); it != members.rend(); ++it)
                    pending.push_back({Step::Kind::expand, it->type, 0});
            } else {
                values.push_back(t->initialValue());
            }
            break;
        }
        }
    }
    return values.empty() ? Code() : values.back();
}

} // namespace Karsto
