// Classification of captured paths: the drive class of a path's root, and the
// registered-folder test. D: is a CD-ROM, E: removable, N: a network drive and R: a RAM
// disk on the test bed; Q: does not exist.
#include <gtest/gtest.h>

#include "core/capture.h"
#include "core/history.h"
#include "core/settings.h"
#include "tests/support/u16.h"

namespace {

TEST(DriveClass, FollowsTheDriveTypeOfThePathsRoot)
{
    EXPECT_EQ(GetDriveClass(P("C:\\windows")), kDriveFixed);
    EXPECT_EQ(GetDriveClass(P("C:\\")), kDriveFixed);
    EXPECT_EQ(GetDriveClass(P("R:\\scratch")), kDriveRam);
    EXPECT_EQ(GetDriveClass(P("N:\\share\\docs")), kDriveRemote);
    EXPECT_EQ(GetDriveClass(P("E:\\photos")), kDriveRemovable);
    EXPECT_EQ(GetDriveClass(P("D:\\setup")), kDriveCdrom);
    EXPECT_EQ(GetDriveClass(P("Q:\\nowhere")), kDriveUnknown);
    // Only the root counts: the folder itself need not exist.
    EXPECT_EQ(GetDriveClass(P("C:\\no\\such\\folder")), kDriveFixed);
}

TEST(DriveClass, UncPathsAreNetworkFolders)
{
    EXPECT_EQ(GetDriveClass(P("\\\\server\\share")), kDriveRemote);
    EXPECT_EQ(GetDriveClass(P("\\\\")), kDriveRemote);
}

TEST(RegisteredFolder, ComparesWholePathsByteForByte)
{
    CopyPath(gRegistered[0], P("C:\\Work"));
    CopyPath(gRegistered[1], P("C:\\表示"));
    gRegistered[2][0] = '\0';
    CopyPath(gRegistered[3], P("C:\\beyond-the-end"));
    EXPECT_EQ(IsRegisteredFolder(P("C:\\Work")), 1);
    EXPECT_EQ(IsRegisteredFolder(P("C:\\表示")), 1);
    EXPECT_EQ(IsRegisteredFolder(P("C:\\work")), 0);
    EXPECT_EQ(IsRegisteredFolder(P("C:\\Work\\")), 0);
    EXPECT_EQ(IsRegisteredFolder(P("C:\\beyond-the-end")), 0);
    gRegistered[0][0] = '\0';
}

}  // namespace
