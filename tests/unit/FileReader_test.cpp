#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/FileSystem.h"
#include "tests/unit/TestFiles.h"

namespace pelumir {
namespace {

// The whole-file reader says why it failed and never hangs on a pipe; read
// in pieces, a file gives exactly what the whole-file reader gives it.
TEST(FileReader, WholeOrInPiecesTheSameBytesAndTheSameReason) {
    QTemporaryDir dir;
    auto path = [&dir](const char* name) { return dir.filePath(name).toStdString(); };
    std::string big(200000, '\0');
    for (size_t i = 0; i < big.size(); ++i) big[i] = char(i * 7 % 251);
    testutil::Spit(path("big"), big);
    testutil::Spit(path("empty"), "");
    testutil::Spit(path("ten"), "0123456789");
    ASSERT_EQ(mkfifo(path("fifo").c_str(), 0600), 0);
    using R = ReadResult;
    struct Case {
        std::string path;
        uint64_t max;
        ReadResult want;
        std::string bytes;
    };
    const Case cases[] = {{path("big"), 1 << 20, R::Ok, big},      {path("big"), 200000, R::Ok, big},
                          {path("big"), 199999, R::TooLarge, ""},  {path("empty"), 10, R::Ok, ""},
                          {path("ten"), 10, R::Ok, "0123456789"},  {path("ten"), 9, R::TooLarge, ""},
                          {path("missing"), 10, R::Missing, ""},   {path("ten/below"), 10, R::Missing, ""},
                          {dir.path().toStdString(), 10, R::Failed, ""}, {path("fifo"), 10, R::Failed, ""}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path + " " + std::to_string(c.max));
        std::string text = "stale";
        EXPECT_EQ(ReadWholeFile(c.path, text, c.max), c.want);
        EXPECT_EQ(text, c.bytes);
        std::vector<uint8_t> whole(1000, 7);  // reused storage keeps no stale tail
        EXPECT_EQ(ReadFileBytes(c.path, whole, c.max), c.want == R::Ok);
        EXPECT_EQ(std::string(whole.begin(), whole.end()), c.bytes);
        for (size_t piece : {size_t(1), size_t(4096), SIZE_MAX}) {
            SCOPED_TRACE(piece);
            FileBytes bytes = {9};
            FileReader reader;
            int calls = 0;
            if (reader.Open(c.path, bytes, c.max))
                while (!reader.ReadSome(piece)) {
                    // Between pieces, what was read so far and nothing else.
                    if (piece == 4096) {
                        ASSERT_EQ(std::string(bytes.begin(), bytes.end()), c.bytes.substr(0, bytes.size()));
                    }
                    ++calls;
                }
            EXPECT_EQ(reader.Result(), c.want);
            EXPECT_EQ(std::string(bytes.begin(), bytes.end()), c.bytes);
            if (piece == 4096 && c.bytes.size() > 100000) {
                EXPECT_GT(calls, 40);  // it really came in pieces
            }
        }
    }
}

// A file that grows after it was opened is read to its new end; between
// pieces the buffer, grown beyond the size first seen, still holds only
// bytes read from the file.
TEST(FileReader, AFileGrowingWhileReadIsReadToItsEnd) {
    QTemporaryDir dir;
    const std::string path = dir.filePath("growing").toStdString();
    std::string text(10000, 'a');
    testutil::Spit(path, text);
    FileBytes bytes;
    FileReader reader;
    ASSERT_TRUE(reader.Open(path, bytes, 1 << 20));
    text += std::string(300000, 'b');
    testutil::Spit(path, text);
    while (!reader.ReadSome(4096)) ASSERT_EQ(std::string(bytes.begin(), bytes.end()), text.substr(0, bytes.size()));
    EXPECT_EQ(reader.Result(), ReadResult::Ok);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), text);
}

TEST(FileReader, TheStampTellsARewrittenFileFromTheOneRead) {
    QTemporaryDir dir;
    const std::string path = dir.filePath("photo.jpg").toStdString();
    EXPECT_FALSE(StampOf(path).exists);
    testutil::Spit(path, "first");
    FileBytes bytes;
    FileReader reader;
    ASSERT_TRUE(reader.Open(path, bytes, 100));
    EXPECT_EQ(reader.Stamp(), StampOf(path));
    testutil::Spit(path, "second version");
    EXPECT_NE(reader.Stamp(), StampOf(path));
}

}  // namespace
}  // namespace pelumir
