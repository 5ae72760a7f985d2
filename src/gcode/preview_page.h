#pragma once
// The HTML preview page: fixed text around the parts an offline run generates. In order:
// the head (style and script, up to the opening of the vertex array), the vertex lines,
// the text between the two arrays, the line-info lines, the middle (the rest of the
// script and the body up to the opening of the listing panel), the listing, the end.

#include <ostream>
#include <string_view>

namespace Karsto {

std::string_view previewPageHead();
inline constexpr std::string_view kPreviewBetweenArrays = "\t]; /* VERTICES_END */\n\t\n\n\tlineinfo = [\n";
std::string_view previewPageMiddle();
inline constexpr std::string_view kPreviewPageEnd = "</div>\n</body>\n</html>\n";

// The listing as lines of markup, line n with the id "jyxline_<n>": letters and digits
// as they are, a blank as "&nbsp;", a tab as four of them, a carriage return dropped,
// every other byte as a character reference with its unsigned value. Any bytes are
// safe: nothing of the text reaches the page as markup.
void writeListing(std::ostream& out, std::string_view text);

} // namespace Karsto
