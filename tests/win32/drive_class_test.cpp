// Classification of captured paths: the drive class of a path's root, and the
// registered-folder test. D: is a CD-ROM, E: removable, N: a network drive and R: a RAM
// disk on the test bed; Q: does not exist.
#include <gtest/gtest.h>

#include "core/capture.h"
#include "core/history.h"
#include "core/settings.h"

namespace {

TEST(DriveClass, FollowsTheDriveTypeOfThePathsRoot)
{
    EXPECT_EQ(GetDriveClass("C:\\windows"), kDriveFixed);
    EXPECT_EQ(GetDriveClass("C:\\"), kDriveFixed);
    EXPECT_EQ(GetDriveClass("R:\\scratch"), kDriveRam);
    EXPECT_EQ(GetDriveClass("N:\\share\\docs"), kDriveRemote);
    EXPECT_EQ(GetDriveClass("E:\\photos"), kDriveRemovable);
    EXPECT_EQ(GetDriveClass("D:\\setup"), kDriveCdrom);
    EXPECT_EQ(GetDriveClass("Q:\\nowhere"), kDriveUnknown);
    // Only the root counts: the folder itself need not exist.
    EXPECT_EQ(GetDriveClass("C:\\no\\such\\folder"), kDriveFixed);
}

TEST(DriveClass, UncPathsAreNetworkFolders)
{
    EXPECT_EQ(GetDriveClass("\\\\server\\share"), kDriveRemote);
    EXPECT_EQ(GetDriveClass("\\\\"), kDriveRemote);
}

TEST(RegisteredFolder, ComparesWholePathsByteForByte)
{
    CopyPath(gRegistered[0], "C:\\Work");
    CopyPath(gRegistered[1], "C:\\表示");
    gRegistered[2][0] = '\0';
    CopyPath(gRegistered[3], "C:\\beyond-the-end");
    EXPECT_EQ(IsRegisteredFolder("C:\\Work"), 1);
    EXPECT_EQ(IsRegisteredFolder("C:\\表示"), 1);
    EXPECT_EQ(IsRegisteredFolder("C:\\work"), 0);
    EXPECT_EQ(IsRegisteredFolder("C:\\Work\\"), 0);
    EXPECT_EQ(IsRegisteredFolder("C:\\beyond-the-end"), 0);
    gRegistered[0][0] = '\0';
}

}  // namespace
