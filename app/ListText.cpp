#include "app/ListText.h"

#include <algorithm>

namespace pelumir {

namespace {

constexpr std::string_view kBreak = "\r\n";

// Calls f(line) for every line of text, the final empty line not included.
template <typename F>
void ForEachLine(std::string_view text, F&& f) {
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t br = text.find(kBreak, start);
        if (br == std::string_view::npos) {
            f(text.substr(start));
            return;
        }
        f(text.substr(start, br - start));
        start = br + kBreak.size();
    }
}

std::string Cut(std::string_view line) {
    return std::string(line.substr(0, std::min(line.size(), kMaxLineBytes)));
}

}  // namespace

int LineCount(std::string_view text) {
    int count = 0;
    ForEachLine(text, [&](std::string_view) { ++count; });
    return count;
}

std::string GetLine(std::string_view text, int i) {
    if (i < 0) return {};
    int n = 0;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t br = text.find(kBreak, start);
        if (br == std::string_view::npos) br = text.size();
        if (n == i) return Cut(text.substr(start, br - start));
        ++n;
        start = br + kBreak.size();
    }
    return {};
}

std::vector<std::string> Lines(std::string_view text) {
    std::vector<std::string> lines;
    ForEachLine(text, [&](std::string_view line) { lines.push_back(Cut(line)); });
    return lines;
}

bool LastLineOpen(std::string_view text) {
    return !text.empty() && !text.ends_with(kBreak);
}

std::string AppendedText(bool lastLineOpen, const std::vector<std::string>& lines) {
    std::size_t size = 0;
    for (const auto& s : lines) size += s.size() + kBreak.size();
    std::string out;
    out.reserve(size);
    for (const auto& s : lines) {
        if (lastLineOpen) {
            out += kBreak;
            out += s;
            // An empty line (or one ending in CR LF) closes the text again.
            lastLineOpen = LastLineOpen(out);
        } else {
            out += s;
            out += kBreak;
        }
    }
    return out;
}

void AppendLine(std::string& text, std::string_view s) {
    if (LastLineOpen(text)) {
        text += kBreak;
        text += s;
    } else {
        text += s;
        text += kBreak;
    }
}

std::string NormaliseLineBreaks(std::string_view bytes, CodePage cp) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 8);
    const std::size_t n = bytes.size();
    for (std::size_t i = 0; i < n;) {
        const char c = bytes[i];
        if (c == '\0') break;
        if (c == '\r' || c == '\n') {
            i += (c == '\r' && i + 1 < n && bytes[i + 1] == '\n') ? 2 : 1;
            out += kBreak;
            continue;
        }
        std::size_t len = CharLength(bytes, i, cp);
        // A NUL ends the text even where it would be a lead byte's partner.
        if (len > 1 && bytes.substr(i, len).find('\0') != std::string_view::npos) len = 1;
        out.append(bytes.substr(i, len));
        i += len;
    }
    return out;
}

std::size_t RemoveNamesWithLineBreaks(std::vector<std::string>& names) {
    const auto kept = std::remove_if(names.begin(), names.end(), [](const std::string& name) {
        return name.find_first_of("\r\n") != std::string::npos;
    });
    const auto removed = std::size_t(names.end() - kept);
    names.erase(kept, names.end());
    return removed;
}

}  // namespace pelumir
