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

namespace {

class ListFile : public ::testing::Test {
protected:
    std::string Path(const char* name) const { return dir_.filePath(name).toStdString(); }
    int EntryCount() const { return int(QDir(dir_.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).size()); }
    QTemporaryDir dir_;
};

template <typename F>
std::string MessageOf(F&& f) {
    try {
        f();
    } catch (const Exception& e) {
        return e.what();
    }
    return "(no error)";
}

}  // namespace

TEST_F(ListFile, ReplacingKeepsEveryByteAndWhatTheFileWas) {
    std::string bytes;
    for (int c = 0; c < 256; ++c) bytes += char(c);
    const std::string path = Path("list.txt");
    WriteListFile(path, "a much longer old text\r\n");
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    WriteListFile(path, bytes);
    EXPECT_EQ(ReadListFile(path), bytes);
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);

    // A link stays a link; a second name of the file sees the new text.
    ASSERT_EQ(::symlink("list.txt", Path("link.txt").c_str()), 0);
    WriteListFile(Path("link.txt"), "via link");
    ASSERT_EQ(::lstat(Path("link.txt").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(ReadListFile(path), "via link");
    ASSERT_EQ(::link(path.c_str(), Path("hard.txt").c_str()), 0);
    WriteListFile(path, "");
    EXPECT_EQ(ReadListFile(Path("hard.txt")), "");
    EXPECT_EQ(EntryCount(), 3);  // no temporary file left behind
}

TEST_F(ListFile, ErrorsCarryTheUsersMessages) {
    const std::string missing = Path("missing.txt"), folder = dir_.path().toStdString(), fifo = Path("fifo");
    EXPECT_EQ(MessageOf([&] { ReadListFile(missing); }), "ファイル " + missing + " は開けません");
    EXPECT_EQ(MessageOf([&] { ReadListFile(folder); }), "ファイル " + folder + " は開けません");
    // A FIFO would block the program until someone wrote to it.
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(MessageOf([&] { ReadListFile(fifo); }), "ファイル " + fifo + " は開けません");

    QFile huge(QString::fromStdString(Path("huge.txt")));
    ASSERT_TRUE(huge.open(QIODevice::WriteOnly) && huge.resize(qint64(kMaxListFileBytes) + 1));  // sparse
    EXPECT_EQ(MessageOf([&] { ReadListFile(Path("huge.txt")); }), "文字列の大きさが メモ の制限を越えました");

    // Below a plain file nothing can be created, even by root.
    const std::string below = Path("huge.txt") + "/list.txt";
    EXPECT_EQ(MessageOf([&] { WriteListFile(below, "x"); }), "ファイル " + below + " を作成できません");
    EXPECT_EQ(MessageOf([&] { WriteListFile(folder, "x"); }), "ファイル " + folder + " を作成できません");
    EXPECT_EQ(MessageOf([] { WriteListFile("/dev/full", "x"); }), "ストリームへの書き込みエラー");
}

TEST_F(ListFile, AFailedWriteLeavesTheOldListIntact) {
    const std::string path = Path("list.txt");
    WriteListFile(path, "old\r\n");
    // A file-size limit makes the write fail part way, as a full disk would.
    struct rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 64 * 1024;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const std::string message = MessageOf([&] { WriteListFile(path, std::string(1 << 20, 'n')); });
    ::setrlimit(RLIMIT_FSIZE, &saved);
    ::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(message, "ストリームへの書き込みエラー");
    EXPECT_TRUE(ReadListFile(path) == "old\r\n");  // (not EQ: a failure would print a megabyte)
    EXPECT_EQ(EntryCount(), 1);
}
