#include "app/ListText.h"

#include <gtest/gtest.h>

using namespace pelumir;
using namespace std::string_literals;

TEST(ListText, LineCountIgnoresOnlyTheFinalEmptyLine) {
    EXPECT_EQ(LineCount(""), 0);
    EXPECT_EQ(LineCount("a"), 1);
    EXPECT_EQ(LineCount("a\r\n"), 1);
    EXPECT_EQ(LineCount("a\r\nb"), 2);
    EXPECT_EQ(LineCount("a\r\n\r\n"), 2);
    EXPECT_EQ(LineCount("\r\n"), 1);
    // Only CR LF separates lines; a lone CR or LF is part of its line.
    EXPECT_EQ(LineCount("a\rb\nc"), 1);
    EXPECT_EQ(LineCount("a\r\r\nb"), 2);
}

TEST(ListText, GetLineAndLinesAgree) {
    const std::string text = "first\r\n\r\nthird\rstill third\r\nlast";
    const std::vector<std::string> lines = Lines(text);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[1], "");
    EXPECT_EQ(lines[2], "third\rstill third");
    for (int i = 0; i < 4; ++i) EXPECT_EQ(GetLine(text, i), lines[std::size_t(i)]) << i;
    EXPECT_EQ(GetLine(text, 4), "");
    EXPECT_EQ(GetLine(text, -1), "");
    EXPECT_TRUE(Lines("").empty());
    EXPECT_EQ(Lines("a\r\n\r\n"), (std::vector<std::string>{"a", ""}));
}

TEST(ListText, LongLinesAreCutToTheirFirst4096Bytes) {
    const std::string longLine(5000, 'x');
    const std::string text = "a\r\n" + longLine + "\r\nb";
    EXPECT_EQ(GetLine(text, 1), std::string(kMaxLineBytes, 'x'));
    EXPECT_EQ(Lines(text)[1].size(), kMaxLineBytes);
    // The cut line does not swallow the next one.
    EXPECT_EQ(GetLine(text, 2), "b");
}

TEST(ListText, AppendLineFollowsTheFinalBreak) {
    std::string text;
    AppendLine(text, "a");
    EXPECT_EQ(text, "a\r\n");
    AppendLine(text, "b");
    EXPECT_EQ(text, "a\r\nb\r\n");

    // A last line typed without Enter: the break goes first and the text
    // stays without a final break.
    text = "typed";
    AppendLine(text, "c");
    EXPECT_EQ(text, "typed\r\nc");
    AppendLine(text, "d");
    EXPECT_EQ(text, "typed\r\nc\r\nd");
    EXPECT_EQ(LineCount(text), 3);

    text = "";
    AppendLine(text, "");
    EXPECT_EQ(text, "\r\n");
    EXPECT_EQ(LineCount(text), 1);
}

TEST(ListText, AppendedTextEqualsAppendingOneByOne) {
    const std::vector<std::string> names = {"/x/a.jpg", "", "/y/", "b c.bmp", "ends\r\n", "", "\n", "\r"};
    for (const std::string& start : {""s, "z\r\n"s, "z"s, "z\r"s}) {
        std::string oneByOne = start;
        for (const auto& name : names) AppendLine(oneByOne, name);
        EXPECT_EQ(start + AppendedText(LastLineOpen(start), names), oneByOne) << start;
    }
}

TEST(ListText, ReadingTurnsEveryBreakFormIntoCrLf) {
    EXPECT_EQ(NormaliseLineBreaks("a\r\nb\rc\nd"), "a\r\nb\r\nc\r\nd");
    // LF CR is two breaks, with an empty line between them.
    EXPECT_EQ(NormaliseLineBreaks("a\n\rb"), "a\r\n\r\nb");
    EXPECT_EQ(NormaliseLineBreaks("a\n\r\nb"), "a\r\n\r\nb");
    EXPECT_EQ(NormaliseLineBreaks("\r\r\n\n"), "\r\n\r\n\r\n");
    EXPECT_EQ(NormaliseLineBreaks("a\r"), "a\r\n");
    EXPECT_EQ(NormaliseLineBreaks(""), "");
}

TEST(ListText, ReadingStopsAtNul) {
    EXPECT_EQ(NormaliseLineBreaks("a\nb\0c\nd"s), "a\r\nb");
    EXPECT_EQ(NormaliseLineBreaks("\0abc"s), "");
    EXPECT_EQ(NormaliseLineBreaks("\x81\0x"s, ListEncoding::ShiftJis), "\x81");
}

TEST(ListText, ReadingKeepsEveryOtherByte) {
    std::string bytes;
    for (int c = 1; c < 256; ++c)
        if (c != '\r' && c != '\n') bytes += char(c);
    EXPECT_EQ(NormaliseLineBreaks(bytes), bytes);
}

TEST(ListText, ShiftJisTrailBytesAreNeverBreaks) {
    // "画像" (0x89 0xE6 0x91 0x9C) and "表" (0x95 0x5C) in Shift-JIS, LF breaks.
    const std::string sjis = "C:\\\x89\xE6\x91\x9C\\\x95\x5C.jpg\nD:\\x";
    EXPECT_EQ(NormaliseLineBreaks(sjis, ListEncoding::ShiftJis), "C:\\\x89\xE6\x91\x9C\\\x95\x5C.jpg\r\nD:\\x");
    // A lead byte takes the next byte whatever it is; UTF-8 has no such pairs.
    EXPECT_EQ(NormaliseLineBreaks("\x81\nx\x81", ListEncoding::ShiftJis), "\x81\nx\x81");
    EXPECT_EQ(NormaliseLineBreaks("\x81\nx", ListEncoding::Utf8), "\x81\r\nx");
}
