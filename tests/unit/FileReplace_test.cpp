#include "platform/FileReplace.h"

#include <QTemporaryDir>
#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <filesystem>
#include <ostream>

#include "platform/FileSystem.h"
#include "platform/TextLines.h"
#include "tests/unit/TestFiles.h"

// Every fsync in this test binary comes here. While a spy is set it records
// what was synced and what the watched file then held, and fails as a failing
// disk would when asked to; otherwise it is the system's fsync.
namespace syncspy {
enum class Fail { Nothing, File, Folder };
struct Call {
    std::string name;  // the file's name; the whole path for a folder
    bool folder;
    std::string watchedText;
    bool operator==(const Call&) const = default;
    friend void PrintTo(const Call& c, std::ostream* os) {
        *os << (c.folder ? "folder " : "file ") << c.name << " synced while the file held \"" << c.watchedText << '"';
    }
};
struct Spy {
    std::string watched;
    Fail fail = Fail::Nothing;
    std::vector<Call> calls;
};
Spy* g_spy = nullptr;
}  // namespace syncspy

extern "C" int fsync(int fd) {
    using namespace syncspy;
    if (g_spy != nullptr) {
        char path[PATH_MAX] = {};
        const ssize_t n = ::readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), path, sizeof path - 1);
        struct stat st {};
        ::fstat(fd, &st);
        const bool folder = S_ISDIR(st.st_mode);
        const std::string whole(path, size_t(std::max<ssize_t>(n, 0)));
        g_spy->calls.push_back({folder ? whole : whole.substr(whole.rfind('/') + 1), folder,
                                testutil::Slurp(g_spy->watched)});
        if (g_spy->fail == (folder ? Fail::Folder : Fail::File)) {
            errno = EIO;
            return -1;
        }
    }
    return int(::syscall(SYS_fsync, fd));
}

namespace pelumir {
namespace {

using testutil::Slurp;
using testutil::Spit;

struct Dir {
    QTemporaryDir dir;
    std::string Path(const std::string& name) const { return dir.path().toStdString() + "/" + name; }
};

// What a user gets from ReplaceFileContents on their own read-only file in
// their own folder. Root may write any file, so as root the write is made by a
// child that has become nobody, with the folder and the files nobody's own.
TEST(FileReplace, AFileWeMayNotWriteStaysUnwritten) {
    Dir d;
    const std::string readOnly = d.Path("ro"), writable = d.Path("rw");
    Spit(readOnly, "old");
    Spit(writable, "old");
    ASSERT_EQ(::chmod(readOnly.c_str(), 0444), 0);
    if (::geteuid() != 0) {
        EXPECT_EQ(ReplaceFileContents(readOnly, "new"), ReplaceResult::CannotCreate);
        EXPECT_EQ(Slurp(readOnly), "old");
        return;
    }
    const passwd* nobody = ::getpwnam("nobody");
    if (nobody == nullptr) GTEST_SKIP() << "no user nobody to become";
    const uid_t uid = nobody->pw_uid;
    const gid_t gid = nobody->pw_gid;
    for (const std::string& path : {d.dir.path().toStdString(), readOnly, writable})
        ASSERT_EQ(::chown(path.c_str(), uid, gid), 0) << path;
    constexpr int kNotNobody = 90, kFolderUnwritable = 91;
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0 || ::geteuid() == 0)
            ::_exit(kNotNobody);
        // The writable file first, so that a refusal below is the file's own
        // and not a folder nobody cannot reach.
        if (ReplaceFileContents(writable, "new") != ReplaceResult::Ok) ::_exit(kFolderUnwritable);
        ::_exit(int(ReplaceFileContents(readOnly, "new")));
    }
    int status = -1;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    ASSERT_NE(WEXITSTATUS(status), kNotNobody) << "the child could not become nobody";
    if (WEXITSTATUS(status) == kFolderUnwritable) GTEST_SKIP() << "nobody cannot write in " << d.dir.path().toStdString();
    EXPECT_EQ(ReplaceResult(WEXITSTATUS(status)), ReplaceResult::CannotCreate);
    EXPECT_EQ(Slurp(readOnly), "old");
    EXPECT_EQ(Slurp(writable), "new");
}

TEST(FileReplace, InPlaceFallbackFindsAFullDiskBeforeTouchingTheOldText) {
    Dir d;
    const std::string old = "old text\r\n";
    Spit(d.Path("list"), old);
    // A second name makes a rename wrong, so the file is written in place.
    ASSERT_EQ(::link(d.Path("list").c_str(), d.Path("other").c_str()), 0);
    {
        testutil::FileSizeLimit full(4096);
        ASSERT_TRUE(full.active);
        EXPECT_EQ(ReplaceFileContents(d.Path("list"), std::string(1 << 20, 'n')), ReplaceResult::WriteFailed);
    }
    EXPECT_EQ(Slurp(d.Path("other")), old);
    EXPECT_EQ(ReplaceFileContents(d.Path("list"), "new"), ReplaceResult::Ok);
    EXPECT_EQ(Slurp(d.Path("other")), "new");
}

