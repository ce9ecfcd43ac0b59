#include <gtest/gtest.h>

#include "help/HelpPath.h"

using pelumir::HelpFileForExecutable;

TEST(HelpPath, ExtensionIsReplacedOrAppended) {
    EXPECT_EQ(HelpFileForExecutable("/opt/pelumir/pelumir"), "/opt/pelumir/pelumir.hlp");
    EXPECT_EQ(HelpFileForExecutable("/opt/pelumir/pelumir.exe"), "/opt/pelumir/pelumir.hlp");
    EXPECT_EQ(HelpFileForExecutable("/opt/pelumir/pelumir.tar.gz"), "/opt/pelumir/pelumir.tar.hlp");
    EXPECT_EQ(HelpFileForExecutable("pelumir"), "pelumir.hlp");
    EXPECT_EQ(HelpFileForExecutable("/写真/ビューア.bin"), "/写真/ビューア.hlp");
}

TEST(HelpPath, DotsInFolderNamesAreNoExtension) {
    EXPECT_EQ(HelpFileForExecutable("/srv/u/v1.2/pelumir"), "/srv/u/v1.2/pelumir.hlp");
    EXPECT_EQ(HelpFileForExecutable("/srv/u/.local/opt/pelumir/pelumir"), "/srv/u/.local/opt/pelumir/pelumir.hlp");
    EXPECT_EQ(HelpFileForExecutable("./pelumir"), "./pelumir.hlp");
    EXPECT_EQ(HelpFileForExecutable("/a.b/c.d.exe"), "/a.b/c.d.hlp");
}

TEST(HelpPath, ColonIsAnOrdinaryCharacter) {
    EXPECT_EQ(HelpFileForExecutable("/mnt/c:/pelumir"), "/mnt/c:/pelumir.hlp");
    EXPECT_EQ(HelpFileForExecutable("/mnt/a.b:pelumir"), "/mnt/a.hlp");
}
