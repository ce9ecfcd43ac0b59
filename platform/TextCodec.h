#pragma once
// The list's bytes (locale encoding, UTF-8 here; CR LF lines) as the edit box
// holds them ("\n" lines), and back, without losing a byte. A Shift-JIS list
// or a stray Latin-1 byte must come back exactly as it was read, so bytes
// that are not UTF-8 travel through the box as private-use characters.
#include <QString>
#include <QStringView>
#include <string>
#include <string_view>

namespace pelumir {

// Byte b is carried as U+EF00 + b. The edit box keeps these characters as
// they are through setting, typing elsewhere and copy and paste.
inline constexpr char16_t kByteEscapeFirst = 0xEF00;
inline constexpr char16_t kByteEscapeLast = 0xEFFF;

// Valid UTF-8 decodes as usual, CR LF becomes "\n". Each other byte becomes
// its escape: bytes that are not UTF-8, NUL, a CR or LF that is not part of
// CR LF, and the bytes of characters the box would not keep as they are
// (U+2028 and U+2029, which it shows as breaks; U+FDD0 and U+FDD1, which it
// turns into breaks; the escape range itself).
QString ListBytesToText(std::string_view bytes);

// "\n" and U+2029 (the box's own paragraph separator) become CR LF, escapes
// their bytes, everything else UTF-8; a lone surrogate becomes U+FFFD.
// ListTextToBytes(ListBytesToText(b)) == b for every byte string b.
std::string ListTextToBytes(QStringView text);

}  // namespace pelumir