// A save reports success only once the new text and its name are on the
// disk: the temporary file is synced before the rename, the folder after it.
// A file with a second name is rewritten in place and synced there.
TEST(FileReplace, SuccessMeansTheTextAndTheRenameReachedTheDisk) {
    using syncspy::Call;
    using syncspy::Fail;
    const std::string temp = ".plm.ini.tmp" + std::to_string(::getpid()) + "-0";
    const struct {
        Fail fail;
        bool linked;
        ReplaceResult result;
        std::string text;
        size_t calls;
    } cases[] = {{Fail::Nothing, false, ReplaceResult::Ok, "new", 2},
                 {Fail::File, false, ReplaceResult::WriteFailed, "old", 1},
                 {Fail::Folder, false, ReplaceResult::WriteFailed, "new", 2},
                 {Fail::Nothing, true, ReplaceResult::Ok, "new", 1},
                 {Fail::File, true, ReplaceResult::WriteFailed, "new", 1}};
    for (const auto& c : cases) {
        Dir d;
        const std::string path = d.Path("plm.ini");
        Spit(path, "old");
        if (c.linked) ASSERT_EQ(::link(path.c_str(), d.Path("other").c_str()), 0);
        const std::string folder = std::filesystem::canonical(d.dir.path().toStdString());
        const std::vector<Call> expected = c.linked ? std::vector<Call>{{"plm.ini", false, "new"}}
                                                    : std::vector<Call>{{temp, false, "old"}, {folder, true, "new"}};
        syncspy::Spy spy{path, c.fail, {}};
        syncspy::g_spy = &spy;
        const ReplaceResult result = ReplaceFileContents(path, "new");
        syncspy::g_spy = nullptr;
        const int fail = int(c.fail);
        EXPECT_EQ(result, c.result) << fail << c.linked;
        EXPECT_EQ(Slurp(path), c.text) << fail;
        std::vector<std::string> names = ListDirectory(d.dir.path().toStdString());
        std::sort(names.begin(), names.end());
        std::vector<std::string> want{".", "..", "plm.ini"};
        if (c.linked) want.insert(want.begin() + 2, "other");
        EXPECT_EQ(names, want) << fail;
        EXPECT_EQ(spy.calls, std::vector<Call>(expected.begin(), expected.begin() + long(c.calls))) << fail;
    }
}

TEST(FileReplace, TemporaryNamesAreHiddenAndCarryTheWriter) {
    EXPECT_EQ(TemporaryNameFor("/a/plm.ini", 123, 0), "/a/.plm.ini.tmp123-0");
    EXPECT_EQ(TemporaryNameFor("list.txt", 9, 2), ".list.txt.tmp9-2");
}

// A process id that is free: a child that has ended and been reaped.
long GonePid() {
    const pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    ::waitpid(child, nullptr, 0);
    return long(child);
}

TEST(FileReplace, OnlyLeftoversOfAGoneWriterAreRemoved) {
    Dir d;
    ASSERT_EQ(::mkdir(d.Path("lists").c_str(), 0755), 0);
    ASSERT_EQ(::symlink("lists/list.txt", d.Path("link.txt").c_str()), 0);
    Spit(d.Path("lists/list.txt"), "list");
    const std::string gone = std::to_string(GonePid()), alive = std::to_string(::getppid());
    const std::vector<std::string> removed = {".list.txt.tmp" + gone + "-0", "list.txt.tmp" + gone + "-12"};
    const std::vector<std::string> kept = {".list.txt.tmp" + alive + "-0", ".list.txt.tmp" + gone,
                                           ".list.txt.tmp" + gone + "-", ".list.txt.tmp-0", ".list.txt.tmp+1-0",
                                           ".other.txt.tmp" + gone + "-0", ".list.txt.tmp" + gone + "-0.bak"};
    for (const auto& names : {removed, kept})
        for (const std::string& name : names) Spit(d.Path("lists/" + name), "x");
    RemoveLeftoverTemporaries(d.Path("link.txt"));
    for (const std::string& name : removed) EXPECT_FALSE(FileExists(d.Path("lists/" + name))) << name;
    for (const std::string& name : kept) EXPECT_TRUE(FileExists(d.Path("lists/" + name))) << name;
    EXPECT_EQ(Slurp(d.Path("lists/list.txt")), "list");
}

// Each of two processes adds one to a number in the file, many times, each
// time reading and replacing the file under the lock. Every replace puts a
// new file under the name, so a lock kept on the old one would let both in.
TEST(FileReplace, TwoProcessesTakeTurnsUnderTheLock) {
    Dir d;
    const std::string path = d.Path("count");
    Spit(path, "0");
    constexpr int kRounds = 150;
    pid_t children[2];
    for (pid_t& child : children) {
        child = ::fork();
        if (child != 0) continue;
        for (int i = 0; i < kRounds; ++i) {
            const FileLock lock(path);
            std::string text;
            if (!lock.held() || ReadWholeFile(path, text, 100) != ReadResult::Ok) ::_exit(2);
            if (ReplaceFileContents(path, std::to_string(std::stoi(text) + 1)) != ReplaceResult::Ok) ::_exit(3);
        }
        ::_exit(0);
    }
    for (pid_t child : children) {
        int status = -1;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
    EXPECT_EQ(Slurp(path), std::to_string(2 * kRounds));
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
