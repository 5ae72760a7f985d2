#include "core/shared_string.h"

#include <ostream>

namespace Karsto {

const std::string& SharedString::emptyText() {
    static const std::string empty;
    return empty;
}

void SharedString::destroy(Block* block) { delete block; }

std::ostream& operator<<(std::ostream& out, const SharedString& text) { return out << text.str(); }

} // namespace Karsto
