#include <gtest/gtest.h>

#include "about/AppInfo.h"

using pelumir::FormatVersionString;

TEST(AppInfo, EachReleaseStageHasItsForm) {
    EXPECT_EQ(FormatVersionString(1, 2, 0, 0), "Version 1.02 Alpha 0");
    EXPECT_EQ(FormatVersionString(1, 2, 1, 0), "Version 1.02 Beta 0");
    EXPECT_EQ(FormatVersionString(1, 2, 2, 0), "Version 1.02");
    EXPECT_EQ(FormatVersionString(1, 2, 1, 3), "Version 1.02 Beta 3");
}

TEST(AppInfo, MinorVersionHasAtLeastTwoDigits) {
    EXPECT_EQ(FormatVersionString(2, 0, 2, 0), "Version 2.00");
    EXPECT_EQ(FormatVersionString(1, 10, 2, 0), "Version 1.10");
    EXPECT_EQ(FormatVersionString(1, 123, 2, 0), "Version 1.123");
}

TEST(AppInfo, ThisReleaseIsVersion102) { EXPECT_EQ(pelumir::GetVersionString(), "Version 1.02"); }
