#pragma once
// Byte-string paths in the locale's encoding. Searches for separators and
// dots walk whole characters, so no byte inside a multi-byte character is
// ever taken for "/" or ".".
#include <cstddef>
#include <string>
#include <string_view>

namespace pelumir {

enum class CodePage { Utf8, ShiftJis };

// The encoding of the user's locale (UTF-8 unless it names Shift-JIS).
CodePage ActiveCodePage();
// Bytes of the character that starts at s[i]; a malformed byte counts as one.
size_t CharLength(std::string_view s, size_t i, CodePage cp);
// Index of the last character of s that is one of the single-byte
// characters in `delimiters`, or npos.
size_t LastDelimiter(std::string_view delimiters, std::string_view s, CodePage cp);

// Everything up to and including the last "/"; empty without one.
std::string ExtractFilePath(std::string_view path, CodePage cp = ActiveCodePage());
// The text after the last "/".
std::string ExtractFileName(std::string_view path, CodePage cp = ActiveCodePage());
// From the last "." after the last "/" to the end; empty when there is none.
std::string ExtractFileExt(std::string_view path, CodePage cp = ActiveCodePage());
// The path with its extension replaced by ext (appended when it has none).
std::string ChangeFileExt(std::string_view path, std::string_view ext, CodePage cp = ActiveCodePage());
// ASCII A-Z lowered, every other byte unchanged.
std::string LowerAscii(std::string_view s);
// Equal once ASCII A-Z are lowered; other bytes must match exactly.
bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b);

}  // namespace pelumir
