#include "app/ListText.h"

#include <gtest/gtest.h>

using namespace pelumir;
using namespace std::string_literals;

TEST(ListText, LinesAreSeparatedByCrLfOnly) {
    EXPECT_EQ(LineCount(""), 0);
    EXPECT_EQ(LineCount("a"), 1);
    EXPECT_EQ(LineCount("a\r\n"), 1);
    EXPECT_EQ(LineCount("a\r\nb"), 2);
    EXPECT_EQ(LineCount("a\r\n\r\n"), 2);
    EXPECT_EQ(LineCount("a\rb\nc"), 1);

    const std::string text = "first\r\n\r\nthird\rstill\r\n" + std::string(5000, 'x') + "\r\nlast";
    const std::vector<std::string> lines = Lines(text);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[2], "third\rstill");
    EXPECT_EQ(lines[3], std::string(kMaxLineBytes, 'x'));  // cut, without eating the next line
    for (int i = 0; i < 5; ++i) EXPECT_EQ(GetLine(text, i), lines[std::size_t(i)]) << i;
    EXPECT_EQ(GetLine(text, 5), "");
    EXPECT_EQ(GetLine(text, -1), "");
}

TEST(ListText, AppendLineFollowsTheFinalBreak) {
    std::string text;
    AppendLine(text, "a");
    EXPECT_EQ(text, "a\r\n");
    // A last line typed without Enter: the break goes first, none at the end.
    text = "typed";
    AppendLine(text, "c");
    AppendLine(text, "d");
    EXPECT_EQ(text, "typed\r\nc\r\nd");

    // A batch gives what appending one by one gives, empty lines included.
    const std::vector<std::string> names = {"/x/a.jpg", "", "/y/", "ends\r\n", "", "\n", "\r"};
    for (const std::string& start : {""s, "z\r\n"s, "z"s, "z\r"s}) {
        std::string oneByOne = start;
        for (const auto& name : names) AppendLine(oneByOne, name);
        EXPECT_EQ(start + AppendedText(LastLineOpen(start), names), oneByOne) << start;
    }
}

TEST(ListText, ReadingTurnsEveryBreakIntoCrLfAndStopsAtNul) {
    EXPECT_EQ(NormaliseLineBreaks("a\r\nb\rc\nd\r"), "a\r\nb\r\nc\r\nd\r\n");
    // LF CR is two breaks, with an empty line between them.
    EXPECT_EQ(NormaliseLineBreaks("a\n\rb"), "a\r\n\r\nb");
    EXPECT_EQ(NormaliseLineBreaks("a\n\r\nb"), "a\r\n\r\nb");
    EXPECT_EQ(NormaliseLineBreaks("a\nb\0c\nd"s), "a\r\nb");
    std::string others;
    for (int c = 1; c < 256; ++c)
        if (c != '\r' && c != '\n') others += char(c);
    EXPECT_EQ(NormaliseLineBreaks(others), others);
}

TEST(ListText, ShiftJisTrailBytesAreNeverBreaks) {
    // "画像" (89 E6 91 9C) and "表" (95 5C) in Shift-JIS, with an LF break.
    const std::string sjis = "C:\\\x89\xE6\x91\x9C\\\x95\x5C.jpg\nD:\\x";
    EXPECT_EQ(NormaliseLineBreaks(sjis, CodePage::ShiftJis), "C:\\\x89\xE6\x91\x9C\\\x95\x5C.jpg\r\nD:\\x");
    // A lead byte takes the next byte whatever it is; UTF-8 has no such pairs.
    EXPECT_EQ(NormaliseLineBreaks("\x81\nx\x81", CodePage::ShiftJis), "\x81\nx\x81");
    EXPECT_EQ(NormaliseLineBreaks("\x81\nx", CodePage::Utf8), "\x81\r\nx");
    EXPECT_EQ(NormaliseLineBreaks("\x81\0x"s, CodePage::ShiftJis), "\x81");
}
