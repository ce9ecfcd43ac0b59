#include <gtest/gtest.h>

#include "platform/Path.h"

using namespace pelumir;

TEST(Path, ExtensionIsTakenAfterTheLastSeparatorOnly) {
    EXPECT_EQ(ExtractFileExt("photo.JPG"), ".JPG");
    EXPECT_EQ(ExtractFileExt("archive.tar.jpg"), ".jpg");
    EXPECT_EQ(ExtractFileExt("photo.jpg.txt"), ".txt");
    EXPECT_EQ(ExtractFileExt("dir.jpg/file"), "");
    EXPECT_EQ(ExtractFileExt("noext"), "");
    EXPECT_EQ(ExtractFileExt("/a/b.c/"), "");
    EXPECT_EQ(ExtractFileExt("/pics/.hidden"), ".hidden");
    // ":" is an ordinary character here.
    EXPECT_EQ(ExtractFileExt("a.b:c"), ".b:c");
}

TEST(Path, FolderAndNameSplitAtTheLastSeparator) {
    EXPECT_EQ(ExtractFilePath("/opt/pelumir/pelumir"), "/opt/pelumir/");
    EXPECT_EQ(ExtractFilePath("photo.jpg"), "");
    EXPECT_EQ(ExtractFilePath("/"), "/");
    EXPECT_EQ(ExtractFileName("/pics//a.jpg"), "a.jpg");
    EXPECT_EQ(ExtractFileName("a.jpg"), "a.jpg");
}

TEST(Path, MultiByteCharactersAreNeverSplit) {
    // Shift-JIS "表" is 0x95 0x5C: its second byte has the code of a backslash,
    // and "ソ" (0x83 0x5C) likewise; lead bytes 0x81..0x9F, 0xE0..0xFC.
    const std::string sjis = "\x95\x5C\x2E\x83\x2F";  // 表 . then a lead byte swallowing "/"
    EXPECT_EQ(LastDelimiter("\\", sjis, CodePage::ShiftJis), std::string::npos);
    EXPECT_EQ(LastDelimiter(".", sjis, CodePage::ShiftJis), 2u);
    EXPECT_EQ(LastDelimiter("/", sjis, CodePage::ShiftJis), std::string::npos);
    EXPECT_EQ(LastDelimiter("/", sjis, CodePage::Utf8), 4u);
    EXPECT_EQ(ExtractFileExt("\x95\x5C.jpg", CodePage::ShiftJis), ".jpg");

    const std::string utf8 = "写真/画像.jpg";
    EXPECT_EQ(ExtractFileExt(utf8, CodePage::Utf8), ".jpg");
    EXPECT_EQ(ExtractFileName(utf8, CodePage::Utf8), "画像.jpg");
    EXPECT_EQ(CharLength("画", 0, CodePage::Utf8), 3u);
    // A truncated or malformed sequence counts byte by byte.
    EXPECT_EQ(CharLength("\xE7\x94", 0, CodePage::Utf8), 1u);
    EXPECT_EQ(CharLength("\xE7/", 0, CodePage::Utf8), 1u);
    EXPECT_EQ(ExtractFileName("\xE7/a", CodePage::Utf8), "a");
}

TEST(Path, LowerAsciiTouchesOnlyAtoZ) {
    EXPECT_EQ(LowerAscii(".JPG"), ".jpg");
    EXPECT_EQ(LowerAscii("\xC3\x89.BMP"), "\xC3\x89.bmp");
    EXPECT_TRUE(EqualsIgnoringAsciiCase("Grobal", "gROBAL"));
    // Only letters fold: "@" and "[" are not "`" and "{", and bytes past ASCII never fold.
    EXPECT_FALSE(EqualsIgnoringAsciiCase("a@[", "a`{"));
    EXPECT_FALSE(EqualsIgnoringAsciiCase("\xC3\x89", "\xC3\xA9"));
    EXPECT_FALSE(EqualsIgnoringAsciiCase("Time", "Times"));
}
