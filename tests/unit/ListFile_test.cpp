#include "app/ListFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/Exception.h"

using namespace pelumir;
using namespace std::string_literals;

namespace {

class ListFile : public ::testing::Test {
protected:
    std::string Path(const char* name) const { return dir_.filePath(name).toStdString(); }

    static std::string Slurp(const std::string& path) {
        QFile f(QString::fromStdString(path));
        EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << path;
        return f.readAll().toStdString();
    }

    int EntryCount() const { return int(QDir(dir_.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).size()); }

    template <typename F>
    static std::string MessageOf(F&& f) {
        try {
            f();
        } catch (const Exception& e) {
            return e.what();
        }
        return "(no error)";
    }

    QTemporaryDir dir_;
};

}  // namespace

TEST_F(ListFile, WritesAndReadsEveryByteExactly) {
    std::string bytes;
    for (int c = 0; c < 256; ++c) bytes += char(c);
    bytes += "\r\nno final break";
    WriteListFile(Path("all.txt"), bytes);
    EXPECT_EQ(Slurp(Path("all.txt")), bytes);
    EXPECT_EQ(ReadListFile(Path("all.txt")), bytes);

    WriteListFile(Path("empty.txt"), "");
    EXPECT_EQ(ReadListFile(Path("empty.txt")), "");
}

TEST_F(ListFile, ReplacingKeepsTheFileWhatItWas) {
    const std::string path = Path("list.txt");
    WriteListFile(path, "a much longer old text\r\n");
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    WriteListFile(path, "new\r\n");
    EXPECT_EQ(Slurp(path), "new\r\n");
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);

    // A link stays a link, a second name of the file sees the new text.
    ASSERT_EQ(::symlink("list.txt", Path("link.txt").c_str()), 0);
    WriteListFile(Path("link.txt"), "via link");
    ASSERT_EQ(::lstat(Path("link.txt").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(Slurp(path), "via link");
    ASSERT_EQ(::link(path.c_str(), Path("hard.txt").c_str()), 0);
    WriteListFile(path, "both names");
    EXPECT_EQ(Slurp(Path("hard.txt")), "both names");
    EXPECT_EQ(EntryCount(), 3);  // no temporary file left behind
}

TEST_F(ListFile, ReadErrorsNameThePath) {
    const std::string missing = Path("missing.txt");
    EXPECT_EQ(MessageOf([&] { ReadListFile(missing); }), "ファイル " + missing + " は開けません");
    EXPECT_EQ(MessageOf([&] { ReadListFile(dir_.path().toStdString()); }),
              "ファイル " + dir_.path().toStdString() + " は開けません");
    // A FIFO would block the program until someone wrote to it.
    const std::string fifo = Path("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(MessageOf([&] { ReadListFile(fifo); }), "ファイル " + fifo + " は開けません");
}

TEST_F(ListFile, TooLargeAFileIsRefusedBeforeItIsRead) {
    const std::string path = Path("huge.txt");
    {
        QFile f(QString::fromStdString(path));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_TRUE(f.resize(qint64(kMaxListFileBytes) + 1));  // sparse: no disk used
    }
    EXPECT_EQ(MessageOf([&] { ReadListFile(path); }), "文字列の大きさが メモ の制限を越えました");
}

TEST_F(ListFile, CreateErrorsNameThePath) {
    // A path below a plain file cannot be created, even by root.
    WriteListFile(Path("plain"), "x");
    const std::string below = Path("plain") + "/list.txt";
    EXPECT_EQ(MessageOf([&] { WriteListFile(below, "x"); }), "ファイル " + below + " を作成できません");
    const std::string folder = dir_.path().toStdString();
    EXPECT_EQ(MessageOf([&] { WriteListFile(folder, "x"); }), "ファイル " + folder + " を作成できません");
}

TEST_F(ListFile, AFailedWriteIsReportedAndLeavesTheOldListIntact) {
    EXPECT_EQ(MessageOf([] { WriteListFile("/dev/full", "x"); }), "ストリームへの書き込みエラー");

    // A file-size limit makes the write fail part way, like a full disk.
    const std::string path = Path("list.txt");
    WriteListFile(path, "old\r\n");
    const std::string big(1 << 20, 'n');
    struct rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 64 * 1024;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const std::string message = MessageOf([&] { WriteListFile(path, big); });
    ::setrlimit(RLIMIT_FSIZE, &saved);
    ::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(message, "ストリームへの書き込みエラー");
    EXPECT_EQ(Slurp(path), "old\r\n");
    EXPECT_EQ(EntryCount(), 1);
}
