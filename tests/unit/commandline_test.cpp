// The Explorer command line for opening a folder.
#include <gtest/gtest.h>

#include <algorithm>

#include <climits>
#include <cstring>
#include <memory>
#include <string>

#include "menus/commandline.h"
#include "tests/support/u16.h"

namespace {

// Formats into a heap buffer of exactly kCommandLineSize bytes, so that AddressSanitizer
// reports any write past it.
std::string Format(int openMode, const std::string& path)
{
    std::unique_ptr<char16_t[]> out(new char16_t[kCommandLineSize]);
    std::fill_n(out.get(), kCommandLineSize, u'#');
    FormatExplorerCommand(out.get(), openMode, U(path).c_str());
    if (std::find(out.get(), out.get() + kCommandLineSize, u'\0') == out.get() + kCommandLineSize)
        return "<not terminated>";
    return Utf8(out.get());
}

TEST(FormatExplorerCommand, Mode0OpensThePlainFolderWindow)
{
    EXPECT_EQ("explorer C:\\Windows", Format(0, "C:\\Windows"));
    EXPECT_EQ("explorer \\\\srv\\share", Format(0, "\\\\srv\\share"));
}

TEST(FormatExplorerCommand, Mode1OpensTheWindowWithTheFolderTree)
{
    EXPECT_EQ("explorer /n,/e,C:\\Windows", Format(1, "C:\\Windows"));
}

TEST(FormatExplorerCommand, OtherModesActAs0)
{
    for (int mode : {2, 3, -1, 7, INT_MIN, INT_MAX})
        EXPECT_EQ("explorer C:\\Windows", Format(mode, "C:\\Windows")) << "OpenMode " << mode;
}

TEST(FormatExplorerCommand, PathWithBlanksIsPassedUnquoted)
{
    EXPECT_EQ("explorer C:\\Program Files\\My App", Format(0, "C:\\Program Files\\My App"));
    EXPECT_EQ("explorer /n,/e,C:\\Program Files", Format(1, "C:\\Program Files"));
}

TEST(FormatExplorerCommand, UnicodePathIsPassedUnitForUnit)
{
    // Japanese, a Latin letter no ANSI code page of Japan has, and a character outside
    // the BMP (a surrogate pair).
    const std::string path = "D:\\表示\\Café ā 𠮷 📁";
    EXPECT_EQ("explorer " + path, Format(0, path));
    EXPECT_EQ("explorer /n,/e," + path, Format(1, path));
}

TEST(FormatExplorerCommand, A255CharacterPathFitsWholeInBothModes)
{
    const std::string path = "C:\\" + std::string(252, 'x');
    ASSERT_EQ(255u, path.size());
    EXPECT_EQ("explorer " + path, Format(0, path));
    const std::string tree = Format(1, path);
    EXPECT_EQ("explorer /n,/e," + path, tree);
    EXPECT_LE(tree.size() + 1, static_cast<size_t>(kCommandLineSize));
}

TEST(FormatExplorerCommand, LongerTextNeverOverrunsTheBuffer)
{
    const struct {
        int mode;
        const char* start;
    } kModes[] = {{0, "explorer C:\\yyy"}, {1, "explorer /n,/e,C:\\yyy"}};
    for (size_t len : {256u, 261u, 267u, 300u, 2000u}) {
        const std::string path = "C:\\" + std::string(len - 3, 'y');
        for (const auto& m : kModes) {
            const std::string line = Format(m.mode, path);
            ASSERT_NE("<not terminated>", line) << "length " << len << " mode " << m.mode;
            EXPECT_LE(line.size(), static_cast<size_t>(kCommandLineSize - 1))
                << "length " << len << " mode " << m.mode;
            EXPECT_EQ(0u, line.rfind(m.start, 0)) << "length " << len << " mode " << m.mode;
        }
    }
}

TEST(FormatExplorerCommand, EmptyPathLeavesThePrefix)
{
    EXPECT_EQ("explorer ", Format(0, ""));
    EXPECT_EQ("explorer /n,/e,", Format(1, ""));
}

}  // namespace
