// The integer rule against a reference written from the rule's words with
// the standard library, and written numbers read back as themselves.
#include <charconv>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "settings/IntegerText.h"

namespace {

std::optional<int32_t> Reference(std::string_view t) {
    while (!t.empty() && (t.front() == ' ' || t.front() == '\t')) t.remove_prefix(1);
    if (t.empty()) return std::nullopt;
    int base = 10;
    bool negative = false;
    if (t.starts_with("0x") || t.starts_with("0X")) {
        t.remove_prefix(2);
        base = 16;
    } else if (t.front() == '$' || t.front() == 'x' || t.front() == 'X') {
        t.remove_prefix(1);
        base = 16;
    } else if (t.front() == '-' || t.front() == '+') {
        negative = t.front() == '-';
        t.remove_prefix(1);
    }
    // from_chars takes no sign or prefix of its own here; the text must be
    // digits only and all of them.
    if (t.empty() || t.front() == '-' || t.front() == '+') return std::nullopt;
    uint64_t v = 0;
    const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), v, base);
    if (ec != std::errc() || end != t.data() + t.size()) return std::nullopt;
    if (base == 16) {
        if (v > 0xFFFFFFFFu) return std::nullopt;
        return int32_t(uint32_t(v));
    }
    if (negative ? v > 2147483648u : v > 2147483647u) return std::nullopt;
    return int32_t(negative ? -int64_t(v) : int64_t(v));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::optional<int32_t> got = pelumir::ParseInteger(text);
    FUZZ_CHECK(got == Reference(text));
    FUZZ_CHECK(pelumir::StrToIntDef(text, 12345) == got.value_or(12345));
    if (got) FUZZ_CHECK(pelumir::ParseInteger(std::to_string(*got)) == got);
    return 0;
}
