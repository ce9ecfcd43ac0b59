#include "platform/TextCodec.h"

#include <gtest/gtest.h>

#include <random>

using namespace pelumir;
using namespace std::string_literals;

namespace {

QString Escaped(unsigned char b) { return QString(QChar(char16_t(kByteEscapeFirst + b))); }

}  // namespace

TEST(TextCodec, Utf8AndCrLfDecodeAsText) {
    EXPECT_EQ(ListBytesToText("/写真/a.jpg\r\nb"), QStringLiteral("/写真/a.jpg\nb"));
    EXPECT_EQ(ListBytesToText("caf\xC3\xA9\xC2\xA0"), QStringLiteral("café\u00A0"));
    // A character outside the BMP becomes a surrogate pair and comes back whole.
    const std::string emoji = "\xF0\x9F\x93\xB7";
    EXPECT_EQ(ListBytesToText(emoji), QString::fromUtf8(emoji.c_str()));
    EXPECT_EQ(ListTextToBytes(ListBytesToText(emoji)), emoji);
    EXPECT_EQ(ListTextToBytes(u"a\nb\u2029c"), "a\r\nb\r\nc");
}

TEST(TextCodec, BytesThatAreNotTextBecomeEscapes) {
    // Latin-1 é, a Shift-JIS "画" (0x89 0xE6: a valid lead, an invalid trail).
    EXPECT_EQ(ListBytesToText("caf\xE9"), "caf" + Escaped(0xE9));
    EXPECT_EQ(ListBytesToText("\x89\xE6"), Escaped(0x89) + Escaped(0xE6));
    // Overlong form, an encoded surrogate, past U+10FFFF, a cut sequence.
    for (const std::string& bad : {"\xC0\xAF"s, "\xED\xA0\x80"s, "\xF4\x90\x80\x80"s, "\xE3\x81"s}) {
        const QString text = ListBytesToText(bad);
        ASSERT_EQ(text.size(), qsizetype(bad.size())) << bad;
        for (qsizetype k = 0; k < text.size(); ++k) EXPECT_EQ(text[k], Escaped(bad[k])[0]);
    }
    // Breaks that are not CR LF, and NUL, keep their bytes.
    EXPECT_EQ(ListBytesToText("a\rb\nc"s + '\0'), "a" + Escaped('\r') + "b" + Escaped('\n') + "c" + Escaped(0));
    // Characters the edit box would turn into or show as breaks, and the
    // escape range itself, are carried byte by byte.
    for (const std::string& kept : {"\xE2\x80\xA8"s, "\xE2\x80\xA9"s, "\xEF\xB7\x90"s, "\xEE\xBD\x81"s}) {
        EXPECT_EQ(ListBytesToText(kept), Escaped(kept[0]) + Escaped(kept[1]) + Escaped(kept[2])) << kept;
    }
}

TEST(TextCodec, OnlyLoneSurrogatesAreNotKept) {
    EXPECT_EQ(ListTextToBytes(QStringView(u"a\xD800z")), "a\xEF\xBF\xBDz");
    EXPECT_EQ(ListTextToBytes(QStringView(u"\xDC00")), "\xEF\xBF\xBD");
}

TEST(TextCodec, EveryByteStringRoundTripsExactly) {
    // Bytes drawn mostly from the troublesome ones: breaks, NUL, lead and
    // trail bytes, the start of the escape range's encoding.
    const std::string pool = "\r\n\0a/\xC2\xA0\xE2\x80\xA8\xA9\xEE\xBC\xEF\xB7\x90\xF0\x9F\xF4\x8F\xBF\xED\xFF\x81\x5C"s;
    std::mt19937 rng(12345);
    for (int round = 0; round < 3000; ++round) {
        const std::size_t length = rng() % 64;
        std::string bytes;
        for (std::size_t k = 0; k < length; ++k)
            bytes += (rng() % 4 == 0) ? char(rng() % 256) : pool[rng() % pool.size()];
        ASSERT_EQ(ListTextToBytes(ListBytesToText(bytes)), bytes) << "round " << round;
    }
    std::string all;
    for (int c = 0; c < 256; ++c) all += char(c);
    EXPECT_EQ(ListTextToBytes(ListBytesToText(all)), all);
    EXPECT_EQ(ListTextToBytes(ListBytesToText("")), "");
}
