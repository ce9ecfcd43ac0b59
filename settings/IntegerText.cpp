#include "settings/IntegerText.h"

namespace pelumir {

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool IsDecimalDigit(char c) { return c >= '0' && c <= '9'; }

std::optional<int32_t> ParseHex(std::string_view digits) {
    if (digits.empty()) return std::nullopt;
    uint32_t value = 0;
    for (char c : digits) {
        const int d = HexDigit(c);
        if (d < 0 || value > 0x0FFFFFFFu) return std::nullopt;
        value = value << 4 | static_cast<uint32_t>(d);
    }
    return static_cast<int32_t>(value);
}

std::optional<int32_t> ParseDecimal(std::string_view digits, bool negative) {
    if (digits.empty()) return std::nullopt;
    // One past INT32_MAX is still fine when negative.
    const int64_t limit = negative ? 2147483648LL : 2147483647LL;
    int64_t value = 0;
    for (char c : digits) {
        if (!IsDecimalDigit(c)) return std::nullopt;
        value = value * 10 + (c - '0');
        if (value > limit) return std::nullopt;
    }
    return static_cast<int32_t>(negative ? -value : value);
}

}  // namespace

std::optional<int32_t> ParseInteger(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    const std::string_view rest = text.substr(i);
    if (rest.empty()) return std::nullopt;

    const char first = rest[0];
    if (first == '$' || first == 'x' || first == 'X') return ParseHex(rest.substr(1));
    if (rest.size() > 1 && first == '0' && (rest[1] == 'x' || rest[1] == 'X')) return ParseHex(rest.substr(2));
    if (first == '-' || first == '+') return ParseDecimal(rest.substr(1), first == '-');
    return ParseDecimal(rest, false);
}

int32_t StrToIntDef(std::string_view text, int32_t def) { return ParseInteger(text).value_or(def); }

}  // namespace pelumir
