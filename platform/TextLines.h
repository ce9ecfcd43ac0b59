#pragma once
// Lines and blanks of small text files (settings, help), bytes as they are.
#include <string>
#include <string_view>
#include <vector>

namespace pelumir {

enum class Blanks {
    SpaceTab,              // ASCII space and tab
    SpaceTabIdeographic,   // also U+3000 in UTF-8, which Japanese text uses for spacing
};

// s without the blanks at its two ends.
std::string_view TrimBlanks(std::string_view s, Blanks blanks = Blanks::SpaceTab);

struct TextLine {
    std::string text;  // without its line break
    std::string eol;   // "\r\n", "\n", "\r" (a CR that ends the text), or "" for a last line without a break
};

// The lines of a text: LF or CR LF end a line; a CR elsewhere is text. A text
// that ends with a break has no empty line after it.
std::vector<TextLine> SplitLines(std::string_view bytes);

}  // namespace pelumir
