#include "platform/TextLines.h"

namespace pelumir {

namespace {

constexpr std::string_view kIdeographicSpace = "\xE3\x80\x80";

size_t BlankAtFront(std::string_view s, Blanks blanks) {
    if (!s.empty() && (s.front() == ' ' || s.front() == '\t')) return 1;
    if (blanks == Blanks::SpaceTabIdeographic && s.starts_with(kIdeographicSpace)) return kIdeographicSpace.size();
    return 0;
}

size_t BlankAtBack(std::string_view s, Blanks blanks) {
    if (!s.empty() && (s.back() == ' ' || s.back() == '\t')) return 1;
    if (blanks == Blanks::SpaceTabIdeographic && s.ends_with(kIdeographicSpace)) return kIdeographicSpace.size();
    return 0;
}

}  // namespace

std::string_view TrimBlanks(std::string_view s, Blanks blanks) {
    while (const size_t n = BlankAtFront(s, blanks)) s.remove_prefix(n);
    while (const size_t n = BlankAtBack(s, blanks)) s.remove_suffix(n);
    return s;
}

std::vector<TextLine> SplitLines(std::string_view bytes) {
    std::vector<TextLine> lines;
    size_t start = 0;
    while (start < bytes.size()) {
        const size_t nl = bytes.find('\n', start);
        if (nl == std::string_view::npos) {
            // A CR that ends the text is the start of a line break, as it
            // would be once a line is added after it: taking it as text
            // would let a later line change this one.
            const bool cr = bytes.back() == '\r';
            lines.push_back({std::string(bytes.substr(start, bytes.size() - start - (cr ? 1 : 0))), cr ? "\r" : ""});
            break;
        }
        const bool cr = nl > start && bytes[nl - 1] == '\r';
        const size_t end = cr ? nl - 1 : nl;
        lines.push_back({std::string(bytes.substr(start, end - start)), cr ? "\r\n" : "\n"});
        start = nl + 1;
    }
    return lines;
}

}  // namespace pelumir
