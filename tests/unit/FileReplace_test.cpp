#include "platform/FileReplace.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/FileSystem.h"
#include "platform/TextLines.h"
#include "tests/unit/TestFiles.h"

namespace pelumir {
namespace {

using test::Slurp;
using test::Spit;

struct Dir {
    QTemporaryDir dir;
    std::string Path(const std::string& name) const { return dir.path().toStdString() + "/" + name; }
};

TEST(FileReplace, WholeFileReaderTellsWhyItFailed) {
    Dir d;
    std::string out = "stale";
    EXPECT_EQ(ReadWholeFile(d.Path("missing"), out, 100), ReadResult::Missing);
    EXPECT_EQ(out, "");
    Spit(d.Path("plain"), "0123456789");
    EXPECT_EQ(ReadWholeFile(d.Path("plain/below"), out, 100), ReadResult::Missing);
    EXPECT_EQ(ReadWholeFile(d.Path(""), out, 100), ReadResult::Failed);  // a folder
    ASSERT_EQ(::mkfifo(d.Path("fifo").c_str(), 0600), 0);
    EXPECT_EQ(ReadWholeFile(d.Path("fifo"), out, 100), ReadResult::Failed);  // and no hang
    EXPECT_EQ(ReadWholeFile(d.Path("plain"), out, 9), ReadResult::TooLarge);
    EXPECT_EQ(out, "");
    EXPECT_EQ(ReadWholeFile(d.Path("plain"), out, 10), ReadResult::Ok);
    EXPECT_EQ(out, "0123456789");
    std::vector<uint8_t> bytes(1000, 7);  // reused storage keeps no stale tail
    EXPECT_TRUE(ReadFileBytes(d.Path("plain"), bytes, 10));
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "0123456789");
}

TEST(FileReplace, AFileWeMayNotWriteStaysUnwritten) {
    if (::geteuid() == 0) GTEST_SKIP() << "root may write any file";
    Dir d;
    Spit(d.Path("ro"), "old");
    ASSERT_EQ(::chmod(d.Path("ro").c_str(), 0444), 0);
    EXPECT_EQ(ReplaceFileContents(d.Path("ro"), "new"), ReplaceResult::CannotCreate);
    EXPECT_EQ(Slurp(d.Path("ro")), "old");
}

TEST(FileReplace, InPlaceFallbackFindsAFullDiskBeforeTouchingTheOldText) {
    Dir d;
    const std::string old = "old text\r\n";
    Spit(d.Path("list"), old);
    // A second name makes a rename wrong, so the file is written in place.
    ASSERT_EQ(::link(d.Path("list").c_str(), d.Path("other").c_str()), 0);
    {
        test::FileSizeLimit full(4096);
        ASSERT_TRUE(full.active);
        EXPECT_EQ(ReplaceFileContents(d.Path("list"), std::string(1 << 20, 'n')), ReplaceResult::WriteFailed);
    }
    EXPECT_EQ(Slurp(d.Path("other")), old);
    EXPECT_EQ(ReplaceFileContents(d.Path("list"), "new"), ReplaceResult::Ok);
    EXPECT_EQ(Slurp(d.Path("other")), "new");
}

TEST(FileReplace, TemporaryNamesAreHiddenAndCarryTheWriter) {
    EXPECT_EQ(TemporaryNameFor("/a/plm.ini", 123, 0), "/a/.plm.ini.tmp123-0");
    EXPECT_EQ(TemporaryNameFor("list.txt", 9, 2), ".list.txt.tmp9-2");
}

TEST(TextLines, BlanksAndBreaks) {
    EXPECT_EQ(TrimBlanks(" \t a b \t"), "a b");
    EXPECT_EQ(TrimBlanks("\xE3\x80\x80 a\xE3\x80\x80"), "\xE3\x80\x80 a\xE3\x80\x80");
    EXPECT_EQ(TrimBlanks("\xE3\x80\x80 a\xE3\x80\x80", Blanks::SpaceTabIdeographic), "a");
    const std::vector<TextLine> lines = SplitLines("a\r\nb\nc\rd\r\n\ne\r");
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"a", "\r\n"}, {"b", "\n"}, {"c\rd", "\r\n"}, {"", "\n"}, {"e", "\r"}};
    ASSERT_EQ(lines.size(), expected.size());
    for (size_t i = 0; i < lines.size(); ++i)
        EXPECT_EQ(std::make_pair(lines[i].text, lines[i].eol), expected[i]) << i;
    EXPECT_TRUE(SplitLines("").empty());
    EXPECT_EQ(SplitLines("x").back().eol, "");
}

}  // namespace
}  // namespace pelumir
