#include "platform/BaseFolder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utility>

#include "tests/unit/TempDir.h"

using pelumir::BaseFolderFacts;
using pelumir::ChooseBaseFolder;

TEST(BaseFolder, WritableProgramFolderWinsElseTheUsersConfigFolder) {
    BaseFolderFacts f{"/program/", true, "/config-home", "/user-home"};
    EXPECT_EQ(ChooseBaseFolder(f), "/program/");  // a portable copy keeps its files beside it
    f.executableDirWritable = false;
    EXPECT_EQ(ChooseBaseFolder(f), "/config-home/pelumir/");
    f.xdgConfigHome = "/config-home/";
    EXPECT_EQ(ChooseBaseFolder(f), "/config-home/pelumir/");
    // The variable counts only when absolute, as the base-directory rules say.
    for (const char* ignored : {"", "relative/cfg", "~/cfg"}) {
        f.xdgConfigHome = ignored;
        EXPECT_EQ(ChooseBaseFolder(f), "/user-home/.config/pelumir/") << ignored;
    }
    f.home = "";
    EXPECT_EQ(ChooseBaseFolder(f), "/program/");

    // One folder, one spelling: the list's path is compared with it.
    f.executableDirWritable = false;
    for (const auto& [xdg, base] : {std::pair{"/home/u/./cfg//", "/home/u/cfg/pelumir/"},
                                    {"//home/u/x/../cfg/.", "/home/u/cfg/pelumir/"},
                                    {"/../cfg", "/cfg/pelumir/"}}) {
        f.xdgConfigHome = xdg;
        EXPECT_EQ(ChooseBaseFolder(f), base) << xdg;
    }
    // The installed program never writes beside itself, even for root.
    f = {"/usr/lib/pelumir/", true, "", "/root", true};
    EXPECT_EQ(ChooseBaseFolder(f), "/root/.config/pelumir/");
}

TEST(BaseFolder, PrivateFolderIsMadeWithItsParentsAndOnlyForItsUser) {
    testutil::TempDir t;
    const std::string dir = t / "home/.config/pelumir/";
    ASSERT_TRUE(pelumir::EnsurePrivateFolder(dir));
    struct stat st {};
    ASSERT_EQ(::stat(dir.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    ASSERT_EQ(::stat((t / "home/.config").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    // An existing folder is used as it is; a file in the way is no folder.
    ::chmod(dir.c_str(), 0750);
    EXPECT_TRUE(pelumir::EnsurePrivateFolder(dir));
    ASSERT_EQ(::stat(dir.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0750u);
    t.Touch("file");
    EXPECT_FALSE(pelumir::EnsurePrivateFolder(t / "file/pelumir"));
    EXPECT_FALSE(pelumir::EnsurePrivateFolder(""));
}
