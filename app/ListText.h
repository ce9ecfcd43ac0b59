#pragma once
// The source list as bytes: lines separated by CR LF, the text may or may not
// end with CR LF. Every function here is linear in the text's length.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Path.h"

namespace pelumir {

// GetLine hands out at most this many bytes of a line.
inline constexpr std::size_t kMaxLineBytes = 4096;

// Lines of the text, not counting a final empty line: "" 0, "a" 1,
// "a\r\n" 1, "a\r\nb" 2, "a\r\n\r\n" 2. Only CR LF separates lines.
int LineCount(std::string_view text);

// Line i (from 0) without its break, cut to kMaxLineBytes; empty past the end.
std::string GetLine(std::string_view text, int i);

// Every line as GetLine gives it, in one pass.
std::vector<std::string> Lines(std::string_view text);

// True when the last line has no CR LF yet, so the next line needs one first.
bool LastLineOpen(std::string_view text);

// The bytes that appending `lines` one by one adds at the end of a text:
// a line goes in as s + CR LF when the text is empty or ends with CR LF,
// otherwise as CR LF + s (and the text then stays without a final CR LF).
std::string AppendedText(bool lastLineOpen, const std::vector<std::string>& lines);

// Appends s to text by the rule above.
void AppendLine(std::string& text, std::string_view s);

// Takes out the names that hold CR or LF: a list line cannot hold one (after
// the next start it would be two broken lines). Returns how many were taken.
std::size_t RemoveNamesWithLineBreaks(std::vector<std::string>& names);

// The text of a list file as the list holds it: CR LF, lone CR and lone LF
// each become CR LF (so LF CR is two breaks) and a NUL byte ends the text.
// The second byte of a double-byte character is never a break: in UTF-8 no
// such byte can look like CR or LF, in Shift-JIS a lead byte takes the next
// byte whatever its value.
std::string NormaliseLineBreaks(std::string_view bytes, CodePage cp = ActiveCodePage());

}  // namespace pelumir
