#include "platform/Path.h"

#include <langinfo.h>

#include <cstring>

namespace pelumir {

CodePage ActiveCodePage() {
    const char* codeset = nl_langinfo(CODESET);
    if (codeset != nullptr) {
        for (const char* name : {"SHIFT_JIS", "SHIFT-JIS", "SJIS", "CP932", "WINDOWS-31J"})
            if (strcasecmp(codeset, name) == 0) return CodePage::ShiftJis;
    }
    return CodePage::Utf8;
}

size_t CharLength(std::string_view s, size_t i, CodePage cp) {
    const auto b = static_cast<unsigned char>(s[i]);
    const size_t left = s.size() - i;
    if (cp == CodePage::ShiftJis) {
        const bool lead = (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
        return lead && left >= 2 ? 2 : 1;
    }
    size_t n = 1;
    if (b >= 0xC2 && b <= 0xDF) n = 2;
    else if (b >= 0xE0 && b <= 0xEF) n = 3;
    else if (b >= 0xF0 && b <= 0xF4) n = 4;
    if (n > left) return 1;
    for (size_t k = 1; k < n; ++k)
        if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return 1;
    return n;
}

size_t LastDelimiter(std::string_view delimiters, std::string_view s, CodePage cp) {
    size_t found = std::string_view::npos;
    for (size_t i = 0; i < s.size();) {
        const size_t n = CharLength(s, i, cp);
        if (n == 1 && delimiters.find(s[i]) != std::string_view::npos) found = i;
        i += n;
    }
    return found;
}

std::string ExtractFilePath(std::string_view path, CodePage cp) {
    const size_t i = LastDelimiter("/", path, cp);
    return i == std::string_view::npos ? std::string() : std::string(path.substr(0, i + 1));
}

std::string ExtractFileName(std::string_view path, CodePage cp) {
    const size_t i = LastDelimiter("/", path, cp);
    return std::string(i == std::string_view::npos ? path : path.substr(i + 1));
}

std::string ExtractFileExt(std::string_view path, CodePage cp) {
    const size_t i = LastDelimiter("/.", path, cp);
    if (i == std::string_view::npos || path[i] != '.') return {};
    return std::string(path.substr(i));
}

std::string ChangeFileExt(std::string_view path, std::string_view ext, CodePage cp) {
    const size_t i = LastDelimiter("/.", path, cp);
    std::string result(i != std::string_view::npos && path[i] == '.' ? path.substr(0, i) : path);
    result += ext;
    return result;
}

namespace {

char LowerAsciiChar(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

}  // namespace

std::string LowerAscii(std::string_view s) {
    std::string r(s);
    for (char& c : r) c = LowerAsciiChar(c);
    return r;
}

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (LowerAsciiChar(a[i]) != LowerAsciiChar(b[i])) return false;
    return true;
}

}  // namespace pelumir
