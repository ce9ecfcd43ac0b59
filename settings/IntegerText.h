#pragma once
// Integer text as the settings file and the preferences dialog read it:
// decimal with an optional sign, or hexadecimal after "$", "x", "X", "0x" or
// "0X"; leading blanks skipped, nothing allowed after the digits.
#include <cstdint>
#include <optional>
#include <string_view>

namespace pelumir {

// The value of text, or nothing when text is not an integer of 32 bits.
// Decimal must lie in the signed range; hexadecimal may use all 32 bits and
// is taken as signed ("$FFFFFFFF" is -1).
std::optional<int32_t> ParseInteger(std::string_view text);

// ParseInteger(text), or def when the text does not parse (empty text included).
int32_t StrToIntDef(std::string_view text, int32_t def);

}  // namespace pelumir
