#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/FileSystem.h"
#include "tests/unit/TestFiles.h"

namespace pelumir {
namespace {

// Read in pieces, a file gives what the whole-file reader gives it.
TEST(FileReader, PiecesGiveWhatTheWholeFileReaderGives) {
    QTemporaryDir dir;
    auto path = [&dir](const char* name) { return dir.filePath(name).toStdString(); };
    std::string big(200000, '\0');
    for (size_t i = 0; i < big.size(); ++i) big[i] = char(i * 7 % 251);
    testutil::Spit(path("big"), big);
    testutil::Spit(path("empty"), "");
    testutil::Spit(path("ten"), "0123456789");
    ASSERT_EQ(mkfifo(path("fifo").c_str(), 0600), 0);
    struct Case {
        std::string path;
        uint64_t max;
    };
    const Case cases[] = {{path("big"), 1 << 20}, {path("big"), 200000}, {path("big"), 199999}, {path("empty"), 10},
                          {path("ten"), 10},      {path("ten"), 9},      {path("missing"), 10}, {path("ten/below"), 10},
                          {dir.path().toStdString(), 10}, {path("fifo"), 10}};
    for (const Case& c : cases) {
        std::vector<uint8_t> whole = {1, 2, 3};
        const ReadResult want = ReadWholeFile(c.path, whole, c.max);
        for (size_t piece : {size_t(1), size_t(4096), SIZE_MAX}) {
            SCOPED_TRACE(c.path + " " + std::to_string(c.max) + " " + std::to_string(piece));
            std::vector<uint8_t> bytes = {9};
            FileReader reader;
            int calls = 0;
            if (reader.Open(c.path, bytes, c.max))
                while (!reader.ReadSome(piece)) ++calls;
            EXPECT_EQ(reader.Result(), want);
            EXPECT_EQ(bytes, whole);
            if (piece == 4096 && want == ReadResult::Ok && whole.size() > 100000) {
                EXPECT_GT(calls, 40);  // it really came in pieces
            }
        }
    }
}

TEST(FileReader, TheStampTellsARewrittenFileFromTheOneRead) {
    QTemporaryDir dir;
    const std::string path = dir.filePath("photo.jpg").toStdString();
    EXPECT_FALSE(StampOf(path).exists);
    testutil::Spit(path, "first");
    std::vector<uint8_t> bytes;
    FileReader reader;
    ASSERT_TRUE(reader.Open(path, bytes, 100));
    EXPECT_EQ(reader.Stamp(), StampOf(path));
    testutil::Spit(path, "second version");
    EXPECT_NE(reader.Stamp(), StampOf(path));
}

}  // namespace
}  // namespace pelumir
