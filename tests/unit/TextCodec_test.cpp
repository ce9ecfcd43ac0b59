#include "platform/TextCodec.h"

#include <gtest/gtest.h>

#include <random>

using namespace pelumir;
using namespace std::string_literals;

namespace {
QString Escapes(const std::string& bytes) {
    QString s;
    for (unsigned char b : bytes) s += QChar(char16_t(kByteEscapeFirst + b));
    return s;
}
}  // namespace

TEST(TextCodec, TextDecodesAsTextAndEverythingElseAsEscapes) {
    EXPECT_EQ(ListBytesToText("/写真/a.jpg\r\ncaf\xC3\xA9\xC2\xA0"), QStringLiteral("/写真/a.jpg\ncafé\u00A0"));
    EXPECT_EQ(ListBytesToText("\xF0\x9F\x93\xB7"), QString::fromUtf8("\xF0\x9F\x93\xB7"));
    EXPECT_EQ(ListTextToBytes(u"a\nb\u2029c"), "a\r\nb\r\nc");
    EXPECT_EQ(ListTextToBytes(u"a\xD800"), "a\xEF\xBF\xBD");  // a lone surrogate has no bytes

    // Latin-1, Shift-JIS, an overlong form, an encoded surrogate, past
    // U+10FFFF, a cut sequence; lone CR, LF and NUL; characters the box
    // would show as or turn into breaks; the escape range itself.
    for (const std::string& bytes : {"\xE9"s, "\x89\xE6"s, "\xC0\xAF"s, "\xED\xA0\x80"s, "\xF4\x90\x80\x80"s,
                                     "\xE3\x81"s, "\r"s, "\n"s, "\0"s, "\xE2\x80\xA8"s, "\xE2\x80\xA9"s,
                                     "\xEF\xB7\x90"s, "\xEE\xBD\x81"s}) {
        EXPECT_EQ(ListBytesToText("a" + bytes), "a" + Escapes(bytes)) << bytes;
    }
}

TEST(TextCodec, EveryByteStringRoundTripsExactly) {
    // Bytes drawn mostly from the troublesome ones: breaks, NUL, lead and
    // trail bytes, the start of the escape range's encoding.
    const std::string pool = "\r\n\0a/\xC2\xA0\xE2\x80\xA8\xA9\xEE\xBC\xEF\xB7\x90\xF0\x9F\xF4\x8F\xBF\xED\xFF\x81\x5C"s;
    std::mt19937 rng(12345);
    for (int round = 0; round < 3000; ++round) {
        std::string bytes;
        for (std::size_t k = rng() % 64; k > 0; --k)
            bytes += (rng() % 4 == 0) ? char(rng() % 256) : pool[rng() % pool.size()];
        ASSERT_EQ(ListTextToBytes(ListBytesToText(bytes)), bytes) << "round " << round;
    }
}
